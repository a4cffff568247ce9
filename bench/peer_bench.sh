#!/usr/bin/env bash
# pocketmidi against FluidSynth and Sonivox EAS on the openttd-openmsx songs
# (docs/performance.md): the per-song table at 22050 Hz, 16-bit stereo,
# 32 voices, then the growth with polyphony and with output rate (each figure
# the best of REPEAT runs).
#   bench/peer_bench.sh [BUILD_DIR] [REPEAT]
set -euo pipefail
build=${1:-build}
repeat=${2:-3}
bench=("$build/bench/pocketmidi_bench" --config "$build/soundset")
mapfile -t songs < <(dpkg -L openttd-openmsx | grep '\.mid$' | sort)
[ ${#songs[@]} -gt 0 ] || { echo "no songs: apt-get install openttd-openmsx"; exit 1; }

echo "== per song, 22050 Hz, 32 voices, best of $repeat"
"${bench[@]}" --repeat "$repeat" "${songs[@]}"
for voices in 8 16 32 64; do
  echo "== $voices voices, 22050 Hz"
  "${bench[@]}" --repeat "$repeat" --voices "$voices" "${songs[@]}" | grep '^summary'
done
for rate in 8000 11025 16000 22050 32000 44100; do
  echo "== $rate Hz, 32 voices"
  "${bench[@]}" --repeat "$repeat" --rate "$rate" "${songs[@]}" | grep '^summary'
done
