// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Failures that no file can cause, made by the fault-injecting build of the tool: a failed
// allocation, seek, read, write or close. Each one must give its own diagnostic and leave the
// file exactly as far converted as promised.
#include "riff_builder.hpp"
#include "tool_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

using riff::Bytes;

// Stereo, 72-byte blocks, three batches of data. The calls that the plans count, in order:
// fseek 1 the header, 2 the window of chunk headers, then two per batch (3 to read the first, 4
// to write it, 5 to read the second); fread 1 the header, 2 the window, then one per batch from
// 3; fwrite one per batch. Restoring a block that a failed write tore takes one more of each.
constexpr std::uint32_t channels = 2, block_size = 72, blocks = 40000;
constexpr std::size_t batch_blocks = 1024 * 1024 / block_size;

struct Fixture {
    Bytes data = riff::encoded(channels, block_size, blocks, 7);
    Bytes before = riff::make_riff({riff::fmt_chunk(channels, block_size), riff::data_chunk(data)});
    // Everything before the data: the RIFF header, the fmt chunk and the data chunk's header.
    Bytes header = Bytes(before.begin(), before.end() - static_cast<std::ptrdiff_t>(data.size()));

    // The file after `count` bytes of the data have been rewritten.
    Bytes converted_up_to(std::size_t count) const {
        Bytes after = before;
        const Bytes all = riff::interleaved(data, channels, block_size, blocks);
        std::copy(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count),
                  after.begin() + static_cast<std::ptrdiff_t>(header.size()));
        return after;
    }
};

std::string reason(int error) { return std::string(std::strerror(error)) + "\n"; }

// Runs the fault-injecting tool on a fresh copy of `file` under `plan`; returns what it did and
// leaves the file at `path`.
tool::Outcome run_under(const char* plan, const Bytes& file, const std::string& path) {
    riff::write_file(path, file);
    setenv("BLOCKBRAIDER_FAULT", plan, 1);
    const tool::Outcome outcome = tool::run({path}, BLOCKBRAIDER_FAULTY_EXE);
    unsetenv("BLOCKBRAIDER_FAULT");
    EXPECT_EQ(outcome.out, "");
    return outcome;
}

}  // namespace

TEST(FaultTest, EverySiteThatNoFileCanReach) {
    const Fixture f;
    const std::size_t batch = batch_blocks * block_size;
    const std::string at = "blockbraider:", pass = ":reinterleave_ms_ima:";
    const struct {
        const char* plan;
        std::string err;
        std::size_t converted;
        std::size_t converted_before = 0;  // by an earlier run
    } cases[] = {
        {"fopen:1:EACCES", at + "61:main:fopen: " + reason(EACCES), 0},
        // Neither lock can be had (the first three fcntl calls check the standard descriptors).
        {"flock:1:ENOLCK,fcntl:4:ENOLCK", at + "63:main: file system cannot lock the file\n", 0},
        // The window of chunk headers cannot be read: the checked readers read the header
        // again, and report what they find.
        {"fseek:2:EIO,fseek:3:EIO", "util:137:get_32_be_seek:fseek: " + reason(EIO), 0},
        {"fread:2:EIO,fread:3:EIO", "util:131:get_32_be:fread: fread: " + reason(EIO), 0},
        {"malloc:1:ENOMEM", at + "14" + pass + "malloc: " + reason(ENOMEM), 0},
        {"fseek:3:EIO", at + "19" + pass + "fseek: " + reason(EIO), 0},
        {"fseek:4:EIO", at + "24" + pass + "fseek: " + reason(EIO), 0},
        {"fseek:5:EIO", at + "19" + pass + "fseek: " + reason(EIO), batch},
        {"fread:3:EIO", at + "22" + pass + "fread: fread: " + reason(EIO), 0},
        // An earlier run converted the first batch, so the rest is judged whole first.
        {"pread:1:EIO", at + "17:read_at:pread: " + reason(EIO), batch, batch},
        // A read error part-way through the second batch: its complete blocks are rewritten
        // but the last two, which show the next run where this one stopped.
        {"fread:4:EIO:100000", at + "22" + pass + "fread: fread: " + reason(EIO),
         batch + (100000 / block_size - 2) * block_size},
        {"fwrite:1:ENOSPC", at + "31" + pass + "fwrite: fwrite: " + reason(ENOSPC), 0},
        // Cut inside block 10's channel headers, then inside its data: the site tells which,
        // and the block is put back as it was.
        {"fwrite:2:ENOSPC:727", at + "31" + pass + "fwrite: fwrite: " + reason(ENOSPC),
         batch + 720},
        {"fwrite:2:EIO:728", at + "40" + pass + "fwrite: fwrite: " + reason(EIO), batch + 720},
        {"fwrite:3:EIO:71", at + "40" + pass + "fwrite: fwrite: " + reason(EIO), 2 * batch},
        // When putting it back fails too, the first failure is the one reported, and the
        // block stays as the first write left it.
        {"fwrite:2:EIO:728,fwrite:3:ENOSPC", at + "40" + pass + "fwrite: fwrite: " + reason(EIO),
         batch + 728},
        {"fwrite:2:EIO:728,fseek:7:EIO", at + "40" + pass + "fwrite: fwrite: " + reason(EIO),
         batch + 728},
        // The sync or the close fails after every block has been written.
        {BLOCKBRAIDER_SYNC_CALL ":1:EIO", at + "105:main:fdatasync: fdatasync: " + reason(EIO),
         f.data.size()},
        {"fclose:1:EIO", at + "106:main:fclose: fclose: " + reason(EIO), f.data.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        const std::string path = tool::temp_path("file.wav");
        const tool::Outcome outcome =
            run_under(c.plan, f.converted_up_to(c.converted_before), path);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, c.err);
        EXPECT_EQ(riff::read_file(path), f.converted_up_to(c.converted));
    }
}

// A signal that comes in the middle of the second batch's write takes effect once the whole
// batch is written, and ends the tool as it would have ended it anywhere else.
TEST(FaultTest, ASignalDuringAWriteWaitsForTheWholeBatch) {
    const Fixture f;
    const std::size_t batch = batch_blocks * block_size;
    for (const auto& [plan, signal] : {std::pair{"fwrite:2:SIGTERM:727", SIGTERM},
                                       std::pair{"fwrite:2:SIGINT:100000", SIGINT}}) {
        SCOPED_TRACE(plan);
        const std::string path = tool::temp_path("file.wav");
        const tool::Outcome outcome = run_under(plan, f.before, path);
        EXPECT_EQ(outcome.status, 128 + signal);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(riff::read_file(path), f.converted_up_to(2 * batch));
    }
}

// Another process cuts the file inside the second batch once it has been read: the tool must
// not write it back past the new end, and reports the file as ending inside the chunk.
TEST(FaultTest, AFileCutShortDuringTheRunNeverGrowsBack) {
    const Fixture f;
    const std::size_t batch = batch_blocks * block_size;
    const std::size_t cut = f.header.size() + batch + 1000;
    const std::string plan = "fread:4:SHRINK:" + std::to_string(cut);
    const std::string path = tool::temp_path("file.wav");
    const tool::Outcome outcome = run_under(plan.c_str(), f.before, path);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "blockbraider:22:reinterleave_ms_ima:fread: unexpected EOF\n");
    Bytes expected = f.converted_up_to(batch);
    expected.resize(cut);
    EXPECT_EQ(riff::read_file(path), expected);
}
