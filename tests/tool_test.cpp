// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "riff_builder.hpp"
#include "tool_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

using riff::Bytes;
using riff::concat;
using riff::data_chunk;
using riff::fmt_chunk;
using riff::groups;
using riff::make_riff;

namespace {

const std::string usage =
    "interleave Wwise RIFF 0x69 uninterleaved IMA ADPCM\nusage: blockbraider file.WAV\n";

// Stereo, 24-byte blocks: each channel owns a header and two groups.
const Bytes stereo_in = concat(
    {groups({"H0", "A0", "A1", "H1", "B0", "B1"}), groups({"h0", "a0", "a1", "h1", "b0", "b1"})});
const Bytes stereo_out = concat(
    {groups({"H0", "H1", "A0", "B0", "A1", "B1"}), groups({"h0", "h1", "a0", "b0", "a1", "b1"})});

Bytes with_riff_size(Bytes file, std::uint32_t size) {
    riff::set_field(file, 4, size);
    return file;
}

struct Case {
    const char* name;
    Bytes before;
    std::string err;  // empty: status 0
    Bytes after;      // empty: unchanged
};

void expect_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tool::expect_conversion(c.before, c.err.empty() ? 0 : 1, c.err,
                                c.after.empty() ? c.before : c.after);
    }
}

// The reason is the one this platform gives for the same fopen: a folder is EISDIR on Linux
// but EACCES on Windows, and a wildcard pattern is EINVAL there.
std::string open_failure(const std::string& path) {
    errno = 0;
    EXPECT_EQ(std::fopen(path.c_str(), "r+b"), nullptr);
    return "blockbraider:61:main:fopen: " + std::string(std::strerror(errno)) + "\n";
}

}  // namespace

TEST(CommandLineTest, WrongArgumentCountPrintsUsageAndOpensNothing) {
    const std::string path = tool::temp_path("file.wav");
    const Bytes file = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    riff::write_file(path, file);
    for (const auto& args : {std::vector<std::string>{}, {path, path}}) {
        const tool::Outcome outcome = tool::run(args);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, usage);
    }
    EXPECT_EQ(riff::read_file(path), file);
}

TEST(CommandLineTest, UnopenableFileGivesTheSystemsReason) {
    const std::string missing = tool::temp_path("missing.wav");
    const std::string folder = tool::temp_path("folder");
    std::filesystem::create_directory(folder);
    for (const std::string& path : {missing, folder}) {
        const tool::Outcome outcome = tool::run({path});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, open_failure(path));
    }
}

