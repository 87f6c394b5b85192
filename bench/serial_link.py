#!/usr/bin/env python3
"""A 1 m receipt through the Printer Application to a virtual printer on a
serial line (a pseudo-terminal at 115200 baud, XON/XOFF, a 250 mm/s
mechanism), once per image transfer form: the time from submitting the job
to its last row printed, against the physical limit (the bytes at the
line's speed, or the length at the mechanism's, whichever is longer), and
the bytes each form sends.

usage: bench/serial_link.py [--build DIR] [--markdown FILE]
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "printerapp"))

BAUD, SPEED_MM_S, ROWS, DPI = 115200, 250, 8000, 203  # 8000 rows at 203 dpi: 1 m


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(SOURCE, "build"))
    ap.add_argument("--markdown", help="also write the table to this file")
    args = ap.parse_args()
    os.environ["QV_APP"] = os.path.join(args.build, "printerapp", "quorvane-printer-app")
    vprinter = os.path.join(args.build, "tools", "virtual_printer", "quorvane-virtual-printer")
    import apptest as t

    work = tempfile.mkdtemp(prefix="quorvane-serial-bench-")
    line = os.path.join(work, "ttyVP0")
    out = os.path.join(work, "vp")
    vp = subprocess.Popen([vprinter, "--out", out, "--serial", line, "--baud", str(BAUD), "--flow", "soft",
                           "--speed", str(SPEED_MM_S)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not os.path.exists(line):
        time.sleep(0.05)
    base = t.receipt_gray(576, 200)[24:70]
    picture = t.png_gray([base[i % len(base)][32:608] for i in range(ROWS)])
    rows = []
    server = t.AppServer(work)
    try:
        server.start()
        server.add_printer("serial", "qv80rcpt", "serial:%s?baud=%d+flow=soft" % (line, BAUD))
        for form in ("raster", "run-length", "jbig"):
            log = os.path.join(out, "events.log")
            seen = len(open(log).read().splitlines()) if os.path.exists(log) else 0
            started = time.time()
            _, job = t.print_job(server, "serial", picture, "image/png", [("keyword", "image-transfer", form)])
            state = t.wait_job(server, "serial", job, 600)
            page = None
            while page is None and time.time() - started < 600:
                lines = open(log).read().splitlines()[seen:]
                page = next((l for l in lines if l.startswith("page ")), None)
                time.sleep(0.02)
            took = time.time() - started
            sent = max((int(m.group(1)) for l in open(log).read().splitlines()[seen:]
                        for m in [re.search(r"(\d+) bytes", l)] if m), default=0)
            limit = max(sent * 10 / BAUD, ROWS / DPI * 25.4 / SPEED_MM_S)
            rows.append((form, state[0], sent, took, limit))
    finally:
        server.stop()
        vp.terminate()
    table = ["| transfer form | job | bytes sent | submit to last row (s) | physical limit (s) | ratio |",
             "|---|---|---:|---:|---:|---:|"]
    for form, state, sent, took, limit in rows:
        table.append("| %s | %s | %d | %.2f | %.2f | %.2f |" % (form, state, sent, took, limit, took / limit))
    print("\n".join(table))
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write("\n".join(table) + "\n")


if __name__ == "__main__":
    main()
