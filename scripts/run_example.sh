#!/usr/bin/env bash
# Sets everything up, builds the filter, its PPDs and the preview tool, and
# prints the bundled receipt (a PDF) through the CUPS filter chain with the
# 80 mm receipt printer's PPD, as CUPS would for a real printer:
#   out/receipt.bin        the bytes the printer would receive
#   out/receipt-001.png    what would come out of the printer
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/setup.sh
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-example --target quorvane quorvane-ppds quorvane-preview -j"$(nproc)" >/dev/null

# cupsfilter runs the chain from a ServerBin of its own: the system's filters
# beside a root-owned copy of ours, which CUPS requires of a filter.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
serverbin=$(cups-config --serverbin)
mkdir -m 755 "$work/serverbin" "$work/serverbin/filter"
for entry in "$serverbin"/*; do
  [ "$(basename "$entry")" = filter ] || ln -s "$entry" "$work/serverbin/"
done
for entry in "$serverbin"/filter/*; do
  [ "$(basename "$entry")" = quorvane ] || ln -s "$entry" "$work/serverbin/filter/"
done
install -m 755 build-example/quorvane "$work/serverbin/filter/quorvane"
printf 'DataDir /usr/share/cups\nServerBin %s\nServerRoot /etc/cups\n' "$work/serverbin" \
  >"$work/cupsfilter.conf"

mkdir -p out
ppd=build-example/ppd/generated/qv80rcpt.ppd
echo "printing examples/receipt.pdf with $ppd (options: PaperSaveTop=24 PaperSaveMiddle=96 PaperSaveBottom=24 CutAtJobEnd=Full)"
status=0
LANG=C CUPS_SERVER=127.0.0.1:9 cupsfilter -c "$work/cupsfilter.conf" -p "$ppd" \
  -o PaperSaveTop=24 -o PaperSaveMiddle=96 -o PaperSaveBottom=24 -o CutAtJobEnd=Full -e -m printer/quorvane-example \
  examples/receipt.pdf >out/receipt.bin 2>out/receipt.log || status=$?
grep -E '^(PAGE|INFO: (Sending|BytesToWrite|Finished)|ATTR: job-media-progress)' out/receipt.log || true
echo "cupsfilter exit status: $status; $(stat -c %s out/receipt.bin) printer bytes in out/receipt.bin"
[ "$status" -eq 0 ] || exit "$status"

echo "preview:"
./build-example/tools/preview/quorvane-preview out/receipt.bin "$top/out/receipt"
ls out/receipt-*.png
