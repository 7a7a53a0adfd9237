# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# What the cross toolchain files share: Debian's cross compiler for Linux on the triplet
# (package g++-TRIPLET, by default CMAKE_SYSTEM_PROCESSOR-linux-gnu), its libraries as the only
# place to find the target's, and qemu-user (package qemu-user) to run what it builds, the tests
# and the tool they start.
set(CMAKE_SYSTEM_NAME Linux)
if(NOT DEFINED blockbraider_cross_triplet)
  set(blockbraider_cross_triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
endif()
if(NOT DEFINED blockbraider_cross_qemu)
  set(blockbraider_cross_qemu qemu-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CMAKE_C_COMPILER ${blockbraider_cross_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${blockbraider_cross_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${blockbraider_cross_triplet})
# The same search rules as mingw-w64-x86_64.cmake: a toolchain file must stand alone.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A project that stages packages of its own for the target, as the tests do, may search more widely.
if(NOT DEFINED CMAKE_FIND_ROOT_PATH_MODE_PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()
# The cross compiler's own libraries, searched first: where dpkg also has the target's
# architecture, its C library lies in the host's multiarch folders, which the target's loader
# searches too, and a program that mixes the two hangs in fork.
set(CMAKE_CROSSCOMPILING_EMULATOR ${blockbraider_cross_qemu} -L /usr/${blockbraider_cross_triplet}
    -E LD_LIBRARY_PATH=/usr/${blockbraider_cross_triplet}/lib)
