# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# Cross-builds for Linux on s390x, a big-endian machine, and runs what it builds under qemu-user.
#   cmake --workflow --preset s390x    or    .ci/check-cross s390x
set(CMAKE_SYSTEM_PROCESSOR s390x)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross-linux.cmake")
