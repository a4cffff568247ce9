#!/usr/bin/env bash
# Peak resident memory of a whole process rendering one song to a WAV file:
# `pocketmidi render` with the default instrument set against Sonivox EAS
# (bench/sonivox_render), the two runs alternating. Address-space layout is
# random and the kernel maps file pages in 64 KiB windows around each fault,
# so one run varies by some 200 KiB: the median of several is printed.
#   bench/peak_rss.sh [BUILD_DIR] [SONG] [RUNS]
set -euo pipefail
build=${1:-build}
song=${2:-$(dpkg -L openttd-openmsx | grep '/tttheme2\.mid$')}
runs=${3:-9}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

peak_kib() {  # command...: its "Maximum resident set size" in KiB
  /usr/bin/time -f '%M' -o "$out/rss" "$@" >/dev/null 2>&1
  cat "$out/rss"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

engines=(pocketmidi)
[ -x "$build/bench/sonivox_render" ] && engines+=(sonivox) ||
  echo "sonivox skipped: $build/bench/sonivox_render not built (apt-get install libsonivox-dev)"
for ((i = 0; i < runs; i++)); do
  for engine in "${engines[@]}"; do
    case $engine in
      pocketmidi) peak_kib "$build/pocketmidi" render "$song" -o "$out/out.wav" >>"$out/pocketmidi" ;;
      sonivox) peak_kib "$build/bench/sonivox_render" "$song" "$out/out.wav" >>"$out/sonivox" ;;
    esac
  done
done
for engine in "${engines[@]}"; do
  printf '%-10s %s: peak RSS median %s KiB (runs: %s)\n' "$engine" "$(basename "$song")" \
    "$(median <"$out/$engine")" "$(sort -n "$out/$engine" | tr '\n' ' ')"
done
