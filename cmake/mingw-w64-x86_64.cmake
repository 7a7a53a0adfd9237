# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# Cross-builds a Windows x86-64 blockbraider.exe with Debian's mingw-w64 (posix threads, which
# GoogleTest needs) and runs what it builds under wine. Every executable is linked statically, so
# it needs no DLL beyond those of Windows itself.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
# The same search rules as debian-cross-linux.cmake: a toolchain file must stand alone.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A project that stages packages of its own for the target, as the tests do, may search more widely.
if(NOT DEFINED CMAKE_FIND_ROOT_PATH_MODE_PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# wine's own notes on stderr would mix with the diagnostics the tests compare.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
