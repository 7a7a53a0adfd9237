// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The permutation with 32-byte vectors, for a processor with AVX2, which transpose.cpp checks
// before it calls here. Two to four channels in all are taken eight words at a time; five or more,
// eight channels by four words at a time, with the 16-byte tiles for a remainder of one to four
// channels. The stores spill as the 16-byte tiles' do (up to seven words into the next output
// row, overwritten later); the block's last row is stored exactly, so nothing lands outside it.
//
// Every function here that uses 32-byte vectors carries the AVX2 target itself: the file is not
// compiled for AVX2 as a whole, so nothing else in it can reach a processor without AVX2.
#include "transpose_kernels.hpp"

#if defined(BLOCKBRAIDER_AVX2)

#include <immintrin.h>

#define BLOCKBRAIDER_TARGET_AVX2 __attribute__((target("avx2")))

namespace blockbraider {

namespace {

// Stores the first `count` words of `words`, or all eight when a spill is allowed.
template <std::uint32_t count>
BLOCKBRAIDER_INLINE BLOCKBRAIDER_TARGET_AVX2 void store_words_8(unsigned char* to, __m256i words,
                                                                bool exact) {
    if (count == 8 || !exact) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), words);
    } else if constexpr (count <= 4) {
        store_words<count>(to, _mm256_castsi256_si128(words), true);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(words));
        store_words<count - 4>(to + 16, _mm256_extracti128_si256(words, 1), true);
    }
}

// Words w..w+3 of `channels` channels (5 to 8); rows past the last repeat it. Row c sits in the
// low half of a register and row c+4 in the high half, so the unpacks, which stay within
// halves, give whole output rows of eight channels.
template <std::uint32_t channels>
BLOCKBRAIDER_INLINE BLOCKBRAIDER_TARGET_AVX2 void transpose_8x4(const unsigned char* in,
                                                                std::size_t row, unsigned char* out,
                                                                std::size_t column,
                                                                bool last_row_exact) {
    __m256i r[4];
    for (std::size_t c = 0; c < 4; ++c) {
        const std::size_t high = c + 4 < channels ? c + 4 : channels - 1;
        r[c] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + c * row))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + high * row)), 1);
    }
    const __m256i low01 = _mm256_unpacklo_epi32(r[0], r[1]);
    const __m256i high01 = _mm256_unpackhi_epi32(r[0], r[1]);
    const __m256i low23 = _mm256_unpacklo_epi32(r[2], r[3]);
    const __m256i high23 = _mm256_unpackhi_epi32(r[2], r[3]);
    store_words_8<channels>(out, _mm256_unpacklo_epi64(low01, low23), false);
    store_words_8<channels>(out + column, _mm256_unpackhi_epi64(low01, low23), false);
    store_words_8<channels>(out + 2 * column, _mm256_unpacklo_epi64(high01, high23), false);
    store_words_8<channels>(out + 3 * column, _mm256_unpackhi_epi64(high01, high23),
                            last_row_exact);
}

// Five channels or more: four words at a time, eight channels to a tile; returns the first word
// left. It follows transpose_tiles in transpose_kernels.hpp, with tiles twice as wide.
template <std::uint32_t fixed_channels>
BLOCKBRAIDER_INLINE BLOCKBRAIDER_TARGET_AVX2 std::uint32_t transpose_tiles_8(
    const unsigned char* in, unsigned char* out, std::uint32_t channels, std::uint32_t words) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    const std::uint32_t tail = fixed_channels != 0 ? fixed_channels % 8 : channels % 8;
    const std::size_t first_tail = channels - tail;
    std::uint32_t w = 0;
    for (; w + 4 <= words; w += 4) {
        const bool last = w + 4 == words;
        const unsigned char* from = in + std::size_t{4} * w + first_tail * row;
        unsigned char* to = out + w * column + 4 * first_tail;
        switch (tail) {
            case 1: transpose_4<1>(from, row, to, column, last); break;
            case 2: transpose_4<2>(from, row, to, column, last); break;
            case 3: transpose_4<3>(from, row, to, column, last); break;
            case 4: transpose_4<4>(from, row, to, column, last); break;
            case 5: transpose_8x4<5>(from, row, to, column, last); break;
            case 6: transpose_8x4<6>(from, row, to, column, last); break;
            case 7: transpose_8x4<7>(from, row, to, column, last); break;
            default: break;
        }
        for (std::size_t c = 0; c < first_tail; c += 8)
            transpose_8x4<8>(in + std::size_t{4} * w + c * row, row, out + w * column + 4 * c,
                             column, last);
    }
    return w;
}