#if defined(_WIN32)
// There the C runtime, not the shell, expands patterns, and the tool asks it to.
TEST(CommandLineTest, WildcardPatternsAreCountedAfterExpansion) {
    const std::string folder = tool::temp_path("glob") + "\\";
    std::filesystem::create_directory(folder);
    const Bytes file = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    riff::write_file(folder + "a1.wav", file);
    riff::write_file(folder + "a2.wav", file);

    const tool::Outcome two = tool::run({folder + "a*.wav"});
    EXPECT_EQ(two.status, 1);
    EXPECT_EQ(two.err, usage);
    const tool::Outcome one = tool::run({folder + "a1*.wav"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.err, "");
    EXPECT_EQ(riff::read_file(folder + "a1.wav"),
              make_riff({fmt_chunk(2, 24), data_chunk(stereo_out)}));
    EXPECT_EQ(riff::read_file(folder + "a2.wav"), file);
    const tool::Outcome none = tool::run({folder + "z*.wav"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, open_failure(folder + "z*.wav"));
}
#endif

// A name in any script, as a user types, pastes or drags it, in a folder named in any script,
// converts as a plain name does; on Windows, so does a pattern that matches one such file.
TEST(CommandLineTest, NamesInAnyScriptConvert) {
    const Bytes before = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    const Bytes after = make_riff({fmt_chunk(2, 24), data_chunk(stereo_out)});
    // Windows takes a path from UTF-8 only as char8_t.
    const auto utf8 = [](const std::string& path) {
        return std::u8string(path.begin(), path.end());
    };
    const std::string folder = tool::temp_path("папка_フォルダ");
    std::filesystem::create_directory(utf8(folder));
    const char* names[] = {"café.wav", "音声_01.wav", "声音文件.wav", "소리 파일.wav",
                           "звук.wav", "ήχος.wav",    "صوت.wav",      "קול.wav",
                           "เสียง.wav", "ध्वनि.wav",    "🎵 🎶.wav"};
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        for (const std::string& path : {tool::temp_path(name), folder + "/" + name})
            tool::expect_conversion_at(path, before, 0, "", after);
    }
#if defined(_WIN32)
    const std::string alone = tool::temp_path("папка_1");
    std::filesystem::create_directory(utf8(alone));
    riff::write_file(alone + "\\音声_01.wav", before);
    const tool::Outcome outcome = tool::run({alone + "\\*.wav"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(riff::read_file(alone + "\\音声_01.wav"), after);
#endif
}

TEST(HeaderTest, BadHeadersAreRejectedAndTinyFormsExamineNothing) {
    const Bytes good = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    Bytes not_riff = good, not_wave = good;
    not_riff[3] = 'X';
    not_wave[11] = 'X';
    // With riff_end at 12 or below, even a chunk that fails when read is never read.
    const Bytes broken_chunk = make_riff({fmt_chunk(2, 24, 0x11)});
    expect_cases({
        {"eleven bytes",
         Bytes(good.begin(), good.begin() + 11),
         "util:173:get_bytes:fread: unexpected EOF\n",
         {}},
        {"empty file", {}, "util:173:get_bytes:fread: unexpected EOF\n", {}},
        {"not RIFF", not_riff, "blockbraider:66:main: doesn't start with RIFF\n", {}},
        {"not WAVE", not_wave, "blockbraider:70:main: not WAVE type RIFF\n", {}},
        {"size 0x7FFFFFF8",
         with_riff_size(good, 0x7FFFFFF8),
         "blockbraider:74:main: RIFF size out of range\n",
         {}},
        {"size 0xFFFFFFFF",
         with_riff_size(good, 0xFFFFFFFF),
         "blockbraider:74:main: RIFF size out of range\n",
         {}},
        {"size 0", with_riff_size(good, 0), "", {}},
        {"size 4", with_riff_size(good, 4), "", {}},
        {"size 4, broken chunk", with_riff_size(broken_chunk, 4), "", {}},
    });
}

TEST(ChunkWalkTest, ChunkBoundsAndFmtChecks) {
    const Bytes converted = make_riff({fmt_chunk(2, 24), data_chunk(stereo_out)});
    const Bytes data_first = make_riff({data_chunk(stereo_in), fmt_chunk(2, 24)});
    // A RIFF size 8 short of the file leaves the last chunk's last bytes past riff_end.
    const Bytes whole = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    // Trailing bytes past riff_end are never looked at, even a chunk that would fail.
    const Bytes trailing = concat({whole, make_riff({data_chunk(stereo_in)})});
    expect_cases({
        {"chunk past riff_end",
         with_riff_size(whole, static_cast<std::uint32_t>(whole.size()) - 9),
         "blockbraider:84:main: chunk size out of range\n",
         {}},
        {"unknown chunk", make_riff({{{'j', 'u', 'n', 'k'}, Bytes(8)}, fmt_chunk(2, 24)}), "", {}},
        {"fmt size 13",
         make_riff({fmt_chunk(2, 24, 0x69, 13), data_chunk(stereo_in)}),
         "blockbraider:89:main: fmt chunk too small\n",
         {}},
        {"fmt size 14", make_riff({fmt_chunk(2, 24, 0x69, 14), data_chunk(stereo_in)}), "",
         make_riff({fmt_chunk(2, 24, 0x69, 14), data_chunk(stereo_out)})},
        {"size test before codec test",
         make_riff({fmt_chunk(2, 24, 0x11, 13)}),
         "blockbraider:89:main: fmt chunk too small\n",
         {}},
        {"codec 0x11",
         make_riff({fmt_chunk(2, 24, 0x11), data_chunk(stereo_in)}),
         "blockbraider:90:main: not codec id 0x69\n",
         {}},
        {"codec 0x69 high byte set",
         make_riff({fmt_chunk(2, 24, 0x0169)}),
         "blockbraider:90:main: not codec id 0x69\n",
         {}},
        {"later fmt not 0x69",
         make_riff({fmt_chunk(2, 24), fmt_chunk(2, 24, 0x11), data_chunk(stereo_in)}),
         "blockbraider:90:main: not codec id 0x69\n",
         {}},
        {"data before fmt", data_first, "blockbraider:95:main: data before fmt?\n", {}},
        {"fmt and no data", make_riff({fmt_chunk(2, 24)}), "", {}},
        {"trailing bytes past riff_end", trailing, "",
         concat({converted, make_riff({data_chunk(stereo_in)})})},
    });
}

TEST(ChunkWalkTest, ChunkEndThatWrapsIsOutOfRange) {
    Bytes file = make_riff({{{'j', 'u', 'n', 'k'}, Bytes(8)}, fmt_chunk(2, 24)});
    file[16] = 0xF4;  // junk size 0xFFFFFFF4: its end, 12 + size + 8, wraps round to 8
    file[17] = file[18] = file[19] = 0xFF;
    tool::expect_failure(file, "blockbraider:84:main: chunk size out of range\n");
}

TEST(ChunkWalkTest, OddSizedChunksAreNotPadded) {
    const Bytes odd = {1, 2, 3};
    expect_cases(
        {{"odd chunk then fmt and data",
          make_riff({{{'o', 'd', 'd', ' '}, odd}, fmt_chunk(2, 24), data_chunk(stereo_in)}), "",
          make_riff({{{'o', 'd', 'd', ' '}, odd}, fmt_chunk(2, 24), data_chunk(stereo_out)})}});
}

// The walk reads chunk headers 64 KiB at a time from the first one, at offset 12: a junk chunk
// puts the fmt chunk's header, then its codec, then its fields just across that boundary.
TEST(ChunkWalkTest, HeadersAcrossTheWalksReadsAreReadWhole) {
    for (const std::size_t junk : {65519, 65520, 65524}) {
        SCOPED_TRACE(junk);
        const riff::Chunk filler{{'j', 'u', 'n', 'k'}, riff::noise(junk, 5)};
        tool::expect_conversion(make_riff({filler, fmt_chunk(2, 24), data_chunk(stereo_in)}), 0, "",
                                make_riff({filler, fmt_chunk(2, 24), data_chunk(stereo_out)}));
    }
    Bytes cut = make_riff({{{'j', 'u', 'n', 'k'}, Bytes(65524)}, fmt_chunk(2, 24)});
    cut.resize(12 + 8 + 65524 + 6);
    tool::expect_failure(cut, "util:145:get_32_le:fread: unexpected EOF\n");
}

TEST(ChunkWalkTest, TruncatedFilesFailInTheReaderThatRunsOut) {
    const Bytes fmt_only = make_riff({fmt_chunk(2, 24)});
    const Bytes full = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    const auto cut = [](Bytes file, std::size_t length, std::uint32_t claimed) {
        file.resize(length);
        return with_riff_size(file, claimed);
    };
    const auto claimed = static_cast<std::uint32_t>(full.size() - 8);
    expect_cases({
        {"chunk header at end of file",
         cut(fmt_only, fmt_only.size(), claimed),
         "util:131:get_32_be:fread: unexpected EOF\n",
         {}},
        {"size field cut",
         cut(fmt_only, fmt_only.size() + 6, claimed),
         "util:145:get_32_le:fread: unexpected EOF\n",
         {}},
        {"fmt cut before block size",
         cut(fmt_only, 12 + 8 + 13, claimed),
         "util:117:get_16_le:fread: unexpected EOF\n",
         {}},
        {"fmt cut after block size",
         cut(fmt_only, 12 + 8 + 16, claimed),
         "util:131:get_32_be:fread: unexpected EOF\n",
         {}},
        {"data cut in its first block",
         cut(full, full.size() - 30, claimed),
         "blockbraider:22:reinterleave_ms_ima:fread: unexpected EOF\n",
         {}},
    });
}

TEST(ConversionTest, DataCutOffRewritesTheCompleteBlocksOnly) {
    Bytes before = make_riff({fmt_chunk(2, 24), data_chunk(stereo_in)});
    before.resize(before.size() - 1);
    Bytes after = make_riff(
        {fmt_chunk(2, 24), data_chunk(concat({groups({"H0", "H1", "A0", "B0", "A1", "B1"}),
                                              groups({"h0", "a0", "a1", "h1", "b0", "b1"})}))});
    after.resize(after.size() - 1);
    tool::expect_conversion(before, 1,
                            "blockbraider:22:reinterleave_ms_ima:fread: unexpected EOF\n", after);
}

TEST(ConversionTest, EachDataChunkUsesTheFmtInForceAndOnlyDataChanges) {
    // Four channels of 8 bytes, then mono: the second fmt must not leak into the first data.
    const Bytes quad_in = groups({"H0", "A0", "H1", "B0", "H2", "C0", "H3", "D0"});
    const Bytes quad_out = groups({"H0", "H1", "H2", "H3", "A0", "B0", "C0", "D0"});
    const Bytes mono = groups({"M0", "m0", "m1", "M1", "m2", "m3"});
    const riff::Chunk list{{'L', 'I', 'S', 'T'}, {'x', 0x80, 'y'}};
    expect_cases({{"two data chunks",
                   make_riff({fmt_chunk(4, 32), data_chunk(quad_in), list, fmt_chunk(1, 12),
                              data_chunk(mono), data_chunk(Bytes{}), fmt_chunk(2, 24),
                              data_chunk(stereo_in)}),
                   "",
                   make_riff({fmt_chunk(4, 32), data_chunk(quad_out), list, fmt_chunk(1, 12),
                              data_chunk(mono), data_chunk(Bytes{}), fmt_chunk(2, 24),
                              data_chunk(stereo_out)})},
                  {"headers only",
                   make_riff({fmt_chunk(3, 12), data_chunk(groups({"H0", "H1", "H2"}))}),
                   "",
                   {}}});
}

// However runs follow one another, wherever one was cut short, and whatever mix of new and old
// bytes a kill or a power cut left, the next run converts every block still to convert, leaves
// every converted one, and no block is ever permuted twice. A block that a crash tore is left as
// it was and named in one line at site 16. Files as encoders write them: music in every channel,
// and channels that are digitally silent.
TEST(ConversionTest, EveryRunAfterAnyStopConvertsEachBlockOnce) {
    struct Kind {
        const char* name;
        std::uint32_t channels, block_size;
        std::size_t blocks;
        std::vector<std::uint32_t> silent;  // channels silent throughout
        std::size_t silent_start = 0;       // blocks of silence in every channel first
        std::size_t silent_end = 0;         // and last
        bool coded = false;  // silence in codes of the smallest step, as encoders write it
        // Whether a stop is always finished; where it falls before blocks that tell nothing,
        // the next run can only say they are in doubt.
        bool finishable = true;
        // The other channels at -90 dB: codes of the smallest step throughout, as silence is
        // coded, so that only a silent channel's zeros tell the layouts apart.
        bool whisper = false;
        // Bytes of each channel's share that sound in the last block, where an encoder pads it
        // with zeros; 0 for all.
        std::size_t sound_ends = 0;
    };
    const Kind kinds[] = {
        {"music in 2 channels of 36 bytes", 2, 72, 14563 + 500, {}},
        {"music after silence longer than a batch", 2, 72, 14563 + 500, {}, 14563 + 10},
        {"2 channels of 512 bytes, the first silent", 2, 1024, 1200, {0}},
        {"8 channels of 36 bytes, the first silent", 8, 288, 4000, {0}},
        {"6 channels of 36 bytes, only the last sounding", 6, 216, 5200, {0, 1, 2, 3, 4}},
        {"2 channels of 2048 bytes, the first silent, ending in silence, all coded",
         2,
         4096,
         48,
         {0},
         0,
         3,
         true,
         false},
        {.name = "2 channels of 4096 bytes, the last silent",
         .channels = 2,
         .block_size = 8192,
         .blocks = 40,
         .silent = {1}},
        {.name = "2 channels of 2048 bytes, the last silent",
         .channels = 2,
         .block_size = 4096,
         .blocks = 80,
         .silent = {1}},
        {.name = "2 channels of 256 bytes, the first silent, the other at -90 dB",
         .channels = 2,
         .block_size = 512,
         .blocks = 600,
         .silent = {0},
         .whisper = true},
        {.name = "2 channels of 1024 bytes, the first silent, padded with zeros at the end",
         .channels = 2,
         .block_size = 2048,
         .blocks = 300,
         .silent = {0},
         .sound_ends = 256}};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::uint32_t bs = kind.block_size;
        Bytes data = riff::encoded(kind.channels, bs, kind.blocks, 11);
        const std::uint32_t share = bs / kind.channels;
        std::uint32_t noise = 3;
        // A channel's share of silence: a header of sample 0 and step 0, then codes 0, 1, 8, 9.
        const auto silence = [&](std::size_t at, bool coded) {
            for (std::size_t i = 0; i < share; ++i) {
                noise = noise * 1103515245 + 12345;
                const std::uint32_t r = noise >> 16;
                data[at + i] = !coded || i < 4 || r % 4 != 0 ? 0 : r >> 2 & 0x99;
            }
        };
        for (std::size_t b = 0; b < kind.blocks; ++b)
            for (std::uint32_t c = 0; c < kind.channels; ++c)
                if (std::count(kind.silent.begin(), kind.silent.end(), c) != 0 ||
                    b < kind.silent_start || b + kind.silent_end >= kind.blocks)
                    silence(b * bs + c * share, kind.coded);
                else if (kind.whisper)
                    silence(b * bs + c * share, true);
        if (kind.sound_ends != 0)
            for (std::uint32_t c = 0; c < kind.channels; ++c)
                std::fill_n(
                    data.end() - static_cast<std::ptrdiff_t>(bs - c * share - kind.sound_ends),
                    share - kind.sound_ends, 0);
        const auto file = [&](const Bytes& body) {
            return make_riff({fmt_chunk(kind.channels, bs), data_chunk(body)});
        };
        const Bytes before = file(data),
                    after = file(riff::interleaved(data, kind.channels, bs, kind.blocks));
        const std::size_t data_at = before.size() - data.size();
        // Old bytes in every 4 KiB page of the file that `is_old` names, new ones elsewhere.
        const auto pages = [&](auto is_old) {
            Bytes mixed = after;
            for (std::size_t page = data_at / 4096; page * 4096 < mixed.size(); ++page)
                if (is_old(page))
                    for (std::size_t at = std::max(data_at, page * 4096);
                         at < std::min(mixed.size(), page * 4096 + 4096); ++at)
                        mixed[at] = before[at];
            return mixed;
        };
        const auto cut_at = [&](std::size_t offset) {
            return pages([&](std::size_t page) { return page * 4096 >= offset; });
        };
        const auto sector_cut = [&](std::size_t offset) {
            Bytes mixed = after;
            std::copy(before.begin() + static_cast<std::ptrdiff_t>(offset), before.end(),
                      mixed.begin() + static_cast<std::ptrdiff_t>(offset));
            return mixed;
        };
        const auto random_pages = [&](std::uint32_t seed) {
            return pages([&](std::size_t) { return (seed = seed * 1664525 + 1013904223) >> 31; });
        };
        const std::size_t middle = data_at + data.size() / 2;
        const std::size_t inside = data_at + (kind.blocks * 7 / 41 + 7) * bs + 7 * 97;
        const std::size_t last_page = (after.size() - 1) / 4096 * 4096;
        const struct {
            const char* name;
            Bytes start;
            std::vector<std::size_t> limits;  // runs under a file-size limit this far into the
                                              // data; 0 for none
            bool exact;  // whether it must end exactly converted: the tool's own stops must
            bool last_through_link = false;
        } states[] = {
            {"fresh, run three times", before, {0, 0, 0}, true},
            {"fresh, then again through a hard link", before, {0, 0}, true, true},
            {"converted", after, {0}, true},
#if !defined(_WIN32)
            {"stopped among a block's headers, then in the second batch",
             before,
             {(kind.blocks / 4) * bs + 3, (1024 * 1024 / bs + 5) * bs + 50, 0},
             true},
            {"stopped inside the last block", before, {data.size() - 500, 0}, true},
            {"stopped inside a block, twice",
             before,
             {(kind.blocks * 3 / 41 + 3) * bs + 2991, (kind.blocks * 3 / 41 + 3) * bs * 2 + 93, 0},
             true},
#endif
            {"cut at a block",
             file(riff::interleaved(data, kind.channels, bs, kind.blocks / 3)),
             {0},
             true},
            {"cut at a page", cut_at(middle / 4096 * 4096), {0}, false},
            {"cut at the first page", cut_at(4096), {0}, false},
            {"cut at the last page", cut_at(last_page), {0}, false},
            {"cut at a sector", sector_cut(middle / 512 * 512 + 512), {0}, false},
            {"random pages", random_pages(5), {0}, false},
            {"random pages, the last block torn", random_pages(5 * 7919), {0}, false},
            {"old pages, then new",
             pages([&](std::size_t page) { return page * 4096 < middle; }),
             {0},
             false},
            {"old pages, then new from a block's second page",
             pages([&](std::size_t page) { return page * 4096 < inside; }),
             {0},
             false},
            {"old pages, then new from the last page",
             pages([&](std::size_t page) { return page * 4096 < last_page; }),
             {0},
             false},
        };
        const std::string path = tool::temp_path("file.wav"), link = tool::temp_path("link.wav");
        for (const auto& state : states) {
            SCOPED_TRACE(state.name);
            riff::write_file(path, state.start);
            std::filesystem::remove(link);
            std::filesystem::create_hard_link(path, link);
            tool::Outcome outcome{};
            Bytes found_by_last;  // what the last run found
            for (std::size_t run = 0; run < state.limits.size(); ++run) {
                [[maybe_unused]] const std::size_t limit = state.limits[run];
#if !defined(_WIN32)
                rlimit saved{};
                ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
                rlimit limited = saved;
                if (limit != 0)
                    limited.rlim_cur = data_at + limit;
                ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
#endif
                const bool last = run + 1 == state.limits.size();
                if (last)
                    found_by_last = riff::read_file(path);
                outcome = tool::run({last && state.last_through_link ? link : path});
#if !defined(_WIN32)
                ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
#endif
            }
            // The tool's own stops end converted, with status 0. Whatever else the run found,
            // each block ends converted or as it was, never worse; status 0 only where all are
            // converted, and otherwise one line that says some are in doubt.
            bool any_torn = false;
            std::size_t worse = 0, first_worse = 0;
            const Bytes end = riff::read_file(path);
            ASSERT_EQ(end.size(), after.size());
            EXPECT_TRUE(std::equal(end.begin(), end.begin() + static_cast<std::ptrdiff_t>(data_at),
                                   after.begin()));
            for (std::size_t at = data_at; at < after.size(); at += bs) {
                const auto part = [&](const Bytes& bytes) {
                    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + bs));
                };
                const Bytes found = part(state.start), now = part(end);
                any_torn = any_torn || (found != part(before) && found != part(after));
                if (now != part(after) && now != found && worse++ == 0)
                    first_worse = at;
            }
            EXPECT_EQ(worse, 0u) << "blocks made worse, the first at byte " << first_worse;
            EXPECT_EQ(outcome.out, "");
            const bool stopped = (state.start != before && state.start != after) ||
                                 std::count(state.limits.begin(), state.limits.end(), 0u) !=
                                     static_cast<std::ptrdiff_t>(state.limits.size());
            if ((state.exact && (kind.finishable || !stopped)) ||
                (outcome.status == 0 && !any_torn)) {
                EXPECT_EQ(outcome.status, 0);
                EXPECT_EQ(outcome.err, "");
                EXPECT_EQ(end, after);
                continue;
            }
            EXPECT_EQ(outcome.status, 1);
            EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1);
            EXPECT_EQ(
                outcome.err.rfind("blockbraider:16:convert_rest: cannot tell whether bytes ", 0),
                0u);
            // A run that found nothing more to convert says so.
            const auto ends_with = [&](const std::string& done) {
                return outcome.err.size() > done.size() &&
                       outcome.err.compare(outcome.err.size() - done.size(), done.size(), done) ==
                           0;
            };
            EXPECT_TRUE(
                ends_with(" are converted; left them as they were and converted the rest\n") ||
                ends_with(" are converted; chunk left as it was\n"))
                << outcome.err;
            // The first bytes named are whole blocks of the data, left as the last run found
            // them.
            unsigned long first_named = 0, last_named = 0;  // as the tool prints them
            ASSERT_EQ(
                std::sscanf(outcome.err.c_str(),
                            "blockbraider:16:convert_rest: cannot tell whether bytes %lu to %lu",
                            &first_named, &last_named),
                2);
            const std::size_t first = first_named, last = last_named;
            EXPECT_EQ((first - data_at) % bs, 0u);
            EXPECT_EQ((last + 1 - first) % bs, 0u);
            EXPECT_TRUE(first >= data_at && last < end.size());
            EXPECT_TRUE(std::equal(end.begin() + static_cast<std::ptrdiff_t>(first),
                                   end.begin() + static_cast<std::ptrdiff_t>(last + 1),
                                   found_by_last.begin() + static_cast<std::ptrdiff_t>(first)));
        }
    }
}

