// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "pass.hpp"

#include "platform.hpp"
#include "transpose.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace blockbraider {

namespace {

constexpr std::size_t line = 64;

// The system writes a file back to the disk in pages of this size, in any order.
constexpr std::int64_t page = 4096;

// Block `block` of the interleaved ones at `interleaved` as it was before, put in `room`: the
// interleave is a transpose, so transposing a block back, words by channels, gives its old bytes.
const unsigned char* original_block(const chunk_info& chunk, const unsigned char* interleaved,
                                    std::size_t block, unsigned char* room) {
    return interleave_blocks(interleaved + block * chunk.block_size, room,
                             chunk.block_size / chunk.channels / 4, chunk.channels, 1,
                             chunk.wide_vectors);
}

// A write that stopped inside a block left its first bytes new and the rest old. The old bytes
// go back over the new ones from the torn block, and from a stop that the next run tells before
// it, or from the first block written. If that fails too, the blocks stay as they are and the first
// failure is the one reported, so errno is kept.
void restore_torn_blocks(const chunk_info& chunk, std::int32_t position,
                         const unsigned char* interleaved, std::size_t size, std::size_t written,
                         pass_buffer& buffer) {
    const std::size_t whole = written / chunk.block_size;
    if (written % chunk.block_size == 0 && whole == 0)
        return;
    const int saved = errno;
    const std::size_t stop = told_stop(chunk, position, interleaved, size / chunk.block_size, whole,
                                       whole, nullptr, 0, buffer);
    for (std::size_t b = stop; b * chunk.block_size < written; ++b) {
        const unsigned char* original = original_block(chunk, interleaved, b, buffer.spare_block);
        const std::size_t part =
            std::min<std::size_t>(chunk.block_size, written - b * chunk.block_size);
        if (std::fseek(chunk.stream, position + static_cast<std::int32_t>(b * chunk.block_size),
                       SEEK_SET) != 0 ||
            std::fwrite(original, 1, part, chunk.stream) != part)
            break;
    }
    errno = saved;
}

}  // namespace

pass_buffer take_pass_buffer(std::size_t batch_size, std::uint32_t block_size) {
    const std::size_t gap = (block_size + line - 1) / line * line;
    const std::size_t blocks = batch_size / block_size;
    const std::size_t ahead = stop_window * std::size_t{block_size}, window = 2 * ahead;
    auto* memory = static_cast<unsigned char*>(std::malloc(
        line + gap + batch_size + ahead + block_size + window + blocks + 2 * stop_window));
    if (memory == nullptr)
        return {nullptr, batch_size, gap, nullptr, nullptr, nullptr, nullptr, nullptr};
    unsigned char* spare_block = memory + line + gap + batch_size + ahead;
    return {memory,
            batch_size,
            gap,
            nullptr,
            nullptr,
            spare_block,
            spare_block + block_size,
            reinterpret_cast<verdict*>(spare_block + block_size + window)};
}

void place_batch(pass_buffer& buffer, std::int64_t position) {
    buffer.out = buffer.memory + (static_cast<std::uintptr_t>(position) -
                                  reinterpret_cast<std::uintptr_t>(buffer.memory)) %
                                     line;
    buffer.in = buffer.out + buffer.gap;
}

std::size_t told_stop(const chunk_info& chunk, std::int64_t position,
                      const unsigned char* interleaved, std::size_t blocks, std::size_t from,
                      std::size_t tries, const unsigned char* following, std::size_t ahead,
                      pass_buffer& buffer) {
    const std::uint32_t block_size = chunk.block_size;
    verdict* verdicts = buffer.verdicts + buffer.batch_size / block_size;
    for (std::size_t stop = from; stop != 0 && from - stop < tries; --stop) {
        // The last block of the window only shows what follows the one before it.
        const std::size_t before = std::min(stop_window, stop),
                          after = std::min(stop_window, blocks + ahead - stop);
        if (after < 2)
            continue;
        std::memcpy(buffer.window, interleaved + (stop - before) * block_size, before * block_size);
        for (std::size_t b = stop; b < stop + after; ++b)
            std::memcpy(buffer.window + (before + b - stop) * block_size,
                        b < blocks ? original_block(chunk, interleaved, b, buffer.spare_block)
                                   : following + (b - blocks) * block_size,
                        block_size);
        judge_context context;
        judge_blocks(buffer.window, before + after, chunk.channels, block_size,
                     position + static_cast<std::int64_t>((stop - before) * block_size),
                     span_of(chunk), context, verdicts);
        bool told = true;
        for (std::size_t b = 0; b + 1 < before + after; ++b)
            told =
                told && (verdicts[b] == verdict::unchanged ||
                         verdicts[b] == (b < before ? verdict::interleaved : verdict::per_channel));
        if (told)
            return stop;
    }
    return 0;
}

void write_blocks(const chunk_info& chunk, std::int32_t position, const unsigned char* interleaved,
                  std::size_t size, pass_buffer& buffer) {
    // From here to the end of the write no signal takes effect: one that came in the middle
    // of the write would leave a block half new.
    const held_signals held = hold_signals();
    // A file cut shorter since the batch was read must not grow back with this batch. The
    // report is the one of a file that ends inside the chunk, word for word.
    if (file_length(chunk.stream) < std::int64_t{position} + static_cast<std::int64_t>(size))
        util::fatal_message("blockbraider", 22, "reinterleave_ms_ima:fread", "unexpected EOF");
    // fseek again before writing: a C update stream must be repositioned between input
    // and output.
    if (std::fseek(chunk.stream, position, SEEK_SET) != 0)
        util::fatal_errno("blockbraider", 24, "reinterleave_ms_ima", "fseek");
    const std::size_t written = std::fwrite(interleaved, 1, size, chunk.stream);
    // Sites 31 and 40 tell whether the first byte not written is a channel header or data.
    if (written != size) {
        restore_torn_blocks(chunk, position, interleaved, size, written, buffer);
        util::fatal_stream("blockbraider",
                           written % chunk.block_size < std::size_t{4} * chunk.channels ? 31 : 40,
                           "reinterleave_ms_ima", "fwrite", chunk.stream);
    }
    release_signals(held);
}

bool run_shares_pages(std::int64_t left_end, std::int64_t first, std::int64_t end,
                      std::int64_t right_start) {
    // Every byte past the left bound's last page must lie in the right bound's first page; the
    // first such byte is the one to check.
    std::int64_t past_left = first;
    if (left_end != -1)
        past_left = std::max(first, ((left_end - 1) / page + 1) * page);
    if (past_left >= end)
        return true;
    return right_start != -1 && past_left / page >= right_start / page;
}

}  // namespace blockbraider
