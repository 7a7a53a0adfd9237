# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# Cross-builds for Linux on 32-bit ARM with hard float (Debian's armhf, ARMv7) and runs what it
# builds under qemu-user.
set(CMAKE_SYSTEM_PROCESSOR armv7)
set(blockbraider_cross_triplet arm-linux-gnueabihf)
set(blockbraider_cross_qemu qemu-arm)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross-linux.cmake")
