#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks that a host program
# builds and runs against the installed copy alone:
#   check_install.sh BUILD_DIR SOURCE_DIR C_COMPILER [EXTRA_CFLAGS [TOOLCHAIN_FILE [EMULATOR...]]]
# A cross build passes its toolchain file (the consumer project uses it too)
# and its emulator, which runs the installed programs.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
cc=$3
extra=${4:-}
toolchain=${5:-}
shift $(($# < 5 ? $# : 5))
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check_install: $*" >&2; exit 1; }
pc=$(find "$prefix" -name pocketmidi.pc)
[ -n "$pc" ] || fail "no pocketmidi.pc installed"

# The README's command, against the installed copy only (the header, the
# config and version files and the tool are checked by using them below).
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir pocketmidi)
[ -e "$libdir/libpocketmidi.so" ] || fail "pkg-config libdir $libdir has no libpocketmidi.so"
# shellcheck disable=SC2046,SC2086
"$cc" $extra "$source/examples/play_song.c" $(pkg-config --cflags --libs pocketmidi) -o "$work/play_song"

# The CMake package: find_package gives pocketmidi::pocketmidi.
mkdir -p "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(pocketmidi 0.1 REQUIRED)
find_package(Threads REQUIRED)
add_executable(play_song "$source/examples/play_song.c")
target_link_libraries(play_song PRIVATE pocketmidi::pocketmidi Threads::Threads)
CMAKE
# (pocketmidi_DIR too: a cross toolchain confines package searches to its own root.)
config_dir=$(dirname "$(find "$prefix" -name pocketmidiConfig.cmake | head -1)")
cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -Dpocketmidi_DIR="$config_dir" \
  ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$extra" -DCMAKE_EXE_LINKER_FLAGS="$extra" >/dev/null
cmake --build "$work/consumer/build" >/dev/null

# A one-note song: format 0, one track, 96 ticks per quarter note.
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\15\0\220\74\144\140\200\74\0\0\377\57\0' > "$work/note.mid"
${emulator[@]+"${emulator[@]}"} "$prefix/bin/pocketmidi" info "$work/note.mid" >/dev/null || fail "installed tool cannot read a song"

# Play it through both builds when the instrument set was installed too.
set=$prefix/share/pocketmidi/soundset
if [ -f "$set/zoltep" ]; then
  for program in "$work/play_song" "$work/consumer/build/play_song"; do
    out=$(LD_LIBRARY_PATH=$libdir POCKETMIDI_AUDIO=fast ${emulator[@]+"${emulator[@]}"} "$program" "$work/note.mid" "$set") ||
      fail "$program failed: $out"
    grep -q "played" <<<"$out" || fail "$program did not play: $out"
  done
else
  echo "check_install: no instrument set installed; the example was built but not run"
fi
echo "check_install: ok"
