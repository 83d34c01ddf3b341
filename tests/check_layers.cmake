# Fails when a library source includes a header of a folder above its own.
# The layers, from the boundary down:
#   export/                      the exports of both editions
#   stats/  special/  random/    the numerical subjects (stats/ uses special/)
#   error/                       the error facility and the checks that report
#   fp/  core/                   elementary functions; edition switch, machine
#                                constants, text, output lock
# A folder may include its own headers and those of the folders listed for it
# below, nothing else. Run as: cmake -DROOT=<source tree> -P this
cmake_minimum_required(VERSION 3.25)
set(allowed_export  export stats special random error fp core)
set(allowed_stats   stats special error fp core)
set(allowed_special special error fp core)
set(allowed_random  random error fp core)
set(allowed_error   error fp core)
set(allowed_fp      fp core)
set(allowed_core    core)
set(layers export stats special random error fp core)

set(found "")
set(count 0)
foreach(dir IN LISTS layers)
  file(GLOB sources ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.inc ${ROOT}/${dir}/*.in)
  foreach(source IN LISTS sources)
    math(EXPR count "${count} + 1")
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
      string(REGEX MATCH "^[^/]+" folder "${header}")
      if(NOT header MATCHES "/" OR NOT folder IN_LIST layers)
        file(RELATIVE_PATH name ${ROOT} ${source})
        string(APPEND found "\n  ${name}: \"${header}\" is not named by its folder")
      elseif(NOT folder IN_LIST allowed_${dir})
        file(RELATIVE_PATH name ${ROOT} ${source})
        string(APPEND found "\n  ${name}: ${dir}/ may not include ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "includes against the direction of the layers "
    "(export -> stats, special, random -> error -> fp, core):${found}")
endif()
message(STATUS "${count} library files include only their own or lower layers")
