"""Helpers for the tests that run quorvane-printer-app as a private server.

CTest sets QV_APP (the application), QV_FILTER, QV_PREVIEW, QV_PPD_DIR,
QV_DATA and QV_IPPTESTS (this folder's ipptool files). Everything runs on
127.0.0.1 with the state, spool and logs in a temporary folder.
"""

import http.client
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cups"))
from cupstest import (SKIP, Failures, Listener, free_port, have, run, tempdir, env_c,  # noqa: E402,F401
                      Bitmap, preview)

APP = os.environ.get("QV_APP", "")
FILTER = os.environ.get("QV_FILTER", "")
PREVIEW = os.environ.get("QV_PREVIEW", "")
PPD_DIR = os.environ.get("QV_PPD_DIR", "")
DATA = os.environ.get("QV_DATA", "")
HERE = os.path.dirname(os.path.abspath(__file__))

MODELS = {  # driver: (printable width, paper width in dots at the model's resolution)
    "qv80rcpt": (576, 640),
    "qv58rcpt": (384, 463),
    "qv80r180": (512, 567),
    "qv58r180": (360, 411),
    "qv4tspl": (832, 812),
    "qv4tspl3": (1248, 1200),
    "qvorxlbl": (576, 576),
}


def skip_unless_runnable(*programs):
    missing = have(APP, *programs)
    if missing:
        print("skipped: missing " + " ".join(missing))
        sys.exit(SKIP)


# --- the server ------------------------------------------------------------------

# As root, PAPPL 1.3.1 puts the sub-commands' socket here whatever TMPDIR says.
ROOT_SOCKET = "/run/quorvane-printer-app.sock"


def another_server_runs():
    if os.getuid() != 0 or not os.path.exists(ROOT_SOCKET):
        return False
    s = socket.socket(socket.AF_UNIX)
    try:
        s.connect(ROOT_SOCKET)
        return True
    except OSError:
        return False
    finally:
        s.close()

class AppServer:
    """A private quorvane-printer-app: its own HOME, TMPDIR (the client
    socket's folder), XDG_CONFIG_HOME (the state), spool and log."""

    def __init__(self, workdir, log_level="info", status_queries="off"):
        self.workdir = workdir
        self.port = free_port()
        self.env = env_c()
        for name in ("home", "tmp", "config", "spool"):
            os.makedirs(os.path.join(workdir, name), exist_ok=True)
        self.env.update(HOME=os.path.join(workdir, "home"), TMPDIR=os.path.join(workdir, "tmp"),
                        XDG_CONFIG_HOME=os.path.join(workdir, "config"))
        self.env.pop("SNAP_COMMON", None)
        self.log = os.path.join(workdir, "app.log")
        self.state_file = os.path.join(workdir, "config", "app.state")
        self.log_level = log_level
        # The stand-in printers answer no status query: asked, each would get
        # the query's bytes and an extra connection.
        self.status_queries = status_queries
        self.proc = None

    def start(self, timeout=30):
        if another_server_runs():
            print("skipped: a quorvane-printer-app server already runs as root here; its client socket "
                  "(%s) is the one the tests' sub-commands would reach" % ROOT_SOCKET)
            sys.exit(SKIP)
        cmd = [APP, "server",
               "-o", "spool-directory=" + os.path.join(self.workdir, "spool"),
               "-o", "log-file=" + self.log, "-o", "log-level=" + self.log_level,
               "-o", "server-port=%d" % self.port, "-o", "listen-hostname=127.0.0.1",
               "-o", "server-options=no-tls", "-o", "state-file=" + self.state_file,
               "-o", "status-queries=" + self.status_queries]
        self.out = open(os.path.join(self.workdir, "app.out"), "ab")
        self.proc = subprocess.Popen(cmd, env=self.env, stdout=self.out, stderr=subprocess.STDOUT)
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError("server exited with %s:\n%s" % (self.proc.returncode, self.log_text()[-3000:]))
            try:
                status, _ = self.http_get("/")
                if status == 200:
                    return
            except OSError:
                pass
            time.sleep(0.2)
        raise RuntimeError("server does not answer on port %d" % self.port)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None

    def crashed(self):
        return self.proc is not None and self.proc.poll() is not None

    def log_text(self):
        try:
            with open(self.log, encoding="latin-1") as f:
                return f.read()
        except OSError:
            return ""

    def cli(self, *args):
        return run([APP] + list(args), env=self.env)

    def add_printer(self, name, driver, device_uri):
        p = self.cli("add", "-d", name, "-m", driver, "-v", device_uri)
        if p.returncode != 0:
            raise RuntimeError("add %s: %s%s" % (name, p.stdout.decode(), p.stderr.decode()))

    def uri(self, name):
        return "ipp://127.0.0.1:%d/ipp/print/%s" % (self.port, name)

    def http_get(self, path):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            c.request("GET", path)
            r = c.getresponse()
            return r.status, r.read()
        finally:
            c.close()

    def ipp(self, printer, op, attrs, document=b"", retry_busy=False):
        return ipp_request("127.0.0.1", self.port, "/ipp/print/" + printer, self.uri(printer), op, attrs,
                           document, retry_busy)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


