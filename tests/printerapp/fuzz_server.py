"""Black-box fuzzer for the Printer Application: mutated IPP requests and
documents sent to a private server whose three printers are listeners that
read and discard.

After each input the server has answered within ANSWER_S seconds (a
document that ends early fails its job at once), still answers
Get-Printer-Attributes, has not crashed and its sanitizers are silent; each
job ends within JOB_S seconds of its printer starting it (a job held for its
document, within JOB_S of its multiple-operation-time-out).

Input N is made from the seed, N and the job ids the server gave before it.
A failure prints the seed and N and saves the input in the findings folder;
the inputs kept in fuzz_cases/ are replayed first, every run, each on its
own. An input file is a comment line, then per request a line
"POST PATH SIZE [chunked] [length=N] [job-id]" and SIZE bytes (job-id: the
job id answered to the request before goes into the job-id attribute;
length=N: N is sent as Content-Length). Nothing that lists devices is sent:
PAPPL 1.3.1 aborts on it without avahi.

Exit status: 0 nothing found, 1 the server failed, 2 the harness failed,
77 the application cannot run here.
"""

import argparse
import glob
import http.client
import os
import random
import re
import signal
import struct
import subprocess
import sys
import time
import traceback
import zlib

import apptest as t

CASES = os.path.join(t.HERE, "fuzz_cases")
PRINTERS = {"receipt": "qv80rcpt", "label": "qv4tspl", "orx": "qvorxlbl"}
ANSWER_S, ALIVE_S, JOB_S = 8, 5, 30
SHOWN = 3  # findings of one kind and place printed and saved in full

PRINT, VALIDATE, CREATE, SEND, CANCEL, JOB_ATTRS, JOBS, PRINTER_ATTRS, SET_PRINTER = (
    0x02, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0A, 0x0B, 0x13)
# The only operations sent: none lists devices or stops a printer.
SAFE_OPS = [PRINT, VALIDATE, CREATE, SEND, CANCEL, JOB_ATTRS, JOBS, PRINTER_ATTRS, SET_PRINTER, 0, 1, 0x3FFF, 0xFFFF]
OP_GROUP, JOB_GROUP, PRINTER_GROUP, END = 0x01, 0x02, 0x04, 0x03
INT, BOOL, ENUM, RES, COLL, END_COLL, TEXT, NAME, KEYWORD, URI, CHARSET, LANG, MIME, MEMBER = (
    0x21, 0x22, 0x23, 0x32, 0x34, 0x37, 0x41, 0x42, 0x44, 0x45, 0x47, 0x48, 0x49, 0x4A)
TAGS = [0x10, 0x12, 0x13, INT, BOOL, ENUM, 0x30, 0x31, RES, 0x33, COLL, 0x35, 0x36, END_COLL, TEXT, NAME, KEYWORD,
        URI, 0x46, CHARSET, LANG, MIME, MEMBER, 0x5F, 0x7F]
BAD_INTS = [-1, 0, 1, 101, -101, 65536, 0x7FFFFFFF, -0x80000000]
FORMATS = ["image/pwg-raster", "image/urf", "image/png", "image/jpeg", "application/octet-stream",
           "application/pdf", "text/plain", "application/vnd.unknown", "image/*", ""]


# --- IPP requests that may lie ------------------------------------------------------

def attr(tag, name, *values):
    return [tag, name, list(values)]


def encode_attr(tag, name, values):
    """An attribute as IPP encodes it, whatever its tag and values say."""
    def head(tg, nm, data=b""):
        return bytes([tg]) + struct.pack(">H", len(nm)) + nm + struct.pack(">H", len(data[:0xFFFF])) + data[:0xFFFF]

    out, name = b"", name.encode("utf-8", "surrogateescape")[:0xFFFF]
    for v in values or [b""]:
        if tag == COLL:
            out += head(COLL, name) + b"".join(head(MEMBER, b"", m[1].encode()) + encode_attr(m[0], "", m[2])
                                               for m in (v if isinstance(v, list) else [])) + head(END_COLL, b"")
        elif isinstance(v, int) and not isinstance(v, bool):
            out += head(tag, name, struct.pack(">I", v & 0xFFFFFFFF))
        else:
            out += head(tag, name, bytes([v]) if isinstance(v, bool) else v if isinstance(v, bytes) else
                        v.encode("utf-8", "surrogateescape") if isinstance(v, str) else b"")
        name = b""
    return out


def encode(req):
    out = struct.pack(">BBHI", req["version"][0], req["version"][1], req["op"], req["id"])
    for group, attrs in req["groups"]:
        out += bytes([group]) + b"".join(encode_attr(*a) for a in attrs)
    return out + bytes([END])


def length_fields(ipp):
    """Offsets of the name and value lengths in an encoded request."""
    pos, found = 8, []
    while pos < len(ipp) and ipp[pos] != END:
        tag, pos = ipp[pos], pos + 1
        for _ in range(2 if tag >= 0x10 else 0):  # the name, then the value
            if pos + 2 > len(ipp):
                return found
            found.append(pos)
            pos += 2 + struct.unpack_from(">H", ipp, pos)[0]
    return found


def some_attr(rng, req):
    found = [(g, a) for g in req["groups"] for a in g[1]]
    return rng.choice(found) if found else (req["groups"][0], attr(KEYWORD, "x", "y"))


def nested(depth):
    return [attr(INT, "x-dimension", 10160), attr(COLL, "media-size", nested(depth - 1))] if depth else []


