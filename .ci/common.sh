# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT
# What the CI scripts share; each sources it from the project's root.

# Installs those of the Debian packages named that are not installed yet (as root).
install_missing() {
  local package missing=()
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
  fi
}

# Lets dpkg and apt take packages of the Debian architectures named beside the machine's own
# (as root); install_missing then fetches their lists with the first package it needs of them.
add_architectures() {
  local arch
  for arch in "$@"; do
    dpkg --print-foreign-architectures | grep -qx "$arch" || dpkg --add-architecture "$arch"
  done
}

# The project's version as project() gives it: in the working tree, or at the revision named.
project_version() {
  local cmakelists
  if [ $# -gt 0 ]; then
    cmakelists=$(git show "$1:CMakeLists.txt")
  else
    cmakelists=$(cat CMakeLists.txt)
  fi
  sed -n 's/^project(blockbraider VERSION \([0-9.]*\) .*/\1/p' <<<"$cmakelists"
}
