// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "reinterleave.hpp"

#include "layout.hpp"
#include "pass.hpp"
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

// How many stops before a batch's end are tried for one the next run tells.
constexpr std::size_t stops_tried = 16;

// How many leading blocks of a judged batch can be written at once: every one still to convert,
// or unchanged by the permutation, or unknown between two blocks still to convert that share a
// page with it, so that no crash could have left them apart. `last_end` is where the last block
// found still to convert ends, -1 before the first; a run of unknown blocks left at the end of
// the batch is judged again with the next one, or, where the batch ends the chunk, written with
// the blocks before it, so that no stop can part them. Sets `settled` false where the batch
// holds more than that: the rest of the chunk is then judged whole before anything more is
// written. The blocks still to convert just before an unknown run or a block in doubt, left for
// later, are left too, as many as a run placed by its zeros needs: converted, they could no
// longer tell what lies beside them.
std::size_t writable_now(const verdict* verdicts, std::size_t blocks, std::int64_t position,
                         std::uint32_t block_size, bool ends_chunk, std::int64_t& last_end,
                         bool& settled) {
    std::size_t writable = 0, run = blocks, last_still = blocks, bound = blocks;
    const auto start_of = [&](std::size_t b) {
        return position + static_cast<std::int64_t>(b * block_size);
    };
    const auto short_of_run = [&] {
        settled = false;
        return std::min(writable, bound);
    };
    for (std::size_t b = 0; b < blocks; ++b) {
        // Runs of blocks still to convert, the common case, are passed over in one step.
        if (verdicts[b] == verdict::per_channel) {
            if (run != blocks &&
                !run_shares_pages(last_end, start_of(run), start_of(b), start_of(b)))
                return short_of_run();
            run = bound = blocks;
            const std::size_t first = b;
            while (b + 1 < blocks && verdicts[b + 1] == verdict::per_channel)
                ++b;
            writable = b + 1;
            last_still = std::max(first, b + 1 - std::min(b + 1, stop_window));
            last_end = start_of(b + 1);
            continue;
        }
        if (verdicts[b] == verdict::unchanged) {
            if (run == blocks)
                writable = b + 1;
        } else if (verdicts[b] == verdict::unknown) {
            if (run == blocks)
                bound = last_still;
            run = std::min(run, b);
        } else {
            // A torn block's neighbours place it as much as a run's bounds do.
            if (run == blocks && b != 0 && verdicts[b - 1] == verdict::per_channel)
                bound = last_still;
            return short_of_run();
        }
    }
    // A run that starts the batch may be longer than any batch, and so may one whose bound
    // starts it: either is judged with the whole rest.
    if (run == blocks || ends_chunk) {
        settled = run != 0;
        return settled ? blocks : writable;
    }
    settled = run != 0 && bound != 0;
    return std::min(writable, bound);
}

}  // namespace

