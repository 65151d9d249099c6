# Include roots per folder. The sources include each other's headers as
# "<folder>/<name>.h" (e.g. "io/units.h"). Each folder gets a root of its own
# in the build tree that holds one entry named after the folder:
#
#   ${CMAKE_BINARY_DIR}/include/io/io -> ${CMAKE_SOURCE_DIR}/io
#
# and a library publishes the root of its folder, so a target sees the
# headers of the folders whose libraries it links, and no others. A folder
# with headers of its own (PRIVATE_HEADERS) publishes a root with links to
# its other headers only; the folder's own libraries (and the tests, see
# pektor_all_include_roots) get a second root with the whole folder.

set(PEKTOR_INCLUDE_ROOT "${CMAKE_BINARY_DIR}/include")

# pektor_include_root(<folder> [PRIVATE_HEADERS <header>...])
# Makes the root of <folder>; sets PEKTOR_<FOLDER>_INCLUDE (published) and
# PEKTOR_<FOLDER>_PRIVATE_INCLUDE (the whole folder) in the caller's scope.
function(pektor_include_root folder)
  cmake_parse_arguments(R "" "" "PRIVATE_HEADERS" ${ARGN})
  string(TOUPPER "${folder}" up)
  set(source "${CMAKE_SOURCE_DIR}/${folder}")
  set(whole "${PEKTOR_INCLUDE_ROOT}/${folder}")
  file(MAKE_DIRECTORY "${whole}")
  file(CREATE_LINK "${source}" "${whole}/${folder}" SYMBOLIC)
  if(R_PRIVATE_HEADERS)
    set(public "${PEKTOR_INCLUDE_ROOT}/${folder}-public")
    file(REMOVE_RECURSE "${public}")
    file(MAKE_DIRECTORY "${public}/${folder}")
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${source}" "${source}/*.h")
    foreach(h ${headers})
      if(NOT h IN_LIST R_PRIVATE_HEADERS)
        file(CREATE_LINK "${source}/${h}" "${public}/${folder}/${h}" SYMBOLIC)
      endif()
    endforeach()
  else()
    set(public "${whole}")
  endif()
  set(PEKTOR_${up}_INCLUDE "${public}" PARENT_SCOPE)
  set(PEKTOR_${up}_PRIVATE_INCLUDE "${whole}" PARENT_SCOPE)
  set_property(GLOBAL APPEND PROPERTY PEKTOR_ALL_INCLUDE_ROOTS "${whole}")
endfunction()

# pektor_publish(<target> <folder>): <target> publishes the root of <folder>
# and sees the whole folder itself.
function(pektor_publish target folder)
  string(TOUPPER "${folder}" up)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${PEKTOR_${up}_INCLUDE}")
  else()
    target_include_directories(${target} PUBLIC "${PEKTOR_${up}_INCLUDE}")
    if(NOT PEKTOR_${up}_INCLUDE STREQUAL PEKTOR_${up}_PRIVATE_INCLUDE)
      target_include_directories(${target} PRIVATE "${PEKTOR_${up}_PRIVATE_INCLUDE}")
    endif()
  endif()
endfunction()

# pektor_all_include_roots(<target>): every folder, private headers included
# (for the tests).
function(pektor_all_include_roots target)
  get_property(roots GLOBAL PROPERTY PEKTOR_ALL_INCLUDE_ROOTS)
  target_include_directories(${target} INTERFACE ${roots})
endfunction()
