#!/usr/bin/env bash
# Times blockbraider against an in-place copy by dd of the same file, through the page cache:
# four files of 256 MiB of data and 1000 files of 64 KiB, each pair alternated after a warm-up,
# and reports the median ratio per case and the tool's peak resident memory.
# usage: bench/run.sh [PAIRS]    (needs /usr/bin/time from Debian's package "time")
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=${1:-7}
build=build-bench
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
dd_in_place() { dd if="$1" of="$1" bs=1M conv=notrunc status=none; }
tool_on_all() { for f in "$work"/small/*.wav; do "$tool" "$f"; done; }
dd_on_all() { for f in "$work"/small/*.wav; do dd_in_place "$f"; done; }

# Alternates the two commands PAIRS times after one warm-up each; prints the median ratio.
compare() {
  local tool_cmd=$1 dd_cmd=$2 ratios=() t d
  $tool_cmd; $dd_cmd
  for _ in $(seq "$pairs"); do
    t=$(elapsed $tool_cmd); d=$(elapsed $dd_cmd)
    ratios+=("$(awk -v t="$t" -v d="$d" 'BEGIN { printf "%.3f", t / d }')")
  done
  printf '%s\n' "${ratios[@]}" | median
}

printf '%-34s %s\n' "case" "median tool/dd"
for layout in "2 72 stereo 72-byte blocks" "1 36 mono 36-byte blocks" \
              "6 216 6 channels 216-byte blocks" "2 2048 stereo 2048-byte blocks"; do
  read -r channels block name <<<"$layout"
  file=$work/large.wav
  "$make_wav" "$file" "$channels" "$block" $((256 << 20))
  printf '%-34s %s\n' "$name" "$(compare "$tool $file" "dd_in_place $file")"
done
rss=$(/usr/bin/time -f %M "$tool" "$file" 2>&1)

mkdir "$work/small"
for i in $(seq 1000); do "$make_wav" "$work/small/$i.wav" 2 72 $((64 << 10)); done
printf '%-34s %s\n' "1000 files of 64 KiB" "$(compare tool_on_all dd_on_all)"
printf '%-34s %s KiB\n' "peak resident memory (256 MiB)" "$rss"
