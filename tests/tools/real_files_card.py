#!/usr/bin/env python3
"""Writes a raw card image of files made by ordinary encoders, and its truth.

The files come from Python's standard library and Pillow (Debian's
python3-pil): a JPEG with Exif and one without, a PNG, a phone screenshot
taller than 3000 pixels, a GIF87a and an animated GIF89a, a BMP, a ZIP with
an archive comment, a WAVE file, a hand-written PDF and one Pillow saved and
then appended a page to (an incremental update); and from the encoders a
phone's apps use (Debian packages in scripts/setup.sh): ffmpeg's MP4 (media
data first, and moved to the front), MOV, 3GP, M4A, WebM and MPEG-2 program
stream, cwebp's lossy and lossless WebP, lame's MP3, opusenc's Opus voice
note, oggenc's Vorbis, flac, heif-enc's HEIC, an SQLite database,
python-docx's and openpyxl's documents, and mingw-w64's 64-bit program.
They are laid at 512-byte block boundaries, zero bytes between them, one
JPEG with its header 1 024 bytes before the first 4 MiB chunk boundary and
a video across the second. The truth (IMAGE.truth.json unless --truth says
otherwise) has the layout of the sample card's truth: the carving engine
must record every file with its group, name and size, and nothing else.

Each file is checked against the rule its type is delimited by (its end
marker must be its end, and so on) and against headers of any other carved
type lying at a block boundary inside it; a file that fails is made again
from other content.

Usage: real_files_card.py --out IMAGE [--truth PATH] [--seed N]
"""

import argparse
import hashlib
import io
import json
import math
import os
import random
import sqlite3
import struct
import subprocess
import sys
import tempfile
import wave
import zipfile

try:
    from PIL import Image, ImageDraw
except ImportError:  # pragma: no cover - reported to the caller
    sys.stderr.write("real_files_card.py: Pillow is missing (Debian package python3-pil)\n")
    sys.exit(3)

BLOCK = 512
CHUNK = 4 * 1024 * 1024

# The header signatures, in the scan's table order ("?" matches any byte).
HEADERS = [
    ("jpg", b"\xFF\xD8\xFF"), ("gif", b"GIF8"), ("bmp", b"BM"),
    ("wmv", b"\x30\x26\xB2\x75\x8E\x66\xCF\x11"), ("mov", b"moov"), ("rif", b"RIFF"),
    ("htm", b"<html"), ("htm", b"<!doctype html"), ("ole", b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 8),
    ("zip", b"PK\x03\x04"), ("rar", b"Rar!\x1A\x07\x00"), ("rar", b"Rar!\x1A\x07\x01\x00"), ("exe", b"MZ"),
    ("png", b"\x89PNG\r\n\x1A\n"), ("mpg", b"\x00\x00\x01\xBA"), ("pdf", b"%PDF-1."),
    ("mp4", b"????ftyp"), ("webp", b"RIFF????WEBP"), ("mp3", b"ID3"), ("mp3", b"\xFF"),
    ("ogg", b"OggS\x00\x02"), ("sqlite", b"SQLite format 3\x00"), ("amr", b"#!AMR"), ("flac", b"fLaC"),
    ("mkv", b"\x1A\x45\xDF\xA3"),
]

MP3_RATES = [
    [[0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0],
     [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0],
     [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0]],
    [[0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0],
     [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0],
     [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]],
]


def matches(data, at, sig, ignore_case):
    part = data[at:at + len(sig)]
    if len(part) < len(sig):
        return False
    if ignore_case:
        part = part.lower()
    return all(s == ord("?") or s == p for s, p in zip(sig, part))


