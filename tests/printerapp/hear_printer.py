"""The application hears its printers, virtual ones here
(quorvane-virtual-printer): paper out, near its end and an open cover are
reported and cleared; a job sent to a printer out of paper waits and prints
once, whole, after paper is loaded, also when the paper runs out in the
middle of a long page; a mute printer prints without delay; a TSPL printer
out of paper is heard too."""

import os
import subprocess
import time

import apptest as t

VPRINTER = os.environ.get("QV_VPRINTER", "")


class VirtualPrinter:
    def __init__(self, work, name, *args):
        self.out = os.path.join(work, "vp-" + name)
        self.proc = subprocess.Popen([VPRINTER, "--out", self.out, "--listen", "127.0.0.1:0", *args],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.port = None
        deadline = time.time() + 10
        while self.port is None and time.time() < deadline:
            for line in self.events():
                if line.startswith("listening "):
                    self.port = int(line.rsplit(":", 1)[1])
            time.sleep(0.05)

    def events(self):
        try:
            with open(os.path.join(self.out, "events.log")) as f:
                return f.read().splitlines()
        except OSError:
            return []

    def pages(self):
        return [line for line in self.events() if line.startswith("page ")]

    def control(self, state):
        subprocess.run([VPRINTER, "control", os.path.join(self.out, "control"), state], check=True,
                       stdout=subprocess.DEVNULL)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


def reasons(server, printer):
    _, got = server.ipp(printer, t.GET_PRINTER_ATTRIBUTES,
                        [("keyword", "requested-attributes", ["printer-state-reasons", "printer-supply-description"])])
    return set(got.get("printer-state-reasons", [])), got.get("printer-supply-description", [""])[0]


def eventually(predicate, timeout=15):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.25)
    return False


def main():
    t.skip_unless_runnable(VPRINTER)
    f = t.Failures()
    work = t.tempdir("hear")
    printers = {"receipt": VirtualPrinter(work, "receipt", "--speed", "100"), "mute": VirtualPrinter(work, "mute", "--mute"),
                "label": VirtualPrinter(work, "label", "--model", "tspl")}
    server = t.AppServer(work, status_queries="on")
    png = t.png_gray(t.receipt_gray(576, 400))
    try:
        server.start()
        for name, driver in (("receipt", "qv80rcpt"), ("mute", "qv80rcpt"), ("label", "qv4tspl")):
            server.add_printer(name, driver, "socket://127.0.0.1:%d" % printers[name].port)
        vp = printers["receipt"]

        # Reported and cleared: (control word, reason, supply words).
        for word, reason, supply in (("paper-out", "media-empty", "out"), ("paper-low", "media-low", "near its end"),
                                     ("cover-open", "cover-open", ""), ("ready", None, "")):
            vp.control(word)
            ok = eventually(lambda: (reason in reasons(server, "receipt")[0] if reason else
                                     reasons(server, "receipt")[0] == {"none"}) and supply in reasons(server, "receipt")[1])
            f.check(ok, "receipt: after %s the printer shows %s" % (word, reasons(server, "receipt")))

        # A job waits for paper, then prints once.
        vp.control("paper-out")
        eventually(lambda: "media-empty" in reasons(server, "receipt")[0])
        _, job = t.print_job(server, "receipt", png, "image/png")
        state = t.wait_job(server, "receipt", job, 4)
        f.check(state[0] == "processing" and "out of paper" in state[2], "paper out: the job is %s" % (state,))
        f.check(not vp.pages(), "paper out: a page was printed")
        vp.control("paper-ok")
        state = t.wait_job(server, "receipt", job, 20)
        f.check(state[0] == "completed", "paper loaded: the job is %s" % (state,))
        f.check(eventually(lambda: len(vp.pages()) == 1), "paper loaded: pages %s" % vp.pages())

        # The paper runs out in the middle of a long page: it goes on, whole.
        long_png = t.png_gray([bytes([0] * 8 + [255] * 568)] * 4000)  # 0.5 m, 5 s at 100 mm/s
        _, job = t.print_job(server, "receipt", long_png, "image/png")
        time.sleep(1.5)
        vp.control("paper-out")
        time.sleep(3)
        f.check(t.job_state(server, "receipt", job)[0] == "processing", "long page: the job did not wait")
        vp.control("paper-ok")
        state = t.wait_job(server, "receipt", job, 60)
        f.check(state[0] == "completed", "long page: the job is %s" % (state,))
        f.check(eventually(lambda: len(vp.pages()) == 2) and int(vp.pages()[-1].rsplit("x", 1)[1]) >= 4000,
                "long page: pages %s" % vp.pages())

        # A printer that answers nothing prints at once all the same.
        started = time.time()
        _, job = t.print_job(server, "mute", png, "image/png")
        state = t.wait_job(server, "mute", job, 20)
        f.check(state[0] == "completed" and time.time() - started < 4,
                "mute: %s after %.1f s" % (state, time.time() - started))
        f.check("not report" in reasons(server, "mute")[1], "mute: the supply reads %r" % reasons(server, "mute")[1])

        printers["label"].control("paper-out")
        f.check(eventually(lambda: "media-empty" in reasons(server, "label")[0]),
                "label: out of paper shows %s" % (reasons(server, "label"),))
    finally:
        server.stop()
        for p in printers.values():
            p.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
