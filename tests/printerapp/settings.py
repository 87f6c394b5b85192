"""Printer defaults: set with `modify`, they apply to later jobs that do not
name the setting (byte for byte what the filter prints with the matching PPD
defaults), a job's own value still wins, clients see them as `-default`
attributes, and they survive a restart of the server; a value the model does
not offer is refused. Identify-Printer makes a label printer beep, and the printer page prints a
test page. The web
pages answer, with labels for the vendor
settings."""

import http.client
import os
import re

import apptest as t

RECEIPT_DEFAULTS = ["paper-save-bottom-default=48", "cash-drawer-default=drawer1", "upside-down-default=true",
                    "cut-at-job-end-default=partial", "print-color-mode-default=bi-level"]
RECEIPT_PPD = ["PaperSaveBottom=48", "CashDrawer=Drawer1", "ImageUpsideDownPrint=1", "CutAtJobEnd=Partial",
               "ImageBinarizationAlgorithm=1"]
RECEIPT_REPORTED = {"paper-save-bottom-default": [48], "cash-drawer-default": ["drawer1"],
                    "upside-down-default": [True], "cut-at-job-end-default": ["partial"],
                    "print-color-mode-default": ["bi-level"]}
# The printer darkness counts once the printer's own darkness is let go.
# printer-darkness as `options` lists it.
LABEL_DEFAULTS = ["darkness-from-printer-default=false", "printer-darkness=100", "print-speed-default=7620"]
LABEL_PPD = ["TSPL.DENSITY=15", "TSPL.SPEED=3", "ImageBinarizationAlgorithm=0"]
WEB_PAGES = ["/", "/receipt", "/receipt/printing", "/receipt/media", "/receipt/supplies", "/receipt/jobs",
             "/label/printing", "/label/media"]


def main():
    t.skip_unless_runnable(t.FILTER, t.PREVIEW)
    f = t.Failures()
    work = t.tempdir("app-settings")
    receipt_pages = [t.receipt_gray(640, 300, seed=2)]
    label_pages = [t.receipt_gray(812, 240, seed=4)]
    want_receipt = t.filter_bytes(work, "qv80rcpt", receipt_pages, RECEIPT_PPD, "receipt")
    override = RECEIPT_PPD[:]
    override[0] = "PaperSaveBottom=0"
    want_override = t.filter_bytes(work, "qv80rcpt", receipt_pages, override, "override")
    want_label = t.filter_bytes(work, "qv4tspl", label_pages, LABEL_PPD, "label")
    f.check(want_receipt and want_override and want_label, "the filter failed")
    receipt_doc, label_doc = t.pwg_raster(receipt_pages), t.pwg_raster(label_pages)

    receipt_l, label_l = t.Listener(os.path.join(work, "r")), t.Listener(os.path.join(work, "l"))
    os.makedirs(receipt_l.workdir)
    os.makedirs(label_l.workdir)
    server = t.AppServer(work)
    try:
        server.start()
        server.add_printer("receipt", "qv80rcpt", "socket://127.0.0.1:%d" % receipt_l.port)
        server.add_printer("label", "qv4tspl", "socket://127.0.0.1:%d" % label_l.port)
        for printer, defaults in (("receipt", RECEIPT_DEFAULTS), ("label", LABEL_DEFAULTS)):
            args = ["modify", "-d", printer]
            for d in defaults:
                args += ["-o", d]
            p = server.cli(*args)
            f.check(p.returncode == 0, "modify %s: %s" % (printer, p.stderr.decode()))
        # A value the model does not offer is refused, naming it and the
        # values allowed, and neither stored nor advertised.
        p = server.cli("modify", "-d", "receipt", "-o", "cut-at-job-end-default=sideways")
        said = (p.stdout + p.stderr).decode()
        f.check(p.returncode != 0 and "sideways" in said and "full, partial, feed, none" in said,
                "a bad default is not refused by name: %d %s" % (p.returncode, said))
        p = server.cli("modify", "-d", "label", "-o", "print-speed-default=4")
        said = (p.stdout + p.stderr).decode()
        f.check(p.returncode != 0 and "5080-15240" in said, "a speed in inches is not refused: %s" % said)

        for run in ("before the restart", "after the restart"):
            _, attrs = server.ipp("receipt", t.GET_PRINTER_ATTRIBUTES, [])
            for name, value in RECEIPT_REPORTED.items():
                f.check(attrs.get(name) == value, "%s: %s is %s, not %s" % (run, name, attrs.get(name), value))
            got = t.print_and_capture(server, "receipt", receipt_l, receipt_doc, "image/pwg-raster")
            f.check(got is not None and got == want_receipt,
                    "%s: a receipt job without attributes does not print with the defaults" % run)
            got = t.print_and_capture(server, "receipt", receipt_l, receipt_doc, "image/pwg-raster",
                                      [("integer", "paper-save-bottom", 0)])
            f.check(got is not None and got == want_override, "%s: the job's own paper-save-bottom lost" % run)
            got = t.print_and_capture(server, "label", label_l, label_doc, "image/pwg-raster")
            f.check(got is not None and got == want_label,
                    "%s: a label job does not print with the printer's darkness and speed" % run)
            if run == "before the restart":
                for path in WEB_PAGES:
                    try:
                        status, body = server.http_get(path)
                    except OSError as e:
                        status, body = str(e), b""
                    f.check(status == 200 and b"</html>" in body.lower(), "web page %s: %s" % (path, status))
                    if path == "/receipt/printing":
                        f.check(b"Blank paper at the top (dots, 8 = 1 mm)" in body,
                                "the printing defaults page has no label for paper-save-top")
                f.check(not server.crashed(), "the server crashed")
                server.stop()
                server.start()
        # Identify-Printer makes the label printer beep.
        count = len(label_l.captures) + 1
        status, _ = server.ipp("label", 0x3C, [])
        capture = t.wait_capture(label_l, count)
        f.check(status == 0 and capture and t.read(capture) == b"BEEP\r\n",
                "Identify-Printer: status %#x, the printer got %r" % (status, capture and t.read(capture)))
        # The printer page's "Print Test Page" prints the model's test page.
        count = len(label_l.captures) + 1
        status, body = server.http_get("/label")
        session = re.search(rb'name="session" value="([^"]+)"', body)
        if f.check(status == 200 and session, "the printer page has no form: %s" % status):
            c = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
            c.request("POST", "/label", "session=%s&action=print-test-page" % session.group(1).decode(),
                      {"Content-Type": "application/x-www-form-urlencoded"})
            c.getresponse().read()
            c.close()
            capture = t.wait_capture(label_l, count)
            if f.check(capture, "no test page reached the printer"):
                rc, summary, pages = t.preview(capture, work, "testpage")
                f.check(rc == 0 and len(pages) == 1 and "TSPL PRINT" in summary, "the test page:\n%s" % summary)
        f.check(not server.crashed(), "the server crashed")
    finally:
        server.stop()
        receipt_l.stop()
        label_l.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
