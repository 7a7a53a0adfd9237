// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_LAYOUT_HPP
#define BLOCKBRAIDER_LAYOUT_HPP

// The tool writes no marker, so whether a block is still to convert is known only from its own
// bytes: where its channel headers lie, where a silent channel's zeros lie, and whether a write
// that stopped at a sector left some of its groups in two places.

#include <cstddef>
#include <cstdint>

namespace blockbraider {

/// What a block's bytes say of it.
enum class verdict : unsigned char {
    per_channel,  // still to convert
    interleaved,  // converted already
    unknown,      // fits both layouts, and nothing tells them apart
    neither,      // fits no layout: not an encoder's block, or one a write tore
    torn,         // new on one side of a sector boundary and old on the other
    unchanged,    // the permutation gives the same bytes: nothing to decide
};

/// Whether the two layouts put any byte of a block in different places: with one channel, or
/// with headers only, they are the same bytes.
bool layouts_differ(std::uint32_t channels, std::uint32_t per_channel);

/// What came before a run of blocks that judge_blocks is given, so that a run judged in pieces
/// is judged as a whole would be.
struct judge_context {
    verdict previous = verdict::unknown;  // what the block just before says of itself
    std::size_t run = 0;                  // how many blocks up to it, in a row, say the same layout
};

/// Whether every one of `count` blocks at `blocks` (the first at file offset `offset`) is, by
/// its headers alone, still to convert, and none of them torn, as judge_blocks would say: the
/// common case, told at less cost. Moves `context` past them where it is so.
bool plainly_still_to_convert(const unsigned char* blocks, std::size_t count,
                              std::uint32_t channels, std::uint32_t block_size, std::int64_t offset,
                              judge_context& context);

/// The context after the first `count` of a run of `verdicts`, as near as the verdicts tell:
/// near enough where they end in blocks still to convert, as a batch cut short does.
judge_context context_before(const verdict* verdicts, std::size_t count);

/// Where a chunk's blocks begin and end, as file offsets.
struct chunk_span {
    std::int64_t start, end;
};

/// Judges `count` whole blocks at `blocks`, the first of which lies at file offset `offset`,
/// into `verdicts`, and moves `context` past them. Headers that fit one layout only place a
/// block for certain. Where both fit, a channel whose share is all zeros in one layout only
/// places it, but only in a run of such blocks: zeros fit every header, and fades or padding
/// leave stray runs of them. A block that a write cut short at a sector inside it can have torn,
/// where its neighbours are of the two layouts, or where it ends the chunk and reads so, is torn;
/// one that the end of `blocks` leaves so is unknown, for the next blocks to place.
void judge_blocks(const unsigned char* blocks, std::size_t count, std::uint32_t channels,
                  std::uint32_t block_size, std::int64_t offset, chunk_span span,
                  judge_context& context, verdict* verdicts);

}  // namespace blockbraider

#endif
