#!/usr/bin/env bash
# Sets everything up, builds the filter and prints the bundled example job
# as CUPS would run it: the printer bytes go to out/receipt.bin.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-example --target quorvane -j"$(nproc)" >/dev/null

mkdir -p out
echo "running: PPD=examples/receipt-80mm.ppd quorvane 1 ${USER:-user} receipt 1 'PaperSaveBottom=24' examples/receipt.ras"
status=0
PPD=examples/receipt-80mm.ppd ./build-example/quorvane 1 "${USER:-user}" receipt 1 'PaperSaveBottom=24' \
  examples/receipt.ras >out/receipt.bin 2>out/receipt.stderr || status=$?
echo "exit status: $status"
grep -v '^DEBUG' out/receipt.stderr || true
echo "wrote $(stat -c %s out/receipt.bin) printer bytes to out/receipt.bin"
exit "$status"
