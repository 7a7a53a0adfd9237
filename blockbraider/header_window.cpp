// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "header_window.hpp"

#include <util/util.hpp>

#include <algorithm>

namespace blockbraider {

namespace {

// The `count` bytes at `offset`, refilling the window from there when it does not hold them;
// null when the file cannot give them all, for whatever reason, which the caller's checked
// reader then finds again and reports.
const unsigned char* window_bytes(HeaderWindow& window, std::int32_t offset, std::size_t count) {
    if (offset >= window.start &&
        static_cast<std::size_t>(offset - window.start) + count <= window.length)
        return window.bytes + (offset - window.start);
    window.start = offset;
    window.length = 0;
    if (std::fseek(window.stream, offset, SEEK_SET) != 0)
        return nullptr;
    const auto up_to_riff_end =
        static_cast<std::size_t>(std::max<std::int64_t>(0, window.riff_end - offset));
    const std::size_t wanted = std::min(sizeof window.bytes, std::max(count, up_to_riff_end));
    window.length = std::fread(window.bytes, 1, wanted, window.stream);
    return window.length >= count ? window.bytes : nullptr;
}

}  // namespace

ChunkHeader read_chunk_header(HeaderWindow& window, std::int32_t offset) {
    if (const unsigned char* bytes = window_bytes(window, offset, 8))
        return {util::unpack_32_be(bytes), util::unpack_32_le(bytes + 4)};
    const std::uint32_t id = util::get_32_be_seek(offset, window.stream);
    return {id, util::get_32_le(window.stream)};
}

std::uint16_t read_16_le(HeaderWindow& window, std::int32_t offset) {
    if (const unsigned char* bytes = window_bytes(window, offset, 2))
        return util::unpack_16_le(bytes);
    return util::get_16_le_seek(offset, window.stream);
}

}  // namespace blockbraider
