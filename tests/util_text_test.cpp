// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "riff_builder.hpp"
#include "support.hpp"

#include <util/util.hpp>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

using support::diagnostic_of;
using support::temp_path;

std::string contents(std::FILE* stream) {
    std::string text(static_cast<std::size_t>(std::ftell(stream)), '\0');
    std::rewind(stream);
    text.resize(std::fread(text.data(), 1, text.size(), stream));
    return text;
}

}  // namespace

TEST(DumpTest, CopiesRangesAndAppends) {
    const riff::Bytes input = riff::noise(6000, 6);
    const std::string in_path = temp_path("in"), out_path = temp_path("out");
    riff::write_file(in_path, input);
    std::FILE* in = std::fopen(in_path.c_str(), "rb");
    std::FILE* out = std::fopen(out_path.c_str(), "wb");
    util::dump(in, out, 123, 0);
    EXPECT_EQ(std::ftell(in), 123);  // an empty copy still positions the input
    util::dump(in, out, 1000, 5000);
    util::dump(in, out, 0, 3);
    std::fclose(in);
    std::fclose(out);
    riff::Bytes expected(input.begin() + 1000, input.end());
    expected.insert(expected.end(), input.begin(), input.begin() + 3);
    EXPECT_EQ(riff::read_file(out_path), expected);
}

TEST(DumpDeathTest, FailuresNameTheirSite) {
    const riff::Bytes input = riff::noise(5000, 5);
    const std::string in_path = temp_path("in"), out_path = temp_path("out");
    riff::write_file(in_path, input);
    // 5000 bytes from offset 100 run 100 past the end: the two whole pieces are written first.
    const auto open = [](const std::string& path, const char* mode) {
        return std::fopen(path.c_str(), mode);
    };
    EXPECT_EQ(
        diagnostic_of([&] { util::dump(open(in_path, "rb"), open(out_path, "wb"), 100, 5000); }),
        "util:23:dump:fread: unexpected EOF\n");
    EXPECT_EQ(riff::read_file(out_path), riff::Bytes(input.begin() + 100, input.begin() + 4196));

    EXPECT_EQ(diagnostic_of([&] { util::dump(open(in_path, "rb"), open(out_path, "wb"), -1, 1); }),
              std::string("util:15:dump:fseek: ") + std::strerror(EINVAL) + "\n");
    EXPECT_EQ(diagnostic_of([&] { util::dump(open(in_path, "rb"), open(in_path, "rb"), 0, 10); }),
              std::string("util:26:dump:fwrite: fwrite: ") + std::strerror(EBADF) + "\n");
}

TEST(ReadLongTest, AcceptsEveryBaseSignAndBothEnds) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"42", 42},
        {"0x1F", 31},
        {"0X1f", 31},
        {"010", 8},
        {"-7", -7},
        {"  12", 12},
        {"\t+5", 5},
        {"0", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"0x7FFFFFFF", INT32_MAX},
        {"-0x80000000", INT32_MIN},
        {"017777777777", INT32_MAX},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(util::read_long(text), value);
    }
}

TEST(ReadLongDeathTest, RejectsWhatIsNotWhollyAnInt32) {
    const std::string range =
        std::string("util:273:read_long:strtol: ") + std::strerror(ERANGE) + "\n";
    for (const char* text :
         {"2147483648", "-2147483649", "0x80000000", "99999999999", "-99999999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(diagnostic_of([&] { util::read_long(text); }), range);
    }
    for (const char* text : {"", "12abc", "12 ", "   ", "0x", "-", "abc", "08"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(diagnostic_of([&] { util::read_long(text); }),
                  "util:274:read_long: bad number format\n");
    }
}

TEST(PrintSpacesTest, WritesTheMagnitudeOfItsWidthInBlanks) {
    for (const auto& [width, blanks] : {std::pair{4, 4}, {0, 0}, {-3, 3}, {1, 1}}) {
        SCOPED_TRACE(width);
        std::FILE* stream = std::tmpfile();
        EXPECT_EQ(util::print_spaces(stream, width), blanks);
        EXPECT_EQ(contents(stream), std::string(static_cast<std::size_t>(blanks), ' '));
        std::fclose(stream);
    }
}
