"""Helpers for the tests that run quorvane through the real CUPS machinery.

The tests get their paths from the environment that CTest sets:
QV_FILTER (the filter binary), QV_PREVIEW, QV_RASTER_TO_MONO, QV_PPD_DIR,
QV_DATA (bundled documents) and QV_BUILD_DIR.
"""

import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests

FILTER = os.environ.get("QV_FILTER", "")
PREVIEW = os.environ.get("QV_PREVIEW", "")
RASTER_TO_MONO = os.environ.get("QV_RASTER_TO_MONO", "")
PPD_DIR = os.environ.get("QV_PPD_DIR", "")
DATA = os.environ.get("QV_DATA", "")
BUILD_DIR = os.environ.get("QV_BUILD_DIR", "")
SYSTEM_SERVERBIN = "/usr/lib/cups"


def ppd(name):
    return os.path.join(PPD_DIR, name)


def doc(name):
    return os.path.join(DATA, name)


def env_c():
    env = dict(os.environ)
    env["LANG"] = "C"
    env["LC_ALL"] = "C"
    return env


def run(cmd, **kw):
    kw.setdefault("env", env_c())
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


class Failures:
    """Collects failed checks so that one run reports all of them."""

    def __init__(self):
        self.messages = []

    def check(self, condition, message):
        if not condition:
            self.messages.append(message)
            print("FAIL: " + message, flush=True)
        return condition

    def finish(self):
        if self.messages:
            print("%d check(s) failed" % len(self.messages))
            sys.exit(1)
        print("all checks passed")
        sys.exit(0)


# --- pictures -----------------------------------------------------------------

class Bitmap:
    """A PBM picture: width, height and packed rows (1 = printed dot)."""

    def __init__(self, width, height, rows):
        self.width, self.height, self.rows = width, height, rows

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            data = f.read()
        fields, pos = [], 0
        while len(fields) < 3:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        pos += 1
        if fields[0] != b"P4":
            raise ValueError("%s is not a binary PBM" % path)
        w, h = int(fields[1]), int(fields[2])
        bpr = (w + 7) // 8
        body = data[pos:pos + bpr * h]
        if len(body) != bpr * h:
            raise ValueError("%s is truncated" % path)
        return Bitmap(w, h, [body[i * bpr:(i + 1) * bpr] for i in range(h)])

    def black_dots(self):
        return sum(bin(b).count("1") for row in self.rows for b in row)

    def dots_in_rows(self, start, end):
        return sum(bin(b).count("1") for row in self.rows[start:end] for b in row)


def compare_placed(actual, expected):
    """None when `actual` shows `expected` at its top left, dot for dot, and
    no dot anywhere else; otherwise a description of the difference."""
    if actual.width < expected.width or actual.height < expected.height:
        return "page is %dx%d, smaller than the expected %dx%d" % (
            actual.width, actual.height, expected.width, expected.height)
    ebpr = (expected.width + 7) // 8
    wrong_rows, wrong_dots = 0, 0
    for y in range(expected.height):
        a, e = actual.rows[y][:ebpr], expected.rows[y]
        if a != e:
            wrong_rows += 1
            wrong_dots += sum(bin(x ^ z).count("1") for x, z in zip(a, e))
    extra = 0
    for y in range(actual.height):
        row = actual.rows[y]
        start = ebpr if y < expected.height else 0
        extra += sum(bin(b).count("1") for b in row[start:])
    if wrong_rows or extra:
        return "%d dots differ in %d rows; %d printed dots outside the expected page" % (
            wrong_dots, wrong_rows, extra)
    return None


def preview(stream_path, workdir, tag):
    """Runs quorvane-preview; returns (exit status, summary, [Bitmap])."""
    prefix = os.path.join(workdir, tag)
    p = run([PREVIEW, "--pbm", stream_path, prefix])
    pages = []
    i = 1
    while os.path.exists("%s-%03d.pbm" % (prefix, i)):
        pages.append(Bitmap.read("%s-%03d.pbm" % (prefix, i)))
        i += 1
    return p.returncode, p.stdout.decode("latin-1"), pages


def raster_to_mono(raster_path, workdir, tag, args=()):
    """The pages of a CUPS raster file as the filter binarises them."""
    prefix = os.path.join(workdir, tag)
    p = run([RASTER_TO_MONO] + list(args) + [raster_path, prefix])
    if p.returncode != 0:
        raise RuntimeError("raster-to-mono failed: " + p.stderr.decode("latin-1"))
    pages = []
    i = 1
    while os.path.exists("%s-%03d.pbm" % (prefix, i)):
        pages.append(Bitmap.read("%s-%03d.pbm" % (prefix, i)))
        i += 1
    return pages


