// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_HEADER_WINDOW_HPP
#define BLOCKBRAIDER_HEADER_WINDOW_HPP

#include <cstdint>
#include <cstdio>

namespace blockbraider {

/// A stretch of the file held in memory for the chunk walk, so that a file of many small chunks
/// costs one read per window rather than a seek and two reads per chunk. It never reads past
/// the end of the RIFF form, but for the last chunk header.
struct HeaderWindow {
    std::FILE* stream;
    std::int64_t riff_end;
    std::int64_t start;  // the file offset of bytes[0]
    std::size_t length;  // how many bytes it holds
    unsigned char bytes[64 * 1024];
};

struct ChunkHeader {
    std::uint32_t id;    // read big-endian, so that it compares as one integer in file order
    std::uint32_t size;  // little-endian
};

/// The chunk header at `offset`. Where the file cannot give its 8 bytes, the library's checked
/// readers read it instead, and end the process exactly as they would (sites 137, 131, 145).
ChunkHeader read_chunk_header(HeaderWindow& window, std::int32_t offset);

/// The little-endian 16-bit field at `offset`, as get_16_le_seek would read it (sites 123, 117).
std::uint16_t read_16_le(HeaderWindow& window, std::int32_t offset);

}  // namespace blockbraider

#endif
