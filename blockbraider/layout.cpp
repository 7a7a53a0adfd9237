// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "layout.hpp"

#include <cstring>

namespace blockbraider {

namespace {

// A write that stops early stops at a sector of the file, or at a page, which is whole sectors.
constexpr std::int64_t sector = 512;
// The system writes a file back to the disk in pages of this size, in any order.
constexpr std::int64_t page = 4096;

// What a block's own bytes say, before its neighbours are heard.
enum class evidence : unsigned char {
    certain_per_channel,
    certain_interleaved,
    likely_per_channel,
    likely_interleaved,
    unknown,
    neither,
    torn,
    unchanged,
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
    return block[4 * index + 2] <= 88 && block[4 * index + 3] == 0;
}

bool unchanged_by_permutation(const unsigned char* block, shape s) {
    for (std::uint32_t c = 0; c < s.channels; ++c)
        for (std::uint32_t w = 0; w < s.words; ++w)
            if (group(block, std::size_t{c} * s.words + w) !=
                group(block, std::size_t{w} * s.channels + c))
                return false;
    return true;
}

// A silent channel is all zeros in the layout the block is in. Scattered over the other layout
// its zeros make no share of their own, unless the block is mostly zeros, as at a fade, or ends
// in them, as where a sound fades out or an encoder pads its last block: read per channel, that
// tail is a share of zeros. So at least half a share of groups must sound, and a per-channel
// share of zeros that nothing sounds after says nothing.
side silent_share(const unsigned char* block, shape s) {
    const std::size_t groups = std::size_t{s.channels} * s.words;
    std::size_t sounding = 0, last_sounding = 0;
    for (std::size_t i = 0; i < groups; ++i)
        if (group(block, i) != 0) {
            ++sounding;
            last_sounding = i;
        }
    if (sounding < s.words / 2)
        return side::none;
    bool per_channel = false, interleaved = false;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        bool zero_rows = std::size_t{c} * s.words < last_sounding, zero_columns = true;
        for (std::uint32_t w = 0; w < s.words && (zero_rows || zero_columns); ++w) {
            zero_rows = zero_rows && group(block, std::size_t{c} * s.words + w) == 0;
            zero_columns = zero_columns && group(block, std::size_t{w} * s.channels + c) == 0;
        }
        per_channel = per_channel || zero_rows;
        interleaved = interleaved || zero_columns;
    }
    if (per_channel == interleaved)
        return side::none;
    return per_channel ? side::per_channel : side::interleaved;
}

// A group counts as seen twice only if it stands out from the groups beside it, but for its own
// copy: silence, and the steady patterns that near-silence encodes to, repeat everywhere.
bool distinctive(const unsigned char* block, std::size_t index, std::size_t copy,
                 std::size_t groups) {
    const std::uint32_t g = group(block, index);
    return g != 0 && (index == 0 || index - 1 == copy || group(block, index - 1) != g) &&
           (index + 1 == groups || index + 1 == copy || group(block, index + 1) != g);
}

// Whether the block reads as new before byte `at` and old from there on (`new_first`), or the
// other way round. The interleave moves groups across `at`; in a torn block each group that
// moved from the old side to the new one is still in its old place too, so every such pair is
// equal, and at least one of them is not a group that repeats anyway.
bool torn_at(const unsigned char* block, shape s, std::size_t at, bool new_first) {
    const std::size_t before = at / 4, after = (at + 3) / 4;  // a group split by `at` is neither
    const std::size_t groups = std::size_t{s.channels} * s.words;
    bool seen_twice = false;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        for (std::uint32_t w = 0; w < s.words; ++w) {
            const std::size_t old_place = std::size_t{c} * s.words + w,
                              new_place = std::size_t{w} * s.channels + c;
            const bool crosses = new_first ? new_place < before && old_place >= after
                                           : old_place < before && new_place >= after;
            if (!crosses)
                continue;
            if (group(block, old_place) != group(block, new_place))
                return false;
            seen_twice = seen_twice || distinctive(block, old_place, new_place, groups);
        }
    }
    return seen_twice;
}

bool torn(const unsigned char* block, shape s, std::int64_t start, std::uint32_t block_size) {
    for (std::int64_t at = (start / sector + 1) * sector; at < start + block_size; at += sector) {
        const auto inside = static_cast<std::size_t>(at - start);
        if (torn_at(block, s, inside, true) || torn_at(block, s, inside, false))
            return true;
    }
    return false;
}

