// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "riff_builder.hpp"
#include "support.hpp"

#include <util/util.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

namespace {

using support::diagnostic_of;
using support::temp_file;

}  // namespace

TEST(EncoderTest, ByteOrdersAndLowBits) {
    unsigned char b[4] = {};
    util::pack_16_be(0xAB1234, b);
    EXPECT_EQ(riff::Bytes(b, b + 2), (riff::Bytes{0x12, 0x34}));
    util::pack_16_le(0xAB1234, b);
    EXPECT_EQ(riff::Bytes(b, b + 2), (riff::Bytes{0x34, 0x12}));
    util::pack_32_be(0x8102FE04, b);
    EXPECT_EQ(riff::Bytes(b, b + 4), (riff::Bytes{0x81, 0x02, 0xFE, 0x04}));
    util::pack_32_le(0x8102FE04, b);
    EXPECT_EQ(riff::Bytes(b, b + 4), (riff::Bytes{0x04, 0xFE, 0x02, 0x81}));
}

TEST(WriterTest, WritersPutTheirBytesWhereTheyAreAsked) {
    const std::string path = temp_file(riff::Bytes(24, 0xAA));
    std::FILE* stream = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(stream, nullptr);
    util::put_16_be(0x1234, stream);
    util::put_16_le(0x1234, stream);
    util::put_32_be(0x01020304, stream);
    util::put_32_le(0x01020304, stream);
    util::put_byte(0x1FF, stream);
    const unsigned char two[] = {'o', 'k'};
    util::put_bytes(stream, two, 2);
    util::put_bytes(stream, two, 0);
    util::put_32_le_seek(0x80FF0102, 20, stream);
    util::put_16_be_seek(0xBEEF, 17, stream);
    util::put_byte_seek(0x7E, 19, stream);
    util::put_bytes_seek(15, stream, two, 1);
    ASSERT_EQ(std::fclose(stream), 0);

    stream = std::fopen(path.c_str(), "r+b");
    util::put_16_le_seek(0xCAFE, 0, stream);
    util::put_32_be_seek(0xDEADBEEF, 26, stream);  // past the end: the file grows
    ASSERT_EQ(std::fclose(stream), 0);
    EXPECT_EQ(riff::read_file(path),
              (riff::Bytes{0xFE, 0xCA, 0x34, 0x12, 1,   2,   3,    4,    4,    3,
                           2,    1,    0xFF, 'o',  'k', 'o', 0xAA, 0xBE, 0xEF, 0x7E,
                           0x02, 0x01, 0xFF, 0x80, 0,   0,   0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(PadTest, PadsWithZerosInsideAndPastTheEnd) {
    const std::string path = temp_file(riff::Bytes(14, 0xAA));
    std::FILE* stream = std::fopen(path.c_str(), "r+b");
    EXPECT_EQ(util::pad_to_multiple(10, 4, stream), 12);
    EXPECT_EQ(util::pad_to_multiple(12, 4, stream), 12);
    EXPECT_EQ(util::pad_to_multiple(0, 5, stream), 0);
    EXPECT_EQ(util::pad_to_multiple(17, 10, stream), 20);
    EXPECT_EQ(util::pad_to_multiple(INT32_MAX, 1, stream), INT32_MAX);
    ASSERT_EQ(std::fclose(stream), 0);
    riff::Bytes expected(20, 0xAA);
    expected[10] = expected[11] = 0;
    std::fill(expected.begin() + 14, expected.end(), 0);
    EXPECT_EQ(riff::read_file(path), expected);
}

TEST(WriterDeathTest, ShortWritesFailedSeeksAndBadPaddingNameTheirSite) {
    const riff::Bytes original = {1, 2, 3};
    const std::string path = temp_file(original);
    using Writer = std::function<void(std::FILE*)>;
    const unsigned char data[4] = {};
    struct Case {
        const char* expected;
        Writer write;
    };
    const std::string bad_descriptor =
        std::string("fwrite: fwrite: ") + std::strerror(EBADF) + "\n";
    const Case read_only[] = {
        {"util:188:put_byte:", [](std::FILE* s) { util::put_byte(1, s); }},
        {"util:202:put_16_be:", [](std::FILE* s) { util::put_16_be(1, s); }},
        {"util:215:put_16_le:", [](std::FILE* s) { util::put_16_le(1, s); }},
        {"util:228:put_32_be:", [](std::FILE* s) { util::put_32_be(1, s); }},
        {"util:241:put_32_le:", [](std::FILE* s) { util::put_32_le(1, s); }},
        {"util:252:put_bytes:", [&](std::FILE* s) { util::put_bytes(s, data, 4); }},
        // A seek variant's short write belongs to the writer it calls.
        {"util:241:put_32_le:", [](std::FILE* s) { util::put_32_le_seek(1, 0, s); }},
        {"util:188:put_byte:", [](std::FILE* s) { util::pad_to_multiple(3, 4, s); }},
    };
    for (const Case& c : read_only) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(diagnostic_of([&] { c.write(std::fopen(path.c_str(), "rb")); }),
                  c.expected + bad_descriptor);
    }

    const std::string bad_offset = std::string("fseek: ") + std::strerror(EINVAL) + "\n";
    const Case bad_seek[] = {
        {"util:192:put_byte_seek:", [](std::FILE* s) { util::put_byte_seek(1, -1, s); }},
        {"util:206:put_16_be_seek:", [](std::FILE* s) { util::put_16_be_seek(1, -1, s); }},
        {"util:219:put_16_le_seek:", [](std::FILE* s) { util::put_16_le_seek(1, -1, s); }},
        {"util:232:put_32_be_seek:", [](std::FILE* s) { util::put_32_be_seek(1, -1, s); }},
        {"util:245:put_32_le_seek:", [](std::FILE* s) { util::put_32_le_seek(1, -1, s); }},
        {"util:257:put_bytes_seek:", [&](std::FILE* s) { util::put_bytes_seek(-1, s, data, 1); }},
    };
    for (const Case& c : bad_seek) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(diagnostic_of([&] { c.write(std::fopen(path.c_str(), "r+b")); }),
                  c.expected + bad_offset);
    }

    const Case bad_padding[] = {
        {"util:262:pad_to_multiple: multiple must be positive\n",
         [](std::FILE* s) { util::pad_to_multiple(1, 0, s); }},
        {"util:262:pad_to_multiple: multiple must be positive\n",
         [](std::FILE* s) { util::pad_to_multiple(1, -4, s); }},
        {"util:263:pad_to_multiple: offset out of range\n",
         [](std::FILE* s) { util::pad_to_multiple(-1, 4, s); }},
        {"util:263:pad_to_multiple: offset out of range\n",
         [](std::FILE* s) { util::pad_to_multiple(INT32_MAX - 1, 4, s); }},
    };
    for (const Case& c : bad_padding) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(diagnostic_of([&] { c.write(std::fopen(path.c_str(), "r+b")); }), c.expected);
    }
    EXPECT_EQ(riff::read_file(path), original);
}
