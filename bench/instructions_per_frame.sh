#!/usr/bin/env bash
# Instructions per output frame, counted by callgrind (stable on a busy
# machine), for pocketmidi and FluidSynth on the same songs.
#   bench/instructions_per_frame.sh [BUILD_DIR] SONG...
set -euo pipefail
build=${1:-build}
shift || true
[ $# -gt 0 ] || set -- $(dpkg -L openttd-openmsx | grep '\.mid$' | head -5)
for engine in pocketmidi fluidsynth; do
  for song in "$@"; do
    out=$(mktemp)
    valgrind --tool=callgrind --callgrind-out-file="$out.cg" \
      "$build/bench/pocketmidi_bench" --engine "$engine" --config "$build/soundset" "$song" >"$out" 2>/dev/null
    ir=$(grep -m1 '^summary:' "$out.cg" | awk '{print $2}')
    frames=$(grep -o 'frames=[0-9]*' "$out" | head -1 | cut -d= -f2)
    printf '%-11s %-36s %12s instructions %10s frames %8.0f per frame\n' \
      "$engine" "$(basename "$song")" "$ir" "$frames" "$(awk -v a="$ir" -v b="$frames" 'BEGIN { print a / b }')"
    rm -f "$out" "$out.cg"
  done
done