evidence evidence_of(const unsigned char* block, shape s, std::int64_t start,
                     std::uint32_t block_size) {
    bool per_channel = true, interleaved = true;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        per_channel = per_channel && looks_like_header(block, std::size_t{c} * s.words);
        interleaved = interleaved && looks_like_header(block, c);
    }
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
    return e != evidence::neither && torn(block, s, start, block_size) ? evidence::torn : e;
}

verdict verdict_of(evidence e) {
    switch (e) {
        case evidence::certain_per_channel:
        case evidence::likely_per_channel: return verdict::per_channel;
        case evidence::certain_interleaved:
        case evidence::likely_interleaved: return verdict::interleaved;
        case evidence::unknown: return verdict::unknown;
        case evidence::neither: return verdict::neither;
        case evidence::torn: return verdict::torn;
        case evidence::unchanged: return verdict::unchanged;
    }
    return verdict::unknown;
}

evidence evidence_of(verdict v, bool is_certain) {
    switch (v) {
        case verdict::per_channel:
            return is_certain ? evidence::certain_per_channel : evidence::likely_per_channel;
        case verdict::interleaved:
            return is_certain ? evidence::certain_interleaved : evidence::likely_interleaved;
        case verdict::unknown: return evidence::unknown;
        case verdict::neither: return evidence::neither;
        case verdict::torn: return evidence::torn;
        case verdict::unchanged: return evidence::unchanged;
    }
    return evidence::unknown;
}

}  // namespace

bool layouts_differ(std::uint32_t channels, std::uint32_t per_channel) {
    return channels > 1 && per_channel > 4;
}

void judge_blocks(const unsigned char* blocks, std::size_t count, std::uint32_t channels,
                  std::uint32_t block_size, std::int64_t offset, judge_context& context,
                  verdict* verdicts) {
    const shape s{channels, block_size / channels / 4};
    // The evidence goes into `verdicts` first, one byte a block, so that no second array is
    // needed; the neighbours' evidence is read from it before each block's own is replaced.
    auto* raw = reinterpret_cast<evidence*>(verdicts);
    for (std::size_t b = 0; b < count; ++b)
        raw[b] = evidence_of(blocks + b * block_size, s,
                             offset + static_cast<std::int64_t>(b * block_size), block_size);

    // Zeros at a fade or a tail can make a block or two likely the wrong way, but not a run of
    // them: a likely block stands only in a run of at least this many blocks of its layout.
    constexpr std::size_t run_needed = 3;
    evidence previous = evidence_of(context.previous, false);
    std::size_t run_start = 0, run_end = 0;  // the run of one layout that holds block b
    for (std::size_t b = 0; b < count; ++b) {
        const evidence e = raw[b];
        verdict v = verdict_of(e);
        const side likely = side_of(e);
        if (likely != side::none && !certain(e)) {
            if (b >= run_end) {
                run_start = b;
                run_end = b + 1;
                while (run_end < count && side_of(raw[run_end]) == likely)
                    ++run_end;
            }
            const std::size_t carried =
                run_start == 0 && side_of(previous) == likely ? context.run : 0;
            if (run_end - run_start + carried < run_needed)
                v = verdict::unknown;
            // Between blocks of the two layouts, across a page the system may have written back
            // apart from the next, a block likely by its zeros may be torn where only silence
            // crossed the tear, which no pair of groups shows.
            const evidence following = b + 1 < count ? raw[b + 1] : evidence::neither;
            const std::int64_t start = offset + static_cast<std::int64_t>(b * block_size);
            const side before = side_of(previous), after = side_of(following);
            if (before != side::none && after != side::none && before != after &&
                (start / page + 1) * page < start + block_size)
                v = verdict::torn;
        }
        previous = e;
        verdicts[b] = v;
    }
    // The run of one layout that ends the blocks goes on into the next ones.
    std::size_t tail = 0;
    while (tail < count && side_of(raw[count - 1 - tail]) == side_of(previous) &&
           side_of(previous) != side::none)
        ++tail;
    context.run =
        tail == count && side_of(evidence_of(context.previous, false)) == side_of(previous)
            ? context.run + tail
            : tail;
    context.previous = verdict_of(previous);
}

}  // namespace blockbraider
