#!/usr/bin/env bash
# Cross-builds quorvane for ARCH (arm64 or armhf) with Debian's cross
# toolchain and runs the test suite under qemu-user, in build-cross-ARCH.
#
#   scripts/run_cross_tests.sh arm64|armhf
#
# Built as the plain x86-64 build is (RelWithDebInfo; Release's -O3 also
# draws GCC 12's false -Wstringop-overflow/-Wrestrict warnings), without the
# sanitizer and fuzzing passes (those run on x86-64); of the benchmark tools
# only what the output-checksum test runs (no microbenchmarks), which here
# compares every benchmark page's output with the checksums recorded on x86-64.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:?usage: scripts/run_cross_tests.sh arm64|armhf}
case "$arch" in
  arm64) triple=aarch64-linux-gnu ;;
  armhf) triple=arm-linux-gnueabihf ;;
  *) echo "run_cross_tests: unknown architecture $arch (arm64 or armhf)" >&2; exit 2 ;;
esac

bash scripts/setup.sh --cross "$arch"
jobs=$(nproc)
build=build-cross-$arch

start=$(date +%s)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$triple.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_BUILD_TESTS=ON -DQUORVANE_SANITIZE=OFF \
      -DQUORVANE_BUILD_FUZZERS=OFF -DQUORVANE_BUILD_BENCHMARKS=ON \
      -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
      -DQUORVANE_CHECKSUM_PAGES=receipt,long,label,photo >/dev/null
cmake --build "$build" -j"$jobs"
built=$(date +%s)
(cd "$build" && ctest --output-on-failure -j"$jobs")
end=$(date +%s)
echo "run_cross_tests: $arch: build $((built - start)) s, tests $((end - built)) s"
