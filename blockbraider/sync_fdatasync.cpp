// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Where the system has fdatasync: the file's data, and what it takes to read it back, without
// its times.
#include "platform.hpp"

#include <unistd.h>

namespace blockbraider {

bool sync_file(std::FILE* stream) { return fdatasync(fileno(stream)) == 0; }

}  // namespace blockbraider
