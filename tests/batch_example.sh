#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# Runs the README's batch example for one shell, after checking that the man page (and, for cmd,
# the Windows readme) gives the same, as a user runs it, on a folder of good and bad files with
# awkward names. failures.txt must name every file that failed beside its diagnostic, and every
# file must end as the tool leaves it when run on that file alone. For cmd, TOOL is a stand-in
# that ends a file named interrupted* as Ctrl+C would, with no diagnostic.
#   usage: batch_example.sh posix|cmd SOURCE_DIR TOOL WORK_DIR [EMULATOR...]
set -euo pipefail
kind=$1 source=$2 tool=$3 work=$4
shift 4
emulator=("$@")

# The example's lines in the README, without their indentation, from the line that matches
# $first to the one that matches $last; in the man page, backslashes are escaped as well.
example() {
  first=$first last=$last awk '$0 ~ ENVIRON["first"] { on = 1 } on { sub(/^ */, ""); print }
                               on && $0 ~ ENVIRON["last"] { exit }' "$1"
}
case "$kind" in
  posix) first="^ *find sounds -name '[*][.]wav' -print0 [|]\$" last=">failures[.]txt\$" ;;
  cmd) first="^ *@echo off\$" last="^ *[)]\$" ;;
  *) echo "usage: batch_example.sh posix|cmd SOURCE_DIR TOOL WORK_DIR [EMULATOR...]" >&2; exit 2 ;;
esac
command=$(example "$source/README.md")
test -n "$command"
diff <(echo "$command") <(example "$source/doc/blockbraider.1" | sed -e 's/\\e/\\/g')
if [ "$kind" = cmd ]; then diff <(echo "$command") <(example "$source/doc/README-windows.txt"); fi

# The POSIX example walks the folder sounds below the current one, cmd's the current folder.
sub=sounds
if [ "$kind" = cmd ]; then sub=.; fi
rm -rf "$work"
folder=$work/run/$sub
mkdir -p "$folder" "$work/bin"
cp "$source/example/tones.wav" "$folder/good.wav"
cp "$source/example/tones.wav" "$folder/good & 100% ^!.wav"
printf 'not a RIFF file' >"$folder/text.wav"
head -c 30 "$source/example/tones.wav" >"$folder/切れ & 50%.wav"
cp "$source/example/tones.wav" "$folder/interrupted.wav"
cp -r "$work/run" "$work/expected"

# What the tool makes of each file alone: the files as they must end, and the failures.
run_tool() { "${emulator[@]}" "$tool" "$@"; }
: >"$work/expected.txt"
(cd "$work/expected" && for file in "$sub"/*.wav; do
  file=${file#./}
  if ! error=$(run_tool "$file" 2>&1); then
    printf '%s: %s\n' "$file" "${error:-ended by Ctrl+C or a crash, with no diagnostic}" \
      >>"$work/expected.txt"
  fi
done)

case "$kind" in
  posix)
    printf '#!/bin/sh\nexec %s "$@"\n' "$(printf '%q ' "${emulator[@]}" "$tool")" \
      >"$work/bin/blockbraider"
    chmod +x "$work/bin/blockbraider"
    status=0
    (cd "$work/run" && PATH="$work/bin:$PATH" sh -c "$command") || status=$?
    test "$status" = 123
    ;;
  cmd)
    # Saved as a batch file and run on a console, which a pseudo-terminal gives; the tool's
    # folder is on the PATH. cmd ends with the status of the last file's last check.
    export WINEPATH
    WINEPATH=$(winepath -w "$(dirname "$tool")")
    echo "$command" | sed 's/$/\r/' >"$work/run/convert.cmd"
    (cd "$work/run" && script -qfec "$(printf '%q ' "${emulator[@]}") cmd /c convert.cmd" /dev/null \
      </dev/null >/dev/null || true)
    rm "$work/run/convert.cmd"
    ;;
esac
diff <(sort "$work/expected.txt") <(tr -d '\r' <"$work/run/failures.txt" | sort)
rm "$work/run/failures.txt"
diff -r "$work/expected" "$work/run"
echo "the $kind batch example recorded $(wc -l <"$work/expected.txt") failures"
