// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The rest of a chunk that is not plainly still to convert: a second run, a run after one that
// stopped, a crash's leftovers, or unknown blocks that only the whole chunk can place. Every
// block is judged before any is written; a block whose neighbours place it only if no crash
// could have parted them is placed by the whole chunk, and where that does not tell either, it
// is left as it was.
#include "pass.hpp"
#include "platform.hpp"
#include "transpose.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace blockbraider {

namespace {

constexpr std::size_t none = static_cast<std::size_t>(-1);

// A block that bounds a run of unknown ones: its verdict, and where it starts and ends. The
// chunk's two ends bound runs too, as `unknown` with no place.
struct bound {
    verdict kind;
    std::int64_t start, end;
};

struct rest_info {
    std::int64_t first;  // file offset of the rest's first block
    std::uint32_t block_size;
    bool seen_per_channel, seen_interleaved;
    std::int64_t offset_of(std::size_t block) const {
        return first + static_cast<std::int64_t>(block) * block_size;
    }
};

// What the unknown blocks from `first` to `end` are, between `left` and `right`: the verdict of
// a bound of one kind where they cannot have been parted from it, or where the chunk holds
// nothing of the other kind; still to convert where no block of the chunk tells; else `torn`,
// which is what the rest reads as doubt.
verdict place_run(const rest_info& rest, std::size_t first, std::size_t end, bool holds_neither,
                  bound left, bound right) {
    if (left.kind == verdict::torn || right.kind == verdict::torn)
        return verdict::torn;
    if (!rest.seen_per_channel && !rest.seen_interleaved)
        return verdict::per_channel;
    if (holds_neither)
        return verdict::torn;
    const verdict kind = left.kind == verdict::unknown ? right.kind : left.kind;
    if (right.kind != verdict::unknown && right.kind != kind)
        return verdict::torn;
    const bool together =
        run_shares_pages(left.kind == verdict::unknown ? -1 : left.end, rest.offset_of(first),
                         rest.offset_of(end), right.kind == verdict::unknown ? -1 : right.start);
    const bool other_kind_seen =
        kind == verdict::per_channel ? rest.seen_interleaved : rest.seen_per_channel;
    return together || !other_kind_seen ? kind : verdict::torn;
}

// Replaces every unknown or neither verdict by what its run is placed as; `torn` then marks
// every block in doubt.
void place_unknown_runs(verdict* verdicts, std::size_t count, const rest_info& rest, bound left) {
    std::size_t run = none;
    bool holds_neither = false;
    const auto close = [&](std::size_t end, bound right) {
        if (run == none)
            return;
        const verdict placed = place_run(rest, run, end, holds_neither, left, right);
        for (std::size_t b = run; b < end; ++b)
            if (verdicts[b] != verdict::unchanged)
                verdicts[b] = placed;
        run = none;
        holds_neither = false;
    };
    for (std::size_t b = 0; b < count; ++b) {
        const verdict v = verdicts[b];
        if (v == verdict::unknown || v == verdict::neither) {
            run = std::min(run, b);
            holds_neither = holds_neither || v == verdict::neither;
        } else if (v != verdict::unchanged) {
            const bound here{v, rest.offset_of(b), rest.offset_of(b + 1)};
            close(b, here);
            left = here;
        }
    }
    close(count, {verdict::unknown, -1, -1});
}

// Leaves, with every block in doubt, the blocks still to convert beside it, unchanged ones
// aside, as many as a run of blocks placed by their zeros needs: converted, they would no
// longer tell the next run what lies between them.
void keep_beside_doubt(verdict* verdicts, std::size_t count) {
    // `neither` no longer stands for anything here; it marks a block to leave for a while.
    const auto keep = [&](std::size_t b, std::ptrdiff_t step) {
        std::size_t kept = 0;
        for (auto at = static_cast<std::ptrdiff_t>(b) + step;
             at >= 0 && at < static_cast<std::ptrdiff_t>(count) && kept < stop_window; at += step) {
            verdict& v = verdicts[static_cast<std::size_t>(at)];
            if (v == verdict::unchanged && kept == 0)
                continue;
            if (v != verdict::per_channel && v != verdict::neither)
                return;
            v = verdict::neither;
            ++kept;
        }
    };
    for (std::size_t b = 0; b < count; ++b)
        if (verdicts[b] == verdict::torn) {
            keep(b, -1);
            keep(b, 1);
        }
    std::replace(verdicts, verdicts + count, verdict::neither, verdict::torn);
}

// The line of site 16: the first run of blocks in doubt, how many more there are, and what was
// done with the rest.
[[noreturn]] void refuse(const verdict* verdicts, std::size_t count, const rest_info& rest,
                         bool changed) {
    std::size_t first = 0;
    while (verdicts[first] != verdict::torn)
        ++first;
    std::size_t end = first;
    while (end < count && verdicts[end] == verdict::torn)
        ++end;
    std::size_t more = 0, last = end;
    for (std::size_t b = end; b < count; ++b)
        if (verdicts[b] == verdict::torn) {
            ++more;
            last = b + 1;
        }
    // The chunk lies wholly before riff_end, a signed 32-bit offset, so every offset in it fits.
    const auto at = [&](std::size_t block) {
        return static_cast<unsigned long>(rest.offset_of(block));
    };
    char text[256];
    const char* done =
        changed ? "left them as they were and converted the rest" : "chunk left as it was";
    if (more == 0)
        std::snprintf(text, sizeof text, "cannot tell whether bytes %lu to %lu are converted; %s",
                      at(first), at(end) - 1, done);
    else
        std::snprintf(text, sizeof text,
                      "cannot tell whether bytes %lu to %lu, and %lu more blocks up to byte "
                      "%lu, are converted; %s",
                      at(first), at(end) - 1, static_cast<unsigned long>(more), at(last) - 1, done);
    util::fatal_message("blockbraider", 16, "convert_rest", text);
}

}  // namespace

