# Fails when library code calls a transcendental function of the C runtime
# (std::log, expf, ...): their last bits differ between the GNU C library, the
# Windows runtime and Wine, and the library must give the same variates for
# the same seed everywhere. Such code calls velm::fp (fp/elementary.h).
# std::sqrt, std::fabs, std::floor and the like are exact and stay allowed.
# Run as: cmake -DROOT=<source tree> -P this
set(functions "log|log10|log2|log1p|exp|exp2|expm1|pow|sin|cos|tan|asin|acos|atan|atan2|sinh|cosh|tanh|asinh|acosh|atanh|cbrt|hypot|erf|erfc|lgamma|tgamma")
set(sources "")
foreach(dir core error random export stats special)
  file(GLOB found ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h)
  list(APPEND sources ${found})
endforeach()
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "//.*$" "" code "${line}")
    if(code MATCHES "std::(${functions})[fl]?[ ]*\\(" OR
       code MATCHES "(^|[^A-Za-z0-9_:.>])(${functions})[fl]?[ ]*\\(")
      file(RELATIVE_PATH name ${ROOT} ${source})
      string(STRIP "${code}" code)
      string(APPEND found "\n  ${name}:${number}: ${code}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "calls of the C runtime's elementary functions, whose results differ "
    "between platforms; use velm::fp::log, exp, pow, sin, cos, asin (fp/elementary.h):"
    "${found}")
endif()
list(LENGTH sources count)
message(STATUS "${count} library sources call no platform-dependent elementary function")
