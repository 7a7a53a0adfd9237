// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Rewrites an IMA ADPCM WAVE file from the interleaved layout that encoders write (codec id
// 0x11) into the per-channel layout with codec id 0x69 that blockbraider converts: the tool's
// permutation undone, to make the bundled example from a real encoder's file.
// usage: per_channel IN OUT
#include "transpose.hpp"

#include <util/util.hpp>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: per_channel IN OUT\n", stderr);
        return 1;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr)
        util::fatal_errno("per_channel", 1, "main", "fopen");
    std::vector<unsigned char> file;
    unsigned char piece[4096];
    for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, in)) != 0;)
        file.insert(file.end(), piece, piece + n);
    std::fclose(in);
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        util::fatal_message("per_channel", 2, "main", "not a RIFF/WAVE file");

    std::uint32_t channels = 0, block_size = 0;
    for (std::size_t offset = 12; offset + 8 <= file.size();) {
        unsigned char* chunk = file.data() + offset;
        const std::uint32_t size = util::unpack_32_le(chunk + 4);
        if (size > file.size() - offset - 8)
            util::fatal_message("per_channel", 3, "main", "chunk past the end of the file");
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 14 || util::unpack_16_le(chunk + 8) != 0x11)
                util::fatal_message("per_channel", 4, "main", "not IMA ADPCM (codec id 0x11)");
            util::pack_16_le(0x69, chunk + 8);
            channels = util::unpack_16_le(chunk + 10);
            block_size = util::unpack_16_le(chunk + 20);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (channels == 0 || block_size == 0 || block_size % (4 * channels) != 0)
                util::fatal_message("per_channel", 5, "main", "no usable fmt chunk before data");
            // The interleave is a transpose of words by channels: transposed back, each block
            // is in the per-channel layout. A short last block is left as it is.
            const std::uint32_t words = block_size / channels / 4;
            std::vector<unsigned char> block(block_size);
            for (std::size_t at = 0; at + block_size <= size; at += block_size) {
                const unsigned char* back =
                    blockbraider::interleave_blocks(chunk + 8 + at, block.data(), words, channels,
                                                    1, blockbraider::wide_vectors_available());
                std::memmove(chunk + 8 + at, back, block_size);
            }
        }
        offset += 8 + size;
    }

    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr)
        util::fatal_errno("per_channel", 6, "main", "fopen");
    util::put_bytes(out, file.data(), file.size());
    if (std::fclose(out) != 0)
        util::fatal_stream("per_channel", 7, "main", "fclose", nullptr);
    return 0;
}
