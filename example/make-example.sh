#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# Makes example/tones.wav: one second of stereo at 22050 Hz, a 440 Hz tone on the left and a
# 660 Hz tone on the right, encoded as IMA ADPCM by sox and then rewritten into the per-channel
# layout with codec id 0x69 by the project's own per_channel (example/per_channel.cpp).
# Needs sox, cmake, ninja-build and g++.   usage: example/make-example.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/example
cmake -S . -B "$build" -G Ninja -DBUILD_TESTING=OFF -DBLOCKBRAIDER_INSTALL=OFF \
  -DBLOCKBRAIDER_EXAMPLE=ON >/dev/null
cmake --build "$build" --target per_channel >/dev/null
sox -n -r 22050 -c 2 -e ima-adpcm "$build/tones-interleaved.wav" \
  synth 1 sine 440 sine 660 gain -6 fade q 0.05 1 0.05
"$build/example/per_channel" "$build/tones-interleaved.wav" example/tones.wav
echo "made example/tones.wav ($(wc -c <example/tones.wav) bytes)"
