#!/usr/bin/env python3
"""Whole-process benchmarks of the quorvane filter.

Generates the benchmark pages (bench/make_bench_pages.cpp), runs the filter
on every page for every binarisation and command conversion, checks that its
output is byte for byte the recorded one (bench/checksums.txt), and times it
against the floor (a reader that only decodes the raster stream) and against
CUPS's own rastertolabel filter with a DYMO or a Zebra ZPL PPD compiled from
sample.drv, fed the same stream, and also the same page as a 1-bit raster,
which is what those PPDs ask for (every label model of sample.drv takes
1-bit pages).

    bench/run_benchmarks.py [--build DIR] [--runs N] [--pages receipt,long,...]
                            [--paths b0c0,...] [--check-only] [--record]
                            [--filter PATH] [--peer dymo|zebra] [--markdown FILE]
                            [--emulator PROGRAM]
    bench/run_benchmarks.py --app [--runs N] [--app-format sgray|black]

With --app it prints the 5 m receipt through quorvane-printer-app instead:
the page as PWG raster over IPP to a private server on 127.0.0.1, its bytes
caught at a socket listener, timed round robin against the filter on the same
page with the 80 mm receipt model's PPD, and the server's memory above idle.

Needs a Release build (cmake -DCMAKE_BUILD_TYPE=Release) with the bench
tools, /usr/bin/time (package time), and for the peer the packages cups and
cups-ppdc; without the peer its columns stay empty.
"""

import argparse
import hashlib
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHECKSUMS = os.path.join(SOURCE_DIR, "bench", "checksums.txt")
PAGES = {  # name: (width, height)
    "receipt": (576, 4000),
    "long": (576, 40000),
    "label": (812, 1218),
    "photo": (576, 2000),
}
PEER_FILTER = "/usr/lib/cups/filter/rastertolabel"
SAMPLE_DRV = "/usr/share/cups/drv/sample.drv"
TIME = "/usr/bin/time"
APP_MODEL = "qv80rcpt"


def all_paths():
    """Path name -> extra PPD attributes. bXcY: binarisation X, conversion Y."""
    paths = {}
    for b in (0, 1, 2):
        for c in (0, 1, 2, 3, 4, 6):
            paths[f"b{b}c{c}"] = {"ImageBinarizationAlgorithm": b, "ImageCmdConversionAlgorithm": c}
    # ORX jobs with the run-length and the JBIG image block.
    for comp, tag in ((1, "r"), (2, "j")):
        paths[f"b0c6{tag}"] = {"ImageBinarizationAlgorithm": 0, "ImageCmdConversionAlgorithm": 6,
                               "ORX.IMAGECOMPRESSION": comp, "ORX.FINISHPRINTFEED": 10,
                               "ORX.FINISHPRINTCUT": 1}
    # Shaping that moves pixels: a canvas wider than the page (placed right,
    # pulled back 10 dots), and a turned page with its margins stripped and
    # cut narrower than the printable width.
    paths["b0c0p"] = {"MaxPrintableWidth": "+64", "HorizontalPrintAlignment": 2,
                      "HorizontalPrintOffset": -10}
    paths["b1c1s"] = {"ImageBinarizationAlgorithm": 1, "ImageCmdConversionAlgorithm": 1,
                      "ImageUpsideDownPrint": 1, "StripLeftPadding": 1, "StripRightPadding": 1,
                      "MaxPrintableWidth": "-100"}
    paths["b2c3t"] = {"ImageBinarizationAlgorithm": 2, "ImageCmdConversionAlgorithm": 3,
                      "MaxPrintableWidth": "-36", "HorizontalPrintPositionAdjustment": 0}
    return paths


