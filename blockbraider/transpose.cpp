#include "transpose.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// 32-byte vectors halve the stores and the loads of long channels where the processor has them;
// the choice is made at run time, so one executable serves every x86-64.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
#define BLOCKBRAIDER_AVX2 1
#include <immintrin.h>
#endif

namespace blockbraider {

namespace {

// Every tile must be inlined into its block loop: a call per block costs about as much as the
// block's permutation, and the compiler's own choice changed with each copy added.
#if defined(__GNUC__)
#define BLOCKBRAIDER_INLINE [[gnu::always_inline]] inline
#else
#define BLOCKBRAIDER_INLINE inline
#endif

// A block is a channels x words matrix of 4-byte words stored row by row (each row a channel's
// header and data), and the interleave is its transpose: word w of channel c goes to w·channels+c.
// Pointers below step by bytes: `row` bytes from one channel to the next in the input, `column`
// bytes from one word to the next in the output.
//
// The tiles take up to four (eight) channels at a time. A tile of fewer channels stores whole
// 16-byte (32-byte) vectors all the same, and so spills up to three (seven) words past its
// channels into the start of the next output row; the tile of the first channels, or the next
// row of the same tile, writes them over later. So the last channels' tile goes first, a tile
// stores its rows in order, and only the block's very last row, after which nothing is written,
// is stored exactly: nothing lands outside the block.

void move_word(const unsigned char* from, unsigned char* to) { std::memcpy(to, from, 4); }

#if defined(__SSE2__)
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
    const std::uint32_t first_tail = channels - tail;
    for (; w + 4 <= words; w += 4) {
        const bool last = w + 4 == words;
        const unsigned char* from = in + 4 * w + first_tail * row;
        unsigned char* to = out + w * column + 4 * first_tail;
        switch (tail) {
            case 1: transpose_4<1>(from, row, to, column, last); break;
            case 2: transpose_4<2>(from, row, to, column, last); break;
            case 3: transpose_4<3>(from, row, to, column, last); break;
            default: break;
        }
        for (std::uint32_t c = 0; c < first_tail; c += 4)
            transpose_4<4>(in + 4 * w + c * row, row, out + w * column + 4 * c, column, last);
    }
    return w;
}
#endif

// The words that no whole tile of four covers, one at a time.
BLOCKBRAIDER_INLINE void transpose_rest(const unsigned char* in, unsigned char* out,
                                        std::uint32_t channels, std::uint32_t words,
                                        std::uint32_t w) {
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
        w = transpose_tiles<fixed_channels>(in, out, channels, words, w);
#endif
        transpose_rest(in, out, channels, words, w);
    }
}

