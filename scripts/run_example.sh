#!/usr/bin/env bash
# Sets everything up, builds the filter, its PPDs and the preview tool, and
# prints the bundled receipt (a PDF) through the CUPS filter chain with the
# 80 mm receipt printer's PPD, as CUPS would for a real printer:
#   out/receipt.bin        the bytes the printer would receive
#   out/receipt-001.png    what would come out of the printer
# and, when PAPPL is installed, prints the same receipt through the Printer
# Application (quorvane-printer-app, a private server on loopback whose printer
# is a socket listener of this script), showing that the printer gets the
# very bytes the filter writes for the same pages and settings:
#   out/receipt-app.bin    the bytes the Printer Application sent
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/setup.sh
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
targets=(quorvane quorvane-ppds quorvane-preview)
if pkg-config --exists pappl; then targets+=(quorvane-printer-app); fi
cmake --build build-example --target "${targets[@]}" -j"$(nproc)" >/dev/null

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

[ -x build-example/printerapp/quorvane-printer-app ] || exit 0
# As root, PAPPL's sub-commands reach a server through /run/quorvane-printer-app.sock
# whatever TMPDIR says: leave an installed server alone.
if [ "$(id -u)" -eq 0 ] && [ -S /run/quorvane-printer-app.sock ] &&
   python3 -c 'import socket; socket.socket(socket.AF_UNIX).connect("/run/quorvane-printer-app.sock")' 2>/dev/null; then
  echo "a quorvane-printer-app server runs on this machine: the example leaves it alone"
  exit 0
fi

echo
echo "printing the receipt through the Printer Application:"
app=build-example/printerapp/quorvane-printer-app
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
app_port=$(free_port)
printer_port=$(free_port)
appdir="$work/app"
mkdir -p "$appdir/home" "$appdir/tmp" "$appdir/config" "$appdir/spool"
app_env=(env HOME="$appdir/home" TMPDIR="$appdir/tmp" XDG_CONFIG_HOME="$appdir/config")

# The printer: a listener that keeps what one connection brings.
python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(1)
s.settimeout(120)
conn, _ = s.accept()
with open(sys.argv[2], "wb") as out:
    while True:
        data = conn.recv(65536)
        if not data:
            break
        out.write(data)
' "$printer_port" out/receipt-app.bin &
listener=$!
# The stand-in printer keeps one connection and answers nothing: no status
# queries, which would take that connection and add their bytes.
"${app_env[@]}" "$app" server -o spool-directory="$appdir/spool" -o log-file="$appdir/app.log" \
  -o server-port="$app_port" -o listen-hostname=127.0.0.1 -o server-options=no-tls \
  -o state-file="$appdir/app.state" -o status-queries=off &
server=$!
stop_app() {
  kill "$server" "$listener" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap stop_app EXIT
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$app_port") 2>/dev/null && break
  sleep 0.1
done
echo "web interface: http://127.0.0.1:$app_port/  printer: ipp://127.0.0.1:$app_port/ipp/print/receipt"
"${app_env[@]}" "$app" add -d receipt -m qv80rcpt -v "socket://127.0.0.1:$printer_port"

# What an IPP Everywhere client sends: the receipt as 8-bit gray PWG raster,
# 80 mm wide at 203 dpi. The filter gets the same pages as CUPS raster K.
gs_page=(-q -dSAFER -dBATCH -dNOPAUSE -r203 -dcupsBitsPerColor=8 -dDEVICEWIDTHPOINTS=226.77
         -dDEVICEHEIGHTPOINTS=340.16 -dFIXEDMEDIA)
gs "${gs_page[@]}" -sDEVICE=pwgraster -dcupsColorSpace=18 -sOutputFile=out/receipt.pwg examples/receipt.pdf 2>/dev/null
gs "${gs_page[@]}" -sDEVICE=cups -dcupsColorSpace=3 -sOutputFile="$work/receipt-k.ras" examples/receipt.pdf 2>/dev/null
"${app_env[@]}" "$app" submit -d receipt -o paper-save-top=24 -o paper-save-middle=96 -o paper-save-bottom=24 \
  -o cut-at-job-end=full out/receipt.pwg
wait "$listener"
PPD=build-example/ppd/generated/qv80rcpt.ppd build-example/quorvane 1 user receipt 1 \
  'PaperSaveTop=24 PaperSaveMiddle=96 PaperSaveBottom=24 CutAtJobEnd=Full' "$work/receipt-k.ras" \
  >out/receipt-filter.bin 2>/dev/null
if cmp -s out/receipt-app.bin out/receipt-filter.bin; then
  echo "the Printer Application sent $(stat -c %s out/receipt-app.bin) bytes (out/receipt-app.bin), the same the filter writes for these pages (out/receipt-filter.bin)"
else
  echo "out/receipt-app.bin differs from the filter's out/receipt-filter.bin" >&2
  exit 1
fi
