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
template <std::uint32_t fixed_channels, std::uint32_t fixed_words = 0>
void transpose_blocks(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                      std::uint32_t words, std::size_t blocks) {
    if constexpr (fixed_channels != 0)
        channels = fixed_channels;
    if constexpr (fixed_words != 0)
        words = fixed_words;
    const std::size_t block_size = std::size_t{4} * words * channels;
    for (std::size_t b = 0; b < blocks; ++b, in += block_size, out += block_size) {
        const std::uint32_t w = transpose_tiles<fixed_channels>(in, out, channels, words, 0);
        transpose_rest(in, out, channels, words, w);
    }
}

// 36 bytes a channel (9 words) is by far the commonest size in real files: it gets a copy of its
// own, unrolled whole.
template <std::uint32_t channels>
void transpose_common(const unsigned char* in, unsigned char* out, std::uint32_t words,
                      std::size_t blocks) {
    if (words == 9)
        transpose_blocks<channels, 9>(in, out, channels, words, blocks);
    else
        transpose_blocks<channels>(in, out, channels, words, blocks);
}

}  // namespace

// Every count that real files carry, mono to 7.1 and the ambisonic orders up to the third, has a
// copy of its own; the rest take the count at run time.
void interleave_sse2(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                     std::uint32_t words, std::size_t blocks) {
    switch (channels) {
        case 2: transpose_common<2>(in, out, words, blocks); break;
        case 3: transpose_common<3>(in, out, words, blocks); break;
        case 4: transpose_common<4>(in, out, words, blocks); break;
        case 5: transpose_common<5>(in, out, words, blocks); break;
        case 6: transpose_common<6>(in, out, words, blocks); break;
        case 7: transpose_common<7>(in, out, words, blocks); break;
        case 8: transpose_common<8>(in, out, words, blocks); break;
        case 9: transpose_common<9>(in, out, words, blocks); break;
        case 10: transpose_common<10>(in, out, words, blocks); break;
        case 11: transpose_common<11>(in, out, words, blocks); break;
        case 12: transpose_common<12>(in, out, words, blocks); break;
        case 13: transpose_common<13>(in, out, words, blocks); break;
        case 14: transpose_common<14>(in, out, words, blocks); break;
        case 15: transpose_common<15>(in, out, words, blocks); break;
        case 16: transpose_common<16>(in, out, words, blocks); break;
        default: transpose_blocks<0>(in, out, channels, words, blocks); break;
    }
}

}  // namespace blockbraider

#endif