# --- a small IPP client ----------------------------------------------------------

PRINT_JOB, VALIDATE_JOB, CANCEL_JOB, GET_JOB_ATTRIBUTES, GET_PRINTER_ATTRIBUTES = 0x02, 0x04, 0x08, 0x09, 0x0B
TAGS = {"integer": 0x21, "boolean": 0x22, "enum": 0x23, "text": 0x41, "name": 0x42, "keyword": 0x44,
        "uri": 0x45, "charset": 0x47, "language": 0x48, "mime": 0x49, "begin": 0x34, "end": 0x37,
        "member": 0x4A}
JOB_STATES = {3: "pending", 4: "held", 5: "processing", 6: "stopped", 7: "canceled", 8: "aborted",
              9: "completed"}


def _attr(tag, name, values):
    out = b""
    for i, v in enumerate(values):
        if tag in (0x21, 0x23):
            data = struct.pack(">i", v)
        elif tag == 0x22:
            data = bytes([1 if v else 0])
        elif tag == 0x34:
            data = b""
        else:
            data = v.encode()
        n = name.encode() if i == 0 else b""
        out += bytes([tag]) + struct.pack(">H", len(n)) + n + struct.pack(">H", len(data)) + data
        if tag == 0x34:
            out += _collection(v)
    return out


def _collection(members):
    out = b""
    for name, (tag, value) in members.items():
        out += bytes([0x4A]) + struct.pack(">H", 0) + struct.pack(">H", len(name)) + name.encode()
        vals = value if isinstance(value, list) else [value]
        for v in vals:
            if tag == "begin":
                out += bytes([0x34, 0, 0, 0, 0]) + _collection(v)
            else:
                out += _attr(TAGS[tag], "", [v])
    return out + bytes([0x37, 0, 0, 0, 0])


def encode_request(op, request_id, printer_uri, attrs):
    """attrs: list of (tag name, attribute name, value or list); job
    attributes (those after "job") go in the job group."""
    out = struct.pack(">BBHI", 2, 0, op, request_id) + b"\x01"
    out += _attr(0x47, "attributes-charset", ["utf-8"]) + _attr(0x48, "attributes-natural-language", ["en"])
    out += _attr(0x45, "printer-uri", [printer_uri])
    for tag, name, value in attrs:
        if tag == "job":
            out += b"\x02"
            continue
        vals = value if isinstance(value, list) else [value]
        out += _attr(TAGS[tag], name, vals)
    return out + b"\x03"


def decode_response(data):
    status = struct.unpack(">H", data[2:4])[0]
    attrs, pos, name = {}, 8, None
    while pos < len(data):
        tag = data[pos]
        pos += 1
        if tag == 0x03:
            break
        if tag < 0x10:
            continue
        nlen = struct.unpack(">H", data[pos:pos + 2])[0]
        pos += 2
        n = data[pos:pos + nlen].decode("latin-1")
        pos += nlen
        vlen = struct.unpack(">H", data[pos:pos + 2])[0]
        pos += 2
        v = data[pos:pos + vlen]
        pos += vlen
        if n:
            name = n
        if tag in (0x21, 0x23) and vlen == 4:
            value = struct.unpack(">i", v)[0]
        elif tag == 0x22:
            value = bool(v[0])
        elif tag in (0x34, 0x37, 0x4A):
            value = None
            if tag != 0x34:
                continue
        else:
            value = v.decode("latin-1")
        if name and value is not None and nlen:
            attrs.setdefault(name, []).append(value)
        elif name and value is not None:
            attrs.setdefault(name, []).append(value)
    return status, attrs


_request_ids = [0]


