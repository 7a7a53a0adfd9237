// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

namespace util {

// Every decoder widens each byte before shifting: b << 24 on a promoted int overflows once
// b >= 0x80.

std::uint16_t unpack_16_le(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint16_t unpack_16_be(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint32_t unpack_32_le(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::uint32_t unpack_32_be(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

std::uint64_t unpack_64_be(const unsigned char* bytes) {
    return std::uint64_t{unpack_32_be(bytes)} << 32 | unpack_32_be(bytes + 4);
}

}  // namespace util
