// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Writes a valid file for the benchmark: a 0x69 "fmt " chunk, EMPTY_CHUNKS empty "JUNK" chunks
// (none by default), and one "data" chunk of whole blocks of pseudo-random bytes, each channel's
// share starting with a header as an encoder writes it (step index at most 88, reserved byte 0).
// usage: make_wav FILE CHANNELS BLOCK_SIZE DATA_BYTES [EMPTY_CHUNKS]
#include <util/util.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fputs("usage: make_wav FILE CHANNELS BLOCK_SIZE DATA_BYTES [EMPTY_CHUNKS]\n", stderr);
        return 1;
    }
    const auto channels = static_cast<std::uint32_t>(util::read_long(argv[2]));
    const auto block_size = static_cast<std::uint32_t>(util::read_long(argv[3]));
    const auto data_size =
        static_cast<std::uint32_t>(util::read_long(argv[4])) / block_size * block_size;
    const auto empty_chunks = static_cast<std::uint32_t>(argc == 6 ? util::read_long(argv[5]) : 0);
    const std::uint32_t samples_per_block = block_size / channels * 2 - 7;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr)
        util::fatal_errno("make_wav", 1, "main", "fopen");

    const unsigned char riff[] = {'R', 'I', 'F', 'F'}, wave[] = {'W', 'A', 'V', 'E'},
                        fmt[] = {'f', 'm', 't', ' '}, data[] = {'d', 'a', 't', 'a'};
    util::put_bytes(out, riff, 4);
    util::put_32_le(4 + 8 + 20 + 8 * empty_chunks + 8 + data_size, out);
    util::put_bytes(out, wave, 4);
    util::put_bytes(out, fmt, 4);
    util::put_32_le(20, out);
    util::put_16_le(0x69, out);
    util::put_16_le(channels, out);
    util::put_32_le(44100, out);
    util::put_32_le(44100 * block_size / samples_per_block, out);
    util::put_16_le(block_size, out);
    util::put_16_le(4, out);
    util::put_16_le(2, out);
    util::put_16_le(samples_per_block, out);
    const unsigned char empty[] = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
    for (std::uint32_t i = 0; i < empty_chunks; ++i)
        util::put_bytes(out, empty, sizeof empty);
    util::put_bytes(out, data, 4);
    util::put_32_le(data_size, out);

    // Whole blocks a piece, so that every channel's share in it starts with its header.
    std::vector<unsigned char> piece((1 << 20) / block_size * block_size);
    std::uint32_t state = 0x9E3779B9;
    for (std::uint32_t left = data_size; left != 0;) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(left, piece.size()));
        for (std::uint32_t i = 0; i < n; ++i) {
            state = state * 1664525 + 1013904223;
            piece[i] = static_cast<unsigned char>(state >> 24);
        }
        const std::uint32_t per_channel = block_size / channels;
        for (std::uint32_t at = 0; at + per_channel <= n; at += per_channel) {
            piece[at + 2] = static_cast<unsigned char>(piece[at + 2] % 89);
            piece[at + 3] = 0;
        }
        util::put_bytes(out, piece.data(), n);
        left -= n;
    }
    if (std::fclose(out) != 0)
        util::fatal_stream("make_wav", 2, "main", "fclose", nullptr);
    return 0;
}
