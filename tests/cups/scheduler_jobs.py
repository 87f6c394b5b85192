#!/usr/bin/env python3
"""Jobs through a private cupsd: a scheduler of the test's own on loopback,
with its own configuration and directories in a temporary folder, a queue
with the generated PPD whose device is a socket listener of the test. `lp`
with job options prints the bundled PDF; the job completes, the captured
bytes decode to the expected pages, the options reached the filter and the
filter's progress lines are in the scheduler's log."""

import os
import shutil
import signal
import subprocess
import sys
import time

import cupstest as ct

CUT_FEED = 4 * 30


class Scheduler:
    def __init__(self, root):
        self.root = root
        self.port = ct.free_port()
        self.server = "127.0.0.1:%d" % self.port
        self.proc = None
        sb = ct.make_tree(root)
        dirs = {}
        for d in ("conf", "spool", "state", "cache", "log", "tmp"):
            dirs[d] = os.path.join(root, d)
            os.makedirs(dirs[d])
            os.chmod(dirs[d], 0o755)
        os.makedirs(os.path.join(dirs["conf"], "ppd"))
        # The scheduler writes here as its unprivileged user.
        for d in ("spool", "tmp", "cache"):
            os.chmod(dirs[d], 0o1777)
        self.log = os.path.join(dirs["log"], "error_log")
        self.conf = os.path.join(dirs["conf"], "cupsd.conf")
        self.files = os.path.join(dirs["conf"], "cups-files.conf")
        with open(self.conf, "w") as f:
            f.write("""LogLevel debug
Listen %s
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow from 127.0.0.1
</Location>
<Location /admin>
  Order allow,deny
  Allow from 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
""" % self.server)
        with open(self.files, "w") as f:
            f.write("""ServerRoot %(conf)s
RequestRoot %(spool)s
StateDir %(state)s
CacheDir %(cache)s
TempDir %(tmp)s
ServerBin %(sb)s
DataDir /usr/share/cups
ErrorLog %(log)s/error_log
AccessLog %(log)s/access_log
PageLog %(log)s/page_log
FileDevice No
""" % dict(dirs, sb=sb))
        # mime types and conversions live in ServerRoot as well as DataDir.
        for name in os.listdir("/etc/cups"):
            if name.endswith((".types", ".convs")):
                shutil.copyfile(os.path.join("/etc/cups", name), os.path.join(dirs["conf"], name))
        self.env = ct.env_c()
        self.env["CUPS_SERVER"] = self.server

    def start(self):
        self.proc = subprocess.Popen(["cupsd", "-f", "-c", self.conf, "-s", self.files],
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     env=self.env)
        for _ in range(100):
            if self.proc.poll() is not None:
                return False
            if "is running" in ct.run(["lpstat", "-h", self.server, "-r"], env=self.env).stdout.decode():
                return True
            time.sleep(0.1)
        return False

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def output(self):
        if self.proc and self.proc.stdout and self.proc.poll() is not None:
            return self.proc.stdout.read().decode("latin-1")
        return ""

    def client(self, *args):
        return ct.run(list(args), env=self.env)

    def log_text(self):
        try:
            with open(self.log, encoding="latin-1") as f:
                return f.read()
        except OSError:
            return ""


