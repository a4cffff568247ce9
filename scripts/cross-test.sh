#!/usr/bin/env bash
# Cross-builds pocketmidi for another machine and runs its tests under qemu:
#   scripts/cross-test.sh TARGET [BUILD_DIR] [extra cmake arguments...]
# TARGET: armhf, aarch64, i686 or s390x (cmake/toolchain-TARGET.cmake).
# Installs, when run as root, Debian's cross compiler, qemu-user, the
# target's multiarch C++ runtime (libstdc++6:ARCH, which qemu runs against)
# and GoogleTest's sources (built for the target), plus the native packages.
#
# By default it runs every test except the slow SoundFont truncation sweep
# (whose parsing the other SoundFont tests cover); CROSS_TESTS=all runs the
# whole suite, CROSS_TESTS=REGEX only the matching tests. Any difference in
# the golden render hashes fails the run, as natively.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/cross-test.sh armhf|aarch64|i686|s390x [BUILD_DIR] [cmake args...]}
shift
build=${1:-build-$target}
shift || true

case $target in
  armhf) arch=armhf triplet=arm-linux-gnueabihf ;;
  aarch64) arch=arm64 triplet=aarch64-linux-gnu ;;
  i686) arch=i386 triplet=i686-linux-gnu ;;
  s390x) arch=s390x triplet=s390x-linux-gnu ;;
  *) echo "cross-test: unknown target '$target'" >&2; exit 2 ;;
esac

. scripts/deps.sh
pocketmidi_install_deps
cross_packages=(g++-$triplet qemu-user googletest libc6:$arch libstdc++6:$arch)
missing=()
for p in "${cross_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "cross-test: needs dpkg --add-architecture $arch and: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  if [ "$arch" != "$(dpkg --print-architecture)" ] &&
     ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    dpkg --add-architecture "$arch"
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

start=$SECONDS
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$target.cmake" -DPOCKETMIDI_BENCH=OFF "$@"
cmake --build "$build" -j2
built=$SECONDS

case ${CROSS_TESTS:-} in
  "") ctest --test-dir "$build" --output-on-failure -j2 -E 'EveryTruncationIsRefused' ;;
  all) ctest --test-dir "$build" --output-on-failure -j2 ;;
  *) ctest --test-dir "$build" --output-on-failure -j2 -R "$CROSS_TESTS" ;;
esac
echo "cross-test $target: build $((built - start)) s, tests $((SECONDS - built)) s"
