// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_TRANSPOSE_HPP
#define BLOCKBRAIDER_TRANSPOSE_HPP

#include <cstddef>
#include <cstdint>

namespace blockbraider {

/// Interleaves `blocks` consecutive blocks of `channels` rows of `words` 4-byte words from `in`
/// into `out`, and returns where the result lies: `in` itself when the two layouts coincide (one
/// channel, or headers only), `out` otherwise. `out` may overlap earlier blocks of `in`, as long
/// as each output block lies apart from its own input block and from the blocks after it.
/// `wide_vectors` picks the code for 32-byte vectors, which only wide_vectors_available() allows.
const unsigned char* interleave_blocks(const unsigned char* in, unsigned char* out,
                                       std::uint32_t channels, std::uint32_t words,
                                       std::size_t blocks, bool wide_vectors);

/// Whether this processor runs the interleave's code for 32-byte vectors (AVX2).
bool wide_vectors_available();

}  // namespace blockbraider

#endif
