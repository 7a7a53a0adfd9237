// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

#include "seek.hpp"

#include <cstdint>

namespace util {

namespace {

void write_exact(std::FILE* stream, const unsigned char* data, std::size_t count, int site,
                 const char* name) {
    if (std::fwrite(data, 1, count, stream) != count)
        fatal_stream("util", site, name, "fwrite", stream);
}

}  // namespace

void pack_16_le(std::uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

void pack_16_be(std::uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value >> 8);
    bytes[1] = static_cast<unsigned char>(value);
}

void pack_32_le(std::uint32_t value, unsigned char* bytes) {
    pack_16_le(value, bytes);
    pack_16_le(value >> 16, bytes + 2);
}

void pack_32_be(std::uint32_t value, unsigned char* bytes) {
    pack_16_be(value >> 16, bytes);
    pack_16_be(value, bytes + 2);
}

// The writers are written out one by one, alike in shape: each names its own site and function
// in its own call, as the diagnostics quote them.
void put_byte(std::uint32_t value, std::FILE* stream) {
    const unsigned char b[1] = {static_cast<unsigned char>(value)};
    write_exact(stream, b, sizeof b, 188, "put_byte");
}

void put_16_be(std::uint32_t value, std::FILE* stream) {
    unsigned char b[2];
    pack_16_be(value, b);
    write_exact(stream, b, sizeof b, 202, "put_16_be");
}

void put_16_le(std::uint32_t value, std::FILE* stream) {
    unsigned char b[2];
    pack_16_le(value, b);
    write_exact(stream, b, sizeof b, 215, "put_16_le");
}

void put_32_be(std::uint32_t value, std::FILE* stream) {
    unsigned char b[4];
    pack_32_be(value, b);
    write_exact(stream, b, sizeof b, 228, "put_32_be");
}

void put_32_le(std::uint32_t value, std::FILE* stream) {
    unsigned char b[4];
    pack_32_le(value, b);
    write_exact(stream, b, sizeof b, 241, "put_32_le");
}

void put_bytes(std::FILE* stream, const unsigned char* data, std::size_t count) {
    write_exact(stream, data, count, 252, "put_bytes");
}

void put_byte_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 192, "put_byte_seek");
    put_byte(value, stream);
}

void put_16_be_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 206, "put_16_be_seek");
    put_16_be(value, stream);
}

void put_16_le_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 219, "put_16_le_seek");
    put_16_le(value, stream);
}

void put_32_be_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 232, "put_32_be_seek");
    put_32_be(value, stream);
}

void put_32_le_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 245, "put_32_le_seek");
    put_32_le(value, stream);
}

void put_bytes_seek(std::int32_t offset, std::FILE* stream, const unsigned char* data,
                    std::size_t count) {
    seek_to(offset, stream, 257, "put_bytes_seek");
    put_bytes(stream, data, count);
}

std::int32_t pad_to_multiple(std::int32_t offset, std::int32_t multiple, std::FILE* stream) {
    if (multiple < 1)
        fatal_message("util", 262, "pad_to_multiple", "multiple must be positive");
    // The rounded-up end is formed in 64 bits, where it cannot wrap, and checked before use.
    const std::int64_t target =
        (std::int64_t{offset} + multiple - 1) / multiple * std::int64_t{multiple};
    if (offset < 0 || target > INT32_MAX)
        fatal_message("util", 263, "pad_to_multiple", "offset out of range");
    for (std::int32_t position = offset; position < target; ++position)
        put_byte_seek(0, position, stream);
    return static_cast<std::int32_t>(target);
}

}  // namespace util
