#!/usr/bin/env bash
# Builds pocketmidi and runs the whole test suite.
#   scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps
build=${1:-build}
shift || true
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2
