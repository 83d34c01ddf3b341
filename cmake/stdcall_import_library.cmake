# Makes the import library of a 32-bit DLL whose __stdcall exports were linked
# with --kill-at. The compiler refers to a __stdcall function as NAME@n, but
# ld's own import library then names the symbols without their @n, so a C or
# C++ host that includes the header would not link against it. From the
# module-definition file ld wrote (NAME = NAME@n lines), dlltool -k makes one
# whose symbols keep their @n and whose imports name the plain exports.
# Run as: cmake -DDLLTOOL=dlltool -DDEF=written.def -DDLL=velmprob.dll
#               -DIMPLIB=libvelmprob.dll.a -P this
file(STRINGS ${DEF} lines)
set(text "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]+[A-Za-z0-9_]+ = ([A-Za-z0-9_]+@[0-9]+)(.*)$")
    string(APPEND text "    ${CMAKE_MATCH_1}${CMAKE_MATCH_2}\n")
    math(EXPR count "${count} + 1")
  else()
    string(APPEND text "${line}\n")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "${DEF} lists no __stdcall exports (NAME = NAME@n)")
endif()
file(WRITE ${DEF}.imports "${text}")
get_filename_component(dll_name ${DLL} NAME)
execute_process(COMMAND ${DLLTOOL} -k -d ${DEF}.imports -D ${dll_name} -l ${IMPLIB}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed to write ${IMPLIB}")
endif()
