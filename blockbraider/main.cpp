// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "explorer.hpp"
#include "header_window.hpp"
#include "platform.hpp"
#include "reinterleave.hpp"

#include <util/util.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t id_data = 0x64617461;  // "data"
constexpr std::uint32_t id_fmt = 0x666D7420;   // "fmt "
constexpr std::uint16_t codec_uninterleaved_ima = 0x69;
// The fields read from a "fmt " chunk end with the block size at data byte 14.
constexpr std::uint32_t fmt_min_size = 14;
constexpr const char* usage =
    "interleave Wwise RIFF 0x69 uninterleaved IMA ADPCM\n"
    "usage: blockbraider file.WAV\n";

}  // namespace

#if defined(__MINGW32__)
// On Windows the C runtime, not the shell, expands wildcard patterns; ask it to, so that the
// arguments are counted after the expansion as they are on other systems.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) {
    blockbraider::prepare_standard_streams();
    if (blockbraider::alone_on_console())
        return blockbraider::convert_each_and_wait(argc - 1, argv + 1, usage);
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 1;
    }
    blockbraider::ignore_file_size_signal();
    std::FILE* stream = std::fopen(argv[1], "r+b");
    if (stream == nullptr)
        util::fatal_errno("blockbraider", 61, "main", "fopen");
    // Blocks move in large batches straight between the file and memory; a stream buffer would
    // only add reads and writes around every batch. Should this fail, the stream is just slower.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    // Two runs on one file, or on two hard links to it, would each permute what the other wrote.
    const blockbraider::lock_result lock = blockbraider::lock_file(stream);
    if (lock == blockbraider::lock_result::held_elsewhere)
        util::fatal_message("blockbraider", 62, "main", "file is locked by another process");
    if (lock == blockbraider::lock_result::unsupported)
        util::fatal_message("blockbraider", 63, "main", "file system cannot lock the file");

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
    blockbraider::HeaderWindow window{stream, riff_end, 0, 0, {}};
    while (offset < riff_end) {
        const auto [id, size] = blockbraider::read_chunk_header(window, offset);
        // In 64 bits the end can neither wrap nor pass riff_end unseen; once it is checked, every
        // offset inside the chunk fits the signed 32-bit range.
        if (std::uint64_t{static_cast<std::uint32_t>(offset)} + size + 8 >
            static_cast<std::uint32_t>(riff_end))
            util::fatal_message("blockbraider", 84, "main", "chunk size out of range");

        if (id == id_data) {
            if (channels == -1 || block_size == -1)
                util::fatal_message("blockbraider", 95, "main", "data before fmt?");
            blockbraider::reinterleave_ms_ima(stream, offset + 8, size,
                                              static_cast<std::uint32_t>(channels),
                                              static_cast<std::uint32_t>(block_size));
        } else if (id == id_fmt) {
            if (size < fmt_min_size)
                util::fatal_message("blockbraider", 89, "main", "fmt chunk too small");
            if (blockbraider::read_16_le(window, offset + 8) != codec_uninterleaved_ima)
                util::fatal_message("blockbraider", 90, "main", "not codec id 0x69");
            channels = blockbraider::read_16_le(window, offset + 10);
            block_size = blockbraider::read_16_le(window, offset + 20);
        }
        offset += static_cast<std::int32_t>(size + 8);
    }

    // Exit status 0 says the file is converted: not while a write the disk may yet fail, or a
    // power cut may yet lose, waits in the system's cache.
    if (!blockbraider::sync_file(stream))
        util::fatal_stream("blockbraider", 105, "main", "fdatasync", nullptr);
    // The stream is gone whatever fclose returns, so the end-of-file test is skipped.
    if (std::fclose(stream) != 0)
        util::fatal_stream("blockbraider", 106, "main", "fclose", nullptr);
    return 0;
}
