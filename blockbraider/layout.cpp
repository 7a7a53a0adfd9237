// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "layout.hpp"

#include <algorithm>
#include <cstring>

namespace blockbraider {

namespace {

// Zeros at a fade or a tail can make a block or two likely the wrong way, but not a run of them:
// a likely block stands only in a run of at least this many blocks of its layout.
constexpr std::size_t run_needed = 3;

// A write that stops early stops at a sector of the file, or at a page, which is whole sectors.
constexpr std::int64_t sector = 512;
// The system writes a file back to the disk in pages of this size, in any order.
constexpr std::int64_t page = 4096;

// What a block's own bytes say, before its neighbours are heard.
// The first six stand for the verdicts of the same names, so that a batch with no likely block
// is judged in one pass.
enum class evidence : unsigned char {
    certain_per_channel = static_cast<unsigned char>(verdict::per_channel),
    certain_interleaved = static_cast<unsigned char>(verdict::interleaved),
    unknown = static_cast<unsigned char>(verdict::unknown),
    neither = static_cast<unsigned char>(verdict::neither),
    torn = static_cast<unsigned char>(verdict::torn),
    unchanged = static_cast<unsigned char>(verdict::unchanged),
    likely_per_channel,
    likely_interleaved,
};

enum class side : unsigned char { none, per_channel, interleaved };

side side_of(evidence e) {
    switch (e) {
        case evidence::certain_per_channel:
        case evidence::likely_per_channel: return side::per_channel;
        case evidence::certain_interleaved:
        case evidence::likely_interleaved: return side::interleaved;
        default: return side::none;
    }
}

bool certain(evidence e) {
    return e == evidence::certain_per_channel || e == evidence::certain_interleaved;
}

// A block of `channels` rows of `words` groups: group w of channel c is at c·words + w in the
// per-channel layout and at w·channels + c in the interleaved one.
struct shape {
    std::uint32_t channels, words;
};

std::uint32_t group(const unsigned char* block, std::size_t index) {
    std::uint32_t value;
    std::memcpy(&value, block + 4 * index, 4);
    return value;
}

// Every encoder we know writes a header's step index (0 to 88, all that decoders accept) in its
// third byte and 0 in its fourth. All zeros fit, as a silent channel's header.
bool looks_like_header(const unsigned char* block, std::size_t index) {
    // One comparison for both bytes: the fourth is 0 and the third at most 88 exactly when the
    // two read as a little-endian number are at most 88.
    return (block[4 * index + 2] | block[4 * index + 3] << 8) <= 88;
}

// Whether a block's headers fit where the per-channel layout puts them (`rows`: at the start of
// every channel's share, `row` bytes apart) and where the interleaved one does (`columns`: the
// first groups, one a channel). `fixed` is the channel count where it is known when compiled,
// so that the loop unrolls, or 0.
struct header_fit {
    bool rows, columns;
};

template <std::uint32_t fixed>
header_fit fit_of(const unsigned char* block, std::uint32_t channels, std::size_t row) {
    const std::uint32_t n = fixed != 0 ? fixed : channels;
    bool rows = true;
    for (std::uint32_t c = 0; c < n; ++c)
        rows = rows & looks_like_header(block + c * row, 0);
    // In a block still to convert, the first channel's data begins at the second group, which
    // seldom looks like a header: the interleaved layout is told off there.
    bool columns = looks_like_header(block, 0);
    for (std::uint32_t c = 1; c < n && columns; ++c)
        columns = looks_like_header(block, c);
    return {rows, columns};
}

// The blocks of a run that fit both layouts, up to a few; where the run holds a block that fits
// no per-channel headers, two such blocks side by side, one at either end or more than fit
// here, it is not plainly still to convert, and the count is `too_many`.
constexpr std::size_t most_both = 64, too_many = most_both + 1;

template <std::uint32_t fixed>
std::size_t both_blocks(const unsigned char* blocks, std::size_t count, std::uint32_t channels,
                        std::uint32_t block_size, std::size_t* both) {
    const std::size_t row = block_size / channels;
    std::size_t found = 0;
    for (std::size_t b = 0; b < count; ++b) {
        const header_fit fit = fit_of<fixed>(blocks + b * block_size, channels, row);
        if (!fit.rows)
            return too_many;
        if (fit.columns) {
            if (b == 0 || b + 1 == count || found == most_both ||
                (found != 0 && both[found - 1] + 1 == b))
                return too_many;
            both[found++] = b;
        }
    }
    return found;
}

bool unchanged_by_permutation(const unsigned char* block, shape s) {
    for (std::uint32_t c = 0; c < s.channels; ++c)
        for (std::uint32_t w = 0; w < s.words; ++w)
            if (group(block, std::size_t{c} * s.words + w) !=
                group(block, std::size_t{w} * s.channels + c))
                return false;
    return true;
}

// Whether every 4-bit code of a group is one of the two smallest steps either way (0, 1, 8, 9):
// such codes keep the step at its smallest, one sample value at most, so a channel of them is
// digital silence as encoders write it, zeros or not. `quiet` is the mask of the bits that must
// be clear: this one for silence, all of them for zeros alone.
constexpr std::uint32_t silence = 0x66666666, zeros = 0xffffffff;
bool silent(std::uint32_t g, std::uint32_t quiet) { return (g & quiet) == 0; }

// A silent channel's data is silent in the layout the block is in; its header may hold any
// sample. Scattered over the other layout its groups make no share of their own, unless the
// block is mostly silent, as at a fade, or ends so, as where a sound fades out or an encoder
// pads its last block: read per channel, that tail is a silent share. So at least half a share
// of groups must sound, and a silent per-channel share that nothing sounds after says nothing.
side silent_share(const unsigned char* block, shape s, std::uint32_t quiet) {
    const std::size_t groups = std::size_t{s.channels} * s.words;
    std::size_t sounding = 0, last_sounding = 0;
    for (std::size_t i = 0; i < groups; ++i)
        if (!silent(group(block, i), quiet)) {
            ++sounding;
            last_sounding = i;
        }
    if (sounding < s.words / 2)
        return side::none;
    bool per_channel = false, interleaved = false;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        bool silent_row = std::size_t{c} * s.words < last_sounding, silent_column = true;
        for (std::uint32_t w = 1; w < s.words && (silent_row || silent_column); ++w) {
            silent_row = silent_row && silent(group(block, std::size_t{c} * s.words + w), quiet);
            silent_column =
                silent_column && silent(group(block, std::size_t{w} * s.channels + c), quiet);
        }
        per_channel = per_channel || silent_row;
        interleaved = interleaved || silent_column;
    }
    if (per_channel == interleaved)
        return side::none;
    return per_channel ? side::per_channel : side::interleaved;
}

// Where the other channels are near silence too, their smallest steps hide a silent share among
// them; a silent channel that an encoder writes as zeros still stands out from them by its zeros.
side silent_share(const unsigned char* block, shape s) {
    const side by_silence = silent_share(block, s, silence);
    return by_silence != side::none ? by_silence : silent_share(block, s, zeros);
}

// A group counts as seen twice only if it stands out from the groups beside it, but for its own
// copy: silence, and the steady patterns that near-silence encodes to, repeat everywhere.
bool distinctive(const unsigned char* block, std::size_t index, std::size_t copy,
                 std::size_t groups) {
    const std::uint32_t g = group(block, index);
    return g != 0 && (index == 0 || index - 1 == copy || group(block, index - 1) != g) &&
           (index + 1 == groups || index + 1 == copy || group(block, index + 1) != g);
}

// What the groups that cross byte `at` say of a block new before it and old from there on
// (`new_first`), or the other way round. The interleave moves groups across `at`; in a torn
// block each group that moved from the old side to the new one is still in its old place too,
// so every such pair is equal. A whole block is seen torn only where at least one of them is
// not a group that repeats anyway, and is not near silence, or two are: near silence, a group
// of a single smallest step is common enough to meet its like by chance. Where every pair is
// equal but too few stand out, a tear can only not be ruled out.
enum class cut : unsigned char { ruled_out, possible, seen };

cut cut_at(const unsigned char* block, shape s, std::size_t at, bool new_first) {
    const std::size_t before = at / 4, after = (at + 3) / 4;  // a group split by `at` is neither
    const std::size_t groups = std::size_t{s.channels} * s.words;
    unsigned seen_twice = 0;
    // Only the groups that cross are visited: for channel c, the words w whose two places lie
    // on either side, so that a whole block is usually told by its first pair.
    // Rows that end before `after` hold no old place past it: with the new side first, the
    // pairs begin at the row that holds `after`.
    for (std::size_t c = new_first ? std::min<std::size_t>(after / s.words, s.channels) : 0;
         c < s.channels; ++c) {
        const std::size_t row = c * s.words;
        std::size_t first = 0, end = 0;
        if (new_first) {
            // w·channels + c < before, and c·words + w >= after.
            if (before <= c)
                continue;
            first = after > row ? after - row : 0;
            end = std::min<std::size_t>(s.words, (before - 1 - c) / s.channels + 1);
        } else {
            // c·words + w < before, and w·channels + c >= after.
            if (before <= row)
                break;
            first = after > c ? (after - c + s.channels - 1) / s.channels : 0;
            end = std::min<std::size_t>(s.words, before - row);
        }
        for (std::size_t w = first; w < end; ++w) {
            const std::size_t old_place = row + w, new_place = w * s.channels + c;
            if (group(block, old_place) != group(block, new_place))
                return cut::ruled_out;
            if (distinctive(block, old_place, new_place, groups))
                seen_twice += silent(group(block, old_place), silence) ? 1 : 2;
        }
    }
    return seen_twice >= 2 ? cut::seen : cut::possible;
}

// Looks at every boundary inside the block at a multiple of `step` (a sector, or a page) of the
// file; the block starts at file offset `start`.
bool torn(const unsigned char* block, shape s, std::int64_t start, std::uint32_t block_size,
          std::int64_t step) {
    for (auto at = static_cast<std::size_t>(step - start % step); at < block_size;
         at += static_cast<std::size_t>(step))
        if (cut_at(block, s, at, true) == cut::seen || cut_at(block, s, at, false) == cut::seen)
            return true;
    return false;
}

// A channel silent in groups `first` to `end` of a block read as interleaved, by the mask
// `quiet`, where at least half a channel's part of those groups sound: the mark of the new side
// of a torn block. The channel must be silent in at least 4 groups.
struct silent_column {
    std::uint32_t channel;
    std::uint32_t quiet;  // 0 where there is no such channel
};
constexpr silent_column no_channel{0, 0};

silent_column silent_column_in(const unsigned char* block, shape s, std::size_t first,
                               std::size_t end) {
    first = std::max<std::size_t>(first, s.channels);
    if (end < first + s.channels * std::size_t{4})
        return no_channel;
    for (const std::uint32_t quiet : {zeros, silence}) {
        std::size_t sounding = 0;
        for (std::size_t i = first; i < end; ++i)
            sounding += silent(group(block, i), quiet) ? 0 : 1;
        if (2 * sounding * s.channels < end - first)
            continue;
        for (std::uint32_t c = 0; c < s.channels; ++c) {
            bool silent_column = true;
            for (std::size_t i = c; i < end && silent_column; i += s.channels)
                silent_column = i < first || silent(group(block, i), quiet);
            if (silent_column)
                return {c, quiet};
        }
    }
    return no_channel;
}

// Whether channel `column.channel` is silent in a block of layout `layout`, header aside.
bool silent_in(const unsigned char* block, shape s, side layout, silent_column column) {
    for (std::uint32_t w = 1; w < s.words; ++w)
        if (!silent(group(block, layout == side::per_channel
                                     ? std::size_t{column.channel} * s.words + w
                                     : std::size_t{w} * s.channels + column.channel),
                    column.quiet))
            return false;
    return true;
}

// A channel silent throughout a block of layout `layout`, header aside, by the mask `quiet`,
// where the other channels sound in at least half a share of groups: channels keep their
// silence from block to block, so this is what a neighbour says of a block's channels.
silent_column silent_channel_of(const unsigned char* block, shape s, side layout) {
    const std::size_t groups = std::size_t{s.channels} * s.words;
    for (const std::uint32_t quiet : {zeros, silence}) {
        std::size_t sounding = 0;
        for (std::size_t i = 0; i < groups; ++i)
            sounding += silent(group(block, i), quiet) ? 0 : 1;
        if (sounding < s.words / 2)
            continue;
        for (std::uint32_t c = 0; c < s.channels; ++c)
            if (silent_in(block, s, layout, {c, quiet}))
                return {c, quiet};
    }
    return no_channel;
}

// The channel silent in a neighbour of layout `layout` that the block, read as `own`, keeps
// silent too: only then does the neighbour's silence say something of the block.
silent_column silent_channel_beside(const unsigned char* block, shape s, side own,
                                    const unsigned char* neighbour_block, side layout) {
    if (neighbour_block == nullptr || own == side::none)
        return no_channel;
    const silent_column c = silent_channel_of(neighbour_block, s, layout);
    return c.quiet != 0 && silent_in(block, s, own, c) ? c : no_channel;
}

// Whether a tear at byte `at`, new first where `new_first`, would have a silent channel sound:
// its groups on the new side, interleaved, or its share on the old side, per channel.
bool tear_sounds(const unsigned char* block, shape s, std::size_t at, bool new_first,
                 silent_column column) {
    if (column.quiet == 0)
        return false;
    const std::size_t before = at / 4, after = (at + 3) / 4,
                      groups = std::size_t{s.channels} * s.words;
    const std::size_t row = std::size_t{column.channel} * s.words;
    for (std::size_t i = std::max(row + 1, new_first ? after : row),
                     end = std::min(row + s.words, new_first ? groups : before);
         i < end; ++i)
        if (!silent(group(block, i), column.quiet))
            return true;
    for (std::size_t i = s.channels + column.channel; i < groups; i += s.channels)
        if ((new_first ? i < before : i >= after) && !silent(group(block, i), column.quiet))
            return true;
    return false;
}

// Whether a tear at byte `at`, new first where `new_first`, is ruled out by a silent channel:
// one silent on the new side of the block, read as converted, or in a neighbour (`beside`),
// that a block torn there would have sound.
bool silent_channel_rules_out(const unsigned char* block, shape s, std::size_t at, bool new_first,
                              silent_column beside) {
    const std::size_t before = at / 4, after = (at + 3) / 4,
                      groups = std::size_t{s.channels} * s.words;
    const silent_column column = new_first ? silent_column_in(block, s, 0, before)
                                           : silent_column_in(block, s, after, groups);
    return tear_sounds(block, s, at, new_first, column) ||
           tear_sounds(block, s, at, new_first, beside);
}

// Whether a tear at byte `at`, new first where `new_first`, is possible: no pair of groups and
// no silent channel rules it out.
bool tear_at(const unsigned char* block, shape s, std::size_t at, bool new_first,
             silent_column beside) {
    return cut_at(block, s, at, new_first) != cut::ruled_out &&
           !silent_channel_rules_out(block, s, at, new_first, beside);
}

// Whether a tear inside the block, the first at file offset `start`, cannot be ruled out. A
// write cut short stops at a sector, new before it: a block of at most a page shares a page with
// each of its neighbours, so its new side is the one by the converted neighbour (`new_first`
// where that comes first). A longer block may hold pages of either kind in any order.
bool tear_possible(const unsigned char* block, shape s, std::int64_t start,
                   std::uint32_t block_size, bool new_first, silent_column beside) {
    for (auto at = static_cast<std::size_t>(sector - start % sector); at < block_size;
         at += static_cast<std::size_t>(sector))
        if (tear_at(block, s, at, new_first, beside) ||
            (block_size > page && (start + static_cast<std::int64_t>(at)) % page == 0 &&
             tear_at(block, s, at, !new_first, beside)))
            return true;
    return false;
}

// Whether a block at an end of its chunk, which its own bytes do not place for certain, can
// have been torn at a sector inside it, new first where `new_first`: by a run's first write or
// its last, or by a power cut. So it is where a tear there cannot be ruled out and the groups
// on the new side read as a converted block's with a silent channel: a block still to convert
// holds one only by chance. Where the block's other neighbour is converted, so may the block
// be, silent channel and all; the channel must then also sound on the old side, which a block
// torn there fills with the rest of the channels' shares.
bool torn_at_chunk_edge(const unsigned char* block, shape s, std::int64_t start,
                        std::uint32_t block_size, bool new_first, bool beside_converted) {
    const std::size_t groups = std::size_t{s.channels} * s.words;
    for (auto at = static_cast<std::size_t>(sector - start % sector); at < block_size;
         at += static_cast<std::size_t>(sector)) {
        if (cut_at(block, s, at, new_first) == cut::ruled_out)
            continue;
        const std::size_t before = at / 4, after = (at + 3) / 4;
        const silent_column column = new_first ? silent_column_in(block, s, 0, before)
                                               : silent_column_in(block, s, after, groups);
        if (column.quiet == 0)
            continue;
        if (!beside_converted)
            return true;
        const std::size_t old_first = new_first ? after : s.channels,
                          old_end = new_first ? groups : before;
        for (std::size_t i = old_first; i < old_end; ++i)
            if (i % s.channels == column.channel && !silent(group(block, i), column.quiet))
                return true;
    }
    return false;
}

// Whether the block, the first byte at file offset `start`, holds only zeros from a sector
// inside it on, but for a group that the sector splits, sounds in the groups just before it,
// and a tear there, new first, cannot be ruled out.
bool zeros_after_sound(const unsigned char* block, shape s, std::int64_t start,
                       std::uint32_t block_size) {
    std::size_t zeros_from = std::size_t{s.channels} * s.words;
    while (zeros_from > s.channels && group(block, zeros_from - 1) == 0)
        --zeros_from;
    // The first sector after the last group that sounds, which it may split.
    const std::int64_t sector_at =
        (start + static_cast<std::int64_t>(4 * zeros_from) - 3 + sector - 1) / sector * sector;
    const auto at = static_cast<std::size_t>(sector_at - start);
    if (sector_at <= start || at >= block_size)
        return false;
    bool sounds = false;
    for (std::size_t i = at / 4 - std::min<std::size_t>(at / 4, s.channels); i < at / 4; ++i)
        sounds = sounds || !silent(group(block, i), silence);
    return sounds && cut_at(block, s, at, true) != cut::ruled_out;
}

// Whether a tear at byte `at`, old first, leaves the block's bytes as they were anyway: all
// from the tear on are zeros, it falls in the last channel's share, and that share is zeros for
// at least `padding_run` groups before it, as where an encoder pads the chunk's last block after
// the sound ends. The bytes the tear would have left old are then zeros too.
constexpr std::size_t padding_run = 16;

bool tear_leaves_padding(const unsigned char* block, shape s, std::size_t at) {
    const std::size_t before = at / 4, groups = std::size_t{s.channels} * s.words;
    const std::size_t row = std::size_t{s.channels - 1} * s.words;
    if (before < row + 1 + padding_run)
        return false;
    for (std::size_t i = before - padding_run; i < groups; ++i)
        if (group(block, i) != 0)
            return false;
    return true;
}

// Whether a chunk's last block, after blocks still to convert and telling nothing itself, is
// whole or as good as whole: no tear at a sector inside it, old first, is possible but one that
// leaves its padding as it was, and no page inside it can have been new before the rest.
bool whole_after_still(const unsigned char* block, shape s, std::int64_t start,
                       std::uint32_t block_size, silent_column beside) {
    for (auto at = static_cast<std::size_t>(sector - start % sector); at < block_size;
         at += static_cast<std::size_t>(sector)) {
        if (tear_at(block, s, at, false, beside) && !tear_leaves_padding(block, s, at))
            return false;
        if (block_size > page && (start + static_cast<std::int64_t>(at)) % page == 0 &&
            tear_at(block, s, at, true, beside))
            return false;
    }
    return true;
}

// A block's neighbour in the chunk: its layout, where its evidence gives one, and whether it is
// the end of the chunk, or a block not yet read, judged with the next blocks.
enum class edge : unsigned char { none, chunk, batch };
struct neighbour {
    side layout;
    edge at;
    const unsigned char* block;  // its bytes, where they are at hand
};

// What becomes of verdict `v` of a block, the first byte at file offset `start`, where a write
// cut short inside it may have torn it. Its neighbours share its first and last pages: between
// blocks of the two layouts it is new on the converted one's side, and torn if no pair of
// groups rules that out. A block placed by its zeros alone can have been torn beside the
// chunk's end too, by the first write of a run or its last: nothing on the chunk's side can
// place it, so it is torn. Beside a block not yet read, it is unknown, for the blocks around it
// to place.
verdict page_tear_verdict(verdict v, bool certain, side own, const unsigned char* block, shape s,
                          std::int64_t start, std::uint32_t block_size, neighbour left,
                          neighbour right) {
    // A block at the chunk's end that differs from its one neighbour stands where a run's
    // writes begin or end, as between blocks of the two layouts.
    if (left.at == edge::chunk && right.layout != side::none && own != right.layout)
        left.layout = own;
    if (right.at == edge::chunk && left.layout != side::none && own != left.layout)
        right.layout = own;
    if (left.layout != side::none && right.layout != side::none) {
        if (left.layout == right.layout)
            return v;
        silent_column beside = silent_channel_beside(block, s, own, left.block, left.layout);
        if (beside.quiet == 0)
            beside = silent_channel_beside(block, s, own, right.block, right.layout);
        return tear_possible(block, s, start, block_size, left.layout == side::interleaved, beside)
                   ? verdict::torn
                   : v;
    }
    if (certain)
        return v;
    if (left.layout != side::none && right.at != edge::none)
        return tear_possible(block, s, start, block_size, left.layout == side::interleaved,
                             no_channel)
                   ? verdict::unknown
                   : v;
    if (right.layout != side::none && left.at == edge::chunk &&
        tear_possible(block, s, start, block_size, right.layout == side::per_channel, no_channel))
        return verdict::torn;
    return v;
}

evidence evidence_of(const unsigned char* block, shape s) {
    const header_fit fit = fit_of<0>(block, s.channels, std::size_t{4} * s.words);
    const bool per_channel = fit.rows, interleaved = fit.columns;
    evidence e = evidence::neither;
    if (per_channel != interleaved) {
        e = per_channel ? evidence::certain_per_channel : evidence::certain_interleaved;
    } else if (unchanged_by_permutation(block, s)) {
        return evidence::unchanged;
    } else if (per_channel) {
        const side silent = silent_share(block, s);
        e = silent == side::none          ? evidence::unknown
            : silent == side::per_channel ? evidence::likely_per_channel
                                          : evidence::likely_interleaved;
    }
    return e;
}

verdict verdict_of(evidence e) {
    if (e == evidence::likely_per_channel)
        return verdict::per_channel;
    if (e == evidence::likely_interleaved)
        return verdict::interleaved;
    return static_cast<verdict>(e);
}

}  // namespace

