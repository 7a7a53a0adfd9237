// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The run as its surroundings may treat it: closed standard descriptors, a second process on
// the same file, a file-size limit, signals, a full disk. Whatever happens, nothing outside the
// data chunks changes, the file keeps its length, and every block is wholly new or wholly old.
#include "riff_builder.hpp"
#include "tool_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using riff::Bytes;

constexpr std::uint32_t channels = 2, block_size = 72;
constexpr std::size_t batch_blocks = 1024 * 1024 / block_size;

// Stereo, 72-byte blocks whose 4-byte words count up from 0: a block that is torn, or that was
// converted twice, matches neither its old nor its new layout. Each channel's first word is a
// header as encoders write it (third and fourth bytes 0), and no other word looks like one, so
// that the tool sees the per-channel layout that encoders write.
struct Counted {
    Bytes before, after;
    std::size_t data_at;

    explicit Counted(std::uint32_t blocks) {
        Bytes data(std::size_t{blocks} * block_size);
        for (std::uint32_t word = 0; word < blocks * (block_size / 4); ++word) {
            for (std::uint32_t byte = 0; byte < 4; ++byte)
                data[4 * word + byte] = static_cast<unsigned char>(word >> (8 * byte));
            const bool header = word % (block_size / channels / 4) == 0;
            data[4 * word + 2] = header ? 0 : data[4 * word + 2];
            data[4 * word + 3] = header ? 0 : 0x80;
        }
        before = riff::make_riff({riff::fmt_chunk(channels, block_size), riff::data_chunk(data)});
        after = riff::make_riff(
            {riff::fmt_chunk(channels, block_size),
             riff::data_chunk(riff::interleaved(data, channels, block_size, blocks))});
        data_at = before.size() - data.size();
    }

    // The file with its first `blocks` blocks converted.
    Bytes converted(std::size_t blocks) const {
        Bytes file = before;
        const auto end = static_cast<std::ptrdiff_t>(data_at + blocks * block_size);
        std::copy(after.begin() + static_cast<std::ptrdiff_t>(data_at), after.begin() + end,
                  file.begin() + static_cast<std::ptrdiff_t>(data_at));
        return file;
    }
};

}  // namespace

TEST(SurroundingsTest, ASecondProcessOnTheSameFileIsTurnedAway) {
    const Counted f(100);
    const std::string path = tool::temp_path("file.wav");
    const auto expect_turned_away = [&](const tool::Outcome& outcome) {
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "blockbraider:62:main: file is locked by another process\n");
        EXPECT_EQ(riff::read_file(path), f.before);
    };
    riff::write_file(path, f.before);
#if defined(_WIN32)
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED whole{};
    ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                           MAXDWORD, &whole));
    expect_turned_away(tool::run({path}));
    CloseHandle(other);
#else
    // The other process holds the file through a hard link of its own, with flock, or with the
    // record lock that fcntl and lockf take, which Linux keeps apart from flock's. The portable
    // build takes the record lock alone, all that POSIX gives.
    const std::string link = tool::temp_path("link.wav");
    std::filesystem::remove(link);
    std::filesystem::create_hard_link(path, link);
#if defined(BLOCKBRAIDER_TAKES_FLOCK)
    for (const bool record_lock : {false, true}) {
#else
    for (const bool record_lock : {true}) {
#endif
        SCOPED_TRACE(record_lock ? "record lock" : "flock");
        const int other = open(link.c_str(), O_RDWR);
        struct flock whole_file {};
        whole_file.l_type = F_WRLCK;
        whole_file.l_whence = SEEK_SET;
        ASSERT_EQ(record_lock ? fcntl(other, F_SETLK, &whole_file) : flock(other, LOCK_EX), 0);
        expect_turned_away(tool::run({path}));
        close(other);
    }
#endif
}

#if defined(_WIN32)

