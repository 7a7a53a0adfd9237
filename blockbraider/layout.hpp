// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_LAYOUT_HPP
#define BLOCKBRAIDER_LAYOUT_HPP

// The tool writes no marker, so a chunk that an earlier run converted, wholly or from its start
// up to some block, is known only by where its blocks' channel headers lie.

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace blockbraider {

/// The layouts a block may be in, judged by its channel headers alone.
enum class block_layout { neither, per_channel, interleaved, both };

/// Whether the two layouts put any byte of a block in different places: with one channel, or
/// with headers only, they are the same bytes.
bool layouts_differ(std::uint32_t channels, std::uint32_t per_channel);

/// The layouts `block` may be in: the per-channel one where the group at the start of every
/// channel's share looks like a channel header, the interleaved one where the first `channels`
/// groups do.
block_layout layout_of(const unsigned char* block, std::uint32_t channels,
                       std::uint32_t per_channel);

/// Whether the first of `count` blocks at `blocks` that is in one layout only is in the
/// per-channel one; false where that block is interleaved, or where no block tells.
bool starts_per_channel(const unsigned char* blocks, std::size_t count, std::uint32_t channels,
                        std::uint32_t block_size);

/// How many bytes from the start of the data chunk at `data_offset` an earlier run has already
/// converted, read through `buffer` of `buffer_size` bytes (whole blocks) without moving the
/// stream: 0 unless its first block that tells is interleaved; else up to the first block that
/// is per-channel only, or up to the last whole block read. Where that boundary cannot be told
/// (a block in neither layout, blocks in both before the first per-channel one, an interleaved
/// block after it), ends the process with the bytes in doubt (site 16), having changed nothing.
std::uint32_t converted_prefix(std::FILE* stream, std::int32_t data_offset, std::uint32_t data_size,
                               std::uint32_t channels, std::uint32_t block_size,
                               unsigned char* buffer, std::size_t buffer_size);

}  // namespace blockbraider

#endif
