"""Pictures through the application's own decoders on a private server: a
576 x 20000 PNG (a 2.5 m receipt) prints every row as it is, one pixel a
dot; a picture on a 4 x 6 in label is fitted and centred; the printers' raw
format passes through; corrupt, truncated and oversized pictures are
refused with document-format-error and a message, and the printer gets
nothing of them."""

import os
import struct
import zlib

import apptest as t


def png(width, height, rows_raw, color_type=0):
    """A PNG of filtered rows (filter byte first) in the given colour type."""
    chunk = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d) & 0xffffffff)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(rows_raw)) + chunk(b"IEND", b"")


def stripes_row(y, width):
    """Diagonal stripes: ink on every row, nowhere the same along the roll."""
    return bytes(0 if ((x + y) // 8) % 6 == 0 else 255 for x in range(width))


def packed(row):
    """A gray row (0 = black) as the PBM row of dots it prints as."""
    out = bytearray((len(row) + 7) // 8)
    for x, v in enumerate(row):
        if v == 0:
            out[x // 8] |= 0x80 >> (x % 8)
    return bytes(out)


def main():
    t.skip_unless_runnable(t.PREVIEW)
    f = t.Failures()
    work = t.tempdir("app-pictures")

    width, length = 576, 20000
    period = 48  # the stripes repeat every 48 rows
    rows = [stripes_row(y, width) for y in range(period)]
    receipt = png(width, length, b"".join(b"\0" + rows[y % period] for y in range(length)))
    # 1624 x 1218 black: fitted to the 812 x 1218 dot label it is 812 x 609.
    label = png(1624, 1218, (b"\0" + bytes(1624)) * 1218)
    small = png(64, 64, (b"\0" + bytes(range(0, 256, 4))) * 64)
    idat = small.index(b"IDAT")
    bad_crc = bytearray(small)
    bad_crc[idat + 6] ^= 0xff
    oversized = png(100000, 100000, b"\0" * 10)  # a header no page can hold; its data never read
    refused = [("corrupt", bytes(bad_crc), ("damaged",)),
               ("truncated", small[:idat + 20], ("cut short",)),
               ("oversized", oversized, ("100000", "largest picture", "1073741824 pixels"))]

    with t.AppServer(work) as server:
        server.start()
        listeners = {}
        for name, driver in (("receipt", "qv80rcpt"), ("label", "qv4tspl")):
            listeners[name] = t.Listener(os.path.join(work, name))
            os.makedirs(listeners[name].workdir, exist_ok=True)
            server.add_printer(name, driver, "socket://127.0.0.1:%d" % listeners[name].port)

        data = t.print_and_capture(server, "receipt", listeners["receipt"], receipt, "image/png")
        if f.check(data is not None, "the 576 x 20000 PNG did not print: %s" % (server.log_text()[-1500:],)):
            with open(os.path.join(work, "receipt.bin"), "wb") as out:
                out.write(data)
            rc, summary, pages = t.preview(os.path.join(work, "receipt.bin"), work, "receipt")
            if f.check(rc == 0 and len(pages) == 1, "receipt: preview %d, %d pages: %s" % (rc, len(pages), summary)):
                # The rows, then the feed to the cutter as blank paper.
                page = pages[0]
                f.check("[%d rows]" % length in summary and page.width == width and page.height >= length and
                        not any(any(row) for row in page.rows[length:]),
                        "receipt: %d x %d dots, not %d rows of %d: %s" % (page.width, page.height, length, width,
                                                                         summary))
                wrong = [y for y in range(min(page.height, length)) if page.rows[y] != packed(rows[y % period])]
                f.check(not wrong, "%d receipt rows differ from the picture, the first %s" % (len(wrong), wrong[:1]))

        data = t.print_and_capture(server, "label", listeners["label"], label, "image/png")
        if f.check(data is not None, "the label picture did not print"):
            with open(os.path.join(work, "label.bin"), "wb") as out:
                out.write(data)
            rc, summary, pages = t.preview(os.path.join(work, "label.bin"), work, "label")
            if f.check(rc == 0 and len(pages) == 1, "label: preview %d, %d pages: %s" % (rc, len(pages), summary)):
                page = pages[0]
                inked = [y for y, row in enumerate(page.rows) if any(row)]
                f.check(page.height == 1218 and inked[:1] == [304] and inked[-1:] == [912] and
                        page.black_dots() == 812 * 609,
                        "label: %d rows, ink on rows %s..%s, %d dots; not 812 x 609 centred on 1218 rows" % (
                            page.height, inked[:1], inked[-1:], page.black_dots()))

        # The printers' own commands go through as they came, once a copy.
        raw = b"\x1b@hello\n\x1dV\x00"
        data = t.print_and_capture(server, "receipt", listeners["receipt"], raw, "application/vnd.quorvane-raw",
                                   [("integer", "copies", 2)])
        f.check(data == raw * 2, "raw commands, 2 copies: the printer got %r" % (data,))

        for tag, document, words in refused:
            count = len(listeners["receipt"].captures)
            status, job = t.print_job(server, "receipt", document, "image/png", retry_busy=True)
            state, reasons, message = t.wait_job(server, "receipt", job) if job else ("?", [], "")
            f.check(state == "aborted" and "document-format-error" in reasons and all(w in message for w in words),
                    "%s picture: %s %s \"%s\", not aborted with a message naming \"%s\"" % (
                        tag, state, reasons, message, words))
            capture = t.wait_capture(listeners["receipt"], count + 1, timeout=5)
            f.check(capture is None or not t.read(capture), "%s picture: bytes reached the printer" % tag)
        f.check(not server.crashed(), "the server crashed")
    for listener in listeners.values():
        listener.stop()
    t.finish(f, work)


if __name__ == "__main__":
    main()