def mp3_run(data, at):
    """True when eight MPEG audio frames of one kind follow one another at at."""
    kind = None
    for _ in range(8):
        if at + 4 > len(data):
            return False
        h = struct.unpack(">I", data[at:at + 4])[0]
        version, layer, rate, sampling = (h >> 19) & 3, (h >> 17) & 3, (h >> 12) & 15, (h >> 10) & 3
        if (h >> 21) != 0x7FF or version == 1 or layer == 0 or rate in (0, 15) or sampling == 3 or h & 3 == 2:
            return False
        if kind is None:
            kind = h & 0x001E0C00
        elif h & 0x001E0C00 != kind:
            return False
        bitrate = MP3_RATES[1 if version == 3 else 0][3 - layer][rate] * 1000
        hz = [44100, 48000, 32000][sampling] // (2 if version == 2 else 4 if version == 0 else 1)
        pad = (h >> 9) & 1
        lay = 4 - layer
        length = (12 * bitrate // hz + pad) * 4 if lay == 1 else \
            72 * bitrate // hz + pad if lay == 3 and version != 3 else 144 * bitrate // hz + pad
        at += length
    return True


def header_groups_at(data, at):
    """The groups with a header at at that their extractor does not turn
    down at once (an FF that starts no run of MPEG audio frames is none)."""
    groups = []
    for group, sig in HEADERS:
        if matches(data, at, sig, group == "htm") and group not in groups:
            if group == "mp3" and sig == b"\xFF" and not mp3_run(data, at):
                continue
            groups.append(group)
    return groups


def header_at(data, at):
    groups = header_groups_at(data, at)
    return groups[0] if groups else None


# ---- What the engine records for each kind of file.

def jpeg_size(d):
    if d[3] != 0xDB and d[3] & 0xF0 != 0xE0:
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
    """The trailer the blocks lead to."""
    table = lambda flags: 3 << ((flags & 7) + 1) if flags & 0x80 else 0
    at = 13 + table(d[10])
    while at < len(d):
        if d[at] == 0x3B:
            return at + 1
        if d[at] == 0x21:
            at += 2
        elif d[at] == 0x2C:
            at += 10 + table(d[at + 9]) + 1
        else:
            return None
        while at < len(d) and d[at]:
            at += 1 + d[at]
        at += 1
    return None


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
    """The first "%%EOF", then each incremental update's, with its line end.
    An update may open with comment lines; one that opens with a "%PDF-" line
    must name the section before it as its /Prev."""
    if d.find(b"obj", 7, 107) < 0:
        return None
    eof = d.find(b"%%EOF", 7)
    if eof < 0:
        return None

    def line_end(at):
        return 2 if d[at:at + 2] == b"\r\n" else 1 if d[at:at + 1] in (b"\r", b"\n") else 0

    end = eof + 5 + line_end(eof + 5)
    while True:
        at = end
        while d[at:at + 1] in (b" ", b"\t", b"\r", b"\n", b"\x0c"):
            at += 1
        header = False
        while d[at:at + 1] == b"%" and not d.startswith(b"%%EOF", at):
            header = header or d.startswith(b"%PDF-", at)
            while at < len(d) and d[at:at + 1] not in (b"\r", b"\n"):
                at += 1
            while d[at:at + 1] in (b" ", b"\t", b"\r", b"\n", b"\x0c"):
                at += 1
        rest = d[at:at + 20]
        if not (rest.startswith(b"xref") or rest.startswith(b"trailer") or
                (rest[:1].isdigit() and b" obj" in rest)):
            return end
        following = d.find(b"%%EOF", at)
        if following < 0 or d.find(b"%PDF-", at, following) >= 0:
            return end
        if header:
            start = d.rfind(b"startxref", 0, eof)
            previous = d[start + 9:eof].strip()
            if b"/Prev " + previous not in d[at:following] and b"/Prev" + previous not in d[at:following]:
                return end
        eof = following
        end = eof + 5 + line_end(eof + 5)


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


# ---- Files of the encoders a phone's apps use.

def encode(command, inputs=None, suffix=".out"):
    """Runs an encoder on files written from `inputs` (name: bytes) in a
    temporary folder; {name} in the command is replaced by its path, {out}
    by the output's. Returns the output's bytes."""
    with tempfile.TemporaryDirectory() as tmp:
        paths = {"out": os.path.join(tmp, "out" + suffix)}
        for name, data in (inputs or {}).items():
            paths[name] = os.path.join(tmp, name)
            with open(paths[name], "wb") as f:
                f.write(data)
        args = []
        for a in command:
            for name, path in paths.items():
                a = a.replace("{" + name + "}", path)
            args.append(a)
        try:
            subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
        except FileNotFoundError:
            raise SystemExit("%s is missing (see scripts/setup.sh)" % args[0])
        except subprocess.CalledProcessError as e:
            raise SystemExit("%s failed: %s" % (args[0], e.stderr.decode(errors="replace")[-400:]))
        with open(paths["out"], "rb") as f:
            return f.read()


def ffmpeg(rng, suffix, *options, seconds=2):
    tone = "sine=frequency=%d:duration=%d" % (200 + rng.randrange(600), seconds)
    picture = "testsrc2=size=320x240:rate=25:duration=%d" % seconds
    return encode(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", tone,
                   *options, "-shortest", "{out}"], suffix=suffix)