bool layouts_differ(std::uint32_t channels, std::uint32_t per_channel) {
    return channels > 1 && per_channel > 4;
}

bool plainly_still_to_convert(const unsigned char* blocks, std::size_t count,
                              std::uint32_t channels, std::uint32_t block_size, std::int64_t offset,
                              judge_context& context) {
    const shape s{channels, block_size / channels / 4};
    // Between two blocks still to convert, only a power cut's mix of pages can tear a block,
    // at a page; next to anything else, a kill's cut at a sector can too.
    const auto untorn = [&](std::size_t b, bool between_still = false) {
        return !torn(blocks + b * block_size, s, offset + static_cast<std::int64_t>(b * block_size),
                     block_size, between_still ? page : sector);
    };
    // A block whose headers fit both layouts by chance, alone between two that are plainly
    // still to convert, shares a page with one of them and is converted with them, as the
    // blocks around an unknown one place it; it and they are looked at for a tear. Every block
    // of a chunk passes here, so the common channel counts have loops of their own.
    std::size_t both[most_both];
    std::size_t found = 0;
    switch (channels) {
        case 2: found = both_blocks<2>(blocks, count, channels, block_size, both); break;
        case 3: found = both_blocks<3>(blocks, count, channels, block_size, both); break;
        case 4: found = both_blocks<4>(blocks, count, channels, block_size, both); break;
        case 5: found = both_blocks<5>(blocks, count, channels, block_size, both); break;
        case 6: found = both_blocks<6>(blocks, count, channels, block_size, both); break;
        case 7: found = both_blocks<7>(blocks, count, channels, block_size, both); break;
        case 8: found = both_blocks<8>(blocks, count, channels, block_size, both); break;
        case 12: found = both_blocks<12>(blocks, count, channels, block_size, both); break;
        case 16: found = both_blocks<16>(blocks, count, channels, block_size, both); break;
        default: found = both_blocks<0>(blocks, count, channels, block_size, both); break;
    }
    if (found == too_many || (found != 0 && block_size > page / 2))
        return false;
    for (std::size_t i = 0; i < found; ++i)
        if (!untorn(both[i] - 1) || !untorn(both[i]) || !untorn(both[i] + 1))
            return false;
    if (block_size > page / 2) {
        for (std::size_t b = 0; b < count; ++b)
            if (!untorn(b, (b != 0 || context.previous == verdict::per_channel) && b + 1 != count))
                return false;
    } else if (count != 0 &&
               ((context.previous != verdict::per_channel && !untorn(0)) || !untorn(count - 1))) {
        return false;
    }
    if (count != 0) {
        context.run = std::min(
            run_needed, context.previous == verdict::per_channel ? context.run + count : count);
        context.previous = verdict::per_channel;
    }
    return true;
}