def ipp_request(host, port, path, printer_uri, op, attrs, document=b"", retry_busy=False, timeout=60):
    """Sends one IPP request; (status, attributes). Retries on
    server-error-busy as IPP clients do, when asked to."""
    deadline = time.time() + timeout
    while True:
        _request_ids[0] += 1
        body = encode_request(op, _request_ids[0], printer_uri, attrs) + document
        c = http.client.HTTPConnection(host, port, timeout=timeout)
        try:
            c.request("POST", path, body=body, headers={"Content-Type": "application/ipp"})
            r = c.getresponse()
            status, got = decode_response(r.read())
        except (http.client.IncompleteRead, ConnectionError):
            # A busy server may refuse the document and close the connection
            # before its whole answer is out.
            if not retry_busy or time.time() >= deadline:
                raise
            status, got = 0x0507, {}
        finally:
            c.close()
        if status == 0x0507 and retry_busy and time.time() < deadline:  # server-error-busy
            time.sleep(0.2)
            continue
        return status, got


def print_job(server, printer, document, fmt, attrs=(), retry_busy=False):
    a = [("name", "requesting-user-name", "tester"), ("mime", "document-format", fmt)]
    if attrs:
        a += [("job", None, None)] + list(attrs)
    status, got = server.ipp(printer, PRINT_JOB, a, document, retry_busy)
    return status, got.get("job-id", [0])[0]


def job_state(server, printer, job_id):
    status, got = server.ipp(printer, GET_JOB_ATTRIBUTES, [("integer", "job-id", job_id)])
    return (JOB_STATES.get(got.get("job-state", [0])[0], "?"), got.get("job-state-reasons", []),
            got.get("job-state-message", [""])[0])


def wait_job(server, printer, job_id, timeout=60):
    deadline = time.time() + timeout
    state = ("?", [], "")
    while time.time() < deadline:
        try:
            state = job_state(server, printer, job_id)
        except (http.client.HTTPException, ConnectionError):
            time.sleep(0.1)
            continue
        if state[0] in ("completed", "aborted", "canceled"):
            return state
        time.sleep(0.1)
    return state


# --- pages -----------------------------------------------------------------------