#if defined(BLOCKBRAIDER_AVX2)
#define BLOCKBRAIDER_TARGET_AVX2 __attribute__((target("avx2")))

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
// left.
template <std::uint32_t fixed_channels>
BLOCKBRAIDER_INLINE BLOCKBRAIDER_TARGET_AVX2 std::uint32_t transpose_tiles_8(
    const unsigned char* in, unsigned char* out, std::uint32_t channels, std::uint32_t words) {
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    const std::uint32_t tail = fixed_channels != 0 ? fixed_channels % 8 : channels % 8;
    const std::uint32_t first_tail = channels - tail;
    std::uint32_t w = 0;
    for (; w + 4 <= words; w += 4) {
        const bool last = w + 4 == words;
        const unsigned char* from = in + 4 * w + first_tail * row;
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
        for (std::uint32_t c = 0; c < first_tail; c += 8)
            transpose_8x4<8>(in + 4 * w + c * row, row, out + w * column + 4 * c, column, last);
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
    const std::size_t row = std::size_t{4} * words, column = 4 * channels;
    // Three channels' stores spill, so a row must follow the tile's: the block's last rows are
    // left to the exact stores after.
    const std::uint32_t end = channels == 3 ? words - 1 : words;
    std::uint32_t w = 0;
    for (; w + 8 <= end; w += 8) {
        const unsigned char* from = in + 4 * w;
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

template <std::uint32_t fixed_channels, std::uint32_t fixed_words = 0>
BLOCKBRAIDER_TARGET_AVX2 void transpose_blocks_avx2(const unsigned char* in, unsigned char* out,
                                                    std::uint32_t channels, std::uint32_t words,
                                                    std::size_t blocks) {
    if constexpr (fixed_channels != 0)
        channels = fixed_channels;
    if constexpr (fixed_words != 0)
        words = fixed_words;
    const std::size_t block_size = std::size_t{4} * words * channels;
    for (std::size_t b = 0; b < blocks; ++b, in += block_size, out += block_size) {
        std::uint32_t w = 0;
        if constexpr (fixed_channels >= 2 && fixed_channels <= 4)
            w = transpose_narrow<fixed_channels>(in, out, words);
        else
            w = transpose_tiles_8<fixed_channels>(in, out, channels, words);
        w = transpose_tiles<fixed_channels>(in, out, channels, words, w);
        transpose_rest(in, out, channels, words, w);
    }
}
#endif

// 36 bytes a channel (9 words) is by far the commonest size in real files: it gets a copy of its
// own, unrolled whole.
template <std::uint32_t channels>
void transpose_common(const unsigned char* in, unsigned char* out, std::uint32_t words,
                      std::size_t blocks, [[maybe_unused]] bool wide_vectors) {
#if defined(BLOCKBRAIDER_AVX2)
    if (wide_vectors) {
        if (words == 9)
            transpose_blocks_avx2<channels, 9>(in, out, channels, words, blocks);
        else
            transpose_blocks_avx2<channels>(in, out, channels, words, blocks);
        return;
    }
#endif
    if (words == 9)
        transpose_blocks<channels, 9>(in, out, channels, words, blocks);
    else
        transpose_blocks<channels>(in, out, channels, words, blocks);
}

}  // namespace

bool wide_vectors_available() {
#if defined(BLOCKBRAIDER_AVX2)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const unsigned char* interleave_blocks(const unsigned char* in, unsigned char* out,
                                       std::uint32_t channels, std::uint32_t words,
                                       std::size_t blocks, bool wide_vectors) {
    if (channels == 1 || words == 1)
        return in;
    // Every count that real files carry, mono to 7.1 and the ambisonic orders up to the third,
    // has a copy of its own; the rest take the count at run time.
    switch (channels) {
        case 2: transpose_common<2>(in, out, words, blocks, wide_vectors); break;
        case 3: transpose_common<3>(in, out, words, blocks, wide_vectors); break;
        case 4: transpose_common<4>(in, out, words, blocks, wide_vectors); break;
        case 5: transpose_common<5>(in, out, words, blocks, wide_vectors); break;
        case 6: transpose_common<6>(in, out, words, blocks, wide_vectors); break;
        case 7: transpose_common<7>(in, out, words, blocks, wide_vectors); break;
        case 8: transpose_common<8>(in, out, words, blocks, wide_vectors); break;
        case 9: transpose_common<9>(in, out, words, blocks, wide_vectors); break;
        case 10: transpose_common<10>(in, out, words, blocks, wide_vectors); break;
        case 11: transpose_common<11>(in, out, words, blocks, wide_vectors); break;
        case 12: transpose_common<12>(in, out, words, blocks, wide_vectors); break;
        case 13: transpose_common<13>(in, out, words, blocks, wide_vectors); break;
        case 14: transpose_common<14>(in, out, words, blocks, wide_vectors); break;
        case 15: transpose_common<15>(in, out, words, blocks, wide_vectors); break;
        case 16: transpose_common<16>(in, out, words, blocks, wide_vectors); break;
        default:
#if defined(BLOCKBRAIDER_AVX2)
            if (wide_vectors) {
                transpose_blocks_avx2<0>(in, out, channels, words, blocks);
                break;
            }
#endif
            transpose_blocks<0>(in, out, channels, words, blocks);
            break;
    }
    return out;
}

}  // namespace blockbraider
