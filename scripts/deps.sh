#!/usr/bin/env bash
# Debian packages pocketmidi needs to build, test and benchmark.
# Sourced by the other scripts: installs what is missing when run as root,
# otherwise prints the apt-get line to run and fails.
POCKETMIDI_PACKAGES="cmake g++ make pkg-config git libgtest-dev libbenchmark-dev \
libasound2-dev libasound2-plugins openttd-openmsx timgm6mb-soundfont \
fluidsynth libfluidsynth-dev libsonivox-dev time valgrind python3 python3-numpy python3-matplotlib"

pocketmidi_install_deps() {
  local missing=()
  local p
  for p in $POCKETMIDI_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "pocketmidi needs these Debian packages; run:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    return 1
  fi
}
