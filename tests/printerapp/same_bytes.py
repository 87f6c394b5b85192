"""Same bytes: pages through the CUPS filter (with PPD options) and through
the Printer Application (with the equivalent IPP attributes) give the same
printer byte stream, for every model, binarisation and image transfer form,
and for each vendor attribute."""

import os

import apptest as t

# Binarisations: IPP attributes and the PPD choice they stand for.
BINARISATIONS = [
    ([], "0"),
    ([("keyword", "print-color-mode", "bi-level")], "1"),
    ([("keyword", "print-content-optimize", "text")], "1"),
    ([("keyword", "print-content-optimize", "photo")], "2"),
]
TRANSFERS = [("raster", "0"), ("run-length", "1"), ("jbig", "2")]
TRANSFER_OPTION = {"qv80rcpt": "ImageCmdConversionAlgorithm", "qv58rcpt": "ImageCmdConversionAlgorithm",
                   "qv80r180": "ImageCmdConversionAlgorithm", "qv58r180": "ImageCmdConversionAlgorithm",
                   "qvorxlbl": "ORX.IMAGECOMPRESSION"}

# Vendor and standard attributes beyond the binarisation: (models, IPP, PPD).
RECEIPTS = ("qv80rcpt", "qv58rcpt", "qv80r180", "qv58r180")
TSPL = ("qv4tspl", "qv4tspl3")
EXTRA = [
    (RECEIPTS, [("integer", "paper-save-top", 8), ("integer", "paper-save-middle", 24),
                ("integer", "paper-save-bottom", 0)], ["PaperSaveTop=8", "PaperSaveMiddle=24", "PaperSaveBottom=0"]),
    (RECEIPTS, [("keyword", "cut-after-each-page", "partial"), ("keyword", "cut-at-job-end", "none"),
                ("keyword", "cash-drawer", "drawer2")], ["CutAfterEachPage=Partial", "CutAtJobEnd=None",
                                                        "CashDrawer=Drawer2"]),
    (RECEIPTS, [("keyword", "cut-at-job-end", "feed"), ("keyword", "cash-drawer", "drawer1")],
     ["CutAtJobEnd=Feed", "CashDrawer=Drawer1"]),
    (RECEIPTS + ("qvorxlbl",) + TSPL,
     [("keyword", "alignment", "right"), ("integer", "offset", -8), ("boolean", "strip-left-margin", True),
      ("boolean", "place-within-printable-width", True)],
     ["HorizontalPrintAlignment=2", "HorizontalPrintOffset=-8", "StripLeftPadding=1",
      "HorizontalPrintPositionAdjustment=1"]),
    (RECEIPTS + ("qvorxlbl",), [("boolean", "upside-down", True), ("boolean", "strip-right-margin", True),
                                ("keyword", "alignment", "left")],
     ["ImageUpsideDownPrint=1", "StripRightPadding=1", "HorizontalPrintAlignment=0"]),
    (TSPL, [("integer", "print-speed", 4 * 2540), ("integer", "print-darkness", 100),
                    ("begin", "media-col", {"media-tracking": ("keyword", "mark")})],
     ["TSPL.SPEED=4", "TSPL.DENSITY=15", "TSPL.PAPERTYPE=2"]),
    (TSPL, [("integer", "print-darkness", -100),
                    ("begin", "media-col", {"media-tracking": ("keyword", "continuous")})],
     ["TSPL.DENSITY=4", "TSPL.PAPERTYPE=0"]),
    (("qvorxlbl",), [("integer", "print-speed", 10000), ("integer", "print-darkness", 40),
                     ("keyword", "cut-after-each-page", "partial"), ("integer", "feed-after-page", 10),
                     ("begin", "media-col", {"media-tracking": ("keyword", "continuous")})],
     ["ORX.SPEED=4", "ORX.DENSITY=15", "ORX.FINISHPRINTCUT=1", "ORX.FINISHPRINTFEED=10", "ORX.PAPERTYPE=0"]),
    (("qvorxlbl",), [("enum", "finishings", 11)], ["ORX.FINISHPRINTCUT=2"]),
    (RECEIPTS, [("enum", "finishings", 11), ("keyword", "cut-at-job-end", "partial")], ["CutAtJobEnd=Partial"]),
    # A cut after each page ends the job: no second cut, no blank slip.
    (RECEIPTS, [("keyword", "cut-after-each-page", "full")], ["CutAfterEachPage=Full", "CutAtJobEnd=None"]),
]


