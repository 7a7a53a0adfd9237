#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# The man page's list of diagnostics against the code: every site of the tool, each under the
# tag the code gives it, and of the library's only sites that exist, under their own tags.
# usage: tests/site_list.sh SOURCE_DIR
set -euo pipefail
cd "$1"
# unit:site:tag for every fatal call of the tool, a site chosen between two numbers giving both;
# the library passes its sites and tags to the helpers that read, write and seek.
code=$({
  perl -0777 -ne 'while (/fatal_\w+\(\s*"(\w+)",\s*([^,]+?),\s*"(\w+)/g) {
    my ($unit, $site, $tag) = ($1, $2, $3);
    print "$unit:$_:$tag\n" for ($site =~ /^\d+$/ ? ($site) : $site =~ /\?\s*(\d+)\s*:\s*(\d+)$/);
  }' blockbraider/*.cpp
  perl -0777 -ne 'print "util:$1:$2\n" while /\b(\d+),\s*"(\w+)"/g' util/src/*.cpp
} | sort -u)
listed=$(grep -oE '^\.It Li (blockbraider|util):[0-9]+:[a-z_0-9]+' doc/blockbraider.1 |
         sed 's/^\.It Li //' | sort -u)
status=0
if ! diff <(grep '^blockbraider:' <<<"$code") <(grep '^blockbraider:' <<<"$listed"); then
  echo "the tool's sites above differ between the code (<) and the man page (>)"
  status=1
fi
if unknown=$(comm -13 <(echo "$code") <(grep '^util:' <<<"$listed")) && [ -n "$unknown" ]; then
  printf 'the man page lists library sites the code does not have:\n%s\n' "$unknown"
  status=1
fi
exit "$status"
