// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_REINTERLEAVE_HPP
#define BLOCKBRAIDER_REINTERLEAVE_HPP

#include <cstdint>
#include <cstdio>

namespace blockbraider {

/// Rewrites in place every block of the data chunk at `data_offset` from the per-channel IMA
/// ADPCM layout (each channel's 4-byte header and data together) into the interleaved one (all
/// headers, then 4-byte groups from the channels in turn). The layout is checked before any
/// block is touched; a failure part-way leaves the blocks before it rewritten.
void reinterleave_ms_ima(std::FILE* stream, std::int32_t data_offset, std::uint32_t data_size,
                         std::uint32_t channels, std::uint32_t block_size);

}  // namespace blockbraider

#endif
