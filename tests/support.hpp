// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef TESTS_SUPPORT_HPP
#define TESTS_SUPPORT_HPP

#include "riff_builder.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

// What every test file needs from the process it runs in: fresh paths and the diagnostic of a
// process that ends.
namespace support {

/// A path named after the running test and `name`, in the build tree's own folder where it
/// has one, so that the suites of two build trees run at once keep apart.
inline std::string temp_path(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
#if defined(BLOCKBRAIDER_TEST_FOLDER)
    const std::string folder = BLOCKBRAIDER_TEST_FOLDER "/";
#else
    const std::string folder = ::testing::TempDir();
#endif
    return folder + "blockbraider_" + info->test_suite_name() + "_" + info->name() + "_" + name;
}

/// Writes `bytes` to a fresh temporary file and returns its path.
inline std::string temp_file(const riff::Bytes& bytes) {
    const std::string path = temp_path("file.bin");
    riff::write_file(path, bytes);
    return path;
}

/// Runs `statement` in a death-test child, expects it to end with exit status 1, and returns
/// what it wrote to stderr. The child sends stderr to a file of its own, in binary mode, because
/// GoogleTest's capture of a child's stderr comes back empty under wine.
inline std::string diagnostic_of(const std::function<void()>& statement) {
    const std::string path = temp_path("death_stderr");
    std::remove(path.c_str());
    EXPECT_EXIT(
        {
            if (std::freopen(path.c_str(), "wb", stderr) == nullptr)
                std::_Exit(2);
            statement();
        },
        ::testing::ExitedWithCode(1), "");
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char piece[256];
        for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, file)) != 0;)
            text.append(piece, n);
        std::fclose(file);
    }
    return text;
}

}  // namespace support

#endif
