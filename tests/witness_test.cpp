// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Real IMA ADPCM codecs as witnesses: sox encodes a known signal in the interleaved layout; the
// per-channel layout rebuilt from it must convert back to sox's very bytes, sox must decode the
// result to the samples of its own encoding, and so must ffmpeg, codec id 0x69 and all.
#include "riff_builder.hpp"
#include "tool_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using riff::Bytes;

struct Layout {
    std::size_t codec_at = 0, data_at = 0, data_size = 0;
    std::uint32_t channels = 0, block_size = 0;
};

Layout layout_of(const Bytes& file) {
    Layout layout;
    for (std::size_t offset = 12; offset + 8 <= file.size();
         offset += 8 + riff::field(file, offset + 4, 4)) {
        if (std::equal(file.begin() + offset, file.begin() + offset + 4, "fmt ")) {
            layout.codec_at = offset + 8;
            layout.channels = riff::field(file, offset + 10, 2);
            layout.block_size = riff::field(file, offset + 20, 2);
        } else if (std::equal(file.begin() + offset, file.begin() + offset + 4, "data")) {
            layout.data_at = offset + 8;
            layout.data_size = riff::field(file, offset + 4, 4);
        }
    }
    return layout;
}

// Each interleaved block as the per-channel layout: word w of channel c from w·channels + c.
Bytes per_channel(const Bytes& file, const Layout& layout) {
    Bytes out = file;
    const std::size_t words = layout.block_size / layout.channels / 4;
    for (std::size_t block = layout.data_at; block < layout.data_at + layout.data_size;
         block += layout.block_size)
        for (std::size_t c = 0; c < layout.channels; ++c)
            for (std::size_t w = 0; w < words; ++w)
                std::copy_n(file.begin() +
                                static_cast<std::ptrdiff_t>(block + 4 * (w * layout.channels + c)),
                            4,
                            out.begin() + static_cast<std::ptrdiff_t>(block + 4 * (c * words + w)));
    return out;
}

Bytes with_codec(Bytes file, const Layout& layout, unsigned char codec) {
    file.at(layout.codec_at) = codec;
    return file;
}

Bytes decode(const std::string& path) {
    const std::string raw = path + ".raw";
    EXPECT_EQ(tool::run_command({SOX_EXE, path, "-t", "s16", raw}).status, 0);
    return riff::read_file(raw);
}

// Half a second of a different tone in each channel, encoded by sox; returns the file's path.
std::string encoded_by_sox(int channels) {
    const char* tones[] = {"440", "660", "880", "220", "330", "550"};
    const std::string path = tool::temp_path("sox_" + std::to_string(channels) + ".wav");
    std::vector<std::string> command{SOX_EXE, "-n", "-r", "22050", "-c", std::to_string(channels)};
    command.insert(command.end(), {"-e", "ima-adpcm", path, "synth", "0.5"});
    for (int c = 0; c < channels; ++c)
        command.insert(command.end(), {"sine", tones[c]});
    EXPECT_EQ(tool::run_command(command).status, 0);
    return path;
}

}  // namespace

TEST(WitnessTest, SoxsInterleaveIsWhatTheToolWrites) {
    for (const int channels : {1, 2, 6}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const std::string encoded = encoded_by_sox(channels);
        const Bytes sox = riff::read_file(encoded);
        const Layout layout = layout_of(sox);
        ASSERT_EQ(layout.channels, static_cast<std::uint32_t>(channels));
        ASSERT_EQ(sox.at(layout.codec_at), 0x11);
        ASSERT_GT(layout.data_size, 4 * std::size_t{layout.block_size});

        const Bytes expected = with_codec(sox, layout, 0x69);
        tool::expect_conversion(with_codec(per_channel(sox, layout), layout, 0x69), 0, "",
                                expected);

        const std::string converted = tool::temp_path("back_" + std::to_string(channels) + ".wav");
        riff::write_file(converted, with_codec(expected, layout, 0x11));
        const Bytes samples = decode(converted);
        EXPECT_GT(samples.size(), 0u);
        EXPECT_EQ(samples, decode(encoded));
    }
}

#if defined(FFMPEG_EXE)
// ffmpeg reads codec id 0x69 as IMA ADPCM in the interleaved layout, for one and two channels:
// a converted file plays there, and in the players built on it, as the encoder's own file does.
TEST(WitnessTest, FfmpegPlaysTheConvertedFileAsTheEncodersOwn) {
    const auto decode_by_ffmpeg = [](const std::string& path) {
        const std::string raw = path + ".ffmpeg.raw";
        EXPECT_EQ(tool::run_command(
                      {FFMPEG_EXE, "-nostdin", "-v", "error", "-y", "-i", path, "-f", "s16le", raw})
                      .status,
                  0);
        return riff::read_file(raw);
    };
    for (const int channels : {1, 2}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const std::string encoded = encoded_by_sox(channels);
        const Bytes sox = riff::read_file(encoded);
        const Layout layout = layout_of(sox);
        const std::string path = tool::temp_path("ffmpeg_" + std::to_string(channels) + ".wav");
        riff::write_file(path, with_codec(per_channel(sox, layout), layout, 0x69));
        ASSERT_EQ(tool::run({path}).status, 0);
        const Bytes samples = decode_by_ffmpeg(path);
        EXPECT_GT(samples.size(), 0u);
        EXPECT_EQ(samples, decode_by_ffmpeg(encoded));
    }
}
#endif
