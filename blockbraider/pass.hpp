// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_PASS_HPP
#define BLOCKBRAIDER_PASS_HPP

// What the block pass over one data chunk shares between its two ways of going: batch by batch
// while every block read is plainly still to convert, and over the rest of the chunk judged
// whole where it is not.

#include "layout.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace blockbraider {

struct chunk_info {
    std::FILE* stream;
    std::int32_t data_offset;
    std::uint32_t data_size, channels, block_size;
    bool wide_vectors;  // whether the permutation may use 32-byte vectors
};

/// Where the chunk's blocks begin and end in the file.
inline chunk_span span_of(const chunk_info& chunk) {
    return {chunk.data_offset, std::int64_t{chunk.data_offset} + chunk.data_size};
}

/// A run that stops, for a signal between two writes or a write that failed, should stop where
/// the next run tells what it did: this many blocks on either side of a stop are judged, as many
/// as a run of blocks placed by their zeros needs, and a batch reads this many ahead.
constexpr std::size_t stop_window = 3;

/// The one allocation of a chunk's pass, in named parts. A batch is read at `in`, at least one
/// block above `out`, where it is interleaved: block b lands where block b-1 was read, already
/// consumed, so the batch never needs a second copy in the cache.
struct pass_buffer {
    unsigned char* memory;       // what malloc gave, or nullptr
    std::size_t batch_size;      // whole blocks
    std::size_t gap;             // whole cache lines, at least a block
    unsigned char* out;          // set by place_batch
    unsigned char* in;           // set by place_batch; room for stop_window blocks more
    unsigned char* spare_block;  // room to put back a block that a failed write tore
    unsigned char* window;       // room for the blocks around a stop, to judge it
    verdict* verdicts;           // one for each block of a batch, then the window's
};

/// Takes the memory for batches of `batch_size` bytes of `block_size`-byte blocks; `memory` is
/// nullptr if there is none to be had.
pass_buffer take_pass_buffer(std::size_t batch_size, std::uint32_t block_size);

/// Puts `out` and `in` where they lie within a cache line as `position` lies in the file: the
/// system copies between the file's pages and memory at full speed only then.
void place_batch(pass_buffer& buffer, std::int64_t position);

/// Where, at most `from` and at most `tries` blocks before it, of the `blocks` interleaved
/// ones at `interleaved` (the first at file offset `position`, all still to convert in the file,
/// and followed there by the `ahead` blocks at `following`), a run may stop: the last block
/// index at which a run judging the chunk again would tell the blocks converted before it from
/// those still to convert after, or 0 where none of those looked at is.
std::size_t told_stop(const chunk_info& chunk, std::int64_t position,
                      const unsigned char* interleaved, std::size_t blocks, std::size_t from,
                      std::size_t tries, const unsigned char* following, std::size_t ahead,
                      pass_buffer& buffer);

/// Writes `size` bytes of whole interleaved blocks at `position`, with every signal held, unless
/// the file has become shorter meanwhile (site 22). A write that fails (sites 31, 40) puts the
/// block it tore back as it was, and the blocks before it back to a stop told_stop finds, or
/// to `position` where it finds none.
void write_blocks(const chunk_info& chunk, std::int32_t position, const unsigned char* interleaved,
                  std::size_t size, pass_buffer& buffer);

/// Whether no crash could have left the unknown blocks from `first` to `end` (file offsets) apart
/// from the blocks that bound them: each must share a page of the file with the block that ends
/// at `left_end` or the one that starts at `right_start` (-1 where there is none), since the
/// system writes a file back page by page.
bool run_shares_pages(std::int64_t left_end, std::int64_t first, std::int64_t end,
                      std::int64_t right_start);

/// Judges the rest of the chunk from `from` whole, before writing any of it: converts every
/// block still to convert, leaves every converted one, and where a block cannot be told ends the
/// process at site 16 once the rest is done, saying which bytes are in doubt. `last_end` is
/// where the last block this run found still to convert ends, -1 before the first; `context` is
/// the judge's at `from`.
void convert_rest(const chunk_info& chunk, std::int32_t from, std::int64_t last_end,
                  judge_context context, pass_buffer& buffer);

}  // namespace blockbraider

#endif
