# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# What the aarch64 and s390x toolchain files share: Debian's cross compiler for Linux on
# CMAKE_SYSTEM_PROCESSOR (package g++-ARCH-linux-gnu), its libraries as the only place to find
# the target's, and qemu-user (package qemu-user) to run what it builds, the tests and the tool
# they start.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
# The same search rules as mingw-w64-x86_64.cmake: a toolchain file must stand alone.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A project that stages packages of its own for the target, as the tests do, may search more widely.
if(NOT DEFINED CMAKE_FIND_ROOT_PATH_MODE_PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR} -L /usr/${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
