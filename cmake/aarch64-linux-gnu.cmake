# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# Cross-builds for Linux on 64-bit ARM and runs what it builds under qemu-user.
#   cmake --workflow --preset aarch64    or    .ci/check-cross aarch64
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross-linux.cmake")
