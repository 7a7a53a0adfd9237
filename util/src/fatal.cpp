// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace util {

namespace {

// The whole line goes out in one write, so that processes sharing one stderr never cut into
// each other's lines. A line too long for the buffer, which only a caller's own long text can
// make, is written by the C library as it chooses.
[[noreturn]] __attribute__((format(printf, 1, 2))) void end_with_line(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): clang 14's analyser misses va_start
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof line) {
        std::fwrite(line, 1, static_cast<std::size_t>(length), stderr);
    } else {
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
    }
    std::exit(1);
}

}  // namespace

void fatal_message(const char* unit, int site, const char* function, const char* text) {
    end_with_line("%s:%d:%s: %s\n", unit, site, function, text);
}

// errno is read before anything else can change it.
void fatal_errno(const char* unit, int site, const char* function, const char* op) {
    end_with_line("%s:%d:%s:%s: %s\n", unit, site, function, op, std::strerror(errno));
}

void fatal_stream(const char* unit, int site, const char* function, const char* op,
                  std::FILE* stream) {
    const char* reason = std::strerror(errno);
    if (stream != nullptr && std::feof(stream))
        end_with_line("%s:%d:%s:%s: unexpected EOF\n", unit, site, function, op);
    end_with_line("%s:%d:%s:%s: %s: %s\n", unit, site, function, op, op, reason);
}

}  // namespace util
