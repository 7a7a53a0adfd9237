// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef TESTS_TOOL_RUNNER_HPP
#define TESTS_TOOL_RUNNER_HPP

// Runs the built executable as a user would, without a shell, and collects what it leaves
// behind.

#include "riff_builder.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace tool {

struct Outcome {
    int status;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

using support::temp_path;

#if defined(_WIN32)
// _spawnv joins its arguments into one command line as they stand. A bare word is left bare, so
// that the child's C runtime sees, and expands, a wildcard pattern as a Windows user types it.
inline int spawn(const std::vector<std::string>& command, const std::string& out_path,
                 const std::string& err_path) {
    std::vector<std::string> words;
    for (const std::string& word : command)
        words.push_back(word.find(' ') == std::string::npos ? word : '"' + word + '"');
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    argv.push_back(nullptr);
    std::FILE* out = std::fopen(out_path.c_str(), "wb");
    std::FILE* err = std::fopen(err_path.c_str(), "wb");
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved_out = _dup(1), saved_err = _dup(2);
    _dup2(_fileno(out), 1);
    _dup2(_fileno(err), 2);
    // wine now and then fails to start a process on a busy machine; a start that failed ran
    // nothing, so it is safe to try again.
    auto status = _spawnv(_P_WAIT, argv[0], argv.data());
    for (int retry = 0; status == -1 && retry < 3; ++retry)
        status = _spawnv(_P_WAIT, argv[0], argv.data());
    _dup2(saved_out, 1);
    _dup2(saved_err, 2);
    _close(saved_out);
    _close(saved_err);
    std::fclose(out);
    std::fclose(err);
    return static_cast<int>(status);
}
#else
/// Starts `command` with standard input on the null device and standard output and error on
/// the files at `out_path` and `err_path`, but for the standard descriptors in `closed`, which
/// it leaves closed. Returns the process, or -1 if it could not start.
inline pid_t start(const std::vector<std::string>& command, const std::string& out_path,
                   const std::string& err_path, const std::vector<int>& closed = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string paths[] = {"/dev/null", out_path, err_path};
    for (int fd = 0; fd <= 2; ++fd) {
        if (std::find(closed.begin(), closed.end(), fd) != closed.end())
            posix_spawn_file_actions_addclose(&actions, fd);
        else
            posix_spawn_file_actions_addopen(&actions, fd, paths[fd].c_str(),
                                             fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
    }
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

/// Waits for a process that `start` started: its exit status, or 128 + the signal that ended
/// it, or -1 if there is none.
inline int finish(pid_t pid) {
    int raw = 0;
    if (pid == -1 || waitpid(pid, &raw, 0) != pid)
        return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

inline int spawn(const std::vector<std::string>& command, const std::string& out_path,
                 const std::string& err_path) {
    return finish(start(command, out_path, err_path));
}
#endif

/// Runs `command`, a program and its arguments.
inline Outcome run_command(const std::vector<std::string>& command) {
    const std::string out_path = temp_path("stdout"), err_path = temp_path("stderr");
    const int status = spawn(command, out_path, err_path);
    const riff::Bytes out = riff::read_file(out_path), err = riff::read_file(err_path);
    return {status, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
}

/// The command that runs `program`, by default the tool, with `args`: under the words of the
/// environment's BLOCKBRAIDER_TEST_WRAPPER first where it is set (a memory checker, say), and
/// under the emulator of the build where it runs programs of another architecture.
inline std::vector<std::string> command_for(const std::vector<std::string>& args,
                                            const std::string& program = BLOCKBRAIDER_EXE) {
    std::vector<std::string> command;
    const auto add_words = [&](const char* text) {
        std::istringstream words(text);
        for (std::string word; words >> word;)
            command.push_back(word);
    };
    if (const char* wrapper = std::getenv("BLOCKBRAIDER_TEST_WRAPPER"))
        add_words(wrapper);
#if defined(BLOCKBRAIDER_TEST_EMULATOR)
    add_words(BLOCKBRAIDER_TEST_EMULATOR);
#endif
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

/// Runs `program`, by default the tool, with `args`, as command_for has it.
inline Outcome run(const std::vector<std::string>& args,
                   const std::string& program = BLOCKBRAIDER_EXE) {
    return run_command(command_for(args, program));
}

/// Writes `before` to `path`, converts it, and checks status, empty stdout, exact stderr and
/// every byte of the file afterwards.
inline void expect_conversion_at(const std::string& path, const riff::Bytes& before, int status,
                                 const std::string& err, const riff::Bytes& after) {
    riff::write_file(path, before);
    const Outcome outcome = run({path});
    EXPECT_EQ(outcome.status, status);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, err);
    EXPECT_EQ(riff::read_file(path), after);
}

/// The same on a file of its own.
inline void expect_conversion(const riff::Bytes& before, int status, const std::string& err,
                              const riff::Bytes& after) {
    expect_conversion_at(temp_path("file.wav"), before, status, err, after);
}

inline void expect_failure(const riff::Bytes& file, const std::string& err) {
    expect_conversion(file, 1, err, file);
}

}  // namespace tool

#endif
