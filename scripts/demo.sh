#!/usr/bin/env bash
# One command from a fresh Debian machine to music:
#   scripts/demo.sh [BUILD_DIR]
# installs the Debian packages (when run as root; otherwise prints the
# apt-get line), builds everything, describes a General MIDI song from
# openttd-openmsx, renders it with the default instrument set to
# BUILD_DIR/demo.wav and plays it when ALSA has a sound card.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps
build=${1:-build}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2

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

# A sound card is there when ALSA lists one; containers and CI have none.
if grep -q '^ *[0-9]' /proc/asound/cards 2>/dev/null; then
  echo "demo: playing (Ctrl-C stops)"
  "$tool" play "$song" || echo "demo: could not play on the sound card; listen to $build/demo.wav" >&2
else
  echo "demo: no sound card found; listen to $build/demo.wav"
fi