// A parent may start the tool with Ctrl+C ignored, as a new process group is: the tool leaves it
// so, and runs to the end however many come.
TEST(SurroundingsTest, CtrlCThatTheParentIgnoresStaysIgnored) {
    const Counted f((32 << 20) / block_size);
    const std::string path = tool::temp_path("file.wav");
    riff::write_file(path, f.before);
    // Ctrl+C needs a console, which the tool shares: this process takes a new one of its own.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    std::string command = "\"" BLOCKBRAIDER_EXE "\" \"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE,
                               CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process));
    // Wine makes a process's handler thread inside a signal handler, which deadlocks a process
    // that it interrupts in the C library's allocator, as while it starts or ends: so three
    // Ctrl+C come once the first block is written, while the tool converts and syncs. A block
    // that cannot be read is held by the tool's lock, as Windows keeps it.
    const auto converted = [&](std::size_t at) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        unsigned char block[block_size];
        DWORD got = 0;
        const bool read = ReadFile(file, block, block_size, &got, &where) && got == block_size;
        CloseHandle(file);
        return !read || std::memcmp(block, f.after.data() + at, block_size) == 0;
    };
    int sent = 0;
    while (WaitForSingleObject(process.hProcess, 2) == WAIT_TIMEOUT)
        if (sent < 3 && converted(f.data_at) &&
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, process.dwProcessId))
            ++sent;
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(sent, 3) << "the run ended before Ctrl+C could reach it";
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(riff::read_file(path), f.after);
}

#endif

#if !defined(_WIN32)

namespace {

// Checks the promise on `file` and returns how many blocks are new.
std::size_t new_blocks(const Counted& f, const Bytes& file) {
    EXPECT_EQ(file.size(), f.before.size());
    if (file.size() != f.before.size() ||
        !std::equal(f.before.begin(), f.before.begin() + static_cast<std::ptrdiff_t>(f.data_at),
                    file.begin())) {
        ADD_FAILURE() << "the file changed outside its data";
        return 0;
    }
    std::size_t count = 0;
    for (std::size_t at = f.data_at; at < file.size(); at += block_size) {
        const auto is = [&](const Bytes& layout) {
            return std::memcmp(file.data() + at, layout.data() + at, block_size) == 0;
        };
        if (is(f.after))
            ++count;
        else if (!is(f.before))
            ADD_FAILURE() << "block " << (at - f.data_at) / block_size << " is torn";
    }
    return count;
}

}  // namespace

// With a standard descriptor closed, the file would otherwise take its number, and a
// diagnostic would be written into the file.
TEST(SurroundingsTest, ClosedStandardDescriptorsNeverReceiveADiagnostic) {
    const std::string text = "hello world, this is an important text file\n";
    const Counted f(3);
    const Bytes bad_layout =
        riff::make_riff({riff::fmt_chunk(2, 72), riff::data_chunk(Bytes(100, 0xA5))});
    const struct {
        const char* name;
        Bytes before;
        std::vector<int> closed;
        int status;
        Bytes after;
    } cases[] = {
        {"text, stderr closed", Bytes(text.begin(), text.end()), {2}, 1, {}},
        {"bad layout, all closed", bad_layout, {0, 1, 2}, 1, {}},
        {"good file, all closed", f.before, {0, 1, 2}, 0, f.after},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tool::temp_path("file.wav");
        riff::write_file(path, c.before);
        EXPECT_EQ(tool::finish(
                      tool::start(tool::command_for({path}), "/dev/null", "/dev/null", c.closed)),
                  c.status);
        EXPECT_EQ(riff::read_file(path), c.after.empty() ? c.before : c.after);
    }
}

// A file-size limit below the end of the data: the write that reaches it fails with the
// system's reason instead of a silent death, and the block it cut is put back.
TEST(SurroundingsTest, AFileSizeLimitFailsTheWriteAndTearsNoBlock) {
    const Counted f(2 * batch_blocks);
    const std::size_t whole = batch_blocks + 526;
    const std::string path = tool::temp_path("file.wav");
    riff::write_file(path, f.before);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = f.data_at + whole * block_size + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const tool::Outcome outcome = tool::run({path});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "blockbraider:40:reinterleave_ms_ima:fwrite: fwrite: " +
                               std::string(std::strerror(EFBIG)) + "\n");
    EXPECT_EQ(riff::read_file(path), f.converted(whole));
}

// Real signals at moments spread over a run: each trial ends as the signal's default action
// ends a process, or with the run complete, and never with a block torn.
TEST(SurroundingsTest, SignalsTakeEffectOnlyBetweenWholeBatches) {
    const Counted f((16 << 20) / block_size);
    const std::string path = tool::temp_path("file.wav");
    using clock = std::chrono::steady_clock;
    riff::write_file(path, f.before);
    const auto started = clock::now();
    ASSERT_EQ(tool::spawn(tool::command_for({path}), "/dev/null", "/dev/null"), 0);
    const auto run_time = clock::now() - started;
    ASSERT_EQ(riff::read_file(path), f.after);

    int interrupted = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        for (int quarter = 1; quarter <= 3; ++quarter) {
            SCOPED_TRACE(::testing::Message() << strsignal(signal) << " at " << quarter << "/4");
            riff::write_file(path, f.before);
            const pid_t pid = tool::start(tool::command_for({path}), "/dev/null", "/dev/null");
            std::this_thread::sleep_for(run_time * quarter / 4);
            kill(pid, signal);
            const int status = tool::finish(pid);
            const std::size_t converted = new_blocks(f, riff::read_file(path));
            if (status == 0) {
                EXPECT_EQ(converted, (f.before.size() - f.data_at) / block_size);
            } else {
                EXPECT_EQ(status, 128 + signal);
                ++interrupted;
            }
        }
    EXPECT_GT(interrupted, 0) << "no trial caught the tool mid-run";
}