def wait_for_job(s, queue, job_id, timeout=90):
    """'completed', 'stopped' (the queue stopped) or 'timeout'."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        done = s.client("lpstat", "-h", s.server, "-W", "completed", "-o", queue).stdout.decode()
        if job_id in done.split():
            return "completed"
        state = s.client("lpstat", "-h", s.server, "-p", queue).stdout.decode()
        if "disabled" in state:
            return "stopped"
        time.sleep(0.3)
    return "timeout"


def submit(s, queue, document, options):
    cmd = ["lp", "-h", s.server, "-d", queue]
    for o in options:
        cmd += ["-o", o]
    p = s.client(*(cmd + [document]))
    out = p.stdout.decode()
    # "request id is QUEUE-N (1 file(s))"
    for word in out.split():
        if word.startswith(queue + "-"):
            return word
    raise RuntimeError("lp failed: %s %s" % (out, p.stderr.decode()))


def main():
    if os.environ.get("QV_SANITIZED") == "1":
        # Filters started by cupsd as user lp do not finish with the
        # sanitizer runtime in them; the plain build runs this test, and the
        # sanitizer builds run the same filter through cupsfilter.
        print("SKIP: sanitizer build; the scheduler test runs in the plain build")
        return ct.SKIP
    missing = ct.have("cupsd", "lpadmin", "lp", "lpstat", "cupsfilter", "gs")
    if missing:
        print("SKIP: missing %s (scripts/setup.sh installs cups, cups-client and ghostscript)" % missing)
        return ct.SKIP
    fails = ct.Failures()
    work = ct.tempdir("cupsd")
    captures = os.path.join(work, "captures")
    os.makedirs(captures)
    sched = Scheduler(os.path.join(work, "cups"))
    listener = ct.Listener(captures)
    try:
        if not sched.start():
            out = sched.output()
            print("SKIP: cupsd cannot run here:\n" + out + sched.log_text()[-3000:])
            return ct.SKIP
        cf = ct.Cupsfilter(os.path.join(work, "cupsfilter"))

        queues = {"receipt": "qv80rcpt.ppd", "labels": "qvorxlbl.ppd"}
        for queue, ppd_name in queues.items():
            p = sched.client("lpadmin", "-h", sched.server, "-p", queue, "-E",
                             "-v", "socket://127.0.0.1:%d" % listener.port, "-P", ct.ppd(ppd_name))
            if not fails.check(p.returncode == 0, "lpadmin %s: %s" % (queue, p.stderr.decode())):
                fails.finish()

        jobs = [
            # queue, options, raster-to-mono arguments, pages (None: one
            # strip), feed before each cut, commands in the summary, absent
            ("receipt", [], ["--max-width", "576", "--place", "1", "--align", "1", "--save-top", "24",
                             "--save-middle", "96", "--save-bottom", "24"],
             None, CUT_FEED, ["NUL  64 zero bytes", "ESC @", "GS v 0", "GS V  full cut"], ["ESC p"]),
            ("receipt", ["CutAfterEachPage=Partial", "CutAtJobEnd=None", "CashDrawer=Drawer1",
                         "ImageBinarizationAlgorithm=1", "ImageCmdConversionAlgorithm=1", "PaperSaveBottom=0",
                         "PaperSaveTop=0", "PaperSaveMiddle=0"],
             ["--max-width", "576", "--place", "1", "--align", "1", "--algorithm", "1"],
             2, CUT_FEED, ["US ( P", "GS V  partial cut", "ESC p  cash drawer kick, pin 2"], ["GS V  full cut"]),
            ("labels", ["ORX.IMAGECOMPRESSION=2", "ORX.FINISHPRINTCUT=2", "ORX.DENSITY=8",
                        "HorizontalPrintAlignment=0"],
             ["--max-width", "576", "--place", "1", "--align", "0"],
             2, 0, ["ORX density  12 23 08", "US ( J", "ESC i"], []),
        ]
        for n, (queue, options, mono_args, npages, feed, present, absent) in enumerate(jobs, 1):
            name = "job %d (%s %s)" % (n, queue, " ".join(options) or "defaults")
            document = ct.doc("receipt.pdf" if queue == "receipt" else "label.pdf")
            before = len(listener.captures)
            job_id = submit(sched, queue, document, options)
            state = wait_for_job(sched, queue, job_id)
            if not fails.check(state == "completed", "%s: %s\n%s" % (name, state, sched.log_text()[-4000:])):
                continue
            for _ in range(50):
                if len(listener.captures) > before:
                    break
                time.sleep(0.1)
            if not fails.check(len(listener.captures) == before + 1, "%s: the printer got nothing" % name):
                continue
            stream = listener.captures[-1]

            raster = os.path.join(work, "job%d.ras" % n)
            rc, err = cf.raster(ct.ppd(queues[queue]), document, options, raster)
            fails.check(rc == 0, "%s: raster for comparison failed: %s" % (name, err[-2000:]))
            expected = ct.raster_to_mono(raster, work, "job%d-expected" % n, mono_args)
            status, summary, pages = ct.preview(stream, work, "job%d" % n)
            fails.check(status == 0, "%s: preview status %d\n%s" % (name, status, summary))
            for text in present:
                fails.check(text in summary, "%s: %r not in the stream:\n%s" % (name, text, summary))
            for text in absent:
                fails.check(text not in summary, "%s: %r in the stream:\n%s" % (name, text, summary))
            want = [ct.stack(expected)] if npages is None else expected
            if fails.check(len(pages) == len(want), "%s: %d pages, %d expected\n%s" %
                           (name, len(pages), len(want), summary)):
                for i, (page, w) in enumerate(zip(pages, want), 1):
                    diff = ct.compare_placed(page, w)
                    fails.check(diff is None, "%s: page %d: %s" % (name, i, diff))
                    fails.check(page.height == w.height + feed, "%s: page %d is %d rows, expected %d + %d" %
                                (name, i, page.height, w.height, feed))
            log = sched.log_text()
            job_no = job_id.rsplit("-", 1)[1]
            # The scheduler logs INFO lines without their prefix.
            for line in ("PAGE: 1 1", "] Sending Page 1 Copies 1 of 1",
                         "ATTR: job-media-progress=100", "] Finished page 1",
                         "] Finished page 2", "PAGE: 2 1"):
                fails.check(any(("[Job %s]" % job_no) in l and line in l for l in log.splitlines()),
                            "%s: %r not in the scheduler's log" % (name, line))
            print("ok: %s" % name, flush=True)
    finally:
        sched.stop()
        listener.stop()
        if fails.messages:
            print("work files kept in " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    fails.finish()


if __name__ == "__main__":
    sys.exit(main())
