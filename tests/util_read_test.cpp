// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "riff_builder.hpp"
#include "support.hpp"

#include <util/util.hpp>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

namespace {

using support::diagnostic_of;
using support::temp_file;

std::string system_text(int error) { return std::strerror(error); }

}  // namespace

TEST(FatalDeathTest, EachFormWritesOneExactLine) {
    EXPECT_EQ(diagnostic_of([] { util::fatal_message("unit", 7, "fn", "went wrong"); }),
              "unit:7:fn: went wrong\n");
    EXPECT_EQ(diagnostic_of([] {
                  errno = ENOENT;
                  util::fatal_errno("unit", 8, "fn", "fopen");
              }),
              "unit:8:fn:fopen: " + system_text(ENOENT) + "\n");
    EXPECT_EQ(diagnostic_of([] {
                  errno = EIO;
                  util::fatal_stream("unit", 9, "fn", "fclose", nullptr);
              }),
              "unit:9:fn:fclose: fclose: " + system_text(EIO) + "\n");
}

TEST(DecoderTest, ByteOrdersAndHighBytes) {
    const unsigned char four[] = {0x01, 0x02, 0x03, 0x04};
    const unsigned char high[] = {0xFF, 0xFE, 0x80, 0x81};
    const unsigned char eight[] = {0, 0, 0, 1, 0, 0, 0, 2};
    EXPECT_EQ(util::unpack_32_le(four), 0x04030201u);
    EXPECT_EQ(util::unpack_32_be(four), 0x01020304u);
    EXPECT_EQ(util::unpack_32_le(high), 0x8180FEFFu);
    EXPECT_EQ(util::unpack_32_be(high), 0xFFFE8081u);
    EXPECT_EQ(util::unpack_16_be(high), 0xFFFE);
    EXPECT_EQ(util::unpack_16_le(high), 0xFEFF);
    EXPECT_EQ(util::unpack_64_be(eight), (std::uint64_t{1} << 32) + 2);
    const unsigned char top[] = {0x80, 0, 0, 0, 0, 0, 0, 0xFF};
    EXPECT_EQ(util::unpack_64_be(top), 0x80000000000000FFull);
}

TEST(ReaderTest, SequentialAndSeekReadersDeliverTheirBytes) {
    const riff::Bytes bytes = {'d',  'a', 't', 'a', 0xFF, 0xFE, 0x01, 0x02, 0x03, 0x04,
                               0x80, 0,   0,   0,   0,    0,    0,    0x01, 0xAB};
    std::FILE* stream = std::fopen(temp_file(bytes).c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(util::get_32_be(stream), 0x64617461u);
    EXPECT_EQ(util::get_16_be(stream), 0xFFFE);
    EXPECT_EQ(util::get_32_le(stream), 0x04030201u);
    EXPECT_EQ(util::get_64_be(stream), 0x8000000000000001ull);
    EXPECT_EQ(util::get_byte(stream), 0xAB);
    unsigned char none[1];
    util::get_bytes(stream, none, 0);  // at the end of the file, and still no failure

    EXPECT_EQ(util::get_16_le_seek(4, stream), 0xFEFF);
    EXPECT_EQ(util::get_byte_seek(18, stream), 0xAB);
    EXPECT_EQ(util::get_16_be_seek(0, stream), 0x6461);
    EXPECT_EQ(util::get_32_be_seek(6, stream), 0x01020304u);
    EXPECT_EQ(util::get_32_le_seek(0, stream), 0x61746164u);
    EXPECT_EQ(util::get_64_be_seek(10, stream), 0x8000000000000001ull);
    unsigned char two[2];
    util::get_bytes_seek(2, stream, two, 2);
    EXPECT_EQ(two[0], 't');
    EXPECT_EQ(two[1], 'a');
    EXPECT_EQ(std::ftell(stream), 4);  // left just after what was read
    std::fclose(stream);
}

TEST(ReaderDeathTest, ShortReadsAndFailedSeeksNameTheirSite) {
    const std::string path = temp_file({1, 2, 3});
    using Reader = std::function<void(std::FILE*)>;
    unsigned char buffer[8];
    struct Case {
        const char* expected;
        Reader read;
    };
    const Case at_end[] = {
        {"util:88:get_byte:", [](std::FILE* s) { util::get_byte(s); }},
        {"util:103:get_16_be:", [](std::FILE* s) { util::get_16_be(s); }},
        {"util:117:get_16_le:", [](std::FILE* s) { util::get_16_le(s); }},
        {"util:131:get_32_be:", [](std::FILE* s) { util::get_32_be(s); }},
        {"util:145:get_32_le:", [](std::FILE* s) { util::get_32_le(s); }},
        {"util:159:get_64_be:", [](std::FILE* s) { util::get_64_be(s); }},
        {"util:173:get_bytes:", [&](std::FILE* s) { util::get_bytes(s, buffer, 1); }},
        // A seek variant's short read belongs to the reader it calls.
        {"util:88:get_byte:", [](std::FILE* s) { util::get_byte_seek(3, s); }},
        {"util:117:get_16_le:", [](std::FILE* s) { util::get_16_le_seek(2, s); }},
        {"util:173:get_bytes:", [&](std::FILE* s) { util::get_bytes_seek(1, s, buffer, 3); }},
    };
    for (const Case& c : at_end) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(diagnostic_of([&] {
                      std::FILE* stream = std::fopen(path.c_str(), "rb");
                      std::fseek(stream, 0, SEEK_END);
                      c.read(stream);
                  }),
                  std::string(c.expected) + "fread: unexpected EOF\n");
    }

    const Case bad_seek[] = {
        {"util:94:get_byte_seek:", [](std::FILE* s) { util::get_byte_seek(-1, s); }},
        {"util:109:get_16_be_seek:", [](std::FILE* s) { util::get_16_be_seek(-1, s); }},
        {"util:123:get_16_le_seek:", [](std::FILE* s) { util::get_16_le_seek(-1, s); }},
        {"util:137:get_32_be_seek:", [](std::FILE* s) { util::get_32_be_seek(-1, s); }},
        {"util:151:get_32_le_seek:", [](std::FILE* s) { util::get_32_le_seek(-1, s); }},
        {"util:165:get_64_be_seek:", [](std::FILE* s) { util::get_64_be_seek(-1, s); }},
        {"util:178:get_bytes_seek:", [&](std::FILE* s) { util::get_bytes_seek(-1, s, buffer, 1); }},
    };
    for (const Case& c : bad_seek) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(diagnostic_of([&] { c.read(std::fopen(path.c_str(), "rb")); }),
                  std::string(c.expected) + "fseek: " + system_text(EINVAL) + "\n");
    }

    // A read that fails for another reason than the end of the file is labelled. The C runtime
    // of Windows sets no errno for a read from a write-only stream, so only the label is sure.
    const std::string labelled =
        diagnostic_of([&] { util::get_32_le(std::fopen(path.c_str(), "ab")); });
#if defined(_WIN32)
    EXPECT_EQ(labelled.rfind("util:145:get_32_le:fread: fread: ", 0), 0u) << labelled;
    EXPECT_EQ(labelled.find('\n'), labelled.size() - 1) << labelled;
#else
    EXPECT_EQ(labelled, "util:145:get_32_le:fread: fread: " + system_text(EBADF) + "\n");
#endif
}
