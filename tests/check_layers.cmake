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

# velmsim, the host, in layers of its own, from the command line down:
#   host/velmsim/cli/        options, commands, report files (main.cpp above it)
#   host/velmsim/session/    a model read, planned, run and reported; the C API
#   host/velmsim/render/     text, JSON, CSV and HTML reports
#   host/velmsim/analysis/   the statistics exports typed, summaries, comparison
#   host/velmsim/engine/     the exports bound, substreams, drawing, threads
#   host/velmsim/plan/       settings, formulas, the correlation checked
#   host/velmsim/model/      the model as read, the distribution table
#   host/loader/             run-time loading of an edition (over export/)
# A host include is named by its path from the root; its layer is the folder
# after host/velmsim/ (or "loader", or the library's "export").
set(host_allowed_main     main cli session render analysis engine plan model loader export)
set(host_allowed_cli      cli session render analysis engine plan model loader export)
set(host_allowed_session  session render analysis engine plan model loader export)
set(host_allowed_render   render analysis engine plan model)
set(host_allowed_analysis analysis engine plan model)
set(host_allowed_engine   engine plan model loader export)
set(host_allowed_plan     plan model)
set(host_allowed_model    model)
set(host_allowed_loader   loader export)
set(host_layers cli session render analysis engine plan model)
set(host_count 0)
file(GLOB_RECURSE host_sources ${ROOT}/host/*.cpp ${ROOT}/host/*.h)
foreach(source IN LISTS host_sources)
  file(RELATIVE_PATH name ${ROOT} ${source})
  if(name MATCHES "^host/loader/")
    set(layer loader)
  elseif(name STREQUAL "host/velmsim/main.cpp")
    set(layer main)
  elseif(name MATCHES "^host/velmsim/([^/]+)/[^/]+$" AND CMAKE_MATCH_1 IN_LIST host_layers)
    set(layer ${CMAKE_MATCH_1})
  else()
    string(APPEND found "\n  ${name}: not in a layer of the host")
    continue()
  endif()
  math(EXPR host_count "${host_count} + 1")
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
    if(header MATCHES "^host/velmsim/([^/]+)/[^/]+$")
      set(target ${CMAKE_MATCH_1})
    elseif(header MATCHES "^host/loader/[^/]+$")
      set(target loader)
    elseif(header STREQUAL "export/velmprob.h")
      set(target export)
    else()
      string(APPEND found "\n  ${name}: \"${header}\" is neither a host header nor the library's export header")
      continue()
    endif()
    if(NOT target IN_LIST host_allowed_${layer})
      string(APPEND found "\n  ${name}: ${layer}/ may not include ${header}")
    endif()
  endforeach()
endforeach()

if(found)
  message(FATAL_ERROR "includes against the direction of the layers "
    "(library: export -> stats, special, random -> error -> fp, core; host: cli -> session -> render -> "
    "analysis -> engine -> plan -> model):${found}")
endif()
message(STATUS "${count} library files and ${host_count} host files include only their own or "
  "lower layers")