def main():
    t.skip_unless_runnable(t.FILTER)
    f = t.Failures()
    work = t.tempdir("app-same-bytes")
    listeners = {}
    with t.AppServer(work) as server:
        server.start()
        for model in t.MODELS:
            listeners[model] = t.Listener(os.path.join(work, model))
            os.makedirs(listeners[model].workdir, exist_ok=True)
            server.add_printer(model, model, "socket://127.0.0.1:%d" % listeners[model].port)

        cases = []  # (model, IPP attributes, PPD options, document format)
        for model in t.MODELS:
            transfers = TRANSFERS if model in TRANSFER_OPTION else [(None, None)]
            for ipp_bin, ppd_bin in BINARISATIONS:
                for keyword, choice in transfers:
                    ipp = list(ipp_bin)
                    ppd = ["ImageBinarizationAlgorithm=" + ppd_bin]
                    if keyword:
                        ipp.append(("keyword", "image-transfer", keyword))
                        ppd.append(TRANSFER_OPTION[model] + "=" + choice)
                    cases.append((model, ipp, ppd, "image/pwg-raster"))
            for models, ipp, ppd in EXTRA:
                if model in models:
                    cases.append((model, ipp, ppd, "image/pwg-raster"))
            # The other raster forms clients send: 8-bit black and Apple raster.
            cases.append((model, [], [], "black_8"))
            cases.append((model, [], [], "image/urf"))

        counts = {m: 0 for m in t.MODELS}
        for n, (model, ipp, ppd, fmt) in enumerate(cases):
            width = t.MODELS[model][1]
            pages = [t.receipt_gray(width, 260, seed=n), t.receipt_gray(width, 200, seed=n + 7)]
            raster = os.path.join(work, "case-%d.ras" % n)
            with open(raster, "wb") as out:
                out.write(t.cups_raster_k(pages))
            expected = os.path.join(work, "case-%d.filter.bin" % n)
            rc, err = t.run_filter(os.path.join(t.PPD_DIR, model + ".ppd"), ppd, raster, expected)
            if not f.check(rc == 0, "%s %s: filter failed (%d) %s" % (model, ppd, rc, err[-500:])):
                continue
            if fmt == "black_8":
                document, fmt = t.pwg_raster(pages, t.BLACK), "image/pwg-raster"
            elif fmt == "image/urf":
                document = t.apple_raster(pages)
            else:
                document = t.pwg_raster(pages)
            status, job = t.print_job(server, model, document, fmt, ipp)
            if not f.check(status < 0x100 and job > 0, "%s %s: Print-Job status 0x%04x" % (model, ipp, status)):
                continue
            state = t.wait_job(server, model, job)
            counts[model] += 1
            capture = t.wait_capture(listeners[model], counts[model])
            if not f.check(state[0] == "completed" and capture, "%s %s: job %s %s" % (model, ipp, state, capture)):
                continue
            got, want = t.read(capture), t.read(expected)
            if got != want:
                at = next((i for i in range(min(len(got), len(want))) if got[i] != want[i]), min(len(got), len(want)))
                f.check(False, "%s %s (%s): app wrote %d bytes, filter %d; first difference at byte %d" % (
                    model, ipp, fmt, len(got), len(want), at))
        print("%d cases compared" % len(cases))
        f.check(not server.crashed(), "the server crashed")
    for listener in listeners.values():
        listener.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
