"""A CUPS driverless queue (lpadmin -m everywhere) on a private cupsd,
pointing at the application: the bundled receipt PDF printed with `lp`
completes, the printer's bytes decode (quorvane-preview) to the receipt's
pages at their own length, and the cut at the job's end arrives; a 4 x 6 in
label PDF prints on one label of the printer's default size."""

import os
import subprocess
import sys
import time

import apptest as t

sys.path.insert(0, os.path.join(t.HERE, "..", "cups"))
from scheduler_jobs import Scheduler, submit, wait_for_job  # noqa: E402


def label_pdf(work):
    """A 4 x 6 in shipping label: a frame, a word and a black bar."""
    ps = os.path.join(work, "label46.ps")
    pdf = os.path.join(work, "label46.pdf")
    with open(ps, "w") as out:
        out.write("%!PS\n<< /PageSize [288 432] >> setpagedevice\n"
                  "newpath 20 20 moveto 268 20 lineto 268 412 lineto 20 412 lineto closepath 4 setlinewidth stroke\n"
                  "/Helvetica findfont 36 scalefont setfont 40 300 moveto (SHIP TO) show\n"
                  "40 100 moveto 200 100 rlineto 0 80 rlineto -200 0 rlineto closepath fill\nshowpage\n")
    subprocess.run(["gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", pdf, ps], check=True)
    return pdf


def label_case(f, work, scheduler, listener):
    """A 4 x 6 in label PDF with no options prints on one 4 x 6 in label; a
    size named plainly is the label printed on."""
    pdf = label_pdf(work)
    for n, (options, size) in enumerate((([], "102 mm,152 mm"), (["media=50x30mm"], "50 mm,30 mm")), 1):
        job = submit(scheduler, "driverless-label", pdf, options)
        state = wait_for_job(scheduler, "driverless-label", job, timeout=120)
        f.check(state == "completed", "label job %s is %s" % (options, state))
        capture = t.wait_capture(listener, n, timeout=30)
        if not f.check(capture is not None, "no label reached the printer for %s" % options):
            return
        rc, summary, pages = t.preview(capture, work, "label%d" % n)
        f.check(rc == 0, "the preview does not understand the label's bytes:\n%s" % summary)
        f.check(len(pages) == 1 and pages[0].dots_in_rows(0, pages[0].height) > 1000,
                "%s: not one printed label:\n%s" % (options, summary))
        f.check("TSPL SIZE  " + size in summary, "%s: not a %s label:\n%s" % (options, size, summary))


def main():
    t.skip_unless_runnable("cupsd", "lpadmin", "lp", t.PREVIEW, t.FILTER)
    if os.path.exists("/usr/lib/cups/backend/ipp") is False:
        print("skipped: no ipp backend")
        sys.exit(t.SKIP)
    f = t.Failures()
    work = t.tempdir("app-driverless")
    listener = t.Listener(work)
    label_listener = t.Listener(os.path.join(work, "label"))
    os.makedirs(label_listener.workdir, exist_ok=True)
    server = t.AppServer(work)
    scheduler = Scheduler(os.path.join(work, "cups"))
    try:
        server.start()
        server.add_printer("receipt", "qv80rcpt", "socket://127.0.0.1:%d" % listener.port)
        server.add_printer("label", "qv4tspl", "socket://127.0.0.1:%d" % label_listener.port)
        if not scheduler.start():
            print("skipped: the private cupsd does not start: " + scheduler.output()[-500:])
            sys.exit(t.SKIP)
        for queue, printer in (("driverless", "receipt"), ("driverless-label", "label")):
            p = scheduler.client("lpadmin", "-h", scheduler.server, "-p", queue, "-E",
                                 "-v", server.uri(printer), "-m", "everywhere")
            if not f.check(p.returncode == 0, "lpadmin -m everywhere: %s" % p.stderr.decode()):
                return t.finish(f, work)
        # The scheduler takes a moment to load the queue's new PPD; a job
        # sent before finds no filters for it.
        for _ in range(50):
            if all("PageSize" in scheduler.client("lpoptions", "-h", scheduler.server, "-p", q,
                                                  "-l").stdout.decode() for q in ("driverless", "driverless-label")):
                break
            time.sleep(0.2)
        time.sleep(0.5)
        job = submit(scheduler, "driverless", os.path.join(t.DATA, "receipt.pdf"), [])
        state = wait_for_job(scheduler, "driverless", job, timeout=120)
        f.check(state == "completed", "the CUPS job is %s:\n%s" % (state, scheduler.log_text()[-3000:]))
        capture = t.wait_capture(listener, 1, timeout=30)
        if f.check(capture is not None, "nothing reached the printer"):
            rc, summary, pages = t.preview(capture, work, "receipt")
            f.check(rc == 0, "the preview does not understand the bytes:\n%s" % summary)
            f.check(len(pages) == 1, "%d pieces of paper, not 1 (one cut at the end)" % len(pages))
            f.check("cut" in summary.lower(), "no cut:\n%s" % summary)
            # The receipt's two pages (80 x 120 mm, set in the middle of the
            # queue's default 200 mm paper) run on one strip of 72 mm at
            # their own length: paper saving keeps at most 5 mm (40 rows) of
            # blank before the first printed row and after the last, before
            # the cut's feed.
            if pages:
                page = pages[0]
                f.check(page.width == 576, "the printout is %d dots wide, not 576" % page.width)
                f.check(600 < page.height < 2 * 960, "the printout is %d rows long" % page.height)
                inked = [r for r in range(page.height) if page.dots_in_rows(r, r + 1) > 0]
                if f.check(inked, "the printout is blank"):
                    f.check(inked[0] <= 40, "%d blank rows before the first printed one" % inked[0])
                    # The cut's feed (ESC d 4: four 1/6 in lines, 34 rows
                    # each) carries the last row past the cutter.
                    f.check(page.height - 1 - inked[-1] <= 40 + 4 * 34,
                            "%d blank rows after the last printed one" % (page.height - 1 - inked[-1]))
                thirds = [page.dots_in_rows(i * page.height // 3, (i + 1) * page.height // 3) for i in range(3)]
                f.check(all(n > 1000 for n in thirds), "parts of the receipt are blank: %s" % thirds)
        label_case(f, work, scheduler, label_listener)
        f.check(not server.crashed(), "the server crashed")
    finally:
        scheduler.stop()
        server.stop()
        listener.stop()
        label_listener.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
