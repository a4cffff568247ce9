#!/usr/bin/env bash
# Builds pocketmidi and runs the whole test suite.
#   scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps build test
build=${1:-build}
shift || true
# Tests on even where scripts/demo.sh configured the same directory without them.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOCKETMIDI_TESTS=ON "$@"
cmake --build "$build" -j2
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?
# CTest lists skipped tests without their reasons; GoogleTest logged them.
log=$build/Testing/Temporary/LastTest.log
if [ -f "$log" ]; then
  awk '/^\[ RUN      \]/ { name = $4 }
       /: Skipped$/ { getline reason; print "skipped " name ": " reason }' "$log"
fi
exit $status