def write_ppd(path, width, attrs):
    """A receipt printer PPD: blank paper saving as a real queue would set it,
    placement on the printable width (which changes nothing here), and the
    path's binarisation and conversion."""
    settings = {"PaperSaveTop": 24, "PaperSaveMiddle": 96, "PaperSaveBottom": 24,
                "MaxPrintableWidth": width, "HorizontalPrintPositionAdjustment": 1,
                "HorizontalPrintAlignment": 1}
    settings.update(attrs)
    mpw = str(settings["MaxPrintableWidth"])
    if mpw[0] in "+-":  # relative to the page's width
        settings["MaxPrintableWidth"] = width + int(mpw)
    lines = [
        '*PPD-Adobe: "4.3"', '*FormatVersion: "4.3"', '*FileVersion: "1.0"',
        "*LanguageVersion: English", "*LanguageEncoding: ISOLatin1", '*PCFileName: "QVBENCH.PPD"',
        '*Manufacturer: "quorvane"', '*Product: "(Bench)"', '*ModelName: "quorvane bench"',
        '*ShortNickName: "quorvane bench"', '*NickName: "quorvane bench"',
        '*PSVersion: "(3010.000) 0"', '*LanguageLevel: "3"', "*ColorDevice: False",
        "*DefaultColorSpace: Gray", "*FileSystem: False", '*Throughput: "1"',
        "*LandscapeOrientation: Plus90", "*TTRasterizer: Type42",
        '*cupsFilter2: "application/vnd.cups-raster application/vnd.cups-raw 0 quorvane"',
        '*StartJobCmd: "1B40"', '*EndJobCmd: "1D5600"',
    ]
    lines += [f'*{k}: "{v}"' for k, v in settings.items()]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def run_once(cmd, env, stdout):
    """Runs cmd under /usr/bin/time; returns (wall seconds, CPU seconds, peak
    RSS bytes, exit status). The CPU time (user + system, from the kernel's
    accounting of the process and its children) is steadier than the wall
    time on a machine that others share."""
    with tempfile.NamedTemporaryFile(mode="r") as tf:
        start = time.perf_counter()
        proc = subprocess.Popen([TIME, "-f", "%M", "-o", tf.name] + cmd, env=env, stdout=stdout,
                                stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        lines = [l for l in tf.read().splitlines() if l.strip()]
        rss = int(lines[-1]) * 1024 if lines and lines[-1].strip().isdigit() else 0
    return wall, usage.ru_utime + usage.ru_stime, rss, proc.returncode


def output_sha(cmd, env):
    proc = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return hashlib.sha256(proc.stdout).hexdigest(), proc.returncode


def load_checksums():
    table = {}
    if os.path.exists(CHECKSUMS):
        with open(CHECKSUMS) as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    page, path, sha, rc = line.split()
                    table[(page, path)] = (sha, int(rc))
    return table


PEER_PPDS = {"dymo": "dymo.ppd", "zebra": "zebra.ppd"}  # ppdc's names for sample.drv's models


def peer_ppd(workdir, model):
    if not (os.path.exists(PEER_FILTER) and shutil.which("ppdc") and os.path.exists(SAMPLE_DRV)):
        return None
    out = os.path.join(workdir, "peer-ppd")
    subprocess.run(["ppdc", "-d", out, SAMPLE_DRV], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    path = os.path.join(out, PEER_PPDS[model])
    return path if os.path.exists(path) else None


# --- the Printer Application ----------------------------------------------------

def cups_page_to_pwg(path, color_space):
    """The one 8-bit K page of a CUPS raster stream (libcups' compressed form,
    in the writer's byte order) as the PWG raster an IPP client sends: a
    big-endian header, the same compressed rows, their pixels inverted for
    sgray (0 = black) and kept for black (0 = white)."""
    import apptest
    with open(path, "rb") as f:
        data = f.read()
    order = {b"RaS2": ">", b"2SaR": "<"}.get(data[:4])
    if order is None or len(data) < 4 + 1796:
        raise ValueError(f"{path}: not a compressed CUPS raster stream")
    field = lambda off: int.from_bytes(data[4 + off:8 + off], "big" if order == ">" else "little")
    width, height, bits, bpl, space = field(372), field(376), field(388), field(392), field(400)
    if bits != 8 or bpl != width or space != apptest.BLACK:
        raise ValueError(f"{path}: not an 8-bit K page")
    body = data[4 + 1796:]
    if color_space == apptest.BLACK:
        rows = body
    else:
        invert = bytes(range(255, -1, -1))
        out, pos, y = bytearray(), 0, 0
        while y < height:
            out.append(body[pos])  # the line's repeat count
            y += body[pos] + 1
            pos += 1
            x = 0
            while x < width:
                c = body[pos]
                if c < 128:  # one pixel, c + 1 times
                    out += bytes([c, 255 - body[pos + 1]])
                    pos += 2
                    x += c + 1
                else:  # 257 - c pixels as they are
                    n = 257 - c
                    out.append(c)
                    out += body[pos + 1:pos + 1 + n].translate(invert)
                    pos += 1 + n
                    x += n
        if pos != len(body):
            raise ValueError(f"{path}: more than one page, or a damaged one")
        rows = bytes(out)
    return b"RaS2" + apptest.raster_header(width, height, color_space) + rows


class TimedListener:
    """The printer: takes each connection's bytes and the moment its last
    byte arrived."""

    def __init__(self):
        import queue
        import socket
        import threading
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.jobs = queue.Queue()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            chunks, first, last = [], None, None
            with conn:
                while True:
                    b = conn.recv(1 << 16)
                    if not b:
                        break
                    last = time.perf_counter()
                    first = first or last
                    chunks.append(b)
            self.jobs.put((b"".join(chunks), first, last))

    def close(self):
        self.sock.close()


def proc_status(pid):
    """VmRSS and VmHWM of a process, in bytes."""
    got = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                got[key] = int(value.split()[0]) * 1024
    return got["VmRSS"], got["VmHWM"]


def proc_cpu(pid):
    """User + system time of a process and all its threads, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def reset_peak(pid):
    """Starts the process's VmHWM again from its VmRSS, where the kernel lets us."""
    try:
        with open(f"/proc/{pid}/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def first_difference(a, b):
    return next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))


def app_job(server, listener, document):
    """One Print-Job: (seconds from submission to the last byte at the
    listener, the bytes, the server's peak memory above its idle RSS, its CPU
    seconds, whether the peak was reset before the job, the job's state, and
    seconds from submission to the Print-Job answer and to the first byte)."""
    import apptest
    pid = server.proc.pid
    reset = reset_peak(pid)
    idle, _ = proc_status(pid)
    cpu = proc_cpu(pid)
    start = time.perf_counter()
    status, job = apptest.print_job(server, APP_MODEL, document, "image/pwg-raster")
    if status >= 0x100 or not job:
        raise RuntimeError(f"Print-Job refused: status 0x{status:04x}")
    answered = time.perf_counter()
    data, first, last = listener.jobs.get(timeout=300)
    state = apptest.wait_job(server, APP_MODEL, job, 300)
    _, peak = proc_status(pid)
    return (last - start, data, peak - idle, proc_cpu(pid) - cpu, reset, state, answered - start,
            first - start)


def app_bench(args, filt, gen, floor, emu):
    """The 5 m receipt through the Printer Application against the filter."""
    sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "printerapp"))
    import apptest
    app = args.app_binary or os.path.join(args.build, "printerapp", "quorvane-printer-app")
    ppd = os.path.join(args.build, "ppd", "generated", APP_MODEL + ".ppd")
    for path in (app, ppd):
        if not os.path.exists(path):
            sys.exit(f"missing {path}: build the targets quorvane-printer-app and quorvane-ppds")
    apptest.APP = app
    pages = [p for p in (args.pages or "long").split(",") if p]
    space = apptest.SGRAY if args.app_format == "sgray" else apptest.BLACK
    workdir = tempfile.mkdtemp(prefix="quorvane-bench-app-")
    listener = TimedListener()
    rows = []
    try:
        subprocess.run(emu + [gen, workdir], check=True)
        with apptest.AppServer(os.path.join(workdir, "server")) as server:
            server.start()
            server.add_printer(APP_MODEL, APP_MODEL, f"socket://127.0.0.1:{listener.port}")
            for page in pages:
                w, h = PAGES[page]
                ras = os.path.join(workdir, f"{page}.ras")
                document = cups_page_to_pwg(ras, space)
                # The PPD's defaults with the binarisation the app takes
                # when the job names none (ordered dithering).
                cmd = emu + [filt, "1", "bench", "page", "1", "ImageBinarizationAlgorithm=0", ras]
                env = dict(os.environ, PPD=ppd)
                want = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      check=True).stdout
                def check(got, state):
                    if state[0] != "completed" or got != want:
                        sys.exit(f"APP OUTPUT DIFFERS: {page}: job {state[0]}, app sent {len(got)} bytes, "
                                 f"filter {len(want)}, first difference at byte "
                                 f"{first_difference(got, want)}")

                # The first job warms the server up; its memory is what a
                # fresh server pays. Every job's bytes are compared.
                first = app_job(server, listener, document)
                check(first[1], first[5])
                walls, cpus, peaks = {"app": [], "filter": [], "floor": []}, {"app": [], "filter": []}, []
                answers, firsts = [], []
                filter_peak = floor_peak = 0
                for _ in range(args.runs):
                    wall, data, peak, cpu, reset, state, answer, first_byte = app_job(server, listener,
                                                                                     document)
                    check(data, state)
                    answers.append(answer)
                    firsts.append(first_byte)
                    walls["app"].append(wall)
                    cpus["app"].append(cpu)
                    peaks.append(peak if reset else None)
                    wall, cpu, rss, rc = run_once(cmd, env, subprocess.DEVNULL)
                    if rc != 0:
                        sys.exit(f"filter failed on {page}: exit {rc}")
                    walls["filter"].append(wall)
                    cpus["filter"].append(cpu)
                    filter_peak = max(filter_peak, rss)
                    wall, _, rss, _ = run_once(emu + [floor, ras], os.environ.copy(), subprocess.DEVNULL)
                    walls["floor"].append(wall)
                    floor_peak = max(floor_peak, rss)
                idle, _ = proc_status(server.proc.pid)
                gray, mono = w * h, (w + 7) // 8 * h
                peak = max(p for p in peaks if p is not None) if all(p is not None for p in peaks) else None
                app_t, filt_t = statistics.median(walls["app"]), statistics.median(walls["filter"])
                rows.append((page, w, h, len(want), len(document), statistics.median(answers),
                             statistics.median(firsts), app_t, filt_t, statistics.median(walls["floor"]),
                             statistics.median(cpus["app"]),
                             statistics.median(cpus["filter"]), idle, first[2], peak, filter_peak,
                             floor_peak, gray, mono))
                print(f"{page:8} app {app_t * 1000:9.1f} ms  filter {filt_t * 1000:9.1f} ms  "
                      f"{len(want)} bytes the same", file=sys.stderr)
            if server.crashed():
                sys.exit("the server crashed")
    finally:
        listener.close()
        shutil.rmtree(workdir, ignore_errors=True)
    mib = lambda v: "" if v is None else f"{v / 1048576:.2f} MiB ({v} B, {v / gray:.3f} B/pixel)"
    table = ["| page | PWG raster bytes | printer bytes | app: answer ms | app: first byte ms "
             "| app wall ms | filter wall ms | floor wall ms | app ÷ filter | server CPU ms "
             "| filter CPU ms | server idle RSS | server peak above idle, first job "
             "| same, worst timed job | filter peak RSS | filter peak above the floor's |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for (page, w, h, size, docsize, answer, first_byte, app_t, filt_t, floor_t, app_c, filt_c, idle,
         first_peak, peak, fpeak, floor_peak, gray, mono) in rows:
        table.append(f"| {page} ({w} × {h}; gray {gray} B, mono {mono} B) | {docsize} | {size} "
                     f"| {answer * 1000:.1f} | {first_byte * 1000:.1f} | {app_t * 1000:.1f} "
                     f"| {filt_t * 1000:.1f} | {floor_t * 1000:.1f} | {app_t / filt_t:.2f} "
                     f"| {app_c * 1000:.0f} | {filt_c * 1000:.0f} | {mib(idle)} | {mib(first_peak)} | "
                     f"{mib(peak) or 'VmHWM not resettable'} | {mib(fpeak)} | {mib(fpeak - floor_peak)} |")
    emit_table(table, args.markdown)
    return 0


