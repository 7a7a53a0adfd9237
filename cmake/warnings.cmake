# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# The one place the warnings are set, for every target of the project, tests and helpers too. The
# library and the tool also warn on every implicit narrowing conversion, as their byte and offset
# arithmetic is where such a fault would hide; the tests build their files with plain ints.
function(blockbraider_warnings target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "CONVERSION" "" "")
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                                             $<$<BOOL:${arg_CONVERSION}>:-Wconversion>)
  endif()
endfunction()
