"""The project's own ipptool tests at 203 dpi (receipt-jobs.test,
label-jobs.test, bad-jobs.test) against a private server, then what reached
each printer: PWG raster in sGray and black and Apple raster give the same
bytes, pictures print, copies are written once each, vendor attributes take
effect, and failed jobs send nothing."""

import os
import struct

import apptest as t


def ipptool(uri, test, defines):
    # -L: a request body with a length; with chunks PAPPL 1.3.1 waits for
    # the rest of a truncated raster until its 60 s timeout.
    cmd = ["ipptool", "-t", "-L"]
    for k, v in defines.items():
        cmd += ["-d", "%s=%s" % (k, v)]
    p = t.run(cmd + [uri, os.path.join(t.HERE, test)], timeout=240)
    return p.returncode, p.stdout.decode("latin-1") + p.stderr.decode("latin-1")


def main():
    t.skip_unless_runnable("ipptool", "gs", t.PREVIEW)
    f = t.Failures()
    work = t.tempdir("app-ipp-jobs")
    files = {}

    def put(name, data):
        files[name] = os.path.join(work, name)
        with open(files[name], "wb") as out:
            out.write(data)

    page1, page2 = t.receipt_gray(640, 400, seed=3), t.receipt_gray(640, 300, seed=5)
    put("sgray", t.pwg_raster([page1, page2]))
    put("black", t.pwg_raster([page1, page2], t.BLACK))
    put("urf", t.apple_raster([page1, page2]))
    put("sgray1", t.pwg_raster([page1]))
    put("png", t.png_gray(page1))
    put("label", t.pwg_raster([t.receipt_gray(576, 320)]))
    whole = t.pwg_raster([page1])
    put("truncated", whole[:4 + 1796 + 10 * 100])
    srgb = bytearray(t.raster_header(640, 20, 19))
    for off, value in ((388, 24), (392, 3 * 640), (420, 3)):
        struct.pack_into(">I", srgb, off, value)
    put("srgb", b"RaS2" + bytes(srgb) + (b"\0" + bytes([127, 255, 255, 255]) * 5 + bytes([0x80 | 0x7f, 0, 0, 0])) * 0 +
        b"".join(b"\0" + bytes([0x7f, 255, 255, 255]) * 5 for _ in range(20)))
    files["jpeg"] = os.path.join(work, "receipt.jpg")
    gs = t.run(["gs", "-q", "-dSAFER", "-sDEVICE=jpeggray", "-r203", "-dFirstPage=1", "-dLastPage=1",
                "-o", files["jpeg"], os.path.join(t.DATA, "receipt.pdf")])
    f.check(gs.returncode == 0, "gs made no JPEG: %s" % gs.stderr.decode()[-300:])

    listeners = {}
    with t.AppServer(work) as server:
        server.start()
        for name, driver in (("receipt", "qv80rcpt"), ("orx", "qvorxlbl"), ("tspl", "qv4tspl"), ("bad", "qv80rcpt")):
            listeners[name] = t.Listener(os.path.join(work, name))
            os.makedirs(listeners[name].workdir, exist_ok=True)
            server.add_printer(name, driver, "socket://127.0.0.1:%d" % listeners[name].port)

        runs = [("receipt", "receipt-jobs.test", {}),
                ("orx", "label-jobs.test", {"speed": 10000, "orx": 1}),
                ("tspl", "label-jobs.test", {"speed": 5080}),
                ("bad", "bad-jobs.test", {})]
        for printer, test, extra in runs:
            defines = dict((k, v) for k, v in files.items())
            defines.update(extra)
            rc, out = ipptool(server.uri(printer), test, defines)
            f.check(rc == 0, "%s on %s failed:\n%s" % (test, printer, "\n".join(
                line for line in out.splitlines() if "FAIL" in line or "EXPECTED" in line or "GOT" in line)[:3000]))

        # What the printers received.
        caps = listeners["receipt"].captures
        if f.check(len(caps) == 9, "receipt printer got %d jobs, not 9" % len(caps)):
            data = [t.read(c) for c in caps]
            f.check(data[1] == data[0], "black_8 raster printed other bytes than sgray_8")
            f.check(data[2] == data[0], "Apple raster printed other bytes than PWG raster")
            # Copies run on as one page, as the filter writes them, pictures
            # as well as raster.
            expected_pages = [2, 2, 2, 1, 1, 1, 1, 1, 1]
            first = picture = None
            for i, (cap, pages) in enumerate(zip(caps, expected_pages)):
                rc, summary, bitmaps = t.preview(cap, work, "receipt-%d" % (i + 1))
                f.check(rc == 0, "receipt job %d: the preview does not understand the bytes: %s" % (i + 1, summary))
                f.check(len(bitmaps) == pages, "receipt job %d: %d pages, not %d" % (i + 1, len(bitmaps), pages))
                f.check(all(b.black_dots() > 1000 for b in bitmaps), "receipt job %d: a blank page" % (i + 1))
                if i == 0 and bitmaps:
                    first = bitmaps[0]
                if i == 3 and bitmaps:
                    picture = bitmaps[0]
                for copies, single in ((3, first), (2, picture)):
                    if i == {3: 5, 2: 6}[copies] and len(bitmaps) == 1 and single:
                        # The page's block once a copy, then the one feed and cut.
                        block = (len(bitmaps[0].rows) - len(single.rows)) // (copies - 1)
                        f.check(block > 0 and
                                bitmaps[0].rows == single.rows[:block] * copies + single.rows[block:],
                                "%d copies are not the page's block %d times" % (copies, copies))
                if i == 7:
                    f.check("drawer" in summary.lower(), "the cash drawer kick is missing: %s" % summary)
        for name, count in (("orx", 2), ("tspl", 1)):
            caps = listeners[name].captures
            if f.check(len(caps) == count, "%s printer got %d jobs, not %d" % (name, len(caps), count)):
                for i, cap in enumerate(caps):
                    rc, summary, bitmaps = t.preview(cap, work, "%s-%d" % (name, i + 1))
                    f.check(rc == 0 and len(bitmaps) == 1 and bitmaps[0].black_dots() > 1000,
                            "%s job %d: %d pages, preview %d: %s" % (name, i + 1, len(bitmaps), rc, summary))
        sent = sum(len(t.read(c)) for c in listeners["bad"].captures)
        f.check(sent == 0, "the failed jobs sent %d bytes to the printer" % sent)
        f.check(not server.crashed(), "the server crashed")
    for listener in listeners.values():
        listener.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
