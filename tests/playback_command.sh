#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# The README's and the manual's command that plays a converted file of more than two channels,
# run word for word on a 6-channel file that sox makes, the example's helper takes to the
# per-channel layout and the tool converts: sox must decode from it the samples of its own file.
# usage: tests/playback_command.sh README MANUAL PER_CHANNEL TOOL FOLDER [EMULATOR...]
set -euo pipefail
readme=$1 manual=$2 helper=$3 tool=$4 folder=$5
shift 5
command=$(grep -m1 -e '^    perl -0777' "$readme" | sed 's/^ *//')
if ! grep -qxF -e "$command" "$manual"; then
  echo "the manual's command is not the README's"
  exit 1
fi
mkdir -p "$folder"
cd "$folder"
rm -f music.wav music-0x11.wav music-pcm.wav
sox -n -r 22050 -c 6 -e ima-adpcm sox.wav \
  synth 0.5 sine 300 sine 400 sine 500 sine 600 sine 700 sine 800 gain -6
"$@" "$helper" sox.wav music.wav
"$@" "$tool" music.wav
bash -c "$command"
sox sox.wav -t s16 expected.raw
sox music-pcm.wav -t s16 played.raw
cmp expected.raw played.raw
echo "playback command: ok"
