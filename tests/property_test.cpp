// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Random files, well formed and damaged, converted by the tool as a user would run it.
#include "riff_builder.hpp"
#include "tool_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>

namespace {

using riff::Bytes;

struct Pair {
    Bytes before, after;
};

std::uint32_t below(std::mt19937& random, std::uint32_t bound) { return random() % bound; }

// A well-formed file of several "fmt " and "data" chunks with unknown chunks of odd sizes
// between them, and what the tool must make of it.
Pair well_formed(std::mt19937& random) {
    std::vector<riff::Chunk> before, after;
    for (std::uint32_t segment = 0, segments = 1 + below(random, 3); segment < segments;
         ++segment) {
        if (below(random, 2) == 0) {
            const riff::Chunk junk{{'j', 'u', 'n', 'k'}, riff::noise(below(random, 10), random())};
            before.push_back(junk);
            after.push_back(junk);
        }
        const std::uint32_t channels = 1 + below(random, 16);
        const std::uint32_t block_size = channels * 4 * (1 + below(random, 20));
        const riff::Chunk fmt = riff::fmt_chunk(channels, block_size, 0x69, 14 + below(random, 8));
        before.push_back(fmt);
        after.push_back(fmt);
        for (std::uint32_t d = 0, count = 1 + below(random, 2); d < count; ++d) {
            const std::uint32_t blocks = below(random, 7);
            const Bytes data = riff::noise(std::size_t{block_size} * blocks, random());
            before.push_back(riff::data_chunk(data));
            after.push_back(
                riff::data_chunk(riff::interleaved(data, channels, block_size, blocks)));
        }
    }
    const Bytes trailing = riff::noise(below(random, 6), random());
    return {riff::concat({riff::make_riff(before), trailing}),
            riff::concat({riff::make_riff(after), trailing})};
}

// Where the chunk headers lie, walking as far as the file and its RIFF size allow.
std::vector<std::size_t> chunk_headers(const Bytes& file) {
    std::vector<std::size_t> headers;
    if (file.size() < 12)
        return headers;
    const std::uint64_t riff_end = std::uint64_t{riff::field(file, 4)} + 8;
    for (std::uint64_t offset = 12; offset + 8 <= file.size() && offset < riff_end;
         offset += 8 + std::uint64_t{riff::field(file, offset + 4)})
        headers.push_back(offset);
    return headers;
}

// The bytes the tool may rewrite: the bodies of every "data" chunk the walk reaches.
std::vector<bool> data_bytes(const Bytes& file) {
    std::vector<bool> inside(file.size(), false);
    for (std::size_t header : chunk_headers(file))
        if (std::equal(file.begin() + header, file.begin() + header + 4, "data"))
            for (std::uint64_t i = header + 8, end = i + riff::field(file, header + 4);
                 i < end && i < file.size(); ++i)
                inside[i] = true;
    return inside;
}

void damage(Bytes& file, std::mt19937& random) {
    const std::vector<std::size_t> headers = chunk_headers(file);
    const std::uint32_t limits[] = {0, 1, 13, 0x7FFFFFF7, 0x7FFFFFF8, 0xFFFFFFF8, 0xFFFFFFFF};
    switch (below(random, 4)) {
        case 0:
            for (std::uint32_t flips = 1 + below(random, 3); flips > 0 && !file.empty(); --flips)
                file[below(random, static_cast<std::uint32_t>(file.size()))] ^=
                    static_cast<unsigned char>(1u << below(random, 8));
            break;
        case 1: file.resize(below(random, static_cast<std::uint32_t>(file.size()) + 1)); break;
        case 2: riff::set_field(file, 4, limits[below(random, 7)]); break;
        default:
            if (!headers.empty())
                riff::set_field(
                    file, headers[below(random, static_cast<std::uint32_t>(headers.size()))] + 4,
                    below(random, 2) == 0 ? limits[below(random, 7)] : random());
            break;
    }
}

}  // namespace

TEST(PropertyTest, RandomWellFormedFilesMatchTheInterleave) {
    std::mt19937 random(1208);
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        const Pair pair = well_formed(random);
        tool::expect_conversion(pair.before, 0, "", pair.after);
    }
}

TEST(PropertyTest, DamagedFilesEndCleanlyAndTouchOnlyDataChunks) {
    std::mt19937 random(812);
    int failures = 0;
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        Bytes before = well_formed(random).before;
        damage(before, random);
        const std::string path = tool::temp_path("file.wav");
        riff::write_file(path, before);
        const tool::Outcome outcome = tool::run({path});
        const Bytes after = riff::read_file(path);

        ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << outcome.status;
        EXPECT_EQ(outcome.out, "");
        // Silence after success; otherwise exactly one diagnostic line.
        const std::regex diagnostic("(blockbraider|util):[0-9]+:[a-z_0-9]+:[^\n]*\n");
        if (outcome.status == 0) {
            EXPECT_EQ(outcome.err, "");
        } else {
            EXPECT_TRUE(std::regex_match(outcome.err, diagnostic)) << outcome.err;
        }
        failures += outcome.status;
        ASSERT_EQ(after.size(), before.size());
        const std::vector<bool> inside = data_bytes(before);
        for (std::size_t b = 0; b < before.size(); ++b) {
            if (!inside[b]) {
                ASSERT_EQ(after[b], before[b]) << "byte " << b << " outside the data chunks";
            }
        }
    }
    // The damage must reach both outcomes, or the test proves little.
    EXPECT_GT(failures, 50);
    EXPECT_LT(failures, 250);
}
