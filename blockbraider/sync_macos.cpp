// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// On macOS fsync only hands the data to the drive, whose own cache may still lose it in a power
// cut; F_FULLFSYNC asks the drive to write it out. Some file systems (network ones, say) refuse
// F_FULLFSYNC, and there fsync is what they give.
#include "platform.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace blockbraider {

bool sync_file(std::FILE* stream) {
    const int fd = fileno(stream);
    return fcntl(fd, F_FULLFSYNC) == 0 || fsync(fd) == 0;
}

}  // namespace blockbraider
