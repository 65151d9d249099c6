# Fails when a source file includes a header of a layer above its own.
#
#   cmake -DSRC=<source tree> -P check_layers.cmake
#   cmake -DSELFTEST=<scratch folder> -P check_layers.cmake
#
# The layers, lowest first: io <- dms <- raflib <- store <- ops <- app. A
# folder may include its own headers and those of the layers below it; tools/
# may include everything below app; tests/ everything (and are not read). The
# private headers (dms/dms_internal.h, store/internal.h) are for their own
# folder only. Includes that climb out of a folder ("../x.h") are refused.
# SELFTEST writes a small tree with allowed and refused includes and checks
# that exactly the refused ones are reported.

cmake_minimum_required(VERSION 3.20)

set(PEKTOR_LAYERS io dms raflib store ops app)
set(PEKTOR_PRIVATE_HEADERS dms/dms_internal.h store/internal.h)

# pektor_layer_rank(<folder> <out>): the folder's place in PEKTOR_LAYERS, -1
# when it is not a layer.
function(pektor_layer_rank folder out)
  list(FIND PEKTOR_LAYERS "${folder}" rank)
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

# pektor_check_layers(<root> <out>): the list of refused includes below root,
# each "<file>:<line>: <folder> includes <header>".
function(pektor_check_layers root out)
  set(found "")
  foreach(folder IN LISTS PEKTOR_LAYERS ITEMS tools)
    pektor_layer_rank(${folder} own)
    if(folder STREQUAL "tools")
      list(LENGTH PEKTOR_LAYERS top)
      math(EXPR allowed "${top} - 2")  # everything below app
    else()
      set(allowed ${own})
    endif()
    file(GLOB_RECURSE sources RELATIVE "${root}" "${root}/${folder}/*.h" "${root}/${folder}/*.hpp"
         "${root}/${folder}/*.cpp" "${root}/${folder}/*.cc")
    list(SORT sources)
    foreach(source IN LISTS sources)
      file(STRINGS "${root}/${source}" lines)
      set(n 0)
      foreach(line IN LISTS lines)
        math(EXPR n "${n} + 1")
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">]")
          continue()
        endif()
        set(header "${CMAKE_MATCH_1}")
        set(bad FALSE)
        if(header MATCHES "(^|/)\\.\\.(/|$)")
          set(bad TRUE)
        elseif(header MATCHES "^([^/]+)/")
          set(target "${CMAKE_MATCH_1}")
          if(target STREQUAL "tools")
            if(NOT folder STREQUAL "tools")
              set(bad TRUE)
            endif()
          else()
            pektor_layer_rank(${target} rank)
            if(rank GREATER allowed OR (target STREQUAL "tests"))
              set(bad TRUE)
            endif()
          endif()
          if(header IN_LIST PEKTOR_PRIVATE_HEADERS AND NOT target STREQUAL folder)
            set(bad TRUE)
          endif()
        endif()
        if(bad)
          list(APPEND found "${source}:${n}: ${folder} includes ${header}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

if(SELFTEST)
  set(root "${SELFTEST}")
  file(REMOVE_RECURSE "${root}")
  set(cases
      # file | include | refused
      "io/a.cpp|io/units.h|0"
      "io/b.h|dms/dms.h|1"
      "io/c.cpp|../ops/x.h|1"
      "dms/a.cpp|dms/dms_internal.h|0"
      "dms/b.cpp|io/units.h|0"
      "raflib/a.cpp|store/store.h|1"
      "store/a.cpp|dms/dms_internal.h|1"
      "store/b.cpp|raflib/raflib.h|0"
      "store/c.cpp|store/internal.h|0"
      "ops/a.cpp|app/textio.h|1"
      "ops/b.cpp|store/store.h|0"
      "ops/sub/c.h|app/entry.h|1"
      "ops/d.cpp|tools/dynwriter.h|1"
      "app/a.cpp|ops/extract.h|0"
      "app/batch/b.cpp|io/units.h|0"
      "app/c.cpp|tests/support/scratch.h|1"
      "tools/a.cpp|store/store.h|0"
      "tools/b.cpp|ops/series_reader.h|0"
      "tools/c.cpp|app/entry.h|1"
      "tools/d.cpp|store/internal.h|1"
      "tests/a.cpp|app/entry.h|0")
  set(expected "")
  foreach(c IN LISTS cases)
    string(REPLACE "|" ";" parts "${c}")
    list(GET parts 0 file)
    list(GET parts 1 header)
    list(GET parts 2 refused)
    string(REGEX REPLACE "/.*" "" folder "${file}")
    file(WRITE "${root}/${file}" "// case\n#include <vector>\n  #  include \"${header}\"\n")
    if(refused)
      list(APPEND expected "${file}:3: ${folder} includes ${header}")
    endif()
  endforeach()
  pektor_check_layers("${root}" found)
  list(SORT expected)
  list(SORT found)
  file(REMOVE_RECURSE "${root}")
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " found "${found}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR "the layering check reported\n  ${found}\ninstead of\n  ${expected}")
  endif()
  return()
endif()

pektor_check_layers("${SRC}" found)
if(found)
  string(REPLACE ";" "\n  " found "${found}")
  message(FATAL_ERROR "includes of a layer above (io <- dms <- raflib <- store <- ops <- app; "
                      "tools may use all below app):\n  ${found}")
endif()