def emit_table(table, markdown):
    """Prints the table's lines, and writes them to the markdown file if one
    was asked for."""
    print("\n".join(table))
    if markdown:
        with open(markdown, "w") as f:
            f.write("\n".join(table) + "\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(SOURCE_DIR, "build-perf"))
    ap.add_argument("--filter", help="filter binary to run (default BUILD/quorvane)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--pages", help="pages to run (default all; with --app, long)")
    ap.add_argument("--paths", default=",".join(all_paths()))
    ap.add_argument("--check-only", action="store_true", help="compare outputs, time nothing")
    ap.add_argument("--record", action="store_true", help="write bench/checksums.txt from this filter")
    ap.add_argument("--no-check", action="store_true", help="time without comparing outputs")
    ap.add_argument("--peer", choices=sorted(PEER_PPDS), default="dymo",
                    help="rastertolabel model: DYMO (raw rows) or Zebra ZPL (hex-coded rows)")
    ap.add_argument("--markdown", help="also write the table to this file")
    ap.add_argument("--baseline", help="an earlier filter binary, timed in the same rounds "
                    "(its paths are reported as PATH@base, and each path's time against it)")
    ap.add_argument("--emulator", default="",
                    help="run the built tools through this program (qemu-user in a cross build)")
    ap.add_argument("--app", action="store_true",
                    help="the page through quorvane-printer-app over IPP against the filter")
    ap.add_argument("--app-binary", help="the Printer Application (default "
                    "BUILD/printerapp/quorvane-printer-app)")
    ap.add_argument("--app-format", choices=("sgray", "black"), default="sgray",
                    help="the PWG raster colour space sent to the application")
    args = ap.parse_args()
    # A CMake list (qemu-arm;-L;DIR) or a command line.
    emu = shlex.split(args.emulator.replace(";", " "))

    filt = args.filter or os.path.join(args.build, "quorvane")
    gen = os.path.join(args.build, "bench", "quorvane-bench-pages")
    floor = os.path.join(args.build, "bench", "quorvane-raster-floor")
    for tool in (filt, gen, floor):
        if not os.access(tool, os.X_OK):
            sys.exit(f"missing {tool}: build with cmake -DCMAKE_BUILD_TYPE=Release first")
    if not args.check_only and not os.access(TIME, os.X_OK):
        sys.exit(f"missing {TIME}: apt-get install time")
    if args.app:
        return app_bench(args, filt, gen, floor, emu)

    pages = [p for p in (args.pages or ",".join(PAGES)).split(",") if p]
    paths = {k: v for k, v in all_paths().items() if k in args.paths.split(",")}
    workdir = tempfile.mkdtemp(prefix="quorvane-bench-")
    failures = 0
    try:
        subprocess.run(emu + [gen, workdir], check=True)
        expected = load_checksums()
        recorded = {}
        rows = []
        peer = None if args.check_only else peer_ppd(workdir, args.peer)
        for page in pages:
            w, h = PAGES[page]
            pixels = w * h
            ras = os.path.join(workdir, f"{page}.ras")
            ras1 = os.path.join(workdir, f"{page}-1bit.ras")
            # (name, command, environment) of everything timed on this page.
            jobs = [("floor", emu + [floor, ras], os.environ.copy())]
            if peer and not args.check_only:
                # The peer on the very same stream (it decodes the same bytes
                # and takes each 8-bit line as a line of dots eight times as
                # wide), and on the 1-bit page its PPD would ask CUPS for.
                jobs.append(("peer", [PEER_FILTER, "1", "bench", "page", "1", "", ras],
                             dict(os.environ, PPD=peer)))
                jobs.append(("peer-1bit", [PEER_FILTER, "1", "bench", "page", "1", "", ras1],
                             dict(os.environ, PPD=peer)))
            for name, attrs in paths.items():
                ppd = os.path.join(workdir, f"{page}-{name}.ppd")
                write_ppd(ppd, w, attrs)
                env = dict(os.environ, PPD=ppd)
                cmd = emu + [filt, "1", "bench", "page", "1", "", ras]
                jobs.append((name, cmd, env))
                if args.baseline:
                    jobs.append((name + "@base", emu + [args.baseline] + cmd[len(emu) + 1:], env))
                if not args.no_check or args.record:
                    sha, rc = output_sha(cmd, env)
                    recorded[(page, name)] = (sha, rc)
                    want = expected.get((page, name))
                    if not args.record and want != (sha, rc):
                        failures += 1
                        print(f"OUTPUT DIFFERS: {page} {name}: {sha} exit {rc}, "
                              f"recorded {want}", file=sys.stderr)
            if args.check_only:
                continue
            # Round robin: a change in the machine's load between runs falls
            # on every command alike, so the ratios stay fair.
            walls = {name: [] for name, _, _ in jobs}
            cpus = {name: [] for name, _, _ in jobs}
            peaks = {name: 0 for name, _, _ in jobs}
            for _ in range(args.runs):
                for name, cmd, env in jobs:
                    wall, cpu, peak, _ = run_once(cmd, env, subprocess.DEVNULL)
                    walls[name].append(wall)
                    cpus[name].append(cpu)
                    peaks[name] = max(peaks[name], peak)
            med = {name: statistics.median(v) for name, v in walls.items()}
            cpu = {name: statistics.median(v) for name, v in cpus.items()}
            floor_t, floor_m = med["floor"], peaks["floor"]
            peer_t, peer1_t = med.get("peer"), med.get("peer-1bit")
            for name, _, _ in jobs:
                t = med[name]
                base = med.get(name + "@base")
                rows.append((page, name, t, t / base if base else None, t / floor_t,
                             t / peer_t if peer_t else None,
                             t / peer1_t if peer1_t else None, cpu[name] / cpu["floor"],
                             cpu[name] / cpu["peer"] if "peer" in cpu else None,
                             peaks[name] / pixels, (peaks[name] - floor_m) / pixels))
                print(f"{page:8} {name:9} {t * 1000:9.1f} ms", file=sys.stderr)
        if args.record:
            with open(CHECKSUMS, "w") as f:
                f.write("# page path sha256-of-stdout exit-status; written by "
                        "bench/run_benchmarks.py --record\n")
                for (page, name), (sha, rc) in sorted(recorded.items()):
                    f.write(f"{page} {name} {sha} {rc}\n")
        if args.check_only:
            print(f"{len(pages) * len(paths) - failures} of {len(pages) * len(paths)} outputs "
                  "match the recorded ones")
        else:
            def ratio(v):
                return "" if v is None else f"{v:.2f}"
            table = ["| page | path | median wall ms | × baseline | × floor | × peer "
                     "| × peer on 1-bit page | CPU × floor | CPU × peer | peak RSS bytes/pixel "
                     "| above the floor's |",
                     "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
            for page, name, t, rb, rf, rp, rp1, cf, cp, bpp, above in rows:
                table.append(f"| {page} | {name} | {t * 1000:.1f} | {ratio(rb)} | {ratio(rf)} | "
                             f"{ratio(rp)} | "
                             f"{ratio(rp1)} | {ratio(cf)} | {ratio(cp)} | {bpp:.2f} | {above:.2f} |")
            emit_table(table, args.markdown)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
