// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "pass.hpp"

#include "platform.hpp"
#include "transpose.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace blockbraider {

namespace {

constexpr std::size_t line = 64;

// The system writes a file back to the disk in pages of this size, in any order.
constexpr std::int64_t page = 4096;

// A write that stopped inside a block left its first bytes new and the rest old. The interleave
// is a transpose, so transposing the block back, words by channels, gives the old bytes: write
// those over the new ones. If that fails too, the block stays mixed and the first failure is
// the one reported, so errno is kept.
void restore_torn_block(const chunk_info& chunk, std::int32_t position,
                        const unsigned char* interleaved, std::size_t written,
                        unsigned char* spare_block) {
    const std::size_t torn = written % chunk.block_size, block = written - torn;
    if (torn == 0)
        return;
    const int saved = errno;
    const unsigned char* original =
        interleave_blocks(interleaved + block, spare_block, chunk.block_size / chunk.channels / 4,
                          chunk.channels, 1, chunk.wide_vectors);
    if (std::fseek(chunk.stream, position + static_cast<std::int32_t>(block), SEEK_SET) == 0)
        std::fwrite(original, 1, torn, chunk.stream);
    errno = saved;
}

}  // namespace

pass_buffer take_pass_buffer(std::size_t batch_size, std::uint32_t block_size) {
    const std::size_t gap = (block_size + line - 1) / line * line;
    const std::size_t blocks = batch_size / block_size;
    auto* memory =
        static_cast<unsigned char*>(std::malloc(line + gap + batch_size + block_size + blocks));
    if (memory == nullptr)
        return {nullptr, batch_size, gap, nullptr, nullptr, nullptr, nullptr};
    unsigned char* spare_block = memory + line + gap + batch_size;
    return {memory,
            batch_size,
            gap,
            nullptr,
            nullptr,
            spare_block,
            reinterpret_cast<verdict*>(spare_block + block_size)};
}

void place_batch(pass_buffer& buffer, std::int64_t position) {
    buffer.out = buffer.memory + (static_cast<std::uintptr_t>(position) -
                                  reinterpret_cast<std::uintptr_t>(buffer.memory)) %
                                     line;
    buffer.in = buffer.out + buffer.gap;
}

void write_blocks(const chunk_info& chunk, std::int32_t position, const unsigned char* interleaved,
                  std::size_t size, unsigned char* spare_block) {
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
        restore_torn_block(chunk, position, interleaved, written, spare_block);
        util::fatal_stream("blockbraider",
                           written % chunk.block_size < std::size_t{4} * chunk.channels ? 31 : 40,
                           "reinterleave_ms_ima", "fwrite", chunk.stream);
    }
    release_signals(held);
}

bool run_shares_pages(std::int64_t left_end, std::int64_t first, std::int64_t end,
                      std::int64_t right_start, std::uint32_t block_size) {
    // The blocks past the left bound's last page must all reach the right bound's first page;
    // the first of them starts earliest, so it is the one to check.
    std::int64_t past_left = first;
    if (left_end != -1) {
        const std::int64_t next_page = ((left_end - 1) / page + 1) * page;
        past_left = first + (std::max<std::int64_t>(0, next_page - first) + block_size - 1) /
                                block_size * block_size;
    }
    if (past_left >= end)
        return true;
    return right_start != -1 && (past_left + block_size - 1) / page >= right_start / page;
}

}  // namespace blockbraider
