#!/usr/bin/env python3
"""Writes a raw card image of files made by ordinary encoders, and its truth.

The files come from Python's standard library and Pillow (Debian's
python3-pil): a JPEG with Exif and one without, a PNG, a GIF87a and an
animated GIF89a, a BMP, a ZIP with an archive comment, a WAVE file and a
hand-written PDF. They are laid at 512-byte block boundaries, zero bytes
between them, one JPEG with its header 1 024 bytes before the first 4 MiB
chunk boundary. The truth (IMAGE.truth.json unless --truth says otherwise)
has the layout of the sample card's truth: the carving engine must record
every file with its group, name and size, and nothing else.

Each file is checked against the rule its type is delimited by (its first
end marker must be its end, and so on) and against headers of any carved
type lying at a block boundary inside it; a file that fails is made again
from other content.

Usage: real_files_card.py --out IMAGE [--truth PATH] [--seed N]
"""

import argparse
import hashlib
import io
import json
import math
import random
import struct
import sys
import wave
import zipfile

try:
    from PIL import Image, ImageDraw
except ImportError:  # pragma: no cover - reported to the caller
    sys.stderr.write("real_files_card.py: Pillow is missing (Debian package python3-pil)\n")
    sys.exit(3)

BLOCK = 512
CHUNK = 4 * 1024 * 1024

# The fourteen header signatures, in the scan's table order.
HEADERS = [
    ("jpg", b"\xFF\xD8\xFF"), ("gif", b"GIF8"), ("bmp", b"BM"),
    ("wmv", b"\x30\x26\xB2\x75\x8E\x66\xCF\x11"), ("mov", b"moov"), ("rif", b"RIFF"),
    ("htm", b"<html"), ("ole", b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 8),
    ("zip", b"PK\x03\x04"), ("rar", b"Rar!\x1A\x07\x00"), ("exe", b"MZ"),
    ("png", b"\x89PNG\r\n\x1A\n"), ("mpg", b"\x00\x00\x01\xBA"), ("pdf", b"%PDF-1."),
]


def header_at(data, at):
    for group, sig in HEADERS:
        if group == "htm":
            if data[at:at + len(sig)].lower() == sig:
                return group
        elif data[at:at + len(sig)] == sig:
            return group
    return None


# ---- What the engine records for each kind of file.

def jpeg_size(d):
    if d[3] not in (0xE0, 0xE1):
        return None
    at, quant, huff = 2, False, False
    while at + 4 <= len(d):
        if d[at] != 0xFF:
            return None
        code = d[at + 1]
        length = struct.unpack(">H", d[at + 2:at + 4])[0]
        quant |= code == 0xDB
        huff |= code == 0xC4
        at += 2 + length
        if code == 0xDA:
            if not (quant and huff) or d[at] == 0xFF:
                return None
            end = d.find(b"\xFF\xD9", at - 2)
            return end + 2 if end >= 0 else None
    return None


def gif_size(d):
    end = d.find(b"\x00\x3B", 6)
    return end + 2 if end >= 0 else None


def png_size(d):
    at = 8
    while at + 8 <= len(d):
        length, kind = struct.unpack(">I4s", d[at:at + 8])
        if kind == b"IEND":
            return at + 12 + length
        if length == 0:
            return None
        at += 12 + length
    return None


def zip_size(d):
    at = 0
    while d[at + 2:at + 4] == b"\x03\x04":
        flags, = struct.unpack("<H", d[at + 6:at + 8])
        packed, = struct.unpack("<I", d[at + 18:at + 22])
        name_len, extra_len = struct.unpack("<HH", d[at + 26:at + 30])
        if flags & 8 or name_len > 100:
            return None
        at += 30 + name_len + extra_len + packed
    footer = d.find(b"\x4B\x05\x06\x00", at)
    if footer < 1:
        return None
    record = footer - 1
    return record + 22 + struct.unpack("<H", d[record + 20:record + 22])[0]


def pdf_size(d):
    if d.find(b"obj", 7, 107) < 0:
        return None
    eof = d.find(b"%%EOF", 7)
    return eof + 6 if eof >= 0 else None


# ---- The files.

def picture(width, height, rng):
    img = Image.new("RGB", (width, height))
    draw = ImageDraw.Draw(img)
    for y in range(height):
        draw.line([(0, y), (width, y)], fill=(y * 255 // height, 90, 255 - y * 255 // height))
    for _ in range(12):
        x0, y0 = rng.randrange(width), rng.randrange(height)
        draw.ellipse([x0, y0, x0 + rng.randrange(8, 60), y0 + rng.randrange(8, 60)],
                     fill=(rng.randrange(256), rng.randrange(256), rng.randrange(256)))
    return img


def jpeg_exif(rng, size=(320, 240)):
    exif = Image.Exif()
    exif[0x010F] = "Quillbrook Test Camera"
    exif[0x0110] = "QB-1"
    exif[0x0132] = "2024:05:01 12:00:00"
    out = io.BytesIO()
    picture(*size, rng).save(out, "JPEG", quality=85, exif=exif.tobytes())
    return out.getvalue()


def jpeg_plain(rng):
    out = io.BytesIO()
    picture(200, 150, rng).save(out, "JPEG", quality=70)
    return out.getvalue()


def png(rng):
    out = io.BytesIO()
    picture(240, 180, rng).save(out, "PNG")
    return out.getvalue()


def gif87(rng):
    out = io.BytesIO()
    picture(120, 90, rng).convert("P", palette=Image.ADAPTIVE, colors=64).save(out, "GIF")
    return out.getvalue()


def gif89_animated(rng):
    frames = [picture(80, 60, rng).convert("P", palette=Image.ADAPTIVE, colors=32) for _ in range(3)]
    out = io.BytesIO()
    frames[0].save(out, "GIF", save_all=True, append_images=frames[1:], duration=100, loop=0)
    return out.getvalue()


def bmp(rng):
    out = io.BytesIO()
    picture(160, 120, rng).save(out, "BMP")
    return out.getvalue()


def zip_with_comment(rng):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_DEFLATED) as z:
        z.writestr("notes/readme.txt", "Card test archive.\n" * (20 + rng.randrange(20)))
        z.writestr("notes/list.csv", "".join("%d,%d\n" % (i, rng.randrange(1000)) for i in range(200)))
        z.writestr("data.bin", bytes(rng.randrange(256) for _ in range(3000)), compress_type=zipfile.ZIP_STORED)
        z.comment = b"made for the card"
    return out.getvalue()


def wav(rng):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        pitch = 330 + rng.randrange(200)
        w.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * pitch * i / 8000)))
                               for i in range(8000)))
    return out.getvalue()


