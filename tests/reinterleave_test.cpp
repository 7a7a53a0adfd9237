#include "reinterleave.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// The interleaved block stated the other way round: walk the output in order and name, for
// each 4-byte group, the input group it must come from.
Bytes expected_block(const unsigned char* in, std::uint32_t channels, std::uint32_t block_size) {
    const std::uint32_t per_channel = block_size / channels;
    Bytes out;
    const auto take = [&](std::uint32_t at) { out.insert(out.end(), in + at, in + at + 4); };
    for (std::uint32_t c = 0; c < channels; ++c)
        take(c * per_channel);
    for (std::uint32_t group = 1; group < per_channel / 4; ++group)
        for (std::uint32_t c = 0; c < channels; ++c)
            take(c * per_channel + 4 * group);
    return out;
}

}  // namespace

TEST(ReinterleaveTest, EveryBlockMatchesTheInterleaveAndNothingElseMoves) {
    std::mt19937 random(20261208);
    const std::uint32_t channel_counts[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 255};
    const std::uint32_t per_channel_sizes[] = {4, 8, 12, 36, 68, 256, 1024, 2048};
    for (std::uint32_t channels : channel_counts)
        for (std::uint32_t per_channel : per_channel_sizes) {
            const std::uint32_t block_size = channels * per_channel;
            if (block_size > 0xFFFF)
                continue;
            SCOPED_TRACE(::testing::Message() << channels << " channels of " << per_channel);
            const std::uint32_t blocks = 1 + random() % 5;
            const std::int32_t data_offset = 3 + static_cast<std::int32_t>(random() % 64);
            Bytes file(static_cast<std::size_t>(data_offset) + blocks * block_size + 17);
            for (unsigned char& b : file)
                b = static_cast<unsigned char>(random());

            std::FILE* stream = std::tmpfile();
            ASSERT_NE(stream, nullptr);
            ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), stream), file.size());
            blockbraider::reinterleave_ms_ima(stream, data_offset, blocks * block_size, channels,
                                              block_size);
            Bytes result(file.size() + 1);
            std::rewind(stream);
            ASSERT_EQ(std::fread(result.data(), 1, result.size(), stream), file.size());
            std::fclose(stream);
            result.pop_back();

            Bytes expected(file.begin(), file.begin() + data_offset);
            for (std::uint32_t b = 0; b < blocks; ++b) {
                const Bytes block = expected_block(file.data() + data_offset + b * block_size,
                                                   channels, block_size);
                expected.insert(expected.end(), block.begin(), block.end());
            }
            expected.insert(expected.end(), file.end() - 17, file.end());
            ASSERT_EQ(result, expected);
        }
}
