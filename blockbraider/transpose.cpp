#include "transpose.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Stereo, the commonest layout, permutes in a third less time with 32-byte stores where the
// processor has them; the choice is made at run time, so one executable serves every x86-64.
#if defined(__GNUC__) && defined(__x86_64__)
#define BLOCKBRAIDER_STEREO_AVX2 1
#include <immintrin.h>
#endif

namespace blockbraider {

namespace {

// A block is a channels x words matrix of 4-byte words stored row by row (each row a channel's
// header and data), and the interleave is its transpose: word w of channel c goes to w·channels+c.
// Pointers below step by bytes: `row` bytes from one channel to the next in the input, `column`
// bytes from one word to the next in the output.
//
// The tiles take up to four channels at a time. A tile of three channels, or of one, stores
// whole 16-byte vectors all the same, and so spills one or three words past its channels into
// the start of the next output row; the tile of channels 0-3, or the next row of the same tile,
// writes them over later. So the last channels' tile goes first, and only the block's very last
// row, after which nothing is written, is stored exactly: nothing lands outside the block.

void move_word(const unsigned char* from, unsigned char* to) { std::memcpy(to, from, 4); }

#if defined(__SSE2__)
// Stores the first `count` words of `words`, or all four when a spill is allowed.
template <std::uint32_t count>
void store_words(unsigned char* to, __m128i words, bool exact) {
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
void transpose_4(const unsigned char* in, std::size_t row, unsigned char* out, std::size_t column,
                 bool last_row_exact) {
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
std::uint32_t transpose_tiles(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                              std::uint32_t words) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    const std::uint32_t tail = fixed_channels != 0 ? fixed_channels % 4 : channels % 4;
    const std::uint32_t first_tail = channels - tail;
    std::uint32_t w = 0;
    for (; w + 4 <= words; w += 4) {
        const bool last = w + 4 == words;
        const unsigned char* from = in + 4 * w;
        unsigned char* to = out + w * column;
        switch (tail) {
            case 1:
                transpose_4<1>(from + first_tail * row, row, to + 4 * first_tail, column, last);
                break;
            case 2:
                transpose_4<2>(from + first_tail * row, row, to + 4 * first_tail, column, last);
                break;
            case 3:
                transpose_4<3>(from + first_tail * row, row, to + 4 * first_tail, column, last);
                break;
            default: break;
        }
        for (std::uint32_t c = 0; c < first_tail; c += 4)
            transpose_4<4>(from + c * row, row, to + 4 * c, column, last);
    }
    return w;
}
#endif

// The words that no whole tile of four covers, one at a time.
void transpose_rest(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                    std::uint32_t words, std::uint32_t w) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    for (; w < words; ++w)
        for (std::uint32_t c = 0; c < channels; ++c)
            move_word(in + c * row + 4 * w, out + w * column + 4 * c);
}

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
        std::uint32_t w = 0;
#if defined(__SSE2__)
        w = transpose_tiles<fixed_channels>(in, out, channels, words);
#endif
        transpose_rest(in, out, channels, words, w);
    }
}

#if defined(BLOCKBRAIDER_STEREO_AVX2)
template <std::uint32_t fixed_words>
__attribute__((target("avx2"))) void transpose_stereo_avx2(const unsigned char* in,
                                                           unsigned char* out, std::uint32_t words,
                                                           std::size_t blocks) {
    if constexpr (fixed_words != 0)
        words = fixed_words;
    const std::size_t row = std::size_t{4} * words, block_size = 2 * row;
    for (std::size_t b = 0; b < blocks; ++b, in += block_size, out += block_size) {
        std::uint32_t w = 0;
        for (; w + 8 <= words; w += 8) {
            const __m256i r0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * w));
            const __m256i r1 =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + row + 4 * w));
            // The unpacks work within 128-bit lanes: words 0-1 and 4-5 in one, 2-3 and 6-7 in
            // the other, put back in order by the lane permutes.
            const __m256i low = _mm256_unpacklo_epi32(r0, r1), high = _mm256_unpackhi_epi32(r0, r1);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * w),
                                _mm256_permute2x128_si256(low, high, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * w + 32),
                                _mm256_permute2x128_si256(low, high, 0x31));
        }
        for (; w < words; ++w) {
            move_word(in + 4 * w, out + 8 * w);
            move_word(in + row + 4 * w, out + 8 * w + 4);
        }
    }
}
#endif

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

const unsigned char* interleave_blocks(const unsigned char* in, unsigned char* out,
                                       std::uint32_t channels, std::uint32_t words,
                                       std::size_t blocks) {
    if (channels == 1 || words == 1)
        return in;
    // Every count that real files carry, mono to 7.1 and the ambisonic orders up to the third,
    // has a copy of its own; the rest take the count at run time.
    switch (channels) {
        case 2:
#if defined(BLOCKBRAIDER_STEREO_AVX2)
            // Shorter channels keep the SSE2 path, which they fill as well.
            if (words >= 8 && __builtin_cpu_supports("avx2")) {
                if (words == 9)
                    transpose_stereo_avx2<9>(in, out, words, blocks);
                else
                    transpose_stereo_avx2<0>(in, out, words, blocks);
                break;
            }
#endif
            transpose_common<2>(in, out, words, blocks);
            break;
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
    return out;
}

}  // namespace blockbraider