TEST(ConversionTest, BadLayoutsLeaveTheChunkWhole) {
    const auto file = [](std::uint32_t channels, std::uint32_t block_size, std::size_t data) {
        return make_riff({fmt_chunk(channels, block_size), data_chunk(Bytes(data, 0xA5))});
    };
    const auto error = [](int site, const char* text) {
        return "blockbraider:" + std::to_string(site) + ":reinterleave_ms_ima: " + text + "\n";
    };
    const char* uneven_data = "block size doesn't go evenly into data size";
    const char* uneven_block = "block size doesn't divide evenly by channels";
    const char* uneven_channel = "expected multiple of 4 bytes per channel";
    // clang-format off
    expect_cases({
        {"no channels", file(0, 24, 48), error(8, "channel count is 0"), {}},
        {"no channels, no block", file(0, 0, 48), error(8, "channel count is 0"), {}},
        {"empty block", file(2, 0, 48), error(9, "block size is 0"), {}},
        {"zeros and no data", make_riff({fmt_chunk(0, 0)}), "", {}},
        {"data not whole blocks", file(2, 1024, 2560), error(10, uneven_data), {}},
        {"block not whole channels", file(3, 32, 64), error(11, uneven_block), {}},
        {"more channels than bytes", file(8, 4, 8), error(11, uneven_block), {}},
        {"channel not whole groups", file(6, 36, 72), error(12, uneven_channel), {}},
        {"empty chunk, bad layout", file(2, 36, 0), error(12, uneven_channel), {}},
    });
    // clang-format on
}

