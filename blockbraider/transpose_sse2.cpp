// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The permutation with 16-byte vectors, for every channel count: tiles of four channels by four
// words, the last channels' tile first, and the words that no tile covers one at a time. A tile
// of fewer than four channels spills up to three words into the next output row, which a later
// store overwrites; the block's last row is stored exactly, so nothing lands outside the block.
#include "transpose_kernels.hpp"

#if defined(__SSE2__)

namespace blockbraider {

namespace {

// The fixed counts let the compiler unroll the common layouts; 0 takes the argument at run time.
template <std::uint32_t fixed_channels, std::uint32_t fixed_words>
struct sse2_kernel {
    static void blocks(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                       std::uint32_t words, std::size_t count) {
        if constexpr (fixed_channels != 0)
            channels = fixed_channels;
        if constexpr (fixed_words != 0)
            words = fixed_words;
        const std::size_t block_size = std::size_t{4} * words * channels;
        for (std::size_t b = 0; b < count; ++b, in += block_size, out += block_size) {
            const std::uint32_t w = transpose_tiles<fixed_channels>(in, out, channels, words, 0);
            transpose_rest(in, out, channels, words, w);
        }
    }
};

}  // namespace

void interleave_sse2(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                     std::uint32_t words, std::size_t blocks) {
    for_channels<sse2_kernel>(in, out, channels, words, blocks);
}

}  // namespace blockbraider

#endif
