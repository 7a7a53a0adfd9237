// Failures that no file can cause, made by the fault-injecting build of the tool: a failed
// allocation, seek, read, write or close. Each one must give its own diagnostic and leave the
// file exactly as far converted as promised.
#include "riff_builder.hpp"
#include "tool_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

using riff::Bytes;

// Stereo, 72-byte blocks, three batches of data. The calls that the plans count, in order:
// fseek 1 the header, 2 the fmt chunk, 3-5 its fields, 6 the data chunk, then two per batch
// (7 to read the first, 8 to write it, 9 to read the second); fread 1 the header, 2-3 the fmt
// id and size, 4-6 its fields, 7-8 the data id and size, then one per batch from 9; fwrite one
// per batch.
constexpr std::uint32_t channels = 2, block_size = 72, blocks = 8000;
constexpr std::size_t batch_blocks = 256 * 1024 / block_size;

struct Fixture {
    Bytes data = riff::noise(std::size_t{block_size} * blocks, 7);
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

}  // namespace

TEST(FaultTest, EverySiteThatNoFileCanReach) {
    const Fixture f;
    const std::size_t batch = batch_blocks * block_size;
    const std::string at = ":reinterleave_ms_ima:";
    const struct {
        const char* plan;
        std::string err;
        std::size_t converted;
    } cases[] = {
        {"fopen:1:EACCES", "61:main:fopen: " + reason(EACCES), 0},
        {"malloc:1:ENOMEM", "14" + at + "malloc: " + reason(ENOMEM), 0},
        {"fseek:7:EIO", "19" + at + "fseek: " + reason(EIO), 0},
        {"fseek:8:EIO", "24" + at + "fseek: " + reason(EIO), 0},
        {"fseek:9:EIO", "19" + at + "fseek: " + reason(EIO), batch},
        {"fread:9:EIO", "22" + at + "fread: fread: " + reason(EIO), 0},
        // A read error part-way through the second batch: its complete blocks are rewritten.
        {"fread:10:EIO:100000", "22" + at + "fread: fread: " + reason(EIO),
         batch + 100000 / block_size * block_size},
        {"fwrite:1:ENOSPC", "31" + at + "fwrite: fwrite: " + reason(ENOSPC), 0},
        // Cut inside block 10's channel headers, then inside its data.
        {"fwrite:2:ENOSPC:727", "31" + at + "fwrite: fwrite: " + reason(ENOSPC), batch + 727},
        {"fwrite:2:EIO:728", "40" + at + "fwrite: fwrite: " + reason(EIO), batch + 728},
        {"fwrite:3:EIO:71", "40" + at + "fwrite: fwrite: " + reason(EIO), 2 * batch + 71},
        // The close fails after every block has been written.
        {"fclose:1:EIO", "106:main:fclose: fclose: " + reason(EIO), f.data.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        const std::string path = tool::temp_path("file.wav");
        riff::write_file(path, f.before);
        setenv("BLOCKBRAIDER_FAULT", c.plan, 1);
        const tool::Outcome outcome = tool::run({path}, BLOCKBRAIDER_FAULTY_EXE);
        unsetenv("BLOCKBRAIDER_FAULT");
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "blockbraider:" + c.err);
        EXPECT_EQ(riff::read_file(path), f.converted_up_to(c.converted));
    }
}

// A real full disk: CI mounts a tiny tmpfs and names it in BLOCKBRAIDER_FULL_DISK_DIR. The data
// chunk is a hole past its first page, and the filesystem is then filled, so the first page the
// rewrite must allocate is refused.
TEST(FullDiskTest, NoSpaceLeftPartWayThroughTheFirstBatch) {
    const char* folder = std::getenv("BLOCKBRAIDER_FULL_DISK_DIR");
    if (folder == nullptr)
        GTEST_SKIP() << "BLOCKBRAIDER_FULL_DISK_DIR names no small filesystem to fill";
    const Fixture f;
    const std::string path = std::string(folder) + "/file.wav";
    const std::string filler = std::string(folder) + "/filler";
    constexpr std::size_t page = 4096;
    Bytes first_page(f.before.begin(), f.before.begin() + page);
    riff::write_file(path, first_page);
    std::filesystem::resize_file(path, f.before.size());
    {
        std::FILE* fill = std::fopen(filler.c_str(), "wb");
        ASSERT_NE(fill, nullptr);
        const Bytes zeros(page, 0);
        while (std::fwrite(zeros.data(), 1, zeros.size(), fill) == zeros.size() &&
               std::fflush(fill) == 0) {
        }
        std::fclose(fill);
    }

    const tool::Outcome outcome = tool::run({path});
    std::filesystem::remove(filler);
    // The write stops at the end of the first page, 16 bytes into a block's data.
    const std::size_t written = page - f.header.size();
    ASSERT_EQ(written % block_size, 16u);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "blockbraider:40:reinterleave_ms_ima:fwrite: fwrite: " + reason(ENOSPC));
    Bytes hole = first_page;
    hole.resize(f.before.size(), 0);
    Bytes expected = hole;
    const Bytes data(hole.begin() + static_cast<std::ptrdiff_t>(f.header.size()), hole.end());
    const Bytes converted = riff::interleaved(data, channels, block_size, blocks);
    std::copy_n(converted.begin(), written,
                expected.begin() + static_cast<std::ptrdiff_t>(f.header.size()));
    EXPECT_EQ(riff::read_file(path), expected);
    std::filesystem::remove(path);
}
