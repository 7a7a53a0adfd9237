// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The library's write, read and copy failures that a healthy disk never gives, made by the
// fault-injecting wrappers: a full disk, an I/O error, a failed seek.
#include "riff_builder.hpp"
#include "support.hpp"

#include <util/util.hpp>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

// Runs `call` on a fresh stream over a 5000-byte file in a death-test child, under `plan`.
std::string diagnostic_under(const char* plan, const std::function<void(std::FILE*)>& call) {
    const std::string path = support::temp_path("file.bin");
    riff::write_file(path, riff::noise(5000, 5));
    return support::diagnostic_of([&] {
        std::FILE* stream = std::fopen(path.c_str(), "r+b");
        setenv("BLOCKBRAIDER_FAULT", plan, 1);
        call(stream);
    });
}

std::string reason(int error) { return std::string(std::strerror(error)) + "\n"; }

}  // namespace

TEST(UtilFaultDeathTest, WritersReadersAndDumpReportTheSystemsReason) {
    const struct {
        const char* plan;
        std::function<void(std::FILE*)> call;
        std::string expected;
    } cases[] = {
        {"fwrite:1:ENOSPC", [](std::FILE* s) { util::put_32_le(1, s); },
         "util:241:put_32_le:fwrite: fwrite: " + reason(ENOSPC)},
        {"fwrite:1:EIO:1", [](std::FILE* s) { util::put_16_be_seek(1, 4, s); },
         "util:202:put_16_be:fwrite: fwrite: " + reason(EIO)},
        {"fseek:1:EIO", [](std::FILE* s) { util::put_bytes_seek(0, s, nullptr, 0); },
         "util:257:put_bytes_seek:fseek: " + reason(EIO)},
        {"fread:1:EIO:3", [](std::FILE* s) { util::get_32_be(s); },
         "util:131:get_32_be:fread: fread: " + reason(EIO)},
        {"fseek:1:EIO", [](std::FILE* s) { util::get_64_be_seek(0, s); },
         "util:165:get_64_be_seek:fseek: " + reason(EIO)},
        {"fread:2:EIO", [](std::FILE* s) { util::dump(s, std::tmpfile(), 0, 5000); },
         "util:23:dump:fread: fread: " + reason(EIO)},
        {"fwrite:1:ENOSPC", [](std::FILE* s) { util::dump(s, std::tmpfile(), 0, 5000); },
         "util:26:dump:fwrite: fwrite: " + reason(ENOSPC)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        EXPECT_EQ(diagnostic_under(c.plan, c.call), c.expected);
    }
}
