#include "reinterleave.hpp"

#include <util/util.hpp>

#include <cstdlib>

namespace blockbraider {

void reinterleave_ms_ima(std::FILE* stream, std::int32_t data_offset, std::uint32_t data_size,
                         std::uint32_t channels, std::uint32_t block_size) {
    // A "fmt " chunk may declare zeros; every step below divides by these two.
    if (channels == 0)
        util::fatal_message("blockbraider", 8, "reinterleave_ms_ima", "channel count is 0");
    if (block_size == 0)
        util::fatal_message("blockbraider", 9, "reinterleave_ms_ima", "block size is 0");

    // A failed allocation is reported only after the layout checks, which say more.
    auto* buffer = static_cast<unsigned char*>(std::malloc(block_size));
    const std::uint32_t per_channel = block_size / channels;
    if (data_size % block_size != 0)
        util::fatal_message("blockbraider", 10, "reinterleave_ms_ima",
                            "block size doesn't go evenly into data size");
    if (block_size % channels != 0)
        util::fatal_message("blockbraider", 11, "reinterleave_ms_ima",
                            "block size doesn't divide evenly by channels");
    if (per_channel % 4 != 0)
        util::fatal_message("blockbraider", 12, "reinterleave_ms_ima",
                            "expected multiple of 4 bytes per channel");
    if (buffer == nullptr)
        util::fatal_errno("blockbraider", 14, "reinterleave_ms_ima", "malloc");

    // The chunk lies wholly before riff_end, itself a signed 32-bit offset, so position never
    // overflows.
    std::int32_t position = data_offset;
    for (std::uint32_t remaining = data_size; remaining != 0; remaining -= block_size) {
        if (std::fseek(stream, position, SEEK_SET) != 0)
            util::fatal_errno("blockbraider", 19, "reinterleave_ms_ima", "fseek");
        if (std::fread(buffer, 1, block_size, stream) != block_size)
            util::fatal_stream("blockbraider", 22, "reinterleave_ms_ima", "fread", stream);
        // fseek again before writing: a C update stream must be repositioned between input
        // and output.
        if (std::fseek(stream, position, SEEK_SET) != 0)
            util::fatal_errno("blockbraider", 24, "reinterleave_ms_ima", "fseek");
        for (std::uint32_t c = 0; c < channels; ++c)
            if (std::fwrite(buffer + c * per_channel, 1, 4, stream) != 4)
                util::fatal_stream("blockbraider", 31, "reinterleave_ms_ima", "fwrite", stream);
        for (std::uint32_t k = 0; k + 4 < per_channel; k += 4)
            for (std::uint32_t c = 0; c < channels; ++c)
                if (std::fwrite(buffer + c * per_channel + 4 + k, 1, 4, stream) != 4)
                    util::fatal_stream("blockbraider", 40, "reinterleave_ms_ima", "fwrite",
                                       stream);
        position += static_cast<std::int32_t>(block_size);
    }
    std::free(buffer);
}

}  // namespace blockbraider
