#!/usr/bin/env bash
# Instructions per output frame, counted by callgrind (stable on a busy
# machine), whole process, 22050 Hz 16-bit stereo:
# - render: `pocketmidi render SONG -o OUT.wav` with the default instrument set;
# - pocketmidi, fluidsynth, sonivox: the benchmark rendering the song with one
#   engine (bench/render_bench.cpp; a peer that is not built in is skipped).
#   bench/instructions_per_frame.sh [BUILD_DIR] SONG...
set -euo pipefail
build=${1:-build}
shift || true
[ $# -gt 0 ] || set -- $(dpkg -L openttd-openmsx | grep '\.mid$' | sort | head -5)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

per_frame() {  # engine song instructions frames
  printf '%-11s %-28s %12s instructions %10s frames %8.1f per frame\n' "$1" "$(basename "$2")" \
    "$3" "$4" "$(awk -v a="$3" -v b="$4" 'BEGIN { print a / b }')"
}

for song in "$@"; do
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" "$build/pocketmidi" render "$song" \
    --rate 22050 --bits 16 --channels 2 -o "$out/out.wav" >/dev/null 2>&1
  frames=$(( ($(stat -c %s "$out/out.wav") - 44) / 4 ))
  per_frame render "$song" "$(grep -m1 '^summary:' "$out/cg" | awk '{print $2}')" "$frames"
done
for engine in pocketmidi fluidsynth sonivox; do
  for song in "$@"; do
    if ! valgrind --tool=callgrind --callgrind-out-file="$out/cg" "$build/bench/pocketmidi_bench" \
        --engine "$engine" --config "$build/soundset" "$song" >"$out/log" 2>"$out/err"; then
      echo "$engine skipped: $(tail -1 "$out/err")"
      break
    fi
    frames=$(grep -o 'frames=[0-9]*' "$out/log" | head -1 | cut -d= -f2)
    per_frame "$engine" "$song" "$(grep -m1 '^summary:' "$out/cg" | awk '{print $2}')" "$frames"
  done
done
