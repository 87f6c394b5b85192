#!/usr/bin/env bash
# Sets everything up, builds and runs every test: once as built, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, then cross-built for arm64
# and armhf under qemu-user; warnings fail the builds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_BUILD_TESTS=ON \
  -DQUORVANE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure)

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON -DQUORVANE_BUILD_TESTS=ON \
  -DQUORVANE_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure)

# Every fuzz target for a short while under ASan/UBSan; fails on any finding.
bash scripts/run_fuzzers.sh 30

# The same suites cross-built for the small boards next to the till, run
# under qemu-user (scripts/run_cross_tests.sh).
bash scripts/run_cross_tests.sh arm64
bash scripts/run_cross_tests.sh armhf
