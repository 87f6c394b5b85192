#!/usr/bin/env bash
# Sets everything up, builds and runs every test: once as built, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; warnings fail the builds.
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