def receipt_gray(width, height, seed=1):
    """An 8-bit gray page (0 = black) with text-like bars, a gradient and
    blank stretches: something every binarisation treats differently."""
    rows = []
    for y in range(height):
        if y < 24 or (height // 2 - 30 < y < height // 2 + 30) or y >= height - 40:
            rows.append(bytes([255]) * width)
            continue
        band = (y // 16 + seed) % 5
        if band == 0:
            row = bytes(((x * 255) // max(1, width - 1)) for x in range(width))
        elif band == 1:
            row = bytes(0 if (x // 6 + y // 3) % 4 == 0 and 40 < x < width - 40 else 255 for x in range(width))
        elif band == 2:
            row = bytes((((x ^ y) * 37 + seed * 11) & 255) for x in range(width))
        elif band == 3:
            row = bytes(128 if 60 < x < width - 60 else 255 for x in range(width))
        else:
            row = bytes(255 if x < width // 3 else 20 for x in range(width))
        rows.append(row)
    return rows


def _packbits_line(row):
    out = bytearray([0])  # the line is not repeated
    i, n = 0, len(row)
    while i < n:
        j = i + 1
        while j < n and j - i < 128 and row[j] == row[i]:
            j += 1
        if j - i >= 2:
            out += bytes([j - i - 1, row[i]])
            i = j
            continue
        j = i + 1
        while j < n and j - i < 128 and not (j + 1 < n and row[j] == row[j + 1]):
            j += 1
        if j - i == 1:
            out += bytes([0, row[i]])  # one pixel is a run of one
        else:
            out += bytes([257 - (j - i)]) + row[i:j]
        i = j
    return bytes(out)


def raster_header(width, height, color_space, dpi=203, copies=1, pwg=True):
    h = bytearray(1796)
    if pwg:
        h[0:9] = b"PwgRaster"
    put = lambda off, v: struct.pack_into(">I", h, off, v)
    put(276, dpi)
    put(280, dpi)
    put(340, copies)
    put(352, width * 72 // dpi)
    put(356, height * 72 // dpi)
    put(372, width)
    put(376, height)
    put(384, 8)
    put(388, 8)
    put(392, width)
    put(400, color_space)
    put(420, 1)
    return bytes(h)


SGRAY, BLACK = 18, 3  # cupsColorSpace: sGray (0 = black), K (0 = white)


def pwg_raster(pages, color_space=SGRAY):
    """A PWG raster stream (what IPP clients send) of gray pages given as
    rows with 0 = black; K pages are stored inverted."""
    out = b"RaS2"
    for rows in pages:
        width, height = len(rows[0]), len(rows)
        out += raster_header(width, height, color_space)
        for row in rows:
            if color_space == BLACK:
                row = bytes(255 - v for v in row)
            out += _packbits_line(row)
    return out


def cups_raster_k(pages):
    """The same pages as the CUPS filter gets them from the chain: CUPS
    raster v3 (uncompressed), colour space K, 0 = white."""
    out = b"RaS3"
    for rows in pages:
        width, height = len(rows[0]), len(rows)
        out += raster_header(width, height, BLACK, pwg=False)
        for row in rows:
            out += bytes(255 - v for v in row)
    return out


def png_gray(rows):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + r for r in rows)
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    phys = struct.pack(">IIB", 7992, 7992, 1)  # 203 dpi in dots per metre
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"pHYs", phys) + chunk(b"IDAT", zlib.compress(raw)) + \
        chunk(b"IEND", b"")


# --- the printer's bytes ---------------------------------------------------------

def run_filter(ppd_path, options, raster_path, out_path):
    env = env_c()
    env["PPD"] = ppd_path
    with open(out_path, "wb") as f:
        p = subprocess.run([FILTER, "1", "tester", "title", "1", " ".join(options), raster_path], stdout=f,
                           stderr=subprocess.PIPE, env=env)
    return p.returncode, p.stderr.decode("latin-1")


def wait_capture(listener, count, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        with listener.lock:
            if len(listener.captures) >= count:
                return listener.captures[count - 1]
        time.sleep(0.05)
    return None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def apple_raster(pages):
    """An Apple raster (URF) stream of sGray pages (0 = black)."""
    out = b"UNIRAST\0" + struct.pack(">I", len(pages))
    for rows in pages:
        width, height = len(rows[0]), len(rows)
        header = bytearray(32)
        header[0], header[1], header[2], header[3] = 8, 0, 1, 4  # 8 bits, sGray, one-sided, normal
        struct.pack_into(">III", header, 12, width, height, 203)
        out += bytes(header) + b"".join(_packbits_line(r) for r in rows)
    return out


def sanitizer_findings(out):
    """The sanitizers' findings in a server's output that concern the
    application: every error, and the leaks made on a path through its own
    code (PAPPL 1.3.1 leaks a device name a job, on its own)."""
    found = []
    if "runtime error" in out or "ERROR: AddressSanitizer" in out:
        found.append(out[-3000:])
    for block in out.split("\n\n"):
        if "leak of" not in block:
            continue
        frames = [line for line in block.splitlines() if line.strip().startswith("#")]
        if any(("quorvane::" in line or "/printerapp/" in line) and "main.cpp" not in line for line in frames):
            found.append(block)
    return "\n\n".join(found)


def finish(failures, *workdirs):
    """Reports, with what the sanitizers said of the servers (in sanitized
    builds); the work folders stay for a look only when a check failed."""
    for d in workdirs:
        try:
            with open(os.path.join(d, "app.out"), encoding="latin-1") as f:
                out = f.read()
        except OSError:
            continue
        failures.check(not sanitizer_findings(out), "the server's sanitizer report:\n" + sanitizer_findings(out))
    if not failures.messages:
        for d in workdirs:
            shutil.rmtree(d, ignore_errors=True)
    failures.finish()


def filter_bytes(workdir, model, pages, ppd_options, tag):
    """What the CUPS filter sends the printer for these gray pages with
    these PPD options (None when the filter fails)."""
    raster = os.path.join(workdir, tag + ".ras")
    with open(raster, "wb") as out:
        out.write(cups_raster_k(pages))
    expected = os.path.join(workdir, tag + ".filter.bin")
    rc, _ = run_filter(os.path.join(PPD_DIR, model + ".ppd"), ppd_options, raster, expected)
    return read(expected) if rc == 0 else None


def print_and_capture(server, printer, listener, document, fmt, attrs=()):
    """Prints and waits for the job and its connection to the printer; the
    bytes the printer got (None when the job failed)."""
    count = len(listener.captures) + 1
    status, job = print_job(server, printer, document, fmt, attrs, retry_busy=True)
    if status >= 0x100 or not job:
        return None
    state = wait_job(server, printer, job)
    capture = wait_capture(listener, count)
    return read(capture) if state[0] == "completed" and capture else None
