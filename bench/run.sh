#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# Times blockbraider against the same durable work by dd, an in-place copy of the same file
# synced to disk: files of 256 MiB of data in four common layouts and in every channel count from
# 1 to 16 at 36 and 1024 bytes a channel, a file of 64 MiB of empty chunks, and 1000 files of
# 64 KiB; each pair alternated after a warm-up. The tool leaves a converted file alone, so the
# file is put back, and synced, before each of its runs, outside the time. Reports the median
# ratio per case and the tool's peak resident memory.
# usage: bench/run.sh [PAIRS] [CASES]    (CASES: a regular expression over the case names;
#        needs /usr/bin/time from Debian's package "time")
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=${1:-7}
cases=${2:-.}
build="build-bench"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBLOCKBRAIDER_BENCH=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
tool=$build/blockbraider/blockbraider
make_wav=$build/bench/make_wav
work=$(mktemp -d "${TMPDIR:-/tmp}/blockbraider-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s%N; }
# Runs "$@" and prints its wall time in nanoseconds.
elapsed() { local start; start=$(now); "$@"; echo $(($(now) - start)); }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
dd_in_place() { dd if="$1" of="$1" bs=1M conv=notrunc,fdatasync status=none; }
# Puts the per-channel file back from its copy beside it, durably, as it was before any run.
restore() { dd if="$1.orig" of="$1" bs=1M conv=notrunc,fdatasync status=none; }
tool_on_all() { for f in "$work"/small/*.wav; do "$tool" "$f"; done; }
dd_on_all() { for f in "$work"/small/*.wav; do dd_in_place "$f"; done; }
restore_all() { for f in "$work"/small/*.orig; do cp "$f" "${f%.orig}"; done; sync; }

# Alternates the two commands PAIRS times after one warm-up each, running the third, untimed,
# before each run of the first; prints the median ratio.
compare() {
  local tool_cmd=$1 dd_cmd=$2 restore_cmd=$3 ratios=() t d
  $restore_cmd; $tool_cmd; $dd_cmd
  for _ in $(seq "$pairs"); do
    $restore_cmd
    t=$(elapsed $tool_cmd); d=$(elapsed $dd_cmd)
    ratios+=("$(awk -v t="$t" -v d="$d" 'BEGIN { printf "%.3f", t / d }')")
  done
  printf '%s\n' "${ratios[@]}" | median
}

# Prints one line for a file of the given layout: the median ratio against dd.
layout_case() {
  local name=$1 channels=$2 block=$3 empty_chunks=${4:-0} data=${5:-$((256 << 20))}
  grep -Eq -- "$cases" <<<"$name" || return 0
  file=$work/large.wav
  "$make_wav" "$file.orig" "$channels" "$block" "$data" "$empty_chunks"
  cp "$file.orig" "$file"
  printf '%-34s %s\n' "$name" "$(compare "$tool $file" "dd_in_place $file" "restore $file")"
}

printf '%-34s %s\n' "case" "median tool/dd"
layout_case "stereo 72-byte blocks" 2 72
layout_case "mono 36-byte blocks" 1 36
layout_case "6 channels 216-byte blocks" 6 216
layout_case "stereo 2048-byte blocks" 2 2048
if grep -Eq -- "$cases" <<<"peak resident memory"; then
  "$make_wav" "$work/large.wav" 2 72 $((256 << 20))
  rss=$(/usr/bin/time -f %M "$tool" "$work/large.wav" 2>&1)
  printf '%-34s %s KiB\n' "peak resident memory (256 MiB)" "$rss"
fi
layout_case "64 MiB of empty chunks" 2 72 $((8 << 20)) $((64 << 10))
for per_channel in 36 1024; do
  for channels in $(seq 16); do
    layout_case "$channels channels x $per_channel bytes" "$channels" $((channels * per_channel))
  done
done

if grep -Eq -- "$cases" <<<"1000 files of 64 KiB"; then
  mkdir "$work/small"
  for i in $(seq 1000); do "$make_wav" "$work/small/$i.wav.orig" 2 72 $((64 << 10)); done
  restore_all
  printf '%-34s %s\n' "1000 files of 64 KiB" "$(compare tool_on_all dd_on_all restore_all)"
fi
