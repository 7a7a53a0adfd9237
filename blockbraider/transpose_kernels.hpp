// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_TRANSPOSE_KERNELS_HPP
#define BLOCKBRAIDER_TRANSPOSE_KERNELS_HPP

// What the permutation's files share: transpose.cpp picks one of the kernels below by processor,
// transpose_sse2.cpp and transpose_avx2.cpp hold one instruction set each, and all of them finish
// a block with the word-by-word loop here.
//
// A block is a channels x words matrix of 4-byte words stored row by row (each row a channel's
// header and data), and the interleave is its transpose: word w of channel c goes to w·channels+c.
// Pointers step by bytes: `row` bytes from one channel to the next in the input, `column` bytes
// from one word to the next in the output.
//
// The helpers are defined in an unnamed namespace, so that every file that includes this one has
// a copy of its own, compiled for that file: the linker never picks one file's copy for another.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// 32-byte vectors halve the stores and the loads of long channels where the processor has them;
// the choice is made at run time, so one executable serves every x86-64.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
#define BLOCKBRAIDER_AVX2 1
#endif

// Every tile must be inlined into its block loop: a call per block costs about as much as the
// block's permutation, and the compiler's own choice changed with each copy added.
#if defined(__GNUC__)
#define BLOCKBRAIDER_INLINE [[gnu::always_inline]] inline
#else
#define BLOCKBRAIDER_INLINE inline
#endif

namespace blockbraider {

#if defined(__SSE2__)
/// Interleaves `blocks` blocks with 16-byte vectors, which every x86-64 has.
void interleave_sse2(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                     std::uint32_t words, std::size_t blocks);
#endif

#if defined(BLOCKBRAIDER_AVX2)
/// Interleaves `blocks` blocks with 32-byte vectors; only for a processor with AVX2.
void interleave_avx2(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                     std::uint32_t words, std::size_t blocks);
#endif

namespace {

// Words w.. of every channel, one at a time: the words that no whole tile covers.
BLOCKBRAIDER_INLINE void transpose_rest(const unsigned char* in, unsigned char* out,
                                        std::uint32_t channels, std::uint32_t words,
                                        std::uint32_t w) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    for (; w < words; ++w)
        for (std::size_t c = 0; c < channels; ++c)
            std::memcpy(out + w * column + 4 * c, in + c * row + std::size_t{4} * w, 4);
}

#if defined(__SSE2__)
// The 16-byte tiles take up to four channels at a time. A tile of fewer channels stores whole
// vectors all the same, and so spills up to three words past its channels into the start of the
// next output row; the tile of the first channels, or the next row of the same tile, writes them
// over later. So the last channels' tile goes first, a tile stores its rows in order, and only
// the block's very last row, after which nothing is written, is stored exactly: nothing lands
// outside the block.

// Stores the first `count` words of `words`, or all four when a spill is allowed.
template <std::uint32_t count>
BLOCKBRAIDER_INLINE void store_words(unsigned char* to, __m128i words, bool exact) {
    if (count == 4 || (!exact && count != 2)) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), words);
    } else if (count == 1) {
        const int word = _mm_cvtsi128_si32(words);
        std::memcpy(to, &word, 4);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), words);
        if (count == 3) {
            const int word = _mm_cvtsi128_si32(_mm_unpackhi_epi64(words, words));
            std::memcpy(to + 8, &word, 4);
        }
    }
}

// Words w..w+3 of `channels` channels (1 to 4) from `in`; rows past the last repeat it.
template <std::uint32_t channels>
BLOCKBRAIDER_INLINE void transpose_4(const unsigned char* in, std::size_t row, unsigned char* out,
                                     std::size_t column, bool last_row_exact) {
    const auto load = [&](std::size_t c) {
        return _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(in + (c < channels ? c : channels - 1) * row));
    };
    const __m128i r0 = load(0);
    if constexpr (channels == 1) {  // a word to a row: each moves to the front in turn
        store_words<1>(out, r0, false);
        store_words<1>(out + column, _mm_shuffle_epi32(r0, 1), false);
        store_words<1>(out + 2 * column, _mm_shuffle_epi32(r0, 2), false);
        store_words<1>(out + 3 * column, _mm_shuffle_epi32(r0, 3), last_row_exact);
        return;
    }
    const __m128i r1 = load(1);
    const __m128i low01 = _mm_unpacklo_epi32(r0, r1), high01 = _mm_unpackhi_epi32(r0, r1);
    if (channels == 2 && column == 8) {  // two channels in all: the four pairs lie side by side
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low01);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high01);
        return;
    }
    const __m128i r2 = load(2), r3 = load(3);
    const __m128i low23 = _mm_unpacklo_epi32(r2, r3), high23 = _mm_unpackhi_epi32(r2, r3);
    store_words<channels>(out, _mm_unpacklo_epi64(low01, low23), false);
    store_words<channels>(out + column, _mm_unpackhi_epi64(low01, low23), false);
    store_words<channels>(out + 2 * column, _mm_unpacklo_epi64(high01, high23), false);
    store_words<channels>(out + 3 * column, _mm_unpackhi_epi64(high01, high23), last_row_exact);
}