void reinterleave_ms_ima(std::FILE* stream, std::int32_t data_offset, std::uint32_t data_size,
                         std::uint32_t channels, std::uint32_t block_size) {
    // A "fmt " chunk may declare zeros; every step below divides by these two.
    if (channels == 0)
        util::fatal_message("blockbraider", 8, "reinterleave_ms_ima", "channel count is 0");
    if (block_size == 0)
        util::fatal_message("blockbraider", 9, "reinterleave_ms_ima", "block size is 0");

    // A failed allocation is reported only after the layout checks, which say more.
    const std::size_t batch_size =
        std::clamp<std::size_t>(batch_target / block_size, 1,
                                std::max<std::size_t>(1, data_size / block_size)) *
        block_size;
    pass_buffer buffer = take_pass_buffer(batch_size, block_size);
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
    if (buffer.memory == nullptr)
        util::fatal_errno("blockbraider", 14, "reinterleave_ms_ima", "malloc");

    const chunk_info chunk{stream,   data_offset, data_size,
                           channels, block_size,  wide_vectors_available()};
    const bool judged = layouts_differ(channels, per_channel);
    const chunk_span span = span_of(chunk);
    judge_context context;
    std::int64_t last_end = -1;
    held_signals held{};
    bool holding = false;
    // The chunk lies wholly before riff_end, itself a signed 32-bit offset, so position never
    // overflows.
    std::int32_t position = data_offset;
    for (std::uint32_t remaining = data_size; remaining != 0;) {
        if (std::fseek(stream, position, SEEK_SET) != 0)
            util::fatal_errno("blockbraider", 19, "reinterleave_ms_ima", "fseek");
        place_batch(buffer, position);
        const std::size_t wanted = std::min<std::size_t>(remaining, batch_size),
                          extra = judged ? std::min<std::size_t>(remaining - wanted,
                                                                 stop_window * block_size)
                                         : 0;
        const std::size_t read = std::fread(buffer.in, 1, wanted + extra, stream),
                          got = std::min(read, wanted);
        const std::size_t blocks = got / block_size;
        if (blocks == 0)
            util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread", stream);
        // A short batch still rewrites its complete blocks first. At the end of the file the
        // incomplete block is read again by the next batch, and reported there; a read error is
        // reported once they are written, with its own errno, since a successful write may
        // change errno and the seek clears the end-of-file indicator.
        const bool read_failed = read != wanted + extra && !std::feof(stream);
        const int read_errno = errno;
        std::size_t writable = blocks;
        bool settled = true, plain = true;
        const std::int64_t last_end_before = last_end;
        if (judged) {
            plain = plainly_still_to_convert(buffer.in, blocks, channels, block_size, position,
                                             context);
            if (!plain) {
                judge_blocks(buffer.in, blocks, channels, block_size, position, span, context,
                             buffer.verdicts);
                writable = writable_now(buffer.verdicts, blocks, position, block_size,
                                        got == remaining, last_end, settled);
            }
        }
        // The batch is judged before it is interleaved, which overwrites what it was read into.
        const unsigned char* interleaved = interleave_blocks(
            buffer.in, buffer.out, channels, per_channel / 4, blocks, chunk.wide_vectors);
        // A signal stops the run after a write, but only where the next run tells the blocks
        // converted from those still to convert: a batch ends at such a stop, the rest read
        // again with the next one, and where none is near, signals stay held past its write.
        bool told = true;
        if (judged && writable == blocks && got < remaining) {
            const std::size_t stop =
                told_stop(chunk, position, interleaved, blocks, blocks, stops_tried,
                          buffer.in + got, (read - got) / block_size, buffer);
            told = stop != 0;
            if (told)
                writable = stop;
        }
        // Where the rest of the chunk is judged whole next, a write there that fails is put
        // back only as far as this one: the blocks written now end where the next run tells
        // them from the rest, or none are.
        if (!settled && writable != 0) {
            writable = told_stop(chunk, position, interleaved, blocks, writable, stops_tried,
                                 nullptr, 0, buffer);
            last_end = last_end_before;
            for (std::size_t b = writable; b != 0 && last_end == last_end_before; --b)
                if (buffer.verdicts[b - 1] == verdict::per_channel)
                    last_end = position + static_cast<std::int64_t>(b * block_size);
        }
        if (judged && plain)
            last_end = position + static_cast<std::int64_t>(writable * block_size);
        // The next batch starts after what is written now, and is judged from there on.
        if (judged && !plain && writable != blocks)
            context = context_before(buffer.verdicts, writable);
        if (!told && !holding) {
            held = hold_signals();
            holding = true;
        }
        if (writable != 0)
            write_blocks(chunk, position, interleaved, writable * block_size, buffer);
        if (told && holding) {
            release_signals(held);
            holding = false;
        }
        if (read_failed) {
            errno = read_errno;
            util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread", stream);
        }
        const auto size = static_cast<std::uint32_t>(writable * block_size);
        position += static_cast<std::int32_t>(size);
        remaining -= size;
        if (!settled) {
            if (holding)
                release_signals(held);
            holding = false;
            convert_rest(chunk, position, last_end, context, buffer);
            break;
        }
    }
    if (holding)
        release_signals(held);
    std::free(buffer.memory);
}

}  // namespace blockbraider
