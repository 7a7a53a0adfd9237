# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# The hardening every build gets by default, for a tool that reads files from anywhere: code that
# may be loaded at any address, stack-protector checks, fortified C library calls where the
# compiler optimises, control-flow protection where the compiler has it, and, on ELF systems, a
# relocation table made read-only before main runs. The sanitizer builds leave it out: their own
# checks replace it, and fortified calls would bypass their interceptors. Debian 12's static C
# library carries no CET notes, so a static executable gets no IBT or shadow stack whatever
# -fcf-protection marks in our own code.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckPIESupported)
check_pie_supported()

set(blockbraider_hardening OFF)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT BLOCKBRAIDER_SANITIZE)
  set(blockbraider_hardening ON)
  check_cxx_compiler_flag(-fcf-protection BLOCKBRAIDER_HAS_CF_PROTECTION)
endif()

# The static executable is static-pie where the C library has its start file for that (rcrt1.o,
# which Debian's s390x cross library lacks), and plain static elsewhere.
set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
set(CMAKE_REQUIRED_FLAGS -fPIE)
check_cxx_source_compiles("int main() { return 0; }" BLOCKBRAIDER_HAS_STATIC_PIE)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
unset(CMAKE_REQUIRED_FLAGS)

# Applies the hardening to a library or executable of the project's own.
function(blockbraider_harden target)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  if(NOT blockbraider_hardening)
    return()
  endif()
  target_compile_options(${target} PRIVATE -fstack-protector-strong
    $<$<BOOL:${BLOCKBRAIDER_HAS_CF_PROTECTION}>:-fcf-protection>
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  get_target_property(type ${target} TYPE)
  if(WIN32)
    # mingw's checks live in libssp, which only the flag at link time brings in: every program
    # that links this code needs it.
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE -fstack-protector-strong)
    else()
      target_link_options(${target} INTERFACE -fstack-protector-strong)
    endif()
  elseif(type STREQUAL "EXECUTABLE" AND NOT APPLE)
    target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
  endif()
endfunction()