def set_fields(**fields):
    """A mutation setting fields (tag, name, values) of a random attribute."""
    def mutate(rng, req):
        a = some_attr(rng, req)[1]
        for field, choices in fields.items():
            a[["tag", "name", "values"].index(field)] = rng.choice(choices)
    return mutate


def repeat(rng, req):
    group, a = some_attr(rng, req)
    group[1].insert(rng.randrange(len(group[1]) + 1), list(a))


def move(rng, req):
    group, a = some_attr(rng, req)
    if a in group[1]:
        group[1].remove(a)
    rng.choice(req["groups"])[1].append(a)


ATTR_MUTATIONS = [
    ("wrong tag", set_fields(tag=TAGS)),
    ("integer out of range", set_fields(values=[[v] for v in BAD_INTS])),
    ("huge value", set_fields(values=[["\u00e9" * n] for n in (128, 2048, 40000)])),
    ("huge name", set_fields(name=["n" * n for n in (255, 1024, 65535)])),
    ("empty value", set_fields(values=[[""]])),
    ("empty name", set_fields(name=[""])),
    ("collection for a scalar", set_fields(tag=[COLL], values=[[nested(d)] for d in (1, 3, 40)])),
    ("many values", set_fields(values=[[1] * 2000, ["x"] * 50, [True, False]])),
    ("repeated", repeat),
    ("unknown name", lambda rng, req: rng.choice(req["groups"])[1].append(attr(rng.choice(TAGS[3:]), rng.choice(
        ["x-fuzz", "paper-save-topp", "job-id ", "\u00ff\xfe", "a" * 300]), rng.choice([0, "text", b"\0\0"])))),
    ("missing operation attribute", lambda rng, req: req["groups"][0][1].pop(
        rng.randrange(len(req["groups"][0][1]))) if req["groups"][0][1] else None),
    ("attribute in another group", move),
    ("group tag", lambda rng, req: rng.choice(req["groups"]).__setitem__(0, rng.choice([0, 2, 4, 5, 6, 7, 0x0F]))),
    ("charset or language", lambda rng, req: req["groups"][0][1].insert(0, attr(
        rng.choice([CHARSET, LANG]), rng.choice(["attributes-charset", "attributes-natural-language"]),
        rng.choice(["bogus", "", "us-ascii", "\xff"])))),
    ("version, request id or operation", lambda rng, req: req.update(
        version=rng.choice([[1, 0], [1, 1], [0, 0], [9, 9]]), id=rng.choice([0, 0x7FFFFFFF, 0xFFFFFFFF]),
        op=rng.choice(SAFE_OPS))),
]


def flip_bits(rng, body, ipp_len):
    end = ipp_len if rng.random() < 0.7 else len(body)  # mostly in the IPP part
    for pos in rng.sample(range(8, end), min(rng.randint(1, 8), end - 8)):
        body[pos] ^= 1 << rng.randrange(8)


def lie_length(rng, body, ipp_len):
    fields = length_fields(bytes(body[:ipp_len]))
    if fields:
        pos = rng.choice(fields)
        old = struct.unpack_from(">H", body, pos)[0]
        struct.pack_into(">H", body, pos, rng.choice([0, 1, 0xFFFF, (old + 1) & 0xFFFF, (old - 1) & 0xFFFF]))


# On the encoded request (IPP part, then document); its first 8 bytes stay
# as they are, so that only SAFE_OPS are ever sent.
BYTE_MUTATIONS = [
    ("bit flips", flip_bits),
    ("length lies", lie_length),
    ("truncated", lambda rng, body, n: body.__delitem__(slice(rng.randrange(8, len(body)), None))),
    ("no end tag", lambda rng, body, n: body.__delitem__(n - 1)),
    ("bytes inserted", lambda rng, body, n: body.__setitem__(slice(p := rng.randrange(8, len(body)), p),
                                                             rng.randbytes(rng.randint(1, 64)))),
    ("bytes removed", lambda rng, body, n: body.__delitem__(slice(p := rng.randrange(8, len(body)),
                                                                  p + rng.randint(1, 64)))),
]


# --- documents ----------------------------------------------------------------------

