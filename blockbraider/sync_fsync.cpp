// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Where the system has no fdatasync, fsync does the same and a little more: the times as well.
#include "platform.hpp"

#include <unistd.h>

namespace blockbraider {

bool sync_file(std::FILE* stream) { return fsync(fileno(stream)) == 0; }

}  // namespace blockbraider
