# Fails when a source file includes a header of a folder it may not use.
#
#   cmake -DSRC=<source tree> -P check_layers.cmake
#   cmake -DSELFTEST=<scratch folder> -P check_layers.cmake
#
# The folders and what each may include (besides itself):
#
#   io                                    units, records, free-format input
#   dms       io                          the work array
#   raflib    io dms                      the dyn-file format
#   store     io dms raflib               catalogue, booking, recall
#   analysis  (nothing)                   statistics, peaks, rainflow, ...: no files
#   reader    io dms raflib store         the read-only reader of dyn files
#   ops       io dms raflib store analysis reader   the classic operations
#   pictures  io analysis                 SVG pictures and HTML pages
#   batch     io dms raflib store analysis reader ops pictures   the batch commands
#   app       every folder but tools      the program entry and the dialogue
#   python    every folder but app        the Python module
#   tools     every folder but app        the dyn-file writer and dyngen
#
# tests/ may include everything (and are not read). The private headers
# (dms/dms_internal.h, store/internal.h) are for their own folder only.
# Includes that climb out of a folder ("../x.h") are refused. SELFTEST writes
# a small tree with allowed and refused includes and checks that exactly the
# refused ones are reported.

cmake_minimum_required(VERSION 3.20)

set(PEKTOR_FOLDERS io dms raflib store analysis reader ops pictures batch app python tools)
set(PEKTOR_USES_io "")
set(PEKTOR_USES_dms io)
set(PEKTOR_USES_raflib io dms)
set(PEKTOR_USES_store io dms raflib)
set(PEKTOR_USES_analysis "")
set(PEKTOR_USES_reader io dms raflib store)
set(PEKTOR_USES_ops io dms raflib store analysis reader)
set(PEKTOR_USES_pictures io analysis)
set(PEKTOR_USES_batch io dms raflib store analysis reader ops pictures)
set(PEKTOR_USES_app io dms raflib store analysis reader ops pictures batch)
set(PEKTOR_USES_python io dms raflib store analysis reader ops pictures batch tools)
set(PEKTOR_USES_tools io dms raflib store analysis reader ops pictures)
set(PEKTOR_PRIVATE_HEADERS dms/dms_internal.h store/internal.h)

# pektor_check_layers(<root> <out>): the list of refused includes below root,
# each "<file>:<line>: <folder> includes <header>".
function(pektor_check_layers root out)
  set(found "")
  foreach(folder IN LISTS PEKTOR_FOLDERS)
    set(allowed ${folder} ${PEKTOR_USES_${folder}})
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
          if(target IN_LIST PEKTOR_FOLDERS OR target STREQUAL "tests")
            if(NOT target IN_LIST allowed)
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
      "batch/b.cpp|io/units.h|0"
      "app/c.cpp|tests/support/scratch.h|1"
      "tools/a.cpp|store/store.h|0"
      "tools/b.cpp|ops/series_reader.h|0"
      "tools/c.cpp|app/entry.h|1"
      "tools/d.cpp|store/internal.h|1"
      "tests/a.cpp|app/entry.h|0"
      "analysis/a.cpp|io/units.h|1"
      "analysis/b.h|analysis/stats.h|0"
      "reader/a.cpp|store/format.h|0"
      "reader/b.cpp|analysis/stats.h|1"
      "reader/c.cpp|ops/extract.h|1"
      "ops/e.cpp|reader/reader.h|0"
      "ops/f.cpp|analysis/stats.h|0"
      "pictures/a.cpp|analysis/stats.h|0"
      "pictures/b.cpp|reader/reader.h|1"
      "pictures/c.cpp|ops/extract.h|1"
      "python/a.cpp|reader/reader.h|0"
      "python/b.cpp|app/entry.h|1"
      "python/c.cpp|batch/commands.h|0"
      "batch/a.cpp|app/entry.h|1"
      "pictures/d.cpp|batch/table.h|1"
      "app/d.cpp|pictures/svg.h|0")
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
  message(FATAL_ERROR "includes of a folder the including folder may not use "
                      "(see tests/check_layers.cmake):\n  ${found}")
endif()