def rows_for(rng, width, height):
    kind = rng.choice(["white", "black", "bars", "noise"])
    if kind == "noise" and width * height <= 65536:
        return [rng.randbytes(width) for _ in range(height)]
    return [{"white": b"\xff" * width, "black": bytes(width)}.get(kind, bytes(x // 8 % 2 * 255 for x in range(width)))
            ] * height


def lie(rng, data, table, desc):
    """A field of a header set to a value from the table ("+1": one more)."""
    name, offsets, fmt, values = rng.choice(table)
    v = rng.choice(values)
    for off in offsets if isinstance(offsets, tuple) else (offsets,):
        new = struct.unpack_from(fmt, data, off)[0] + int(v) if isinstance(v, str) else v
        struct.pack_into(fmt, data, off, new % (1 << 8 * struct.calcsize(fmt)))
    return "%s %s=%s" % (desc, name, v)


SIZES = [0, 1, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF, "+1", "-1"]
PWG_LIES = [  # offsets in a page header
    ("width", 372, ">I", SIZES), ("height", 376, ">I", SIZES), ("bits per colour", 384, ">I", [0, 1, 2, 16, 255]),
    ("bits per pixel", 388, ">I", [0, 1, 24, 32, 255]), ("bytes per line", 392, ">I", SIZES),
    ("width and bytes per line", (372, 392), ">I", [100000, 0x1000000, 0x7FFFFFFF]),
    ("colour order", 396, ">I", [1, 2, 99]), ("colour space", 400, ">I", [0, 1, 6, 19, 20, 0xFFFFFFFF]),
    ("resolution", (276, 280), ">I", [0, 1, 600, 0xFFFFFFFF]), ("page size", (352, 356), ">I", [0, 0xFFFFFFFF]),
    ("copies", 340, ">I", [0, 2, 1000, 0xFFFFFFFF]), ("total page count", 452, ">I", [0, 2, 1000, 0xFFFFFFFF])]
URF_LIES = [  # offsets in a page header
    ("bits per pixel", 0, "B", [0, 1, 16, 24, 32, 48, 64, 255]), ("colour space", 1, "B", [1, 2, 3, 4, 6, 255]),
    ("duplex", 2, "B", [0, 9]), ("quality", 3, "B", [0, 9]), ("width", 12, ">I", SIZES),
    ("height", 16, ">I", SIZES), ("resolution", 20, ">I", [0, 1, 0xFFFFFFFF])]
PNG_LIES = [  # offsets in the IHDR chunk's data
    ("width", 0, ">I", [0, 1, 16385, 0x7FFFFFFF, 0xFFFFFFFF, "+1"]),
    ("height", 4, ">I", [0, 16385, 0x7FFFFFFF, "+1", "-1"]), ("bit depth", 8, "B", [0, 1, 2, 3, 4, 16]),
    ("colour type", 9, "B", [1, 2, 3, 4, 6, 7]), ("compression", 10, "B", [1]), ("filter", 11, "B", [1]),
    ("interlace", 12, "B", [1, 2])]
JPEG_LIES = [  # offsets in the JPEG, in its frame header
    ("precision", 75, "B", [0, 12, 16]), ("height", 76, ">H", [0, 1, 65535, "+8"]),
    ("width", 78, ">H", [0, 16385, 65535]), ("components", 80, "B", [0, 3, 4, 255]),
    ("sampling", 82, "B", [0x00, 0x44, 0xFF]), ("quantisation table", 83, "B", [3, 9])]
WIDTHS, HEIGHTS = [1, 7, 64, 384, 576, 640, 832, 2000], [1, 2, 16, 100, 400]
_packed = {}


def packed(rows):
    if len(_packed) > 5000:
        _packed.clear()
    for row in rows:
        if row not in _packed:
            _packed[row] = t._packbits_line(row)
    return b"".join(_packed[row] for row in rows)


def pwg_doc(rng):
    w, h, space = rng.choice(WIDTHS), rng.choice(HEIGHTS), rng.choice([t.SGRAY, t.SGRAY, t.BLACK])
    pages = [bytearray(t.raster_header(w, h, space) + packed(rows_for(rng, w, h)))
             for _ in range(rng.choice([1, 2, 3]))]
    desc = "pwg %dx%d, %d pages" % (w, h, len(pages))
    if rng.random() < 0.6:
        desc = lie(rng, rng.choice(pages), PWG_LIES, desc)
    return desc, "image/pwg-raster", b"RaS2" + b"".join(pages)


def urf_doc(rng):
    w, h, n = rng.choice(WIDTHS), rng.choice(HEIGHTS), rng.choice([1, 2, 3])
    head = bytearray(t.apple_raster([[b"\xff" * w]])[12:44])  # a one-row page's header: its height set below
    struct.pack_into(">I", head, 16, h)
    pages = [bytearray(head + packed(rows_for(rng, w, h))) for _ in range(n)]
    doc, desc = bytearray(b"UNIRAST\0" + struct.pack(">I", n)), "urf %dx%d, %d pages" % (w, h, n)
    if rng.random() < 0.1:
        desc = lie(rng, doc, [("page count", 8, ">I", [0, 2, 1000, 0xFFFFFFFF])], desc)
    elif rng.random() < 0.6:
        desc = lie(rng, rng.choice(pages), URF_LIES, desc)
    return desc, "image/urf", bytes(doc) + b"".join(pages)


def png_chunks(data):
    """[type, data, CRC, length], CRC and length None when right."""
    pos, chunks = 8, []
    while pos + 8 <= len(data):
        size, kind = struct.unpack_from(">I4s", data, pos)
        chunks.append([kind, bytearray(data[pos + 8:pos + 8 + size]), None, None])
        pos += 12 + size
    return chunks


def png_join(chunks):
    return b"\x89PNG\r\n\x1a\n" + b"".join(
        struct.pack(">I", len(d) if n is None else n) + k + d + (c or struct.pack(">I", zlib.crc32(k + d)))
        for k, d, c, n in chunks)


PNG_DAMAGE = [  # on the chunks: IHDR first, the picture data before IEND
    ("a bad CRC", lambda rng, ch: rng.choice(ch).__setitem__(2, b"\0\0\0\0")),
    ("picture data damaged", lambda rng, ch: [ch[-2][1].__setitem__(p, rng.randrange(256)) for p in rng.sample(
        range(len(ch[-2][1])), min(4, len(ch[-2][1])))]),
    ("no picture data", lambda rng, ch: ch[-2].__setitem__(1, bytearray())),
    ("no IEND", lambda rng, ch: ch.pop()),
    ("an unknown critical chunk", lambda rng, ch: ch.insert(1, [b"QVFZ", bytearray(10), None, None])),
    ("two IHDR", lambda rng, ch: ch.insert(1, list(ch[0]))),
    ("a chunk length lies", lambda rng, ch: rng.choice(ch).__setitem__(3, rng.choice([0, 1, 0x7FFFFFFF]))),
]
COLOUR_TYPES = [(0, 1, 1), (0, 16, 1), (2, 8, 3), (2, 16, 3), (3, 8, 1), (4, 8, 2), (6, 8, 4)]  # type, depth, samples


def png_doc(rng):
    if rng.random() < 0.15:  # taller or wider than PAPPL's 16384
        w, h = rng.choice([(1, 16385), (8, 20000), (64, 40000), (16385, 2), (8, 16384)])
    else:
        w, h = rng.choice(WIDTHS), rng.choice(HEIGHTS)
    small = w * h <= 65536
    chunks = png_chunks(t.png_gray(rows_for(rng, w, h) if small else [b"\x80" * w] * h))
    desc = "png %dx%d" % (w, h)
    if rng.random() < 0.3:  # a picture of another colour type or depth
        kind, depth, samples = rng.choice(COLOUR_TYPES)
        size = (w * depth * samples + 7) // 8
        chunks[0][1][8:10] = bytes([depth, kind])
        chunks[-2][1] = bytearray(zlib.compress(b"".join(
            b"\0" + (rng.randbytes(size) if small else b"\x7f" * size) for _ in range(h))))
        if kind == 3:
            chunks.insert(1, [b"PLTE", bytearray(rng.randbytes(3 * rng.choice([1, 16, 256]))), None, None])
        desc += ", colour type %d depth %d" % (kind, depth)
    if rng.random() < 0.5:
        crc = struct.pack(">I", zlib.crc32(b"IHDR" + chunks[0][1]))
        desc = lie(rng, chunks[0][1], PNG_LIES, desc)
        if rng.random() < 0.2:
            chunks[0][2] = crc  # a lie its CRC gives away
    if rng.random() < 0.3:
        name, damage = rng.choice(PNG_DAMAGE)
        damage(rng, chunks)
        desc += ", " + name
    return desc, "image/png", png_join(chunks)


def jpeg_gray(width, height, level):
    """A baseline gray JPEG of flat 8x8 blocks: quantisation 1, a DC table
    of 4-bit codes, an AC table holding only end-of-block."""
    seg = lambda marker, data: bytes([0xFF, marker]) + struct.pack(">H", len(data) + 2) + data
    head = (b"\xff\xd8" + seg(0xDB, b"\0" + b"\x01" * 64)
            + seg(0xC0, struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00")
            + seg(0xC4, bytes([0, 0, 0, 0, 12] + [0] * 12) + bytes(range(12)) + bytes([0x10, 1] + [0] * 16))
            + seg(0xDA, b"\x01\x01\x00\x00\x3f\x00"))
    bits, prev = "", 0
    for by in range((height + 7) // 8):
        for bx in range((width + 7) // 8):
            dc = (level(bx, by) - 128) * 8
            diff, prev = dc - prev, dc
            size = abs(diff).bit_length()
            extra = format(diff if diff > 0 else diff + (1 << size) - 1, "0%db" % size) if size else ""
            bits += format(size, "04b") + extra + "0"
    bits += "1" * (-len(bits) % 8)
    data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)).replace(b"\xff", b"\xff\0")
    return head + data + b"\xff\xd9"


def jpeg_doc(rng):
    w, h, k = rng.choice([8, 64, 640, 832]), rng.choice([8, 40, 200]), rng.randrange(1, 64)
    doc, desc = bytearray(jpeg_gray(w, h, lambda x, y: (x * k + y * 37) % 256)), "jpeg %dx%d" % (w, h)
    if rng.random() < 0.5:
        desc = lie(rng, doc, JPEG_LIES, desc)
    return desc, "image/jpeg", bytes(doc)


DAMAGE = [  # what any document can have on top
    ("truncated", lambda rng, d: d[:rng.randrange(len(d) + 1)]),
    ("truncated in its last bytes", lambda rng, d: d[:max(0, len(d) - rng.randint(1, 64))]),
    ("bytes flipped", lambda rng, d: bytes(b ^ (rng.random() < 0.01) * rng.randrange(1, 256) for b in d)),
    ("garbage after it", lambda rng, d: d + rng.randbytes(rng.choice([1, 100, 5000]))),
    ("twice", lambda rng, d: d + d),
    ("a page header after it", lambda rng, d: d + t.raster_header(640, 1000, t.SGRAY)),
]
JUNK = [b"%PDF-1.4\n", b"hello\n", b"=", b"RaS2", b"UNIRAST\0", b"\x89PNG\r\n\x1a\n", b"\xff\xd8\xff\xe0"]
DOCUMENTS = [(3, pwg_doc), (2, urf_doc), (2, png_doc), (2, jpeg_doc),
             (1, lambda rng: ("empty", "application/octet-stream", b"")),
             (1, lambda rng: ("junk", "application/octet-stream", rng.choice(JUNK + [rng.randbytes(4096)])))]


def make_document(rng):
    desc, fmt, doc = rng.choices([d[1] for d in DOCUMENTS], [d[0] for d in DOCUMENTS])[0](rng)
    if doc and rng.random() < 0.35:
        name, damage = rng.choice(DAMAGE)
        desc, doc = desc + ", " + name, damage(rng, doc)
    roll = rng.random()
    fmt = None if roll < 0.1 else rng.choice(FORMATS) if roll < 0.3 else fmt  # None: the server tells
    return desc + (", no format" if fmt is None else ", sent as " + fmt), fmt, doc


# --- requests -----------------------------------------------------------------------

# Made apart, or not to be sent (job-hold-until would hold the job).
NOT_SENT = {"job-hold-until", "notify-events", "notify-lease-duration", "identify-actions", "document-format",
            "finishing-col", "media-col", "copies", "printer-resolution"}
# Standard job attributes whose defaults PAPPL does not let a client set.
NO_DEFAULT = {"finishings", "print-rendering-intent", "print-scaling", "sides", "output-bin", "job-priority",
              "multiple-document-handling", "job-sheets", "copies", "job-name"}


def pools(attrs):
    """From a printer's attributes: its job attributes and its settable
    defaults, with the values it offers ({name: (tag, values)} each)."""
    job = {"copies": (INT, [1, 2, 3]), "printer-resolution": (RES, [struct.pack(">iiB", 203, 203, 3)]),
           "job-name": (NAME, ["fuzz"]), "print-darkness": (INT, [-100, 0, 100]), "print-speed": (INT, [0, 2540])}
    for name, values in attrs.items():
        base, values = name[:-len("-supported")], [v for v in values if not isinstance(v, str) or v.isprintable()]
        if name.endswith("-supported") and base + "-default" in attrs and base not in NOT_SENT and values:
            tag = ENUM if base in ("finishings", "orientation-requested", "print-quality") else \
                BOOL if isinstance(values[0], bool) else INT if isinstance(values[0], int) else KEYWORD
            job[base] = (tag, [True, False] if tag == BOOL else values)
    defaults = {n + "-default": job[n] for n in sorted(job) if n not in NO_DEFAULT}
    defaults.update({"printer-darkness-configured": (INT, [0, 50, 100]), "printer-location": (TEXT, ["till 2"]),
                     "printer-geo-location": (URI, ["geo:52.5,13.4"]), "media-ready": job.get("media", (KEYWORD, [""])),
                     "label-tear-off-configured": (INT, [0, 100]), "label-mode-configured": (KEYWORD, ["tear-off"])})
    return job, defaults


def value(rng, tag, values):
    if rng.random() < 0.85:
        return rng.choice(values)
    return {INT: rng.choice(BAD_INTS), ENUM: rng.choice(BAD_INTS), BOOL: b"\x02", RES: bytes(9)}.get(tag, "bogus")


def media_col(rng, name):
    members = [attr(COLL, "media-size", [attr(INT, "x-dimension", rng.choice([8000, 10160, 0, -1, 0x7FFFFFFF])),
                                         attr(INT, "y-dimension", rng.choice([4000, 15240, 0, 100000000]))])]
    for member, values in (("media-size-name", ["om_60x40mm_60x40mm", "na_letter_8.5x11in", "x"]),
                           ("media-type", ["labels", "continuous", "x"]), ("media-source", ["main-roll", "tray-9"]),
                           ("media-tracking", ["continuous", "gap", "mark", "web"]),
                           ("media-top-margin", [0, 300, -5]), ("media-left-margin", [0, 300, -5])):
        if rng.random() < 0.3:
            members.append(attr(INT if isinstance(values[0], int) else KEYWORD, member, rng.choice(values)))
    return attr(COLL, name, members[1:] if rng.random() < 0.2 else members)


class Request(dict):
    def __init__(self, ctx, op, printer, *attrs):
        super().__init__(version=[2, 0], op=op, id=1, doc=b"", flags=[], groups=[[OP_GROUP, [
            attr(CHARSET, "attributes-charset", "utf-8"), attr(LANG, "attributes-natural-language", "en"),
            attr(URI, "printer-uri", ctx.uri(printer)), attr(NAME, "requesting-user-name", "fuzz")]
            + [attr(*a) for a in attrs]]])

    def document(self, rng):
        desc, fmt, self["doc"] = make_document(rng)
        if fmt is not None:
            self["groups"][0][1].append(attr(MIME, "document-format", fmt))
        return desc

    def template(self, rng, ctx, printer, group=JOB_GROUP):
        pool = ctx.pools[printer][group == PRINTER_GROUP]
        attrs = [attr(pool[n][0], n, value(rng, *pool[n])) for n in rng.sample(sorted(pool), rng.randint(0, 4))]
        if rng.random() < 0.2:
            attrs.append(media_col(rng, "media-col" if group == JOB_GROUP else
                                   rng.choice(["media-col-default", "media-col-ready"])))
        self["groups"].append([group, attrs])
        return " ".join(a[1] for a in attrs)


def job_id(rng, ctx):
    return rng.choice(ctx.recent[-10:] or [1]) if rng.random() < 0.7 else rng.choice([0, -1, 999999, 0x7FFFFFFF])


def print_job(rng, ctx, p):
    r = Request(ctx, PRINT, p)
    names = r.template(rng, ctx, p)
    return "Print-Job%s, %s" % (names and " (%s)" % names, r.document(rng)), [r]


def validate_job(rng, ctx, p):
    r = Request(ctx, VALIDATE, p, (MIME, "document-format", rng.choice(FORMATS)))
    r.template(rng, ctx, p)
    return "Validate-Job", [r]


def send_document(rng, ctx, p, last, data, job=0):
    r = Request(ctx, SEND, p, (INT, "job-id", job), (BOOL, "last-document", last))
    return (r.document(rng) if data else "no data"), r


def create_and_send(rng, ctx, p):
    variant = rng.choice(["last-document true", "last-document false", "no document data", "no Send-Document",
                          "two Send-Documents"])
    create = Request(ctx, CREATE, p)
    names = create.template(rng, ctx, p)
    requests, desc = [create], "Create-Job%s + Send-Document (%s)" % (names and " (%s)" % names, variant)
    count = {"no Send-Document": 0, "two Send-Documents": 2}.get(variant, 1)
    for n in range(count):
        doc, send = send_document(rng, ctx, p, n == count - 1 and variant != "last-document false",
                                  variant != "no document data")
        send["flags"].append("job-id")
        requests.append(send)
        desc += ", " + doc
    return desc, requests


def send_alone(rng, ctx, p):
    desc, r = send_document(rng, ctx, p, rng.random() < 0.7, rng.random() < 0.8, job_id(rng, ctx))
    return "Send-Document without Create-Job, " + desc, [r]


def printer_attributes(rng, ctx, p):
    names = ["all", "printer-description", "job-template", "media-col-database", "printer-state", "bogus"]
    r = Request(ctx, PRINTER_ATTRS, p, (KEYWORD, "requested-attributes", *rng.sample(
        names + sorted(ctx.pools[p][1]), rng.randint(1, 4))))
    if rng.random() < 0.3:
        r["groups"][0][1].append(attr(MIME, "document-format", rng.choice(FORMATS)))
    return "Get-Printer-Attributes", [r]


def get_jobs(rng, ctx, p):
    return "Get-Jobs", [Request(ctx, JOBS, p, (KEYWORD, "which-jobs", rng.choice(["completed", "all", "bogus"])),
                                (INT, "limit", rng.choice([1, 5, 0, -1])), (BOOL, "my-jobs", rng.random() < 0.5),
                                (KEYWORD, "requested-attributes", *rng.sample(["job-id", "all", "bogus"], 2)))]


def job_operation(op, name):
    def make(rng, ctx, p):
        r, job = Request(ctx, op, p), job_id(rng, ctx)
        if rng.random() < 0.2:
            r["groups"][0][1][2] = attr(URI, "job-uri", "%s/%d" % (ctx.uri(p), job))
        else:
            r["groups"][0][1].append(attr(INT, "job-id", job))
        return name, [r]
    return make


def set_printer_attributes(rng, ctx, p):
    r = Request(ctx, SET_PRINTER, p)
    return "Set-Printer-Attributes " + r.template(rng, ctx, p, PRINTER_GROUP), [r]


OPERATIONS = [(6, print_job), (2, validate_job), (4, create_and_send), (1, send_alone), (2, printer_attributes),
              (1, get_jobs), (1, job_operation(JOB_ATTRS, "Get-Job-Attributes")),
              (2, job_operation(CANCEL, "Cancel-Job")), (2, set_printer_attributes)]


def make_case(seed, n, ctx):
    """Input n of the seed: its description and its requests."""
    rng = random.Random("%d:%d" % (seed, n))
    printer = rng.choice(sorted(PRINTERS))
    desc, requests = rng.choices([o[1] for o in OPERATIONS], [o[0] for o in OPERATIONS])[0](rng, ctx, printer)
    records = []
    for i, r in enumerate(requests):
        where = " in request %d" % (i + 1) if len(requests) > 1 else ""
        for _ in range(rng.randint(1, 3) if rng.random() < 0.3 else 0):
            name, mutate = rng.choice(ATTR_MUTATIONS)
            mutate(rng, r)
            desc += "; " + name + where
        ipp = encode(r)
        body = bytearray(ipp + r["doc"])
        if rng.random() < 0.15:
            name, mutate = rng.choice(BYTE_MUTATIONS)
            mutate(rng, body, len(ipp))
            desc += "; " + name + where
        if rng.random() < 0.3:
            r["flags"].append("chunked")
        elif rng.random() < 0.04:
            r["flags"].append("length=%d" % rng.randrange(len(body)))
            desc += "; Content-Length short" + where
        records.append(("/ipp/print/" + printer, bytes(body), r["flags"]))
    return desc, records


def save_case(path, desc, records):
    with open(path, "wb") as f:
        f.write(("# %s\n" % desc.replace("\n", " ")).encode("utf-8", "replace"))
        for where, body, flags in records:
            f.write(("POST %s %d %s\n" % (where, len(body), " ".join(flags))).encode() + body)


def load_case(path):
    data = t.read(path)
    pos = data.index(b"\n") + 1 if data.startswith(b"#") else 0
    desc, records = data[1:pos].decode("utf-8", "replace").strip(), []
    while pos < len(data):
        eol = data.index(b"\n", pos)
        words = data[pos:eol].decode().split()
        records.append((words[1], data[eol + 1:eol + 1 + int(words[2])], words[3:]))
        pos = eol + 1 + int(words[2])
    return desc, records


def with_job_id(body, job):
    key = bytes([INT]) + b"\0\x06job-id\0\x04"
    i = body.find(key) + len(key)
    return body[:i] + struct.pack(">i", job) + body[i + 4:] if i >= len(key) else body


# --- the server under test ----------------------------------------------------------

class Sink(t.Listener):
    """A printer that reads and forgets."""

    def _serve(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with conn:
                try:
                    while conn.recv(65536):
                        pass
                except OSError:
                    pass


def sanitizer_report(text):
    """The first sanitizer error in a server's output, with its top frames."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if "ERROR: AddressSanitizer" in line or "runtime error" in line:
            return "\n    ".join([line.strip()] + [x.strip() for x in lines[i:] if x.strip().startswith("#")][:8])
    return ""


class Job:
    def __init__(self, what):
        self.what, self.created, self.started, self.state, self.reported = what, time.time(), None, None, False


class Harness:
    def __init__(self, work, findings):
        self.work, self.findings = work, findings
        self.sinks = {p: Sink(work) for p in PRINTERS}
        self.server, self.servers, self.pools, self.mot = None, 0, None, 60
        self.found, self.shown, self.cases, self.requests, self.slowest = {}, {}, 0, 0, (0, "")
        self.jobs, self.made, self.recent, self.busy, self.polled, self.seen = {}, {}, [], {}, 0, 0

    def uri(self, printer):
        return self.server.uri(printer)

    def start(self):
        self.servers += 1
        os.makedirs(os.path.join(self.work, "server-%d" % self.servers))
        self.server = t.AppServer(os.path.join(self.work, "server-%d" % self.servers))
        self.server.start()
        for p, driver in PRINTERS.items():
            self.server.add_printer(p, driver, "socket://127.0.0.1:%d" % self.sinks[p].port)
        self.jobs, self.made, self.busy, self.seen = {}, {}, {}, 0
        if self.pools is None:
            answers = {p: self.server.ipp(p, PRINTER_ATTRS, [])[1] for p in PRINTERS}
            self.pools = {p: pools(a) for p, a in answers.items()}
            self.mot = answers["receipt"].get("multiple-operation-time-out", [60])[0]

    def stop(self, wait=5):
        proc = self.server.proc
        if proc and proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(wait)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if getattr(self.server, "out", None):
            self.server.out.close()

    def output(self):
        """What the server wrote to its standard output and error since the last look."""
        try:
            with open(os.path.join(self.server.workdir, "app.out"), "rb") as f:
                f.seek(self.seen)
                data = f.read()
        except OSError:
            return ""
        self.seen += len(data)
        return data.decode("latin-1")

    def fault(self, kind, what, detail, restart):
        """what: the input's label, description and requests."""
        label, desc, records = what
        frames = [f for f in re.findall(r"#\d+ 0x[0-9a-f]+ in (\S+)", detail) if not f.startswith("__")]
        place = kind + " " + (frames[0] if frames else detail.split(" (")[0] if kind == "crash" else desc.split(",")[0])
        self.found[kind] = self.found.get(kind, 0) + 1
        self.shown[place] = self.shown.get(place, 0) + 1
        if self.shown[place] <= SHOWN:
            print("FINDING %s: %s\n  input: %s: %s" % (kind, detail, label, desc), flush=True)
            if records and label.startswith("seed"):
                os.makedirs(self.findings, exist_ok=True)
                path = os.path.join(self.findings, "%s-%s.req" % (kind, label.replace(" ", "-")))
                save_case(path, "%s: %s" % (label, desc), records)
                print("  saved: " + path, flush=True)
        if restart:
            self.stop()
            self.start()

    def post(self, where, body, flags=(), timeout=ANSWER_S):
        """("answer", status, attributes), or ("hang" | "closed" | "http", detail, {})."""
        headers = {"Content-Type": "application/ipp"}
        for f in flags:
            if f.startswith("length="):
                headers["Content-Length"] = f[7:]
        if "chunked" in flags and "Content-Length" not in headers:
            body = iter([body[i:i + 65536] for i in range(0, len(body), 65536)])
        c = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=timeout)
        try:
            c.request("POST", where, body=body, headers=headers)
            r = c.getresponse()
            return ("answer",) + t.decode_response(r.read()) if r.status == 200 else ("http", r.status, {})
        except TimeoutError:
            return "hang", None, {}
        except (OSError, http.client.HTTPException, struct.error, IndexError) as e:
            return "closed", repr(e), {}
        finally:
            c.close()

    def ask(self, op, printer, *attrs):
        return self.post("/ipp/print/" + printer, encode(Request(self, op, printer, *attrs)), timeout=ALIVE_S)

    def case(self, label, desc, records):
        self.cases += 1
        what, job, ours = (label, desc, records), 0, []
        for n, (where, body, flags) in enumerate(records):
            if "job-id" in flags and job:
                body = with_job_id(body, job)
            sent = time.time()
            outcome, status, attrs = self.post(where, body, flags)
            self.requests += 1
            if outcome == "hang":
                self.fault("hang", what, "request %d of %d: no answer within %d s" % (n + 1, len(records), ANSWER_S),
                           False)
                break
            self.slowest = max(self.slowest, (time.time() - sent, label))
            new = attrs.get("job-id", [0])[0] if outcome == "answer" and status < 0x100 else 0
            key = (where.rsplit("/", 1)[-1], new)
            if isinstance(new, int) and new > 0:
                job = new
                if body[2:4] in (b"\0\x02", b"\0\x05", b"\0\x06") and key not in self.jobs:
                    self.jobs[key] = self.made[key] = Job(what)
                    self.recent = self.recent[-20:] + [new]
                    ours.append(key)
        # Most jobs end at once: waiting a little for them ties a fault in a
        # job's thread to its input. A longer job goes on beside the next.
        deadline = time.time() + 2
        while ours and time.time() < deadline and not self.server.crashed():
            ours = [k for k in ours if self.ask(JOB_ATTRS, k[0], (INT, "job-id", k[1]))[2].get("job-state", [9])[0]
                    in (3, 5, 6)]
            time.sleep(0.05)
        if not self.health(what):
            self.poll_jobs()

    def health(self, what):
        """After an input: a crash, a sanitizer report, or a server that no
        longer answers. True when the server had to be started again."""
        out = self.output()
        if not sanitizer_report(out) and not self.server.crashed() and \
                self.ask(PRINTER_ATTRS, "receipt", (KEYWORD, "requested-attributes", "printer-state"))[0] == "answer":
            return False
        try:  # a sanitizer takes a while to write its report and end the process
            self.server.proc.wait(15)
        except subprocess.TimeoutExpired:
            pass
        out += self.output()
        if not self.server.crashed():
            if sanitizer_report(out):
                self.fault("sanitizer", what, sanitizer_report(out), False)
                return False
            self.fault("unresponsive", what, "no answer to Get-Printer-Attributes within %d s after it" % ALIVE_S, True)
            return True
        where = ""
        if "_papplJobProcess" in out:  # in a job's thread: the job last started (ids are a printer's own)
            log = "".join(t.read(os.path.join(self.server.workdir, f)).decode("latin-1")
                          for f in ("app.log.O", "app.log") if os.path.exists(os.path.join(self.server.workdir, f)))
            for n in reversed(re.findall(r"\[Job (\d+)\] Starting print job", log)):
                ours = sorted((j.created, k) for k, j in self.made.items() if k[1] == int(n))
                if ours:
                    what, where = self.made[ours[-1][1]].what, " (in the thread of job %s on %s)" % (n, ours[-1][1][0])
                    break
        self.fault("crash", what, "the server exited with status %s%s\n    %s" % (
            self.server.proc.returncode, where, sanitizer_report(out)), True)
        return True

    def poll_jobs(self, every=1.0):
        """Every job ends within JOB_S of its printer starting it (of its
        creation, after multiple-operation-time-out, when held for its document)."""
        if time.time() - self.polled < every or not self.jobs:
            return
        self.polled = now = time.time()
        states = {}
        for p in PRINTERS:
            outcome, _, attrs = self.ask(JOBS, p, (KEYWORD, "which-jobs", "not-completed"),
                                         (KEYWORD, "requested-attributes", "job-id", "job-state"))
            if outcome != "answer":
                self.health(("Get-Jobs", "", []))
                return
            mine = dict(zip(attrs.get("job-id", []), attrs.get("job-state", [])))
            states.update({(p, job): state for job, state in mine.items()})
            if any(state in (5, 6) for state in mine.values()):
                self.busy[p] = now
        stuck = False
        for key, job in list(self.jobs.items()):
            job.state = states.get(key, 9)
            if job.state >= 7:
                del self.jobs[key]
                continue
            job.started = job.started or (now if job.state in (5, 6) else None)
            limit = (job.started + JOB_S if job.started else job.created + self.mot + JOB_S if job.state == 4
                     else max(job.created, self.busy.get(key[0], 0)) + JOB_S)
            if now > limit and not job.reported:
                job.reported, stuck = True, stuck or job.state != 4
                self.fault("job-never-ends", job.what, "job %d on %s still %s after %d s" % (
                    key[1], key[0], {3: "pending", 4: "held"}.get(job.state, "processing"), now - job.created), False)
        if stuck:  # its printer takes no other job
            self.stop()
            self.start()

    def settle(self):
        """Waits, within a bound, for the jobs not held to end."""
        deadline = time.time() + JOB_S + 5
        while time.time() < deadline and any(j.state != 4 and not j.reported for j in self.jobs.values()):
            self.poll_jobs(0.5)
            time.sleep(0.5)

    def finish(self):
        # Told to stop, PAPPL waits up to 60 s for active jobs: held ones would not end.
        for p, job in list(self.jobs):
            self.ask(CANCEL, p, (INT, "job-id", job))
        self.stop(wait=90)  # the leak check runs at exit
        leaks = t.sanitizer_findings(self.output())
        if leaks:
            self.fault("sanitizer", ("at exit", "", []), leaks, False)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seconds", type=float, default=60, help="how long to send new inputs")
    ap.add_argument("--seed", type=int, help="random when not given")
    ap.add_argument("--case", type=int, help="send only this input of the seed")
    ap.add_argument("--replay", nargs="+", help="send only these saved inputs")
    ap.add_argument("--findings", default="fuzz-findings", help="where failing inputs are saved")
    args = ap.parse_args()
    t.skip_unless_runnable()
    seed = random.SystemRandom().randrange(1 << 31) if args.seed is None else args.seed
    print("seed %d" % seed, flush=True)
    work = t.tempdir("app-fuzz")
    h = Harness(work, os.path.abspath(args.findings))
    started, failed = time.time(), False
    try:
        h.start()
        for path in args.replay or ([] if args.case is not None else sorted(glob.glob(os.path.join(CASES, "*.req")))):
            h.case(os.path.basename(path), *load_case(path))
            h.settle()  # each on its own: a job left behind would make the next one's printer busy
        n, fuzzing = args.case or 0, time.time()
        while not args.replay and (n == args.case or args.case is None and time.time() - fuzzing < args.seconds):
            h.case("seed %d case %d" % (seed, n), *make_case(seed, n, h))
            n += 1
        h.settle()
    except Exception:  # the harness's own fault, told apart from the server's
        failed = True
        print("HARNESS ERROR (seed %d):\n%s" % (seed, traceback.format_exc()), flush=True)
    finally:
        if h.server:
            h.finish()
        for sink in h.sinks.values():
            sink.stop()
    took = time.time() - started
    print("%d inputs, %d requests in %.0f s: %.1f inputs/s; server started %d times; slowest answer %.1f s (%s)" % (
        h.cases, h.requests, took, h.cases / took, h.servers, *h.slowest))
    print("findings: " + (", ".join("%s %d" % kv for kv in sorted(h.found.items())) or "none"))
    if h.found or failed:
        print("work folder kept: " + work)
        sys.exit(2 if failed else 1)
    t.shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
