# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# The library as others take it: installed to a staging prefix and found with find_package, and
# added with add_subdirectory. Each consumer is configured, built and run by ctest itself.
set(stage "${CMAKE_CURRENT_BINARY_DIR}/stage")
set(consumer_options -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE})
# Built for another system, the consumers use the same toolchain, find the staged package outside
# its root, and run under its emulator.
if(CMAKE_CROSSCOMPILING)
  list(APPEND consumer_options -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
                               -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH)
endif()
# The staged archive carries the instrumentation it was built with: link its runtime too.
set(instrumentation "")
if(BLOCKBRAIDER_SANITIZE)
  list(APPEND instrumentation -fsanitize=address,undefined)
endif()
if(BLOCKBRAIDER_COVERAGE)
  list(APPEND instrumentation --coverage)
endif()
if(instrumentation)
  list(JOIN instrumentation " " link_flags)
  list(APPEND consumer_options "-DCMAKE_EXE_LINKER_FLAGS=${link_flags}")
endif()

add_test(NAME install_to_stage
         COMMAND "${CMAKE_COMMAND}" --install "${PROJECT_BINARY_DIR}" --prefix "${stage}")
set_tests_properties(install_to_stage PROPERTIES FIXTURES_SETUP staged)

foreach(consumer package subdir)
  add_test(NAME ${consumer}_consumer
           COMMAND "${CMAKE_CTEST_COMMAND}" --build-and-test
                   "${CMAKE_CURRENT_SOURCE_DIR}/${consumer}" "${CMAKE_CURRENT_BINARY_DIR}/${consumer}"
                   --build-generator "${CMAKE_GENERATOR}"
                   --build-makeprogram "${CMAKE_MAKE_PROGRAM}"
                   --build-options ${consumer_options} "-DCMAKE_PREFIX_PATH=${stage}"
                                   "-DBLOCKBRAIDER_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                   --test-command ${CMAKE_CROSSCOMPILING_EMULATOR} consumer)
  set_tests_properties(${consumer}_consumer PROPERTIES PASS_REGULAR_EXPRESSION "consumer: ok")
endforeach()
set_tests_properties(package_consumer PROPERTIES FIXTURES_REQUIRED staged)

find_program(MANDOC mandoc)
if(MANDOC)
  add_test(NAME man_page_lint COMMAND "${MANDOC}" -T lint -W warning "${PROJECT_SOURCE_DIR}/doc/blockbraider.1")
else()
  add_skipped_test(man_page_lint "mandoc is not installed")
endif()