def pdf(rng):
    text = "Quillbrook card test %d" % rng.randrange(10 ** 6)
    content = ("BT /F1 18 Tf 72 720 Td (%s) Tj ET\n" % text).encode()
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 5 0 R >> >> "
        b"/Contents 4 0 R >>",
        b"<< /Length %d >>\nstream\n" % len(content) + content + b"endstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def html_windows(rng):
    """A page as a Windows editor saves it: CR LF line ends."""
    rows = "\r\n".join("<tr><td>%d</td><td>%d</td></tr>" % (i, rng.randrange(10 ** 6)) for i in range(40))
    page = ("<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>Card test</title>\r\n</head>\r\n"
            "<body>\r\n<table>\r\n%s\r\n</table>\r\n</body>\r\n</html>" % rows)
    return page.encode()


# kind, group, suffix, maker, rule
FILES = [
    ("pillow-jpeg-exif", "jpg", "jpg", jpeg_exif, jpeg_size),
    ("pillow-jpeg", "jpg", "jpg", jpeg_plain, jpeg_size),
    ("pillow-png", "png", "png", png, png_size),
    ("pillow-gif87a", "gif", "gif", gif87, gif_size),
    ("pillow-gif89a-animated", "gif", "gif", gif89_animated, gif_size),
    ("pillow-bmp", "bmp", "bmp", bmp, lambda d: struct.unpack("<I", d[2:6])[0]),
    ("zipfile-with-comment", "zip", "zip", zip_with_comment, zip_size),
    ("wave-pcm", "rif", "wav", wav, lambda d: struct.unpack("<I", d[4:8])[0] + 8),
    ("hand-written-pdf", "pdf", "pdf", pdf, pdf_size),
    ("windows-html", "htm", "htm", html_windows, lambda d: d.lower().index(b"</html>") + 7),
]


def clean(data, group, start):
    """No carved header at a block boundary inside the file but its own."""
    first = (-start) % BLOCK
    for at in range(first, len(data), BLOCK):
        if at == 0:
            continue
        if header_at(data, at) is not None:
            return False
    return True


def make(kind, group, maker, rule, rng, start):
    for _ in range(50):
        data = maker(rng)
        if header_at(data, 0) != group:
            raise SystemExit("%s: does not begin with the %s header" % (kind, group))
        size = rule(data)
        if size == len(data) and clean(data, group, start):
            return data
    raise SystemExit("%s: no clean file could be made" % kind)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--truth")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    image = bytearray()
    files = []

    def place(kind, group, suffix, maker, rule, start):
        data = make(kind, group, maker, rule, rng, start)
        image.extend(b"\0" * (start - len(image)))
        image.extend(data)
        files.append({
            "offset": start, "size": len(data), "group": group,
            "name": "%d.%s" % (start // BLOCK, suffix), "kind": kind,
            "sha256": hashlib.sha256(data).hexdigest(),
            "crossesChunk": start // CHUNK != (start + len(data) - 1) // CHUNK,
        })

    for kind, group, suffix, maker, rule in FILES:
        start = (len(image) + BLOCK - 1) // BLOCK * BLOCK + BLOCK * rng.randrange(0, 4)
        place(kind, group, suffix, maker, rule, start)
    # A picture whose end lies in the second chunk: found through the re-read.
    place("pillow-jpeg-exif-across", "jpg", "jpg",
          lambda r: jpeg_exif(r, (800, 600)), jpeg_size, CHUNK - 1024)
    image.extend(b"\0" * (65536 + (-len(image)) % BLOCK))

    truth = {
        "format": "quillbrook-card-truth", "version": 1, "source": "real-files",
        "seed": args.seed, "scale": 1, "imageSize": len(image),
        "blockSize": BLOCK, "chunkSize": CHUNK,
        "files": files, "decoys": [], "unaligned": [],
    }
    with open(args.out, "wb") as f:
        f.write(image)
    with open(args.truth or args.out + ".truth.json", "w") as f:
        json.dump(truth, f, indent=2)
        f.write("\n")
    print("real-files card written to %s: %d bytes, %d files" % (args.out, len(image), len(files)))


if __name__ == "__main__":
    main()