TEST(ConversionTest, ChunksLargerThanOneBatch) {
    // Sizes of several hundred KiB, not a whole number of any power-of-two buffer, and a cut
    // inside a block well past the first megabyte of data.
    struct Layout {
        std::uint32_t channels, block_size, blocks;
    };
    for (const Layout& layout : {Layout{2, 72, 20011}, Layout{6, 216, 7001}, Layout{1, 36, 30011},
                                 Layout{3, 1548, 1301}, Layout{2, 2048, 1000}}) {
        SCOPED_TRACE(::testing::Message() << layout.channels << " channels, " << layout.block_size);
        const Bytes data =
            riff::noise(std::size_t{layout.block_size} * layout.blocks, layout.blocks);
        const riff::Chunk tail{{'t', 'a', 'i', 'l'}, riff::noise(9, 3)};
        const Bytes converted =
            riff::interleaved(data, layout.channels, layout.block_size, layout.blocks);
        tool::expect_conversion(
            make_riff({fmt_chunk(layout.channels, layout.block_size), data_chunk(data), tail}), 0,
            "",
            make_riff(
                {fmt_chunk(layout.channels, layout.block_size), data_chunk(converted), tail}));

        const std::size_t whole = layout.blocks * 4 / 5;
        Bytes cut = make_riff({fmt_chunk(layout.channels, layout.block_size), data_chunk(data)});
        const std::size_t data_start = cut.size() - data.size();
        cut.resize(data_start + whole * layout.block_size + layout.block_size / 2);
        Bytes after = cut;
        const Bytes partly = riff::interleaved(data, layout.channels, layout.block_size, whole);
        std::copy(partly.begin(),
                  partly.begin() + static_cast<std::ptrdiff_t>(cut.size() - data_start),
                  after.begin() + static_cast<std::ptrdiff_t>(data_start));
        tool::expect_conversion(
            cut, 1, "blockbraider:22:reinterleave_ms_ima:fread: unexpected EOF\n", after);
    }
}
