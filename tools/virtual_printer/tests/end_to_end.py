#!/usr/bin/env python3
"""The virtual printer as a sender sees it: a receipt over TCP printed into
the picture the preview makes of the same bytes, status answers, a paper-out
that stops the sender until paper-ok, --mute, and a serial line on a
pseudo-terminal with XON/XOFF that delivers a stream whole.

usage: end_to_end.py QUORVANE-VIRTUAL-PRINTER QUORVANE-PREVIEW
"""
import os
import random
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import termios
import time
import tty

VP, PREVIEW = sys.argv[1], sys.argv[2]
TMP = tempfile.mkdtemp(prefix="vprinter-test-")
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def raster(width_bytes, rows, seed):
    """An ESC/POS job: raster bands of 24 rows, a drawer kick, a cut."""
    rng = random.Random(seed)
    out = bytearray(b"\x1b\x40")
    for top in range(0, rows, 24):
        n = min(24, rows - top)
        out += bytes([0x1D, 0x76, 0x30, 0, width_bytes & 0xFF, width_bytes >> 8, n, 0])
        for y in range(n):
            out += bytes(0xFF if x < width_bytes // 4 else rng.randrange(256) if (top + y) % 5 else 0
                         for x in range(width_bytes))
    out += b"\x1b\x70\x00\x19\x78"   # drawer 1
    out += b"\x1d\x56\x41\x10"       # feed 16 dots, full cut
    return bytes(out)


def events(out):
    try:
        with open(os.path.join(out, "events.log")) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def wait_for(predicate, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


class Printer:
    def __init__(self, name, *args):
        self.out = os.path.join(TMP, name)
        os.mkdir(self.out)
        self.proc = subprocess.Popen([VP, "--out", self.out, *args])
        self.control_path = os.path.join(self.out, "control")
        self.port = None
        if "--serial" not in args:
            wait_for(lambda: any(l.startswith("listening ") for l in events(self.out)), 10)
            self.port = int([l for l in events(self.out) if l.startswith("listening ")][0]
                            .rsplit(":", 1)[1])
        else:
            wait_for(lambda: any(l.startswith("serial ") for l in events(self.out)), 10)

    def control(self, state):
        return subprocess.run([VP, "control", self.control_path, state],
                              capture_output=True, text=True)

    def connect(self, sndbuf=None):
        s = socket.socket()
        if sndbuf:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, sndbuf)
        s.connect(("127.0.0.1", self.port))
        return s

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


def recv_exactly(s, n, timeout=5.0):
    s.settimeout(timeout)
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            break
        data += chunk
    return data


def preview_png(stream, name):
    path = os.path.join(TMP, name + ".bin")
    with open(path, "wb") as f:
        f.write(stream)
    subprocess.run([PREVIEW, "--quiet", path, os.path.join(TMP, name)], check=True)
    with open(os.path.join(TMP, name + "-001.png"), "rb") as f:
        return f.read()


def page_png(out, n):
    with open(os.path.join(out, "page-%04d.png" % n), "rb") as f:
        return f.read()


# --- a receipt over TCP ------------------------------------------------------
receipt = raster(72, 600, 1)
p = Printer("tcp")
s = p.connect()
s.sendall(b"\x10\x04\x04")
check(recv_exactly(s, 1) == b"\x12", "DLE EOT 4 answered 0x12 with paper")
s.sendall(receipt + b"\x1b\x7a\x01")
s.close()
check(wait_for(lambda: any(l.startswith("closed ") for l in events(p.out))
               and any(l.startswith("unknown") for l in events(p.out))), "job received")
ev = [l for l in events(p.out) if not l.startswith(("connection", "closed", "listening"))]
check(ev == ["status DLE EOT 4 -> 0x12", "drawer 1", "cut full", "page 0001 576x616",
             "unknown 3 bytes 1B 7A 01"], "events of the receipt: %r" % ev)
check(any(l == "closed 127.0.0.1:%s %d bytes" % (l.split(":")[1].split()[0], len(receipt) + 6)
          for l in events(p.out) if l.startswith("closed ")), "every byte counted")
check(page_png(p.out, 1) == preview_png(receipt, "receipt"), "page-0001.png is the preview's picture")

# Page numbers go on with the next connection.
s = p.connect()
s.sendall(raster(72, 48, 2))
s.close()
check(wait_for(lambda: "page 0002 576x64" in events(p.out)), "second connection prints page 0002")

# --- control -------------------------------------------------------------------
r = p.control("paper-jelly")
check(r.returncode != 0 and "unknown state" in r.stderr, "an unknown state is refused")
r = subprocess.run([VP, "control", os.path.join(TMP, "nobody"), "paper-out"],
                   capture_output=True, text=True)
check(r.returncode != 0 and "no virtual printer" in r.stderr, "no printer, no success")