def stack(pages):
    """Pages that run together on one strip of paper, one below the other."""
    width = max(p.width for p in pages)
    bpr = (width + 7) // 8
    rows = []
    for p in pages:
        rows += [r + bytes(bpr - len(r)) for r in p.rows]
    return Bitmap(width, len(rows), rows)


def raster_headers(path):
    """Fields of the first page header of a CUPS raster stream."""
    with open(path, "rb") as f:
        data = f.read(4 + 1796)
    sync = data[:4]
    if sync in (b"RaS3", b"RaS2"):
        order = ">"
    elif sync in (b"3SaR", b"2SaR"):
        order = "<"
    else:
        raise ValueError("not a CUPS raster stream: %r" % sync)
    h = data[4:]
    u = lambda off: struct.unpack(order + "I", h[off:off + 4])[0]
    return {"HWResolution": (u(276), u(280)), "cupsWidth": u(372), "cupsHeight": u(376),
            "cupsBitsPerColor": u(384), "cupsBitsPerPixel": u(388),
            "cupsColorOrder": u(396), "cupsColorSpace": u(400)}


# --- a CUPS server bin with our filter -------------------------------------------

def make_tree(root):
    """A ServerBin under root: the system's CUPS programs, with the filter
    directory rebuilt so that it also holds a root-owned copy of ours."""
    os.makedirs(root, exist_ok=True)
    os.chmod(root, 0o755)
    sb = os.path.join(root, "serverbin")
    os.makedirs(os.path.join(sb, "filter"))
    os.chmod(sb, 0o755)
    os.chmod(os.path.join(sb, "filter"), 0o755)
    for entry in sorted(os.listdir(SYSTEM_SERVERBIN)):
        if entry != "filter":
            os.symlink(os.path.join(SYSTEM_SERVERBIN, entry), os.path.join(sb, entry))
    sysfilters = os.path.join(SYSTEM_SERVERBIN, "filter")
    for entry in sorted(os.listdir(sysfilters)):
        if entry != "quorvane":
            os.symlink(os.path.join(sysfilters, entry), os.path.join(sb, "filter", entry))
    ours = os.path.join(sb, "filter", "quorvane")
    shutil.copyfile(FILTER, ours)
    os.chmod(ours, 0o755)
    return sb


def have(*programs):
    missing = [p for p in programs if shutil.which(p) is None and not os.path.exists(p)]
    return missing


class Cupsfilter:
    """cupsfilter with our filter, the system's chain and no scheduler."""

    def __init__(self, root):
        self.root = root
        self.serverbin = make_tree(root)
        self.conf = os.path.join(root, "cupsfilter.conf")
        with open(self.conf, "w") as f:
            f.write("DataDir /usr/share/cups\nServerBin %s\nServerRoot /etc/cups\n" % self.serverbin)
        self.env = env_c()
        # cupsfilter asks the default scheduler for defaults; keep it away
        # from any scheduler on this machine.
        self.env["CUPS_SERVER"] = "127.0.0.1:9"

    def _run(self, ppd_path, document, options, dest, out):
        cmd = ["cupsfilter", "-c", self.conf, "-p", ppd_path]
        for o in options:
            cmd += ["-o", o]
        cmd += dest + [document]
        with open(out, "wb") as f:
            p = subprocess.run(cmd, stdout=f, stderr=subprocess.PIPE, env=self.env)
        return p.returncode, p.stderr.decode("latin-1")

    def raster(self, ppd_path, document, options, out):
        return self._run(ppd_path, document, options, ["-m", "application/vnd.cups-raster"], out)

    def printer(self, ppd_path, document, options, out):
        return self._run(ppd_path, document, options, ["-e", "-m", "printer/quorvane-test"], out)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Listener:
    """Stands in for a printer on 127.0.0.1: keeps the bytes of every
    connection, one file per connection. A printer that takes no data (out of
    paper, cover open) has a receive buffer as small as a printer's and reads
    a connection only once `reading` is set."""

    def __init__(self, workdir, receive_buffer=None, reading=None):
        self.workdir = workdir
        self.reading = reading
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if receive_buffer:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)  # accepted sockets inherit it
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.captures = []
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.stopping = False
        self.thread.start()

    def _serve(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            if self.reading:
                self.reading.wait()
            with conn:
                chunks = []
                while True:
                    try:
                        b = conn.recv(65536)
                    except OSError:
                        break
                    if not b:
                        break
                    chunks.append(b)
            with self.lock:
                path = os.path.join(self.workdir, "capture-%d-%d.bin" % (self.port, len(self.captures) + 1))
                with open(path, "wb") as f:
                    f.write(b"".join(chunks))
                self.captures.append(path)

    def stop(self):
        self.stopping = True
        try:
            self.sock.close()
        except OSError:
            pass


def tempdir(tag):
    d = tempfile.mkdtemp(prefix="quorvane-%s-" % tag)
    os.chmod(d, 0o755)
    return d
