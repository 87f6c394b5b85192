#!/usr/bin/env python3
"""Every generated PPD with the real CUPS chain (cupsfilter: pdftopdf,
gstoraster, quorvane): the printer stream, decoded by quorvane-preview,
shows dot for dot the pages the chain rendered, binarised by the filter's
own page engine (quorvane-raster-to-mono), with the hook commands, cuts and
feeds the options ask for.

The expected pages share the engine with the filter on purpose: what this
checks is the road through CUPS (the chain's raster reaching the filter
whole, the PPD's options reaching the engine, every page and command
arriving at the printer), not the engine's arithmetic, which the worked
examples of the unit and whole-job tests pin down independently."""

import os
import shutil
import sys

import cupstest as ct

# Paper fed before a cut by the receipt PPDs' cutter options: ESC d 4 at the
# preview's 30 dots per line.
CUT_FEED = 4 * 30


def case(name, ppd, document, options, mono_args, layout, feed, ending, commands):
    return dict(name=name, ppd=ppd, document=document, options=options, mono_args=mono_args,
                layout=layout, feed=feed, ending=ending, commands=commands)


# The models' placement defaults: printable width, placement within it and
# centring (the TSPL model prints the label's own width from the left).
MODEL_ARGS = {
    "qv80rcpt.ppd": ["--max-width", "576", "--place", "1", "--align", "1"],
    "qv58rcpt.ppd": ["--max-width", "384", "--place", "1", "--align", "1"],
    "qv4tspl.ppd": ["--max-width", "832", "--place", "0"],
    "qvorxlbl.ppd": ["--max-width", "576", "--place", "1", "--align", "1"],
}

RECEIPT_SAVING = ["--save-top", "24", "--save-middle", "96", "--save-bottom", "24"]
RECEIPT_START = ["NUL  64 zero bytes", "ESC @"]
CASES = [
    # Defaults: the pages run on one strip, paper saved (3 mm of blank paper
    # kept at the top and bottom of each, gaps shortened to 12 mm), a feed
    # and a full cut at the end of the job.
    case("80mm defaults", "qv80rcpt.ppd", "receipt.pdf", [], RECEIPT_SAVING,
         "strip", CUT_FEED, "full cut (GS V)", RECEIPT_START + ["GS v 0", "ESC d", "GS V"]),
    case("80mm run-length rows, cut after every page, threshold", "qv80rcpt.ppd", "receipt.pdf",
         ["ImageCmdConversionAlgorithm=1", "CutAfterEachPage=Full", "CutAtJobEnd=None",
          "ImageBinarizationAlgorithm=1", "PaperSaveBottom=0", "PaperSaveTop=0", "PaperSaveMiddle=0"],
         ["--algorithm", "1"], "per-page", CUT_FEED, "full cut (GS V)",
         RECEIPT_START + ["US ( P", "GS V"]),
    case("80mm JBIG bands, partial cuts, error diffusion, drawer", "qv80rcpt.ppd", "receipt.pdf",
         ["ImageCmdConversionAlgorithm=2", "CutAfterEachPage=Partial", "CutAtJobEnd=None",
          "ImageBinarizationAlgorithm=2", "PaperSaveBottom=8", "CashDrawer=Drawer2"],
         ["--algorithm", "2", "--save-top", "24", "--save-middle", "96", "--save-bottom", "8"], "per-page", CUT_FEED, "partial cut (GS V)",
         RECEIPT_START + ["US ( J", "GS V", "ESC p"]),
    case("58mm defaults", "qv58rcpt.ppd", "receipt.pdf", [], RECEIPT_SAVING,
         "strip", CUT_FEED, "full cut (GS V)", RECEIPT_START + ["GS v 0", "GS V"]),
    case("TSPL labels", "qv4tspl.ppd", "label.pdf",
         ["PageSize=40x60mmRotated.Fullbleed", "TSPL.DENSITY=8", "TSPL.SPEED=3"], [],
         "per-page", 0, "label printed (TSPL PRINT)",
         ["NUL  64 zero bytes", "TSPL SIZE", "TSPL GAP  3.00 mm,0.00 mm", "TSPL DENSITY  8",
          "TSPL SPEED  3", "TSPL CLS", "TSPL BITMAP", "TSPL PRINT  1,1"]),
    case("TSPL labels on black-mark stock", "qv4tspl.ppd", "label.pdf",
         ["PageSize=40x60mmRotated.Fullbleed", "TSPL.PAPERTYPE=2"], [],
         "per-page", 0, "label printed (TSPL PRINT)", ["TSPL BLINE  3.00 mm,0.00 mm"]),
    case("ORX defaults", "qvorxlbl.ppd", "label.pdf", [], [], "strip", 0, "end of stream",
         ["NUL  64 zero bytes", "ESC @", "ORX label start", "GS v 0", "ORX label end"]),
    case("ORX run-length, feed and full cut", "qvorxlbl.ppd", "label.pdf",
         ["ORX.IMAGECOMPRESSION=1", "ORX.FINISHPRINTFEED=10", "ORX.FINISHPRINTCUT=2",
          "ORX.DENSITY=12", "ORX.SPEED=4"], [],
         "per-page", 80, "full cut (ESC i)",
         ["ORX density  12 23 0C (step 12)", "ORX speed  speed value 100", "US ( P", "ESC J", "ESC i"]),
    case("ORX right-aligned, shifted 1 mm left", "qvorxlbl.ppd", "label.pdf",
         ["HorizontalPrintAlignment=2", "HorizontalPrintOffset=-8", "ORX.FINISHPRINTCUT=2"],
         ["--align", "2", "--offset", "-8"], "per-page", 0, "full cut (ESC i)", ["GS v 0", "ESC i"]),
    case("ORX JBIG, partial cut", "qvorxlbl.ppd", "label.pdf",
         ["ORX.IMAGECOMPRESSION=2", "ORX.FINISHPRINTCUT=1", "ORX.PAPERTYPE=0"], [],
         "per-page", 0, "partial cut (ESC m)", ["US ( J", "ESC m"]),
]


