// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

#include <algorithm>

namespace util {

void dump(std::FILE* in, std::FILE* out, std::int32_t offset, std::uint32_t length) {
    unsigned char buffer[2048];
    if (std::fseek(in, offset, SEEK_SET) != 0)
        fatal_errno("util", 15, "dump", "fseek");
    while (length != 0) {
        const std::uint32_t piece = std::min<std::uint32_t>(length, sizeof buffer);
        if (std::fread(buffer, 1, piece, in) != piece)
            fatal_stream("util", 23, "dump", "fread", in);
        if (std::fwrite(buffer, 1, piece, out) != piece)
            fatal_stream("util", 26, "dump", "fwrite", out);
        length -= piece;
    }
}

}  // namespace util
