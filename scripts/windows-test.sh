#!/usr/bin/env bash
# The Windows build: cross-compiled with MinGW-w64, its test suite and the
# example host program run under wine64.
#   scripts/windows-test.sh [BUILD_DIR] [extra cmake arguments...]   (default build-windows)
# A machine without a sound card has no waveOut device under wine; ALSA's
# null device (in a HOME of the build's own) gives it one, and WOM_DONE then
# arrives faster than real time.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps windows
root=$PWD
build=${1:-build-windows}
shift || true
toolchain=$root/cmake/mingw-w64-x86_64.cmake
wine=/usr/lib/wine/wine64
started=$SECONDS

# GoogleTest for MinGW, from Debian's sources, once per build directory.
gtest=$root/$build/googletest
if [ ! -f "$gtest/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest/prefix"
  cmake --build "$gtest/build" -j2
  cmake --install "$gtest/build" >/dev/null
fi

export WINEPREFIX=$root/$build/wineprefix WINEDEBUG=-all
winehome=$root/$build/winehome
mkdir -p "$winehome"
echo 'pcm.!default { type null }' >"$winehome/.asoundrc"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DGTest_DIR="$gtest/prefix/lib/cmake/GTest" -DPOCKETMIDI_BENCH=OFF "$@"
cmake --build "$build" -j2
echo "windows: built in $((SECONDS - started)) s"

# The whole suite (golden render, player and exports, corpus, tool) under wine.
HOME=$winehome ctest --test-dir "$build" --output-on-failure -j2
echo "windows: tests done at $((SECONDS - started)) s"

# The example host plays a song through the system's waveOut (POCKETMIDI_AUDIO
# unset) and must receive the end report (-1) before it prints "played".
unset POCKETMIDI_AUDIO
song=/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid
output=$(HOME=$winehome timeout 300 "$wine" "$build/play_song.exe" "$song" "$root/$build/soundset/")
echo "$output" | tail -c 200
echo
if ! grep -q "^played [0-9]* ms" <<<"$output"; then
  echo "windows: play_song did not report the end of the song" >&2
  exit 1
fi
echo "windows: done in $((SECONDS - started)) s"
