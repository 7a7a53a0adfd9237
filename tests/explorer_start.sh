#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# The tool started as Explorer starts it for a drop, alone on a console of its own: wine gives a
# program one in a pseudo-terminal with no cmd in between. Each file is converted by a run of its
# own and named with its result, and the window waits for a key. From cmd, whose console the tool
# shares, two files still give the usage text and convert nothing.
#   usage: explorer_start.sh SOURCE_DIR TOOL WORK_DIR EMULATOR...
set -euo pipefail
source=$1 tool=$2 work=$3
shift 3
emulator=("$@")
export LC_ALL=C.UTF-8
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$source/example/tones.wav" good.wav
cp "$source/example/tones.wav" 音声_01.wav
cp "$source/example/tones.wav" converted.wav
head -c 30 "$source/example/tones.wav" >damaged.wav
cp damaged.wav damaged.orig
"${emulator[@]}" "$tool" converted.wav

# The key is typed once the window asks for it, and the tool must still be waiting then.
command=$(printf '%q ' "${emulator[@]}" "$tool" good.wav damaged.wav 音声_01.wav)
mkfifo keys
script -qfec "$command" /dev/null <keys >screen.raw &
window=$!
exec 3>keys
for _ in $(seq 120); do
  grep -q 'Press' screen.raw && break
  sleep 0.5
done
kill -0 "$window"
printf x >&3
status=0
wait "$window" || status=$?
exec 3>&-
sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' screen.raw | tr -d '\r' >screen.txt
test "$status" = 1
diff - screen.txt <<'SCREEN'
good.wav: converted
damaged.wav: util:117:get_16_le:fread: unexpected EOF
音声_01.wav: converted
Press a key to close this window.
SCREEN
cmp good.wav converted.wav
cmp 音声_01.wav converted.wav
cmp damaged.wav damaged.orig

cp "$source/example/tones.wav" good.wav
status=0
"${emulator[@]}" cmd /c "$(winepath -w "$tool")" good.wav damaged.wav </dev/null >cmd.out 2>cmd.err ||
  status=$?
test "$status" = 1
test ! -s cmd.out
printf 'interleave Wwise RIFF 0x69 uninterleaved IMA ADPCM\nusage: blockbraider file.WAV\n' |
  diff - cmd.err
cmp good.wav "$source/example/tones.wav"
echo "explorer start: three files shown with their results; from cmd, the usage text"