// Two to four channels in all: eight words at a time from each channel, so that every load
// is 32 bytes; returns the first word left. Output rows w..w+3 come out in the low halves and
// w+4..w+7 in the high halves: with four channels rows lie side by side and pair up into
// 32-byte stores; with three, sixteen-byte stores spill one word each, overwritten in turn.
template <std::uint32_t channels>
BLOCKBRAIDER_INLINE BLOCKBRAIDER_TARGET_AVX2 std::uint32_t transpose_narrow(const unsigned char* in,
                                                                            unsigned char* out,
                                                                            std::uint32_t words) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    // Three channels' stores spill, so a row must follow the tile's: the block's last rows are
    // left to the exact stores after.
    const std::uint32_t end = channels == 3 ? words - 1 : words;
    std::uint32_t w = 0;
    for (; w + 8 <= end; w += 8) {
        const unsigned char* from = in + std::size_t{4} * w;
        unsigned char* to = out + w * column;
        const __m256i r0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
        const __m256i r1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + row));
        const __m256i low01 = _mm256_unpacklo_epi32(r0, r1);
        const __m256i high01 = _mm256_unpackhi_epi32(r0, r1);
        if constexpr (channels == 2) {  // pairs: words w..w+1 and w+4..w+5 in low01
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                                _mm256_permute2x128_si256(low01, high01, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32),
                                _mm256_permute2x128_si256(low01, high01, 0x31));
            continue;
        }
        const __m256i r2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 2 * row));
        const __m256i r3 =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + (channels - 1) * row));
        const __m256i low23 = _mm256_unpacklo_epi32(r2, r3);
        const __m256i high23 = _mm256_unpackhi_epi32(r2, r3);
        const __m256i o0 = _mm256_unpacklo_epi64(low01, low23);
        const __m256i o1 = _mm256_unpackhi_epi64(low01, low23);
        const __m256i o2 = _mm256_unpacklo_epi64(high01, high23);
        const __m256i o3 = _mm256_unpackhi_epi64(high01, high23);
        if constexpr (channels == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                                _mm256_permute2x128_si256(o0, o1, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32),
                                _mm256_permute2x128_si256(o2, o3, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 64),
                                _mm256_permute2x128_si256(o0, o1, 0x31));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 96),
                                _mm256_permute2x128_si256(o2, o3, 0x31));
        } else {
            const __m256i rows[] = {o0, o1, o2, o3};
            for (std::size_t k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k * column),
                                 _mm256_castsi256_si128(rows[k]));
            for (std::size_t k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to + (4 + k) * column),
                                 _mm256_extracti128_si256(rows[k], 1));
        }
    }
    return w;
}

// The loop over blocks is the SSE2 file's, written again here so that it is compiled for AVX2:
// its tiles are inlined into it only then.
template <std::uint32_t fixed_channels, std::uint32_t fixed_words>
struct avx2_kernel {
    BLOCKBRAIDER_TARGET_AVX2 static void blocks(const unsigned char* in, unsigned char* out,
                                                std::uint32_t channels, std::uint32_t words,
                                                std::size_t count) {
        if constexpr (fixed_channels != 0)
            channels = fixed_channels;
        if constexpr (fixed_words != 0)
            words = fixed_words;
        const std::size_t block_size = std::size_t{4} * words * channels;
        for (std::size_t b = 0; b < count; ++b, in += block_size, out += block_size) {
            std::uint32_t w = 0;
            if constexpr (fixed_channels >= 2 && fixed_channels <= 4)
                w = transpose_narrow<fixed_channels>(in, out, words);
            else
                w = transpose_tiles_8<fixed_channels>(in, out, channels, words);
            w = transpose_tiles<fixed_channels>(in, out, channels, words, w);
            transpose_rest(in, out, channels, words, w);
        }
    }
};

}  // namespace

// This entry point itself is compiled for every processor: a function declared without the AVX2
// target must be defined without it. The kernels it calls carry the target.
void interleave_avx2(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                     std::uint32_t words, std::size_t blocks) {
    for_channels<avx2_kernel>(in, out, channels, words, blocks);
}

}  // namespace blockbraider

#endif
