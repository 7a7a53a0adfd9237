#ifndef TESTS_EXIT_CAPTURE_HPP
#define TESTS_EXIT_CAPTURE_HPP

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

namespace capture {

/// Runs `statement` in a death-test child, expects it to end with exit status 1, and returns
/// what it wrote to stderr. The child sends stderr to a file of its own, in binary mode, because
/// GoogleTest's capture of a child's stderr comes back empty under wine.
inline std::string diagnostic_of(const std::function<void()>& statement) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path = ::testing::TempDir() + "util_" + info->name() + "_stderr";
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

}  // namespace capture

#endif
