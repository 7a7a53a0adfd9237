#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# The helper that makes the bundled example, run as example/make-example.sh runs it: sox's file
# taken to the per-channel layout and converted back by the tool must be sox's file again, but
# for the codec id, which the helper makes 0x69 and the tool keeps. sox dithers at random, so
# the bundled example itself cannot be made again byte for byte.
# usage: tests/example_helper.sh PER_CHANNEL TOOL FOLDER [EMULATOR...]
set -euo pipefail
helper=$1 tool=$2 folder=$3
shift 3
mkdir -p "$folder"
sox -n -r 22050 -c 2 -e ima-adpcm "$folder/interleaved.wav" \
  synth 1 sine 440 sine 660 gain -6 fade q 0.05 1 0.05
"$@" "$helper" "$folder/interleaved.wav" "$folder/per-channel.wav"
"$@" "$tool" "$folder/per-channel.wav"
# cmp -l lists each differing byte: its position from 1, then both values in octal.
differences=$(cmp -l "$folder/per-channel.wav" "$folder/interleaved.wav" || true)
if [ "$(echo "$differences" | awk '{ print $1, $2, $3 }')" != "21 151 21" ]; then
  echo "the converted file differs from sox's other than in the codec id:"
  echo "$differences" | head
  exit 1
fi
echo "example helper: ok"
