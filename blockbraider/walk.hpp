// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_WALK_HPP
#define BLOCKBRAIDER_WALK_HPP

#include <cstdio>

namespace blockbraider {

/// Checks the RIFF/WAVE header of the file open on `stream`, walks its chunks up to the end the
/// header gives, checks every "fmt " chunk, and converts every "data" chunk with the one in
/// force. Its diagnostics carry the tag "main", the routine they were first written in.
void walk_chunks(std::FILE* stream);

}  // namespace blockbraider

#endif
