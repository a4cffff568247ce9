#!/usr/bin/env bash
# One command from a fresh Debian machine to music:
#   scripts/demo.sh [BUILD_DIR]
# installs the Debian packages it needs (when run as root; otherwise prints
# the install command), builds the tool and the default instrument set only,
# describes a General MIDI song from openttd-openmsx, renders it to
# BUILD_DIR/demo.wav, then builds the shared library and the example host,
# and plays the song when ALSA has a sound card. The tests and benchmarks
# are left to scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps build
build=${1:-build}

# The test suite is configured only where its packages are installed, so a
# build directory shared with scripts/test.sh keeps it.
tests=OFF
dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q 'install ok installed' && tests=ON
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOCKETMIDI_TESTS=$tests
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$build" -j"$jobs" --target pocketmidi_cli pocketmidi_default_soundset

song=/usr/share/games/openttd/baseset/openmsx/tttheme2.mid
tool=$build/pocketmidi
if [ ! -f "$build/soundset/zoltep" ]; then
  echo "demo: no default instrument set in $build/soundset (is timgm6mb-soundfont installed?)" >&2
  exit 1
fi

echo
"$tool" info "$song"
echo
"$tool" render "$song" -o "$build/demo.wav"
echo "demo: rendered $build/demo.wav"
cmake --build "$build" -j"$jobs" --target pocketmidi play_song

# A sound card is there when ALSA lists one; containers and CI have none.
if grep -q '^ *[0-9]' /proc/asound/cards 2>/dev/null; then
  echo "demo: playing (Ctrl-C stops)"
  "$tool" play "$song" || echo "demo: could not play on the sound card; listen to $build/demo.wav" >&2
else
  echo "demo: no sound card found; listen to $build/demo.wav"
fi
