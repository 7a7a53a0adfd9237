// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "walk.hpp"

#include "header_window.hpp"
#include "reinterleave.hpp"

#include <util/util.hpp>

#include <cstdint>
#include <cstring>

namespace blockbraider {

namespace {

constexpr std::uint32_t id_data = 0x64617461;  // "data"
constexpr std::uint32_t id_fmt = 0x666D7420;   // "fmt "
constexpr std::uint16_t codec_uninterleaved_ima = 0x69;
// The fields read from a "fmt " chunk end with the block size at data byte 14.
constexpr std::uint32_t fmt_min_size = 14;
}  // namespace

void walk_chunks(std::FILE* stream) {
    unsigned char header[12];
    util::get_bytes_seek(0, stream, header, sizeof header);
    if (std::memcmp(header, "RIFF", 4) != 0)
        util::fatal_message("blockbraider", 66, "main", "doesn't start with RIFF");
    const std::uint32_t riff_size = util::unpack_32_le(header + 4);
    if (std::memcmp(header + 8, "WAVE", 4) != 0)
        util::fatal_message("blockbraider", 70, "main", "not WAVE type RIFF");
    // riff_end = 8 + riff_size must stay a signed 32-bit offset; test before the sum can wrap.
    if (riff_size > 0x7FFFFFF7u)
        util::fatal_message("blockbraider", 74, "main", "RIFF size out of range");

    const auto riff_end = static_cast<std::int32_t>(riff_size + 8);
    std::int32_t offset = 12;
    std::int32_t channels = -1;
    std::int32_t block_size = -1;
    HeaderWindow window{stream, riff_end, 0, 0, {}};
    while (offset < riff_end) {
        const auto [id, size] = read_chunk_header(window, offset);
        // In 64 bits the end can neither wrap nor pass riff_end unseen; once it is checked, every
        // offset inside the chunk fits the signed 32-bit range.
        if (std::uint64_t{static_cast<std::uint32_t>(offset)} + size + 8 >
            static_cast<std::uint32_t>(riff_end))
            util::fatal_message("blockbraider", 84, "main", "chunk size out of range");

        if (id == id_data) {
            if (channels == -1 || block_size == -1)
                util::fatal_message("blockbraider", 95, "main", "data before fmt?");
            reinterleave_ms_ima(stream, offset + 8, size, static_cast<std::uint32_t>(channels),
                                static_cast<std::uint32_t>(block_size));
        } else if (id == id_fmt) {
            if (size < fmt_min_size)
                util::fatal_message("blockbraider", 89, "main", "fmt chunk too small");
            if (read_16_le(window, offset + 8) != codec_uninterleaved_ima)
                util::fatal_message("blockbraider", 90, "main", "not codec id 0x69");
            channels = read_16_le(window, offset + 10);
            block_size = read_16_le(window, offset + 20);
        }
        offset += static_cast<std::int32_t>(size + 8);
    }
}

}  // namespace blockbraider
