// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef UTIL_SRC_SEEK_HPP
#define UTIL_SRC_SEEK_HPP

#include <util/util.hpp>

#include <cstdint>
#include <cstdio>

namespace util {

/// The seek that begins every _seek variant; a failure is reported under the variant's name.
inline void seek_to(std::int32_t offset, std::FILE* stream, int site, const char* name) {
    if (std::fseek(stream, offset, SEEK_SET) != 0)
        fatal_errno("util", site, name, "fseek");
}

}  // namespace util

#endif
