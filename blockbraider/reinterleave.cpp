// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "reinterleave.hpp"

#include "layout.hpp"
#include "platform.hpp"
#include "transpose.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace blockbraider {

namespace {

// Whole blocks are read and written this many bytes at a time, near enough: big enough that each
// read and write, which costs the file system several microseconds of its own, is spread over
// many blocks (a quarter of this size took a fifth longer in all), and small enough that the
// batch stays in the processor's cache between the read, the permutation and the write.
constexpr std::size_t batch_target = std::size_t{1024} * 1024;

// The system copies between the file's pages and memory at full speed only when both sides lie
// alike within a cache line; otherwise the copy can take three times as long.
constexpr std::size_t line = 64;

// A write that stopped inside a block left its first bytes new and the rest old. The interleave
// is a transpose, so transposing the block back, words by channels, gives the old bytes: write
// those over the new ones. If that fails too, the block stays mixed and the first failure is
// the one reported, so errno is kept.
void restore_torn_block(std::FILE* stream, std::int32_t position, const unsigned char* interleaved,
                        std::size_t written, std::uint32_t channels, std::uint32_t block_size,
                        unsigned char* spare_block) {
    const std::size_t torn = written % block_size, block = written - torn;
    if (torn == 0)
        return;
    const int saved = errno;
    const unsigned char* original =
        interleave_blocks(interleaved + block, spare_block, block_size / channels / 4, channels, 1,
                          wide_vectors_available());
    if (std::fseek(stream, position + static_cast<std::int32_t>(block), SEEK_SET) == 0)
        std::fwrite(original, 1, torn, stream);
    errno = saved;
}

}  // namespace

void reinterleave_ms_ima(std::FILE* stream, std::int32_t data_offset, std::uint32_t data_size,
                         std::uint32_t channels, std::uint32_t block_size) {
    // A "fmt " chunk may declare zeros; every step below divides by these two.
    if (channels == 0)
        util::fatal_message("blockbraider", 8, "reinterleave_ms_ima", "channel count is 0");
    if (block_size == 0)
        util::fatal_message("blockbraider", 9, "reinterleave_ms_ima", "block size is 0");

    // A batch is read at least one block above where it is interleaved: block b lands where
    // block b-1 was read, already consumed, so the batch never needs a second copy in the cache.
    // The gap is whole cache lines, so that the read and the write both lie in memory as the
    // batch lies in the file. One more block at the end is room to restore a block that a
    // failed write tore, and one more batch is room to look over a chunk that an earlier run
    // converted; neither is touched otherwise. A failed allocation is reported only after the
    // layout checks, which say more.
    const std::size_t batch_size =
        std::clamp<std::size_t>(batch_target / block_size, 1,
                                std::max<std::size_t>(1, data_size / block_size)) *
        block_size;
    const std::size_t gap = (block_size + line - 1) / line * line;
    auto* buffer =
        static_cast<unsigned char*>(std::malloc(line + gap + 2 * batch_size + block_size));
    const std::uint32_t per_channel = block_size / channels;
    if (data_size % block_size != 0)
        util::fatal_message("blockbraider", 10, "reinterleave_ms_ima",
                            "block size doesn't go evenly into data size");
    if (block_size % channels != 0)
        util::fatal_message("blockbraider", 11, "reinterleave_ms_ima",
                            "block size doesn't divide evenly by channels");
    if (per_channel % 4 != 0)
        util::fatal_message("blockbraider", 12, "reinterleave_ms_ima",
                            "expected multiple of 4 bytes per channel");
    if (buffer == nullptr)
        util::fatal_errno("blockbraider", 14, "reinterleave_ms_ima", "malloc");

    const bool wide_vectors = wide_vectors_available();
    // Whether it is settled where the pass starts: at once where the layouts coincide, else by
    // the first batch, whose first telling block is per-channel in every file an encoder
    // writes. Otherwise, and only then, the whole chunk is looked over before any write.
    bool decided = !layouts_differ(channels, per_channel);
    // The chunk lies wholly before riff_end, itself a signed 32-bit offset, so position never
    // overflows.
    std::int32_t position = data_offset;
    for (std::uint32_t remaining = data_size; remaining != 0;) {
        if (std::fseek(stream, position, SEEK_SET) != 0)
            util::fatal_errno("blockbraider", 19, "reinterleave_ms_ima", "fseek");
        unsigned char* out = buffer + (static_cast<std::uintptr_t>(position) -
                                       reinterpret_cast<std::uintptr_t>(buffer)) %
                                          line;
        unsigned char* in = out + gap;
        const std::size_t wanted = std::min<std::size_t>(remaining, batch_size);
        const std::size_t got = std::fread(in, 1, wanted, stream);
        const std::size_t blocks = got / block_size;
        if (blocks == 0)
            util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread", stream);
        // A short batch still rewrites its complete blocks first. At the end of the file the
        // incomplete block is read again by the next batch, and reported there; a read error is
        // reported once they are written, with its own errno, since a successful write may
        // change errno and the seek clears the end-of-file indicator.
        const bool read_failed = got != wanted && !std::feof(stream);
        const int read_errno = errno;
        if (!decided) {
            decided = true;
            const std::uint32_t converted =
                starts_per_channel(in, blocks, channels, block_size)
                    ? 0
                    : converted_prefix(stream, data_offset, data_size, channels, block_size,
                                       buffer + line + gap + batch_size + block_size, batch_size);
            if (converted != 0) {
                position += static_cast<std::int32_t>(converted);
                remaining -= converted;
                continue;
            }
        }
        const std::size_t size = blocks * block_size;
        const unsigned char* interleaved =
            interleave_blocks(in, out, channels, per_channel / 4, blocks, wide_vectors);
        // From here to the end of the write no signal takes effect: one that came in the middle
        // of the write would leave a block half new.
        const held_signals held = hold_signals();
        // A file cut shorter since the batch was read must not grow back with this batch. The
        // report is the one of a file that ends inside the chunk, word for word.
        if (file_length(stream) < std::int64_t{position} + static_cast<std::int64_t>(size))
            util::fatal_message("blockbraider", 22, "reinterleave_ms_ima:fread", "unexpected EOF");
        // fseek again before writing: a C update stream must be repositioned between input
        // and output.
        if (std::fseek(stream, position, SEEK_SET) != 0)
            util::fatal_errno("blockbraider", 24, "reinterleave_ms_ima", "fseek");
        const std::size_t written = std::fwrite(interleaved, 1, size, stream);
        // Sites 31 and 40 tell whether the first byte not written is a channel header or data.
        if (written != size) {
            restore_torn_block(stream, position, interleaved, written, channels, block_size,
                               buffer + line + gap + batch_size);
            util::fatal_stream("blockbraider",
                               written % block_size < std::size_t{4} * channels ? 31 : 40,
                               "reinterleave_ms_ima", "fwrite", stream);
        }
        release_signals(held);
        if (read_failed) {
            errno = read_errno;
            util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread", stream);
        }
        position += static_cast<std::int32_t>(size);
        remaining -= static_cast<std::uint32_t>(size);
    }
    std::free(buffer);
}

}  // namespace blockbraider