def run_case(cf, c, work, fails):
    tag = c["name"].replace(" ", "_").replace(",", "")
    ppd_path = ct.ppd(c["ppd"])
    document = ct.doc(c["document"])
    raster = os.path.join(work, tag + ".ras")
    stream = os.path.join(work, tag + ".prn")
    rc, err = cf.raster(ppd_path, document, c["options"], raster)
    if not fails.check(rc == 0, "%s: the chain to raster failed: %s" % (c["name"], err[-2000:])):
        return
    rc, err = cf.printer(ppd_path, document, c["options"], stream)
    if not fails.check(rc == 0, "%s: the chain to the printer failed: %s" % (c["name"], err[-2000:])):
        return
    fails.check("quorvane (PID" in err and "exited with no errors" in err,
                "%s: quorvane did not run or failed" % c["name"])

    expected = ct.raster_to_mono(raster, work, tag + "-expected", MODEL_ARGS[c["ppd"]] + c["mono_args"])
    status, summary, pages = ct.preview(stream, work, tag + "-preview")
    fails.check(status == 0, "%s: the preview did not understand every byte:\n%s" % (c["name"], summary))
    for text in c["commands"]:
        fails.check(text in summary, "%s: %r missing from the summary:\n%s" % (c["name"], text, summary))

    if c["layout"] == "strip":
        expected_pages = [ct.stack(expected)]
    else:
        expected_pages = expected
    if not fails.check(len(pages) == len(expected_pages),
                       "%s: %d pages in the preview, %d expected\n%s" %
                       (c["name"], len(pages), len(expected_pages), summary)):
        return
    for i, (page, want) in enumerate(zip(pages, expected_pages), 1):
        diff = ct.compare_placed(page, want)
        fails.check(diff is None, "%s: page %d: %s" % (c["name"], i, diff))
        if c["ending"] != "end of stream" or c["feed"]:
            fails.check(page.height == want.height + c["feed"],
                        "%s: page %d is %d rows, expected %d rows of image and %d of feed" %
                        (c["name"], i, page.height, want.height, c["feed"]))
        fails.check(want.black_dots() > 1000,
                    "%s: page %d of the document rendered almost empty" % (c["name"], i))
    fails.check(summary.count("ended by " + c["ending"]) == len(expected_pages),
                "%s: pages not ended by %s:\n%s" % (c["name"], c["ending"], summary))
    print("ok: %s (%d pages)" % (c["name"], len(pages)), flush=True)