def mp4_media_first(rng):
    return ffmpeg(rng, ".mp4", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac")


def mp4_movie_first(rng):
    return ffmpeg(rng, ".mp4", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                  "-movflags", "+faststart")


def mp4_across(rng):
    return ffmpeg(rng, ".mp4", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-b:v", "3M",
                  "-c:a", "aac", seconds=3)


def mov(rng):
    return ffmpeg(rng, ".mov", "-c:v", "mpeg4", "-c:a", "aac")


def clip_3gp(rng):
    return ffmpeg(rng, ".3gp", "-c:v", "h263", "-s", "176x144", "-c:a", "aac", "-ar", "8000", "-ac", "1")


def m4a(rng):
    return ffmpeg(rng, ".m4a", "-vn", "-c:a", "aac")


def webm(rng):
    return ffmpeg(rng, ".webm", "-c:v", "libvpx", "-b:v", "300k", "-c:a", "libopus")


def mpeg2_program_stream(rng):
    return ffmpeg(rng, ".vob", "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob")


def tone(rng, seconds=3):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(22050)
        pitch = 220 + rng.randrange(400)
        w.writeframes(b"".join(struct.pack("<h", int(9000 * math.sin(2 * math.pi * pitch * i / 22050)))
                               for i in range(22050 * seconds)))
    return out.getvalue()


def mp3_tagged(rng):
    return encode(["lame", "--quiet", "-b", "128", "--tt", "Card test %d" % rng.randrange(1000), "--ta", "Quillbrook",
                   "{in.wav}", "{out}"], {"in.wav": tone(rng)}, ".mp3")


def mp3_bare(rng):
    return encode(["lame", "--quiet", "-V", "4", "{in.wav}", "{out}"], {"in.wav": tone(rng)}, ".mp3")


def opus(rng):
    return encode(["opusenc", "--quiet", "{in.wav}", "{out}"], {"in.wav": tone(rng)}, ".opus")


def vorbis(rng):
    return encode(["oggenc", "-Q", "{in.wav}", "-o", "{out}"], {"in.wav": tone(rng)}, ".ogg")


def flac(rng):
    return encode(["flac", "-s", "-f", "{in.wav}", "-o", "{out}"], {"in.wav": tone(rng)}, ".flac")


def png_bytes(img):
    out = io.BytesIO()
    img.save(out, "PNG")
    return out.getvalue()


def webp_lossy(rng):
    return encode(["cwebp", "-quiet", "{in.png}", "-o", "{out}"], {"in.png": png_bytes(picture(256, 256, rng))}, ".webp")


def webp_lossless(rng):
    return encode(["cwebp", "-quiet", "-lossless", "{in.png}", "-o", "{out}"],
                  {"in.png": png_bytes(picture(128, 128, rng))}, ".webp")


def heic(rng):
    return encode(["heif-enc", "-q", "40", "{in.png}", "-o", "{out}"], {"in.png": png_bytes(picture(320, 240, rng))},
                  ".heic")


def screenshot_tall(rng):
    """A screenshot of a phone whose screen is 3200 pixels tall."""
    img = Image.new("RGB", (1440, 3200), (245, 245, 245))
    draw = ImageDraw.Draw(img)
    for y in range(0, 3200, 90):
        draw.rectangle([40, y + 10, 1400, y + 70], fill=(rng.randrange(256), 120, 200))
    return png_bytes(img)


def sqlite_database(rng):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "msgs.db")
        db = sqlite3.connect(path)
        db.execute("CREATE TABLE sms (_id INTEGER PRIMARY KEY, address TEXT, body TEXT, date INTEGER)")
        for i in range(200 + rng.randrange(200)):
            db.execute("INSERT INTO sms (address, body, date) VALUES (?, ?, ?)",
                       ("+49151%07d" % rng.randrange(10 ** 7), "message %d %s" % (i, "x" * rng.randrange(80)),
                        1700000000000 + i))
        db.commit()
        db.close()
        with open(path, "rb") as f:
            return f.read()


def docx(rng):
    import docx as python_docx
    document = python_docx.Document()
    document.add_heading("Card test", 1)
    for _ in range(3):
        document.add_paragraph("Paragraph %d of the card's document." % rng.randrange(10 ** 6))
    out = io.BytesIO()
    document.save(out)
    return out.getvalue()