#endif

#if defined(__linux__)

// A real full disk, in a tiny tmpfs mounted in a user namespace of its own by the system's
// unshare and mount, which serve under an emulator too. The data chunk is a hole past its first
// page, and the filesystem is then filled, so the first page the rewrite must allocate is refused.
TEST(SurroundingsTest, AFullDiskTearsNoBlock) {
    const Counted f(8000);
    constexpr std::size_t page = 4096;
    const std::string folder = tool::temp_path("tmpfs"), first = tool::temp_path("first_page"),
                      copy = tool::temp_path("after.wav"), out = tool::temp_path("tool_stdout"),
                      err = tool::temp_path("tool_stderr");
    std::filesystem::create_directories(folder);
    std::filesystem::remove(copy);
    const Bytes first_page(f.before.begin(), f.before.begin() + page);
    riff::write_file(first, first_page);
    const auto quoted = [](const std::string& word) { return "'" + word + "'"; };
    std::string run_tool;
    for (const std::string& word : tool::command_for({folder + "/file.wav"}))
        run_tool += quoted(word) + " ";
    const std::string script =
        "mount -t tmpfs -o size=64k tmpfs " + quoted(folder) + " || exit; cd " + quoted(folder) +
        " && cp " + quoted(first) + " file.wav && truncate -s " + std::to_string(f.before.size()) +
        " file.wav && { cat /dev/zero >filler 2>/dev/null; " + run_tool + ">" + quoted(out) +
        " 2>" + quoted(err) + "; status=$?; cp file.wav " + quoted(copy) + "; exit $status; }";
    const tool::Outcome outcome =
        tool::run_command({"unshare", "--user", "--map-root-user", "--mount", "sh", "-c", script});
    if (!std::filesystem::exists(copy))
        GTEST_SKIP() << "no user namespace may mount a tmpfs here: " << outcome.err;

    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(riff::read_file(out), Bytes{});
    const std::string reason = "blockbraider:40:reinterleave_ms_ima:fwrite: fwrite: " +
                               std::string(std::strerror(ENOSPC)) + "\n";
    EXPECT_EQ(riff::read_file(err), Bytes(reason.begin(), reason.end()));
    // The write stops at the end of the first page, inside block 56: the blocks before it are
    // new, and the rest of the file is the hole as it was.
    Bytes hole = first_page;
    hole.resize(f.before.size(), 0);
    const auto data_at = static_cast<std::ptrdiff_t>(f.data_at);
    Bytes expected(hole.begin(), hole.begin() + data_at);
    const Bytes converted = riff::interleaved(Bytes(hole.begin() + data_at, hole.end()), channels,
                                              block_size, (page - f.data_at) / block_size);
    expected.insert(expected.end(), converted.begin(), converted.end());
    EXPECT_EQ(riff::read_file(copy), expected);
}

// A block device has no length of its own for fstat; the file on it converts all the same.
TEST(SurroundingsTest, AFileOnABlockDeviceConvertsAsItDoesOnDisk) {
    Counted f(100);
    // A loop device ends at the last whole 512-byte sector of its file: pad past the RIFF form.
    f.before.resize((f.before.size() + 511) / 512 * 512);
    f.after.resize(f.before.size());
    const std::string path = tool::temp_path("file.wav");
    riff::write_file(path, f.before);
    const tool::Outcome attached = tool::run_command({"losetup", "--find", "--show", path});
    if (attached.status != 0)
        GTEST_SKIP() << "no loop device can be set up here: " << attached.err;
    const std::string device = attached.out.substr(0, attached.out.find('\n'));
    const tool::Outcome outcome = tool::run({device});
    EXPECT_EQ(tool::run_command({"losetup", "--detach", device}).status, 0);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(riff::read_file(path), f.after);
}

#endif
