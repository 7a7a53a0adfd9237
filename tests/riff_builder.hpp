// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef TESTS_RIFF_BUILDER_HPP
#define TESTS_RIFF_BUILDER_HPP

// Test files built in memory and encoded by hand, so that a fault in the library's own
// encoders or decoders cannot hide itself.

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace riff {

using Bytes = std::vector<unsigned char>;

struct Chunk {
    std::array<char, 4> id;
    Bytes body;
};

inline void append_le16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

inline void append_le32(Bytes& out, std::uint32_t value) {
    append_le16(out, value);
    append_le16(out, value >> 16);
}

/// The `width`-byte little-endian field at `at`.
inline std::uint32_t field(const Bytes& bytes, std::size_t at, int width = 4) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
    return value;
}

/// Overwrites the 4-byte little-endian field at `at` with `value`.
inline void set_field(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<unsigned char>(value >> (8 * i));
}

inline Bytes concat(std::vector<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

/// "RIFF", the size of what follows, "WAVE", then each chunk with its header; no pad bytes.
inline Bytes make_riff(const std::vector<Chunk>& chunks) {
    Bytes out{'R', 'I', 'F', 'F'};
    std::uint32_t size = 4;
    for (const Chunk& chunk : chunks)
        size += 8 + static_cast<std::uint32_t>(chunk.body.size());
    append_le32(out, size);
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    for (const Chunk& chunk : chunks) {
        out.insert(out.end(), chunk.id.begin(), chunk.id.end());
        append_le32(out, static_cast<std::uint32_t>(chunk.body.size()));
        out.insert(out.end(), chunk.body.begin(), chunk.body.end());
    }
    return out;
}

/// A 20-byte "fmt " body: codec, channels, rate, byte rate, block size, bits, extra size and
/// samples per block; `size` cuts it shorter or pads it with zeros.
inline Chunk fmt_chunk(std::uint32_t channels, std::uint32_t block_size, std::uint32_t codec = 0x69,
                       std::size_t size = 20) {
    Bytes body;
    append_le16(body, codec);
    append_le16(body, channels);
    append_le32(body, 0xAC44);  // an odd rate, so a misplaced read stands out
    append_le32(body, 0x1234567);
    append_le16(body, block_size);
    append_le16(body, 4);
    append_le16(body, 2);
    append_le16(body, 0xFFFF);
    body.resize(size);
    return {{'f', 'm', 't', ' '}, body};
}

inline Chunk data_chunk(Bytes body) { return {{'d', 'a', 't', 'a'}, std::move(body)}; }

/// Four bytes per token, distinct for distinct tokens of up to two characters ("H0", "A1"),
/// with the high bit set in one byte so that sign faults show.
inline Bytes groups(const std::vector<std::string>& tokens) {
    Bytes out;
    for (const std::string& token : tokens)
        out.insert(out.end(),
                   {static_cast<unsigned char>(token.at(0)),
                    static_cast<unsigned char>(token.size() > 1 ? token[1] : ' '), 0x80, 0xFF});
    return out;
}

/// The data of a chunk after conversion, stated the other way round from the tool: walk each
/// output block in order and name, for every 4-byte group, the input group it comes from. The
/// first `blocks` blocks are converted; whatever follows them is kept as it is.
inline Bytes interleaved(const Bytes& data, std::uint32_t channels, std::uint32_t block_size,
                         std::size_t blocks) {
    const std::uint32_t per_channel = block_size / channels;
    Bytes out;
    for (std::size_t b = 0; b < blocks; ++b) {
        const unsigned char* in = data.data() + b * block_size;
        const auto take = [&](std::uint32_t at) { out.insert(out.end(), in + at, in + at + 4); };
        for (std::uint32_t c = 0; c < channels; ++c)
            take(c * per_channel);
        for (std::uint32_t group = 1; group < per_channel / 4; ++group)
            for (std::uint32_t c = 0; c < channels; ++c)
                take(c * per_channel + 4 * group);
    }
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(out.size()), data.end());
    return out;
}

/// `count` bytes from a fixed pseudo-random sequence.
inline Bytes noise(std::size_t count, std::uint32_t seed) {
    Bytes out(count);
    for (unsigned char& b : out) {
        seed = seed * 1664525 + 1013904223;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return out;
}

/// `blocks` blocks of noise in the per-channel layout, each channel's share starting with a header
/// as encoders write it: a step index of at most 88 in its third byte and 0 in its fourth.
inline Bytes encoded(std::uint32_t channels, std::uint32_t block_size, std::size_t blocks,
                     std::uint32_t seed) {
    Bytes data = noise(blocks * block_size, seed);
    for (std::size_t at = 0; at < data.size(); at += block_size / channels) {
        data[at + 2] %= 89;
        data[at + 3] = 0;
    }
    return data;
}

inline void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

/// The whole file, or nothing if it cannot be read; read in one piece, since tests read files
/// of many megabytes in builds without optimisation.
inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

}  // namespace riff

#endif