def xlsx(rng):
    import openpyxl
    book = openpyxl.Workbook()
    for row in range(1, 30):
        book.active.cell(row=row, column=1, value=rng.randrange(10 ** 6))
    out = io.BytesIO()
    book.save(out)
    return out.getvalue()


def pe32_plus(rng, strip=False):
    source = b'#include <stdio.h>\nint main(void){puts("card %d");return 0;}\n' % rng.randrange(10 ** 6)
    return encode(["x86_64-w64-mingw32-gcc", "-O2", *(["-s"] if strip else []), "{main.c}", "-o", "{out}"],
                  {"main.c": source}, ".exe")


def pdf_with_update(rng):
    """A page saved as a PDF, then a second page appended: an incremental
    update with its own "%%EOF"."""
    out = io.BytesIO()
    picture(200, 150, rng).save(out, "PDF")
    picture(200, 150, rng).save(out, "PDF", append=True)
    return out.getvalue()


def html_doctype(rng):
    rows = "\n".join("<li>item %d</li>" % rng.randrange(10 ** 6) for _ in range(30))
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Card</title>\n"
            "</head>\n<body>\n<ul>\n%s\n</ul>\n</body>\n</html>" % rows).encode()


whole = len

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
    ("html-doctype", "htm", "htm", html_doctype, lambda d: d.lower().index(b"</html>") + 7),
    ("pillow-pdf-with-appended-page", "pdf", "pdf", pdf_with_update, pdf_size),
    ("pillow-png-3200-pixels-tall", "png", "png", screenshot_tall, png_size),
    ("ffmpeg-mp4-media-data-first", "mp4", "mp4", mp4_media_first, whole),
    ("ffmpeg-mp4-movie-first", "mp4", "mp4", mp4_movie_first, whole),
    ("ffmpeg-mov", "mp4", "mov", mov, whole),
    ("ffmpeg-3gp", "mp4", "3gp", clip_3gp, whole),
    ("ffmpeg-m4a", "mp4", "m4a", m4a, whole),
    ("ffmpeg-webm", "mkv", "webm", webm, whole),
    ("ffmpeg-mpeg2-program-stream", "mpg", "mpg", mpeg2_program_stream, whole),
    ("cwebp-lossy", "webp", "webp", webp_lossy, whole),
    ("cwebp-lossless", "webp", "webp", webp_lossless, whole),
    ("heif-enc-heic", "mp4", "heic", heic, whole),
    ("lame-mp3-with-tags", "mp3", "mp3", mp3_tagged, whole),
    ("lame-mp3-without-tags", "mp3", "mp3", mp3_bare, whole),
    ("opusenc-voice-note", "ogg", "opus", opus, whole),
    ("oggenc-vorbis", "ogg", "ogg", vorbis, whole),
    ("flac", "flac", "flac", flac, whole),
    ("sqlite3-database", "sqlite", "db", sqlite_database, whole),
    ("python-docx", "zip", "docx", docx, zip_size),
    ("openpyxl-xlsx", "zip", "xlsx", xlsx, zip_size),
    ("mingw-pe32-plus", "exe", "exe", pe32_plus, whole),
    ("mingw-pe32-plus-stripped", "exe", "exe", lambda r: pe32_plus(r, strip=True), whole),
]


def clean(data, group, start):
    """No carved header at a block boundary inside the file but its own type's
    (the search of a type goes on after a file it found)."""
    first = (-start) % BLOCK
    for at in range(first, len(data), BLOCK):
        if at == 0:
            continue
        others = [g for g in header_groups_at(data, at) if g != group or group == "ole"]
        if others:
            return False
    return True


def make(kind, group, maker, rule, rng, start):
    for _ in range(50):
        data = maker(rng)
        if group not in header_groups_at(data, 0):
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
    # A picture whose end lies in the second chunk, a video over the next
    # chunk boundary.
    place("pillow-jpeg-exif-across", "jpg", "jpg",
          lambda r: jpeg_exif(r, (800, 600)), jpeg_size, max(CHUNK - 1024, (len(image) + BLOCK - 1) // BLOCK * BLOCK))
    place("ffmpeg-mp4-across", "mp4", "mp4", mp4_across, whole,
          max(2 * CHUNK - 4096, (len(image) + BLOCK - 1) // BLOCK * BLOCK))
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
