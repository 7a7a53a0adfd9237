// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Times the permutation alone on a batch of 1 MiB that stays in the cache, for every channel
// count from 2 to 16 at 36 and 1024 bytes a channel, with 16-byte and with 32-byte vectors. A
// memmove of the same batch is the floor: every pass over the data costs at least a copy.
// usage: permute [Google Benchmark options, e.g. --benchmark_filter=permute/5/]
#include "transpose.hpp"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::size_t batch = 1024 * 1024;

void permute(benchmark::State& state) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto per_channel = static_cast<std::uint32_t>(state.range(1));
    const bool wide = state.range(2) != 0;
    if (wide && !blockbraider::wide_vectors_available()) {
        state.SkipWithError("this processor has no AVX2");
        return;
    }
    const std::size_t block = std::size_t{channels} * per_channel, blocks = batch / block;
    // Laid out as the tool lays a batch out: the output one block, in whole cache lines, below.
    const std::size_t gap = (block + 63) / 64 * 64;
    std::vector<unsigned char> buffer(gap + blocks * block, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(blockbraider::interleave_blocks(
            buffer.data() + gap, buffer.data(), channels, per_channel / 4, blocks, wide));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * blocks * block));
}

void copy(benchmark::State& state) {
    std::vector<unsigned char> buffer(batch + 64, 0x5A);
    for (auto _ : state) {
        std::memmove(buffer.data(), buffer.data() + 64, batch);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * batch));
}

}  // namespace

BENCHMARK(permute)
    ->ArgsProduct({benchmark::CreateDenseRange(2, 16, 1), {36, 1024}, {0, 1}})
    ->ArgNames({"channels", "bytes", "wide"});
BENCHMARK(copy);
BENCHMARK_MAIN();
