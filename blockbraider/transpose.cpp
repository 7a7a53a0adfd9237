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

void move_word(const unsigned char* from, unsigned char* to) { std::memcpy(to, from, 4); }

#if defined(__SSE2__)
// Words w..w+3 of channels c..c+3.
void transpose_4x4(const unsigned char* in, std::size_t row, unsigned char* out,
                   std::size_t column) {
    const auto load = [&](std::size_t c) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + c * row));
    };
    const __m128i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
    const __m128i low01 = _mm_unpacklo_epi32(r0, r1), low23 = _mm_unpacklo_epi32(r2, r3);
    const __m128i high01 = _mm_unpackhi_epi32(r0, r1), high23 = _mm_unpackhi_epi32(r2, r3);
    const auto store = [&](std::size_t w, __m128i words) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + w * column), words);
    };
    store(0, _mm_unpacklo_epi64(low01, low23));
    store(1, _mm_unpackhi_epi64(low01, low23));
    store(2, _mm_unpacklo_epi64(high01, high23));
    store(3, _mm_unpackhi_epi64(high01, high23));
}

// Words w..w+3 of channels c and c+1.
void transpose_2x4(const unsigned char* in, std::size_t row, unsigned char* out,
                   std::size_t column) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + row));
    const __m128i low = _mm_unpacklo_epi32(r0, r1), high = _mm_unpackhi_epi32(r0, r1);
    if (column == 8) {  // two channels in all: the four pairs lie side by side
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
        return;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + column), _mm_unpackhi_epi64(low, low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * column), high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * column), _mm_unpackhi_epi64(high, high));
}
#endif

// The fixed counts let the compiler unroll the common layouts; 0 takes the argument at run time.
template <std::uint32_t fixed_channels, std::uint32_t fixed_words = 0>
void transpose_blocks(const unsigned char* in, unsigned char* out, std::uint32_t channels,
                      std::uint32_t words, std::size_t blocks) {
    if constexpr (fixed_channels != 0)
        channels = fixed_channels;
    if constexpr (fixed_words != 0)
        words = fixed_words;
    const std::size_t row = std::size_t{4} * words, column = std::size_t{4} * channels;
    const std::size_t block_size = row * channels;
    for (std::size_t b = 0; b < blocks; ++b, in += block_size, out += block_size) {
        std::uint32_t w = 0;
#if defined(__SSE2__)
        for (; w + 4 <= words; w += 4) {
            std::uint32_t c = 0;
            for (; c + 4 <= channels; c += 4)
                transpose_4x4(in + c * row + 4 * w, row, out + w * column + 4 * c, column);
            for (; c + 2 <= channels; c += 2)
                transpose_2x4(in + c * row + 4 * w, row, out + w * column + 4 * c, column);
            for (; c < channels; ++c)
                for (std::uint32_t k = w; k < w + 4; ++k)
                    move_word(in + c * row + 4 * k, out + k * column + 4 * c);
        }
#endif
        for (; w < words; ++w)
            for (std::uint32_t c = 0; c < channels; ++c)
                move_word(in + c * row + 4 * w, out + w * column + 4 * c);
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
        case 4: transpose_common<4>(in, out, words, blocks); break;
        case 6: transpose_common<6>(in, out, words, blocks); break;
        case 8: transpose_common<8>(in, out, words, blocks); break;
        default: transpose_blocks<0>(in, out, channels, words, blocks); break;
    }
    return out;
}

}  // namespace blockbraider
