// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include <util/util.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace util {

namespace {

// fprintf may change errno, so the caller saves it before the prefix and restores it after.
// The prefix is flushed so that it reaches stderr before perror's own output.
void write_prefix(const char* unit, int site, const char* function, const char* op) {
    std::fprintf(stderr, "%s:%d:%s:%s: ", unit, site, function, op);
    std::fflush(stderr);
}

}  // namespace

void fatal_message(const char* unit, int site, const char* function, const char* text) {
    std::fprintf(stderr, "%s:%d:%s: %s\n", unit, site, function, text);
    std::exit(1);
}

void fatal_errno(const char* unit, int site, const char* function, const char* op) {
    const int saved = errno;
    write_prefix(unit, site, function, op);
    errno = saved;
    std::perror(nullptr);
    std::exit(1);
}

void fatal_stream(const char* unit, int site, const char* function, const char* op,
                  std::FILE* stream) {
    const int saved = errno;
    write_prefix(unit, site, function, op);
    if (stream != nullptr && std::feof(stream))
        std::fputs("unexpected EOF\n", stderr);
    else {
        errno = saved;
        std::perror(op);
    }
    std::exit(1);
}

}  // namespace util