judge_context context_before(const verdict* verdicts, std::size_t count) {
    judge_context context;
    if (count == 0)
        return context;
    context.previous = verdicts[count - 1];
    while (context.run < run_needed && context.run < count &&
           verdicts[count - 1 - context.run] == verdicts[count - 1] &&
           (verdicts[count - 1] == verdict::per_channel ||
            verdicts[count - 1] == verdict::interleaved))
        ++context.run;
    return context;
}

void judge_blocks(const unsigned char* blocks, std::size_t count, std::uint32_t channels,
                  std::uint32_t block_size, std::int64_t offset, chunk_span span,
                  judge_context& context, verdict* verdicts) {
    const shape s{channels, block_size / channels / 4};
    // The evidence goes into `verdicts` first, one byte a block, so that no second array is
    // needed; the neighbours' evidence is read from it before each block's own is replaced.
    auto* raw = reinterpret_cast<evidence*>(verdicts);
    bool any_likely = false, seen_per_channel = false, seen_interleaved = false;
    for (std::size_t b = 0; b < count; ++b) {
        raw[b] = evidence_of(blocks + b * block_size, s);
        any_likely = any_likely || raw[b] > evidence::unchanged;
        seen_per_channel = seen_per_channel || raw[b] == evidence::certain_per_channel;
        seen_interleaved = seen_interleaved || raw[b] == evidence::certain_interleaved;
    }
    // A block torn at a page lies next to a block wholly in the page on its new side, which then
    // does not read as still to convert, as long as a block is at most half a page: only such a
    // block's neighbours, and longer blocks, are looked at for groups seen twice. At a sector
    // the new side is all that comes before.
    const bool long_blocks = block_size > page / 2;
    const auto still = [&](std::size_t b) {
        return raw[b] == evidence::certain_per_channel || raw[b] == evidence::likely_per_channel;
    };
    bool before_still = context.previous == verdict::per_channel;
    bool this_still = count != 0 && still(0);
    for (std::size_t b = 0; b < count; ++b) {
        const bool next_still = b + 1 < count && still(b + 1);
        const bool between_still = before_still && this_still && next_still;
        if (long_blocks || !between_still) {
            const evidence e = raw[b];
            if (e != evidence::neither && e != evidence::unchanged &&
                torn(blocks + b * block_size, s, offset + static_cast<std::int64_t>(b * block_size),
                     block_size, between_still ? page : sector))
                raw[b] = evidence::torn;
        }
        before_still = this_still;
        this_still = next_still;
    }

    const side context_side = side_of(static_cast<evidence>(context.previous));
    if (count == 0)
        return;
    // The run of one layout that ends the blocks goes on into the next ones; only whether it
    // is long enough matters. Read before the verdicts replace the evidence.
    const evidence last = raw[count - 1];
    const side last_side = side_of(last);
    std::size_t tail = 0;
    while (last_side != side::none && tail < std::min(count, run_needed) &&
           side_of(raw[count - 1 - tail]) == last_side)
        ++tail;
    const std::size_t next_run = std::min(
        run_needed, tail == count && context_side == last_side ? context.run + tail : tail);
    evidence previous = static_cast<evidence>(context.previous);
    std::size_t run_start = 0, run_end = 0;  // the run of one layout that holds block b
    // Where every block is certain and of one layout, the verdicts are the evidence.
    seen_per_channel = seen_per_channel || context_side == side::per_channel;
    seen_interleaved = seen_interleaved || context_side == side::interleaved;
    // The blocks at the chunk's ends are looked at for a tear whatever they say.
    const bool judge_further = any_likely || (seen_per_channel && seen_interleaved) ||
                               (offset == span.start && raw[0] == evidence::unknown) ||
                               offset + static_cast<std::int64_t>(count * block_size) == span.end;
    for (std::size_t b = 0; judge_further && b < count; ++b) {
        const evidence e = raw[b];
        const side own = side_of(e);
        verdict v = verdict_of(e);
        const std::int64_t start = offset + static_cast<std::int64_t>(b * block_size);
        const bool ends_chunk = start + block_size == span.end;
        const unsigned char* block = blocks + b * block_size;
        const side after = b + 1 < count ? side_of(raw[b + 1]) : side::none;
        if (own != side::none && !certain(e)) {
            if (b >= run_end) {
                run_start = b;
                run_end = b + 1;
                while (run_end < count && side_of(raw[run_end]) == own)
                    ++run_end;
            }
            const std::size_t carried = run_start == 0 && context_side == own ? context.run : 0;
            if (run_end - run_start + carried < run_needed)
                v = verdict::unknown;
        }
        if (own != side::none) {
            const neighbour left{side_of(previous),
                                 b == 0 && start == span.start ? edge::chunk : edge::none,
                                 b != 0 ? blocks + (b - 1) * block_size : nullptr};
            const neighbour right{after,
                                  ends_chunk       ? edge::chunk
                                  : b + 1 == count ? edge::batch
                                                   : edge::none,
                                  b + 1 < count ? blocks + (b + 1) * block_size : nullptr};
            v = page_tear_verdict(v, certain(e), own, block, s, start, block_size, left, right);
        }
        // A chunk's last block after converted ones, whatever it says of itself, that sounds
        // up to a sector and holds only zeros after it, is the last write of a run cut short
        // there, where a silent channel's share was left: a converted block's sound ends at
        // that very sector only by chance.
        if (e != evidence::torn && e != evidence::neither && e != evidence::unchanged &&
            side_of(previous) == side::interleaved && ends_chunk &&
            zeros_after_sound(block, s, start, block_size))
            v = verdict::torn;
        // A block at the chunk's end, beside blocks of one layout, may have been torn there.
        if (!certain(e) && e != evidence::torn && e != evidence::neither &&
            e != evidence::unchanged) {
            const bool first = start == span.start && after != side::none,
                       last = ends_chunk && side_of(previous) != side::none;
            const side beside = first ? after : side_of(previous);
            if ((first || last) && torn_at_chunk_edge(block, s, start, block_size,
                                                      first == (beside == side::per_channel),
                                                      beside == side::interleaved))
                v = verdict::torn;
        }
        // A chunk's last block that tells nothing for certain, after blocks still to convert,
        // shares a page with them: whole, it is as old as that page, and still to convert too.
        if (v == verdict::unknown &&
            (e == evidence::unknown || e == evidence::likely_per_channel) && b != 0 &&
            side_of(previous) == side::per_channel && ends_chunk) {
            if (whole_after_still(block, s, start, block_size,
                                  silent_channel_beside(block, s, side::per_channel,
                                                        block - block_size, side::per_channel)))
                v = verdict::per_channel;
        }
        previous = e;
        verdicts[b] = v;
    }
    context.run = next_run;
    context.previous = verdict_of(last);
}

}  // namespace blockbraider
