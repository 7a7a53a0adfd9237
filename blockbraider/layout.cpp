// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "layout.hpp"

#include "platform.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <limits>

namespace blockbraider {

namespace {

// Every encoder we know writes a header's step index (0 to 88, all that decoders accept) in its
// third byte and 0 in its fourth.
bool looks_like_header(const unsigned char* group) { return group[2] <= 88 && group[3] == 0; }

constexpr std::uint32_t not_seen = std::numeric_limits<std::uint32_t>::max();

// The chunk lies wholly before riff_end, a signed 32-bit offset, so every offset in it fits.
[[noreturn]] void refuse(std::int32_t data_offset, std::uint32_t block_size, std::uint32_t first,
                         std::uint32_t last) {
    const auto offset_of = [&](std::uint64_t block) {
        return static_cast<unsigned long>(static_cast<std::uint64_t>(data_offset) +
                                          block * block_size);
    };
    char text[128];
    std::snprintf(text, sizeof text,
                  "cannot tell whether bytes %lu to %lu are converted; chunk left as it was",
                  offset_of(first), offset_of(std::uint64_t{last} + 1) - 1);
    util::fatal_message("blockbraider", 16, "converted_prefix", text);
}

}  // namespace

bool layouts_differ(std::uint32_t channels, std::uint32_t per_channel) {
    return channels > 1 && per_channel > 4;
}

block_layout layout_of(const unsigned char* block, std::uint32_t channels,
                       std::uint32_t per_channel) {
    bool per_channel_headers = true, interleaved_headers = true;
    for (std::size_t c = 0; c < channels; ++c) {
        per_channel_headers = per_channel_headers && looks_like_header(block + c * per_channel);
        interleaved_headers = interleaved_headers && looks_like_header(block + 4 * c);
    }
    if (per_channel_headers)
        return interleaved_headers ? block_layout::both : block_layout::per_channel;
    return interleaved_headers ? block_layout::interleaved : block_layout::neither;
}

bool starts_per_channel(const unsigned char* blocks, std::size_t count, std::uint32_t channels,
                        std::uint32_t block_size) {
    for (std::size_t b = 0; b < count; ++b) {
        const block_layout layout =
            layout_of(blocks + b * block_size, channels, block_size / channels);
        if (layout == block_layout::per_channel || layout == block_layout::interleaved)
            return layout == block_layout::per_channel;
    }
    return false;
}

std::uint32_t converted_prefix(std::FILE* stream, std::int32_t data_offset, std::uint32_t data_size,
                               std::uint32_t channels, std::uint32_t block_size,
                               unsigned char* buffer, std::size_t buffer_size) {
    // The tool converts front to back, so an earlier run leaves interleaved blocks, then
    // per-channel ones. Blocks in both layouts belong to the side of that boundary they lie on;
    // a block in neither is one that a write tore.
    std::uint32_t last_interleaved = not_seen, first_per_channel = not_seen,
                  first_neither = not_seen, block = 0;
    for (std::uint32_t done = 0; done < data_size;) {
        const std::size_t wanted = std::min<std::size_t>(data_size - done, buffer_size);
        const std::size_t got = read_at(stream, std::int64_t{data_offset} + done, buffer, wanted) /
                                block_size * block_size;
        for (std::size_t at = 0; at < got; at += block_size, ++block) {
            switch (layout_of(buffer + at, channels, block_size / channels)) {
                case block_layout::per_channel:
                    if (last_interleaved == not_seen)
                        return 0;
                    if (first_per_channel == not_seen && block > last_interleaved + 1)
                        refuse(data_offset, block_size, last_interleaved + 1, block - 1);
                    first_per_channel = std::min(first_per_channel, block);
                    break;
                case block_layout::interleaved:
                    if (first_neither != not_seen)
                        refuse(data_offset, block_size, first_neither, first_neither);
                    // Interleaved after per-channel: what a power cut leaves, not this tool's
                    // order.
                    if (first_per_channel != not_seen)
                        refuse(data_offset, block_size, first_per_channel, block);
                    last_interleaved = block;
                    break;
                case block_layout::neither:
                    if (last_interleaved != not_seen)
                        refuse(data_offset, block_size, block, block);
                    first_neither = std::min(first_neither, block);
                    break;
                case block_layout::both: break;
            }
        }
        // A chunk that runs past the end of the file ends here; converting from this point on
        // reports it as a chunk that ends early always has been.
        if (got < wanted)
            break;
        done += static_cast<std::uint32_t>(got);
    }
    if (last_interleaved == not_seen)
        return 0;
    return (first_per_channel == not_seen ? block : first_per_channel) * block_size;
}

}  // namespace blockbraider
