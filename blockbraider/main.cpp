// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "explorer.hpp"
#include "platform.hpp"
#include "walk.hpp"

#include <util/util.hpp>

#include <cstdio>

namespace {

constexpr const char* usage =
    "interleave Wwise RIFF 0x69 uninterleaved IMA ADPCM\n"
    "usage: blockbraider file.WAV\n";

}  // namespace

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

    blockbraider::walk_chunks(stream);

    // Exit status 0 says the file is converted: not while a write the disk may yet fail, or a
    // power cut may yet lose, waits in the system's cache.
    if (!blockbraider::sync_file(stream))
        util::fatal_stream("blockbraider", 105, "main", "fdatasync", nullptr);
    // The stream is gone whatever fclose returns, so the end-of-file test is skipped.
    if (std::fclose(stream) != 0)
        util::fatal_stream("blockbraider", 106, "main", "fclose", nullptr);
    return 0;
}
