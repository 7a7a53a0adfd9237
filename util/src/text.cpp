// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace util {

std::int32_t read_long(const char* text) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 0);
    // Where long has 64 bits, strtol itself accepts values the result cannot hold.
    if (errno == 0 && (value < INT32_MIN || value > INT32_MAX))
        errno = ERANGE;
    if (errno != 0)
        fatal_errno("util", 273, "read_long", "strtol");
    // Nothing converted (the empty text included) is as malformed as trailing characters.
    if (end == text || *end != '\0')
        fatal_message("util", 274, "read_long", "bad number format");
    return static_cast<std::int32_t>(value);
}

int print_spaces(std::FILE* stream, int width) { return std::fprintf(stream, "%*s", width, ""); }

}  // namespace util
