// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "reinterleave.hpp"
#include "riff_builder.hpp"
#include "transpose.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <random>

TEST(ReinterleaveTest, EveryBlockMatchesTheInterleaveAndNothingElseMoves) {
    std::mt19937 random(20261208);
    const std::uint32_t channel_counts[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,
                                            10, 11, 12, 13, 14, 15, 16, 17, 255};
    const std::uint32_t per_channel_sizes[] = {4, 8, 12, 16, 20, 32, 36, 48, 68, 256, 1024, 2048};
    for (std::uint32_t channels : channel_counts)
        for (std::uint32_t per_channel : per_channel_sizes) {
            const std::uint32_t block_size = channels * per_channel;
            if (block_size > 0xFFFF)
                continue;
            SCOPED_TRACE(::testing::Message() << channels << " channels of " << per_channel);
            const std::uint32_t blocks = 1 + random() % 5;
            const std::size_t before = 3 + random() % 64, after = 17;
            const riff::Bytes data = riff::noise(blocks * block_size, random());
            const riff::Bytes head = riff::noise(before, 1), tail = riff::noise(after, 2);

            std::FILE* stream = std::tmpfile();
            ASSERT_NE(stream, nullptr);
            const riff::Bytes file = riff::concat({head, data, tail});
            ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), stream), file.size());
            blockbraider::reinterleave_ms_ima(stream, static_cast<std::int32_t>(before),
                                              blocks * block_size, channels, block_size);
            riff::Bytes result(file.size() + 1);
            std::rewind(stream);
            result.resize(std::fread(result.data(), 1, result.size(), stream));
            std::fclose(stream);
            ASSERT_EQ(
                result,
                riff::concat({head, riff::interleaved(data, channels, block_size, blocks), tail}));
        }
}

// The tool picks one instruction set at run time; this checks every path this processor can run,
// and that no tile's store strays past its output, where the tool keeps input not yet read.
TEST(ReinterleaveTest, EveryInstructionSetGivesTheInterleaveWithinItsOutput) {
    const std::uint32_t channel_counts[] = {2,  3,  4,  5,  6,  7,  8,  9,  10,
                                            11, 12, 13, 14, 15, 16, 17, 22, 23};
    const std::uint32_t word_counts[] = {2, 3, 4, 5, 7, 8, 9, 12, 13, 15, 16, 17, 64};
    const std::size_t guard = 64, blocks = 3;
    for (const bool wide : {false, true}) {
        if (wide && !blockbraider::wide_vectors_available())
            continue;
        for (std::uint32_t channels : channel_counts)
            for (std::uint32_t words : word_counts) {
                SCOPED_TRACE(::testing::Message() << channels << " channels of " << words
                                                  << " words, wide vectors " << wide);
                const std::uint32_t block_size = 4 * channels * words;
                const riff::Bytes data = riff::noise(blocks * block_size, channels * 100 + words);
                riff::Bytes out(guard + data.size() + guard, 0xA5);
                const unsigned char* result = blockbraider::interleave_blocks(
                    data.data(), out.data() + guard, channels, words, blocks, wide);
                ASSERT_EQ(result, out.data() + guard);
                EXPECT_EQ(riff::concat({riff::Bytes(guard, 0xA5),
                                        riff::interleaved(data, channels, block_size, blocks),
                                        riff::Bytes(guard, 0xA5)}),
                          out);
            }
    }
}
