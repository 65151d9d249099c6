# Fails when a C++ source of the project differs from its clang-format layout.
file(GLOB_RECURSE files
     ${SRC}/app/*.cpp ${SRC}/app/*.h ${SRC}/ops/*.cpp ${SRC}/ops/*.h
     ${SRC}/store/*.cpp ${SRC}/store/*.h ${SRC}/raflib/*.cpp ${SRC}/raflib/*.h
     ${SRC}/dms/*.cpp ${SRC}/dms/*.h ${SRC}/io/*.cpp ${SRC}/io/*.h
     ${SRC}/tools/*.cpp ${SRC}/tools/*.h ${SRC}/tests/*.cpp ${SRC}/tests/*.h
     ${SRC}/bench/*.cpp ${SRC}/bench/*.h ${SRC}/analysis/*.cpp ${SRC}/analysis/*.h
     ${SRC}/reader/*.cpp ${SRC}/reader/*.h ${SRC}/pictures/*.cpp ${SRC}/pictures/*.h
     ${SRC}/python/*.cpp ${SRC}/python/*.h ${SRC}/batch/*.cpp ${SRC}/batch/*.h)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${files}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "clang-format differences (run scripts/format):\n${err}")
endif()