void convert_rest(const chunk_info& chunk, std::int32_t from, std::int64_t last_end,
                  judge_context context, pass_buffer& buffer) {
    const std::uint32_t block_size = chunk.block_size;
    const std::size_t count = (static_cast<std::size_t>(chunk.data_offset) + chunk.data_size -
                               static_cast<std::size_t>(from)) /
                              block_size;
    const std::size_t batch_blocks = buffer.batch_size / block_size;
    // One byte a block of the rest.
    auto* verdicts = static_cast<verdict*>(std::malloc(std::max<std::size_t>(count, 1)));
    if (verdicts == nullptr)
        util::fatal_errno("blockbraider", 15, "convert_rest", "malloc");

    // Positional reads leave the stream, and the counts of the fault plans, as they are.
    std::size_t judged = 0;
    while (judged < count) {
        const std::int64_t at = from + static_cast<std::int64_t>(judged) * block_size;
        place_batch(buffer, at);
        const std::size_t wanted = std::min(count - judged, batch_blocks) * block_size;
        const std::size_t got = read_at(chunk.stream, at, buffer.in, wanted) / block_size;
        judge_blocks(buffer.in, got, chunk.channels, block_size, at, span_of(chunk), context,
                     verdicts + judged);
        judged += got;
        // A chunk that runs past the end of the file is judged as far as it goes, and reported
        // as ever once that is done.
        if (got * block_size < wanted)
            break;
    }

    rest_info rest{from, block_size, last_end != -1, false};
    for (std::size_t b = 0; b < judged; ++b) {
        rest.seen_per_channel = rest.seen_per_channel || verdicts[b] == verdict::per_channel;
        rest.seen_interleaved = rest.seen_interleaved || verdicts[b] == verdict::interleaved;
    }
    const bound left = last_end == -1
                           ? bound{verdict::unknown, -1, -1}
                           : bound{verdict::per_channel, last_end - block_size, last_end};
    place_unknown_runs(verdicts, judged, rest, left);
    keep_beside_doubt(verdicts, judged);

    // A signal takes effect only once every block to convert is: a stop between two of the
    // writes could leave the next run a converted block beside an unknown one still to convert.
    const held_signals held = hold_signals();
    bool changed = last_end != -1;
    for (std::size_t done = 0; done < judged;) {
        const std::size_t blocks = std::min(judged - done, batch_blocks);
        const verdict* piece = verdicts + done;
        if (std::find(piece, piece + blocks, verdict::per_channel) != piece + blocks) {
            const auto position = static_cast<std::int32_t>(rest.offset_of(done));
            if (std::fseek(chunk.stream, position, SEEK_SET) != 0)
                util::fatal_errno("blockbraider", 19, "reinterleave_ms_ima", "fseek");
            place_batch(buffer, position);
            if (std::fread(buffer.in, 1, blocks * block_size, chunk.stream) != blocks * block_size)
                util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread",
                                   chunk.stream);
            const unsigned char* interleaved =
                interleave_blocks(buffer.in, buffer.out, chunk.channels,
                                  block_size / chunk.channels / 4, blocks, chunk.wide_vectors);
            for (std::size_t b = 0; b < blocks;) {
                if (piece[b] != verdict::per_channel) {
                    ++b;
                    continue;
                }
                std::size_t end = b;
                while (end < blocks && piece[end] == verdict::per_channel)
                    ++end;
                write_blocks(chunk, position + static_cast<std::int32_t>(b * block_size),
                             interleaved + b * block_size, (end - b) * block_size, buffer);
                changed = true;
                b = end;
            }
        }
        done += blocks;
    }
    release_signals(held);
    if (std::find(verdicts, verdicts + judged, verdict::torn) != verdicts + judged)
        refuse(verdicts, judged, rest, changed);
    std::free(verdicts);
    if (judged < count) {
        // The end of the file, inside the chunk: read there to report it as a short chunk
        // always has been.
        const auto position = static_cast<std::int32_t>(rest.offset_of(judged));
        if (std::fseek(chunk.stream, position, SEEK_SET) != 0)
            util::fatal_errno("blockbraider", 19, "reinterleave_ms_ima", "fseek");
        if (std::fread(buffer.in, 1, block_size, chunk.stream) != block_size)
            util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread", chunk.stream);
    }
}

}  // namespace blockbraider
