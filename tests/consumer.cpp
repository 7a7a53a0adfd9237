// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// A program outside the project that uses the installed or added library as any consumer would.
#include <util/util.hpp>

#include <cstdio>

int main() {
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr)
        return 1;
    util::put_32_le(0x64617461, stream);
    util::put_16_be(static_cast<std::uint32_t>(util::read_long("0x1234")), stream);
    const std::uint32_t id = util::get_32_be_seek(0, stream);
    const std::uint16_t value = util::get_16_be(stream);
    std::fclose(stream);
    const bool ok = id == 0x61746164 && value == 0x1234;
    std::puts(ok ? "consumer: ok" : "consumer: wrong values");
    return ok ? 0 : 1;
}