def white_page(cf, work, fails):
    """White paper gets no dot: the colour model delivers 8-bit K raster
    where 0 is white, and the filter prints nothing for it."""
    for ppd_name, size in (("qv80rcpt.ppd", "80x200mm"), ("qv58rcpt.ppd", "58x200mm"),
                           ("qv4tspl.ppd", "4x6.Fullbleed"), ("qvorxlbl.ppd", "40x60mmRotated.Fullbleed")):
        tag = "white-" + ppd_name
        raster = os.path.join(work, tag + ".ras")
        stream = os.path.join(work, tag + ".prn")
        opts = ["PageSize=" + size]
        rc, err = cf.raster(ct.ppd(ppd_name), ct.doc("white.pdf"), opts, raster)
        if not fails.check(rc == 0, "white page, %s: chain to raster failed: %s" % (ppd_name, err[-2000:])):
            continue
        h = ct.raster_headers(raster)
        fails.check((h["cupsColorSpace"], h["cupsBitsPerColor"], h["cupsBitsPerPixel"], h["cupsColorOrder"])
                    == (3, 8, 8, 0), "%s: raster is not 8-bit K, chunky: %r" % (ppd_name, h))
        fails.check(h["HWResolution"] == (203, 203), "%s: resolution %r" % (ppd_name, h["HWResolution"]))
        if ppd_name == "qv80rcpt.ppd":
            fails.check(h["cupsWidth"] == 576, "80 mm paper gives %d dots, not 576" % h["cupsWidth"])
        if ppd_name == "qv58rcpt.ppd":
            fails.check(h["cupsWidth"] == 384, "58 mm paper gives %d dots, not 384" % h["cupsWidth"])
        rc, err = cf.printer(ct.ppd(ppd_name), ct.doc("white.pdf"), opts, stream)
        if not fails.check(rc == 0, "white page, %s: chain failed: %s" % (ppd_name, err[-2000:])):
            continue
        status, summary, pages = ct.preview(stream, work, tag)
        fails.check(status == 0, "white page, %s: preview status %d\n%s" % (ppd_name, status, summary))
        fails.check(len(pages) >= 1, "white page, %s: no page came out\n%s" % (ppd_name, summary))
        dots = sum(p.black_dots() for p in pages)
        fails.check(dots == 0, "white page, %s: %d black dots printed" % (ppd_name, dots))
        print("ok: white page through %s" % ppd_name, flush=True)


def main():
    missing = ct.have("cupsfilter", "gs", ct.FILTER, ct.PREVIEW, ct.RASTER_TO_MONO)
    if missing:
        print("SKIP: missing %s (scripts/setup.sh installs cups-filters and ghostscript)" % missing)
        return ct.SKIP
    if not os.path.isdir(os.path.join(ct.SYSTEM_SERVERBIN, "filter")):
        print("SKIP: no CUPS filters in %s" % ct.SYSTEM_SERVERBIN)
        return ct.SKIP
    fails = ct.Failures()
    work = ct.tempdir("cupsfilter")
    try:
        cf = ct.Cupsfilter(work)
        white_page(cf, work, fails)
        for c in CASES:
            run_case(cf, c, work, fails)
    finally:
        if fails.messages:
            print("work files kept in " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    fails.finish()


if __name__ == "__main__":
    sys.exit(main())
