#!/usr/bin/env bash
# Debian packages pocketmidi needs, grouped by use so that each script
# installs only what it uses:
#   build   the library, the tool, the default instrument set and the demo song
#   test    the test suite (scripts/test.sh)
#   bench   benchmarks and comparisons with other synthesizers (bench/)
#   fuzz    the libFuzzer targets (clang and its runtime; scripts/fuzz-smoke.sh)
#   windows the MinGW-w64 build and its suite under wine (scripts/windows-test.sh)
# To add a package, add it to its group; to add a group, add its variable
# (and its name to POCKETMIDI_DEP_GROUPS if every script needs it).
# Sourced by the other scripts: `pocketmidi_install_deps [GROUP...]` (no
# group: build, test and bench; fuzz and windows only when named) installs
# what is missing when run as root, otherwise prints the command to run and
# fails.
POCKETMIDI_DEP_GROUPS="build test bench"
POCKETMIDI_DEPS_build="cmake g++ make pkg-config libasound2-dev openttd-openmsx timgm6mb-soundfont"
POCKETMIDI_DEPS_test="git libgtest-dev libasound2-plugins"
POCKETMIDI_DEPS_bench="libbenchmark-dev fluidsynth libfluidsynth-dev libsonivox-dev time valgrind python3 \
python3-numpy python3-matplotlib"
POCKETMIDI_DEPS_fuzz="clang libclang-rt-dev"
# MinGW-w64, wine, GoogleTest's sources (built for Windows), the songs the example plays.
POCKETMIDI_DEPS_windows="cmake make g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 \
googletest timgm6mb-soundfont openttd-openmsx"

# The packages of the named groups (the default groups when none is named).
pocketmidi_packages() {
  local group packages=""
  for group in ${*:-$POCKETMIDI_DEP_GROUPS}; do
    local list="POCKETMIDI_DEPS_$group"
    if [ -z "${!list+set}" ]; then
      echo "deps.sh: no package group '$group' (groups: $POCKETMIDI_DEP_GROUPS fuzz windows)" >&2
      return 1
    fi
    packages="$packages ${!list}"
  done
  echo $packages
}

pocketmidi_install_deps() {
  local packages missing=() p
  packages=$(pocketmidi_packages "$@") || return 1
  for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local install="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    # A minimal Debian has no sudo; su asks for root's password.
    echo "pocketmidi needs these Debian packages; install them as root, then run this again:" >&2
    if command -v sudo >/dev/null 2>&1; then
      echo "  sudo sh -c '$install'" >&2
    else
      echo "  su -c '$install'" >&2
    fi
    return 1
  fi
}
