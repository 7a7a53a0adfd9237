// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

#include "seek.hpp"

namespace util {

namespace {

void read_exact(std::FILE* stream, unsigned char* buffer, std::size_t count, int site,
                const char* name) {
    if (std::fread(buffer, 1, count, stream) != count)
        fatal_stream("util", site, name, "fread", stream);
}

}  // namespace

std::uint8_t get_byte(std::FILE* stream) {
    unsigned char b[1];
    read_exact(stream, b, sizeof b, 88, "get_byte");
    return b[0];
}

std::uint16_t get_16_be(std::FILE* stream) {
    unsigned char b[2];
    read_exact(stream, b, sizeof b, 103, "get_16_be");
    return unpack_16_be(b);
}

std::uint16_t get_16_le(std::FILE* stream) {
    unsigned char b[2];
    read_exact(stream, b, sizeof b, 117, "get_16_le");
    return unpack_16_le(b);
}

std::uint32_t get_32_be(std::FILE* stream) {
    unsigned char b[4];
    read_exact(stream, b, sizeof b, 131, "get_32_be");
    return unpack_32_be(b);
}

std::uint32_t get_32_le(std::FILE* stream) {
    unsigned char b[4];
    read_exact(stream, b, sizeof b, 145, "get_32_le");
    return unpack_32_le(b);
}

std::uint64_t get_64_be(std::FILE* stream) {
    unsigned char b[8];
    read_exact(stream, b, sizeof b, 159, "get_64_be");
    return unpack_64_be(b);
}

void get_bytes(std::FILE* stream, unsigned char* buffer, std::size_t count) {
    read_exact(stream, buffer, count, 173, "get_bytes");
}

// The seek variants are written out one by one, alike in shape: each names its own site and
// function in its own call, as the diagnostics quote them.
std::uint8_t get_byte_seek(std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 94, "get_byte_seek");
    return get_byte(stream);
}

std::uint16_t get_16_be_seek(std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 109, "get_16_be_seek");
    return get_16_be(stream);
}

std::uint16_t get_16_le_seek(std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 123, "get_16_le_seek");
    return get_16_le(stream);
}

std::uint32_t get_32_be_seek(std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 137, "get_32_be_seek");
    return get_32_be(stream);
}

std::uint32_t get_32_le_seek(std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 151, "get_32_le_seek");
    return get_32_le(stream);
}

std::uint64_t get_64_be_seek(std::int32_t offset, std::FILE* stream) {
    seek_to(offset, stream, 165, "get_64_be_seek");
    return get_64_be(stream);
}

void get_bytes_seek(std::int32_t offset, std::FILE* stream, unsigned char* buffer,
                    std::size_t count) {
    seek_to(offset, stream, 178, "get_bytes_seek");
    get_bytes(stream, buffer, count);
}

}  // namespace util