# --- automatic status back, paper-out stalls the sender, paper-ok resumes ------
s = p.connect(sndbuf=4096)
s.sendall(b"\x1d\x61\x0f")
check(recv_exactly(s, 4) == bytes([0x14, 0, 0, 0]), "GS a sends the status block at once")
check(p.control("paper-out").returncode == 0, "control paper-out")
check(recv_exactly(s, 4) == bytes([0x1C, 0, 0x0F, 0]), "paper-out sent as a status block")
s.sendall(b"\x10\x04\x04")
check(recv_exactly(s, 1) == b"\x7e", "DLE EOT 4 answered 0x7E without paper")
big = raster(72, 24 * 400, 3)
s.setblocking(False)
sent, last_progress = 0, time.monotonic()
while time.monotonic() - last_progress < 2.0 and sent < len(big):
    try:
        n = s.send(big[sent:sent + 65536])
        sent += n
        last_progress = time.monotonic()
    except BlockingIOError:
        select.select([], [s], [], 0.1)
check(sent < 256 * 1024, "paper-out: the sender stalls after %d of %d bytes" % (sent, len(big)))
check("buffer full 4096 bytes held" in events(p.out), "the stall is logged")
check(p.control("paper-ok").returncode == 0, "control paper-ok")
s.setblocking(True)
s.sendall(big[sent:])
check(recv_exactly(s, 4) == bytes([0x14, 0, 0, 0]), "paper-ok sent as a status block")
s.close()
check(wait_for(lambda: "page 0003 576x9616" in events(p.out)), "the stalled job printed whole")
p.stop()

# --- mute ----------------------------------------------------------------------
p = Printer("mute", "--listen", "127.0.0.1:0", "--mute")
s = p.connect()
s.sendall(b"\x10\x04\x01\x1d\x61\x0f\x1d\x72\x01")
s.settimeout(1.0)
try:
    got = s.recv(16)
except socket.timeout:
    got = b""
check(got == b"", "--mute answers nothing")
s.close()
check(wait_for(lambda: any(l.startswith("closed ") for l in events(p.out))), "mute job closed")
check(not any(l.startswith("status") for l in events(p.out)), "--mute logs no answer")
# Noise, then a raster band that claims 4 GB: the connection's job ends with
# a problem, and the next connection prints.
s = p.connect()
s.sendall(random.Random(6).randbytes(200000) + b"\x1d\x76\x30\x00\xff\xff\xff\xff")
s.close()
s = p.connect()
s.sendall(raster(72, 24, 7))
s.close()
check(wait_for(lambda: any(l.endswith(" 576x40") for l in events(p.out))),
      "hostile bytes: the next job printed")
check(any("GS v 0 runs past the end of the stream" in l for l in events(p.out)),
      "hostile bytes: the claimed band is a problem")
check(p.proc.poll() is None, "hostile bytes: still running")
p.stop()

# --- a TSPL printer's answers -----------------------------------------------------
p = Printer("tspl", "--listen", "127.0.0.1:0", "--model", "tspl")
s = p.connect()
s.sendall(b"\x1b!?")
check(recv_exactly(s, 1) == b"\x00", "TSPL <ESC>!? answered 0x00 when ready")
check(p.control("paper-out").returncode == 0 and p.control("cover-open").returncode == 0,
      "TSPL: control paper-out, cover-open")
s.sendall(b"\x10\x04\x01\x1b!?\x1b!S")
check(recv_exactly(s, 9) == b"\x05\x02E@@A\x03\r\n", "TSPL: 0x05 and STX E@@A ETX CR LF; no DLE EOT answer")
s.close()
p.stop()

# --- a serial line at 115200 with XON/XOFF ---------------------------------------
link = os.path.join(TMP, "ttyVP")
p = Printer("serial", "--serial", link, "--baud", "115200", "--flow", "soft", "--buffer", "4096")
check(p.control("paper-out").returncode == 0, "serial: control paper-out")
job = raster(72, 24 * 20, 4)
fd = os.open(link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
tty.setraw(fd)
termios.tcflush(fd, termios.TCIOFLUSH)
written, stopped, seen, resumed_at = 0, False, b"", None
start = time.monotonic()
while written < len(job) and time.monotonic() - start < 60:
    r_, w_, _ = select.select([fd], [] if stopped else [fd], [], 0.05)
    if fd in r_:
        data = os.read(fd, 64)
        seen += data
        for b in data:
            stopped = b == 0x13 if b in (0x11, 0x13) else stopped
    if fd in w_ and not stopped:
        written += os.write(fd, job[written:written + 256])
    if stopped and resumed_at is None:
        resumed_at = time.monotonic()
        check(p.control("paper-ok").returncode == 0, "serial: control paper-ok")
check(written == len(job), "serial: the writer sent everything")
check(b"\x13" in seen and b"\x11" in seen, "serial: XOFF then XON came back")
os.close(fd)
check(wait_for(lambda: "closed serial %d bytes" % len(job) in events(p.out), 30),
      "serial: every byte arrived: %r" % [l for l in events(p.out) if l.startswith("closed")])
check(wait_for(lambda: "page 0001 576x496" in events(p.out)), "serial: the page printed")
check(page_png(p.out, 1) == preview_png(job, "serial"), "serial: the page is the preview's picture")
# A writer that closes the line at once still has its bytes read.
small = raster(72, 24, 5)
fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
tty.setraw(fd)
os.write(fd, small)
os.close(fd)
check(wait_for(lambda: "page 0002 576x40" in events(p.out), 30),
      "serial: a writer gone before its bytes are read still prints")
p.stop()
check(not os.path.lexists(link), "serial: the link is gone when the printer stops")

print("%d failures" % len(failures))
if not failures:
    shutil.rmtree(TMP)
sys.exit(1 if failures else 0)
