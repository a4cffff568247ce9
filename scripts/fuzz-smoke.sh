#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each one from its seed corpus for a short while; a crash, a leak or
# a sanitizer report fails the run and leaves the input under the work directory.
#   scripts/fuzz-smoke.sh [BUILD_DIR]     (FUZZ_SECONDS per target, default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps build fuzz
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
targets="midi_file_fuzz ini_file_fuzz patch_archive_fuzz sf2_reader_fuzz"

cmake -S . -B "$build" -DPOCKETMIDI_FUZZ=ON -DPOCKETMIDI_TESTS=OFF -DPOCKETMIDI_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target make_seeds $targets

work=$(mktemp -d "${TMPDIR:-/tmp}/pocketmidi-fuzz-smoke.XXXXXX")
"$build/fuzz/make_seeds" "$work/seeds"
# A few real songs beside the generated one.
for song in /usr/share/games/openttd/baseset/openmsx/*.mid; do
  [ -e "$song" ] && cp "$song" "$work/seeds/midi/"
done 2>/dev/null || true

status=0
run() {  # target, seed directory, extra libFuzzer options
  local target=$1 seeds=$2
  shift 2
  mkdir -p "$work/corpus-$target"
  echo "== $target: ${seconds} s from $(ls "$seeds" | wc -l) seeds"
  # In the background only to learn its process id: each target writes its
  # inputs under /tmp/pocketmidi-fuzz-PID/, removed once it has finished.
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/$target-" "$@" "$work/corpus-$target" "$seeds" &
  local pid=$!
  if ! wait "$pid"; then
    echo "fuzz smoke: $target failed; inputs kept in $work" >&2
    status=1
  fi
  rm -rf "/tmp/pocketmidi-fuzz-$pid"
}
run midi_file_fuzz "$work/seeds/midi" -max_len=65536
run ini_file_fuzz "$work/seeds/ini"
run patch_archive_fuzz "$work/seeds/pat"
run sf2_reader_fuzz "$work/seeds/sf2"
[ "$status" -eq 0 ] && rm -rf "$work"
exit "$status"
