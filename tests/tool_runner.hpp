#ifndef TESTS_TOOL_RUNNER_HPP
#define TESTS_TOOL_RUNNER_HPP

// Runs the built executable as a user would and collects what it leaves behind.

#include "riff_builder.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <string>
#include <vector>

namespace tool {

struct Outcome {
    int status;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

inline std::string quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

/// A fresh path under the test's temporary folder, named after the running test.
inline std::string temp_path(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "blockbraider_" + info->test_suite_name() + "_" + info->name() +
           "_" + name;
}

inline Outcome run(const std::vector<std::string>& args) {
    const std::string out_path = temp_path("stdout"), err_path = temp_path("stderr");
    std::string command = quote(BLOCKBRAIDER_EXE);
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on "literal" + std::string&&.
    for (const std::string& arg : args) {
        command += ' ';
        command += quote(arg);
    }
    command += " >" + quote(out_path) + " 2>" + quote(err_path) + " </dev/null";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    const riff::Bytes out = riff::read_file(out_path), err = riff::read_file(err_path);
    return {status, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
}

/// Writes `before` to a file, converts it, and checks status, empty stdout, exact stderr and
/// every byte of the file afterwards.
inline void expect_conversion(const riff::Bytes& before, int status, const std::string& err,
                              const riff::Bytes& after) {
    const std::string path = temp_path("file.wav");
    riff::write_file(path, before);
    const Outcome outcome = run({path});
    EXPECT_EQ(outcome.status, status);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, err);
    EXPECT_EQ(riff::read_file(path), after);
}

inline void expect_failure(const riff::Bytes& file, const std::string& err) {
    expect_conversion(file, 1, err, file);
}

}  // namespace tool

#endif
