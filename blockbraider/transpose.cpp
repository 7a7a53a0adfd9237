// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The permutation's one entry point: it picks the kernel for this processor, and holds the plain
// C++ that serves where there is no vector kernel.
#include "transpose.hpp"

#include "transpose_kernels.hpp"

namespace blockbraider {

bool wide_vectors_available() {
#if defined(BLOCKBRAIDER_AVX2)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const unsigned char* interleave_blocks(const unsigned char* in, unsigned char* out,
                                       std::uint32_t channels, std::uint32_t words,
                                       std::size_t blocks, [[maybe_unused]] bool wide_vectors) {
    if (channels == 1 || words == 1)
        return in;
#if defined(BLOCKBRAIDER_AVX2)
    if (wide_vectors) {
        interleave_avx2(in, out, channels, words, blocks);
        return out;
    }
#endif
#if defined(__SSE2__)
    interleave_sse2(in, out, channels, words, blocks);
#else
    const std::size_t block_size = std::size_t{4} * words * channels;
    for (std::size_t b = 0; b < blocks; ++b)
        transpose_rest(in + b * block_size, out + b * block_size, channels, words, 0);
#endif
    return out;
}

}  // namespace blockbraider
