#!/usr/bin/env bash
# The player's threaded tests under ThreadSanitizer: the host thread and the
# device's callback thread meet in the player, its sink and the virtual devices.
# Any data race or lock-order report fails the run.
#   scripts/tsan.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
pocketmidi_install_deps
build=${1:-build-tsan}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOCKETMIDI_TSAN=ON -DPOCKETMIDI_BENCH=OFF
cmake --build "$build" -j2 --target pocketmidi_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
"$build/tests/pocketmidi_tests" \
  --gtest_filter='PlayerStress.*:PlayerStates.*:*PassReports*:*DeviceFaults*:Exports.*:WaveOutDeviceTest.*:WaveOutSink*'