// Words w.. of every channel, four at a time as long as four remain; returns the first word left.
template <std::uint32_t fixed_channels>
BLOCKBRAIDER_INLINE std::uint32_t transpose_tiles(const unsigned char* in, unsigned char* out,
                                                  std::uint32_t channels, std::uint32_t words,
                                                  std::uint32_t w) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    const std::uint32_t tail = fixed_channels != 0 ? fixed_channels % 4 : channels % 4;
    const std::size_t first_tail = channels - tail;
    for (; w + 4 <= words; w += 4) {
        const bool last = w + 4 == words;
        const unsigned char* from = in + std::size_t{4} * w + first_tail * row;
        unsigned char* to = out + w * column + 4 * first_tail;
        switch (tail) {
            case 1: transpose_4<1>(from, row, to, column, last); break;
            case 2: transpose_4<2>(from, row, to, column, last); break;
            case 3: transpose_4<3>(from, row, to, column, last); break;
            default: break;
        }
        for (std::size_t c = 0; c < first_tail; c += 4)
            transpose_4<4>(in + std::size_t{4} * w + c * row, row, out + w * column + 4 * c, column,
                           last);
    }
    return w;
}
#endif

// Both instruction sets choose the same copy of their kernel: every channel count that real
// files carry, mono to 7.1 and the ambisonic orders up to the third, has one of its own, and 36
// bytes a channel (9 words), by far the commonest size, one unrolled whole; the rest take the
// counts at run time. `kernel<channels, words>::blocks` is the kernel, 0 meaning "at run time".
template <template <std::uint32_t, std::uint32_t> class kernel, std::uint32_t channels>
BLOCKBRAIDER_INLINE void for_words(const unsigned char* in, unsigned char* out, std::uint32_t words,
                                   std::size_t blocks) {
    if (words == 9)
        kernel<channels, 9>::blocks(in, out, channels, words, blocks);
    else
        kernel<channels, 0>::blocks(in, out, channels, words, blocks);
}

template <template <std::uint32_t, std::uint32_t> class kernel>
BLOCKBRAIDER_INLINE void for_channels(const unsigned char* in, unsigned char* out,
                                      std::uint32_t channels, std::uint32_t words,
                                      std::size_t blocks) {
    switch (channels) {
        case 2: for_words<kernel, 2>(in, out, words, blocks); break;
        case 3: for_words<kernel, 3>(in, out, words, blocks); break;
        case 4: for_words<kernel, 4>(in, out, words, blocks); break;
        case 5: for_words<kernel, 5>(in, out, words, blocks); break;
        case 6: for_words<kernel, 6>(in, out, words, blocks); break;
        case 7: for_words<kernel, 7>(in, out, words, blocks); break;
        case 8: for_words<kernel, 8>(in, out, words, blocks); break;
        case 9: for_words<kernel, 9>(in, out, words, blocks); break;
        case 10: for_words<kernel, 10>(in, out, words, blocks); break;
        case 11: for_words<kernel, 11>(in, out, words, blocks); break;
        case 12: for_words<kernel, 12>(in, out, words, blocks); break;
        case 13: for_words<kernel, 13>(in, out, words, blocks); break;
        case 14: for_words<kernel, 14>(in, out, words, blocks); break;
        case 15: for_words<kernel, 15>(in, out, words, blocks); break;
        case 16: for_words<kernel, 16>(in, out, words, blocks); break;
        default: kernel<0, 0>::blocks(in, out, channels, words, blocks); break;
    }
}

}  // namespace

}  // namespace blockbraider

#endif
