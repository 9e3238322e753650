#!/usr/bin/env python3
"""Byte-level and content checks for the bitmaps in assets/.

Run by scripts/make-images.sh after it regenerates them; can also be run on
its own:  scripts/check-images.py [ASSETS_DIR]

Checks, for each icon PNG (32, 48, 64, 128, 256 px):
  * IHDR says SIZExSIZE, 8-bit, colour type 2 (RGB, no alpha), not interlaced
  * no tRNS (nothing transparent) and no tIME / date text (reproducible files)
  * the picture still looks like the frog: white ground in the corners, plenty
    of yellow-green, black eyes in the upper half on both sides, and some pink
    and some blue in the bunch
For sesame-pi.ico: one 32x32 24-bit image, AND mask clear, pixels identical
to sesame-pi-32.png (parsed by make-ico.py's reader).
For emblem.jpg: JFIF APP0 right after SOI with version 1.01, units 1 (dpi),
96x96 density; a baseline SOF0 frame, 8-bit, 42x41, three components (YCbCr);
and, decoded with ImageMagick, grey corners of exactly (240,240,240), a dark
ring, a dark centre dot, light gaps between petals and no colour cast.
Exits 1 and says why if anything is off.
"""

import importlib.util
import os
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# make-ico.py has a dash in its name, so load its ICO reader by path.
_ico_module = importlib.util.spec_from_file_location("make_ico", os.path.join(HERE, "make-ico.py"))
make_ico = importlib.util.module_from_spec(_ico_module)
_ico_module.loader.exec_module(make_ico)

ICON_SIZES = (32, 48, 64, 128, 256)
EMBLEM_SIZE = (42, 41)
EMBLEM_GROUND = (240, 240, 240)

failures = []


def fail(name, msg):
    failures.append("%s: %s" % (name, msg))


# --------------------------------------------------------------------- PNG

def png_chunks(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos = 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            raise ValueError("bad CRC in %s chunk" % kind.decode("latin-1"))
        yield kind, body
        pos += 12 + length
        if kind == b"IEND":
            break


def decode_png_rgb8(data):
    """Decode an 8-bit RGB, non-interlaced PNG to (w, h, rgb bytes)."""
    ihdr = None
    idat = bytearray()
    for kind, body in png_chunks(data):
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    w, h, depth, ctype, _, _, interlace = ihdr
    if (depth, ctype, interlace) != (8, 2, 0):
        raise ValueError("cannot decode depth %d colour type %d interlace %d" % (depth, ctype, interlace))
    raw = zlib.decompress(bytes(idat))
    stride = w * 3
    out = bytearray(h * stride)
    prev = bytearray(stride)
    pos = 0
    for y in range(h):
        ftype = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
            elif ftype != 0:
                raise ValueError("bad filter type %d" % ftype)
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return w, h, bytes(out)


def pixel(rgb, w, x, y):
    i = (y * w + x) * 3
    return rgb[i], rgb[i + 1], rgb[i + 2]


def is_frog_green(r, g, b):
    return g >= 150 and r >= 110 and b <= 110 and g > r and g - b > 80


def is_black(r, g, b):
    return max(r, g, b) <= 40


def is_pink(r, g, b):
    return r >= 200 and g <= 150 and b >= 100 and r > b + 40


def is_blue(r, g, b):
    return b >= 200 and r <= 120 and b > g + 40


def check_icon_png(path, size):
    name = os.path.basename(path)
    with open(path, "rb") as f:
        data = f.read()
    try:
        chunks = list(png_chunks(data))
    except ValueError as e:
        fail(name, str(e))
        return None
    kinds = [k for k, _ in chunks]
    w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    if (w, h) != (size, size):
        fail(name, "is %dx%d, expected %dx%d" % (w, h, size, size))
    if depth != 8 or ctype != 2:
        fail(name, "bit depth %d colour type %d, expected 8-bit RGB (type 2, no alpha)" % (depth, ctype))
    if interlace:
        fail(name, "is interlaced")
    if b"tRNS" in kinds:
        fail(name, "has a tRNS chunk (transparency)")
    if b"tIME" in kinds:
        fail(name, "has a tIME chunk (not reproducible)")
    for k, body in chunks:
        if k in (b"tEXt", b"zTXt", b"iTXt") and body.split(b"\0", 1)[0].lower().startswith(b"date"):
            fail(name, "has a %s date chunk (not reproducible)" % body.split(b"\0", 1)[0].decode("latin-1"))
    if failures and failures[-1].startswith(name):
        return None

    w, h, rgb = decode_png_rgb8(data)
    for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        if pixel(rgb, w, x, y) != (255, 255, 255):
            fail(name, "corner (%d,%d) is %s, expected white ground" % (x, y, pixel(rgb, w, x, y)))
    n = w * h
    green = black = pink = blue = 0
    black_left = black_right = black_low = 0
    for y in range(h):
        for x in range(w):
            p = pixel(rgb, w, x, y)
            if is_frog_green(*p):
                green += 1
            elif is_black(*p):
                black += 1
                if y > h * 0.45:
                    black_low += 1
                elif x < w / 2:
                    black_left += 1
                else:
                    black_right += 1
            elif is_pink(*p):
                pink += 1
            elif is_blue(*p):
                blue += 1
    scale = n / (32.0 * 32.0)
    if green < 0.20 * n:
        fail(name, "only %.0f%% yellow-green pixels, the frog should fill the icon" % (100.0 * green / n))
    if black_left < 18 * scale or black_right < 18 * scale:
        fail(name, "missing a big black eye (left %d, right %d black pixels in the upper half)"
             % (black_left, black_right))
    if black_low > 0.2 * (black_left + black_right):
        fail(name, "%d black pixels in the lower half; the eyes should be the only black" % black_low)
    if abs(black_left - black_right) > 0.25 * max(black_left, black_right):
        fail(name, "eyes are lopsided (%d vs %d black pixels)" % (black_left, black_right))
    if pink < 8 * scale or blue < 8 * scale:
        fail(name, "bunch is not clearly pink and blue (%d pink, %d blue pixels)" % (pink, blue))
    return w, h, rgb


# --------------------------------------------------------------------- ICO

def check_ico(path, png_rgb):
    name = os.path.basename(path)
    with open(path, "rb") as f:
        data = f.read()
    w, h, rgb, problems = make_ico.parse_ico(data)
    for p in problems:
        fail(name, p)
    if (w, h) != (32, 32):
        fail(name, "image is %dx%d, expected 32x32" % (w, h))
    if not problems and png_rgb is not None and rgb != png_rgb:
        fail(name, "pixels differ from sesame-pi-32.png")


# -------------------------------------------------------------------- JPEG

def jpeg_segments(data):
    if data[:2] != b"\xff\xd8":
        raise ValueError("no SOI marker")
    pos = 2
    while pos < len(data):
        if data[pos] != 0xFF:
            raise ValueError("lost marker sync at byte %d" % pos)
        while data[pos] == 0xFF:
            pos += 1
        marker = data[pos]
        pos += 1
        if marker in (0xD8, 0x01) or 0xD0 <= marker <= 0xD7:
            yield marker, b""
            continue
        if marker == 0xD9:
            yield marker, b""
            return
        length = struct.unpack(">H", data[pos:pos + 2])[0]
        yield marker, data[pos + 2:pos + length]
        pos += length
        if marker == 0xDA:
            # skip entropy-coded data up to the next real marker
            while pos < len(data) - 1:
                if data[pos] == 0xFF and data[pos + 1] not in (0x00,) and not (0xD0 <= data[pos + 1] <= 0xD7):
                    break
                pos += 1


def check_emblem(path):
    name = os.path.basename(path)
    with open(path, "rb") as f:
        data = f.read()
    try:
        segs = list(jpeg_segments(data))
    except ValueError as e:
        fail(name, str(e))
        return
    if not segs or segs[0][0] != 0xE0 or not segs[0][1].startswith(b"JFIF\0"):
        fail(name, "first segment after SOI is not a JFIF APP0")
    else:
        app0 = segs[0][1]
        major, minor, units, xd, yd = struct.unpack(">BBBHH", app0[5:12])
        if (major, minor) != (1, 1):
            fail(name, "JFIF version %d.%02d, expected 1.01" % (major, minor))
        if units != 1:
            fail(name, "JFIF density units %d, expected 1 (dots per inch)" % units)
        if (xd, yd) != (96, 96):
            fail(name, "JFIF density %dx%d, expected 96x96" % (xd, yd))
    sofs = [(m, b) for m, b in segs if 0xC0 <= m <= 0xCF and m not in (0xC4, 0xC8, 0xCC)]
    if len(sofs) != 1:
        fail(name, "%d frame headers, expected one" % len(sofs))
    elif sofs[0][0] != 0xC0:
        fail(name, "frame is SOF%d, expected SOF0 (baseline)" % (sofs[0][0] - 0xC0))
    else:
        precision, height, width, ncomp = struct.unpack(">BHHB", sofs[0][1][:6])
        ids = [sofs[0][1][6 + 3 * i] for i in range(ncomp)]
        if precision != 8:
            fail(name, "sample precision %d, expected 8" % precision)
        if (width, height) != EMBLEM_SIZE:
            fail(name, "is %dx%d, expected %dx%d" % (width, height, EMBLEM_SIZE[0], EMBLEM_SIZE[1]))
        if ncomp != 3 or ids != [1, 2, 3]:
            fail(name, "%d components %s, expected 3 (YCbCr, ids 1,2,3)" % (ncomp, ids))
    if sum(1 for m, _ in segs if m == 0xDA) != 1:
        fail(name, "more than one scan (progressive?)")

    # Decode with ImageMagick for the picture checks.
    try:
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"],
                             check=True, stdout=subprocess.PIPE).stdout
    except (OSError, subprocess.CalledProcessError) as e:
        fail(name, "could not decode with ImageMagick: %s" % e)
        return
    tmp = path + ".check.ppm"
    try:
        with open(tmp, "wb") as f:
            f.write(ppm)
        w, h, rgb = make_ico.read_ppm(tmp)
    finally:
        os.remove(tmp)
    for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        if pixel(rgb, w, x, y) != EMBLEM_GROUND:
            fail(name, "corner (%d,%d) is %s, expected ground %s" % (x, y, pixel(rgb, w, x, y), EMBLEM_GROUND))
    cast = max(max(pixel(rgb, w, x, y)) - min(pixel(rgb, w, x, y)) for y in range(h) for x in range(w))
    if cast > 12:
        fail(name, "has colour in it (channel spread up to %d); it should be black on grey" % cast)
    dark = sum(1 for y in range(h) for x in range(w) if max(pixel(rgb, w, x, y)) < 100)
    if not (0.08 * w * h <= dark <= 0.40 * w * h):
        fail(name, "%d dark pixels (%.0f%%), expected line work covering roughly 8-40%%"
             % (dark, 100.0 * dark / (w * h)))
    # the ring crosses the middle of each side; the centre of the flower is open
    for x, y in ((21, 3), (21, 37), (3, 20), (38, 20)):
        if max(pixel(rgb, w, x, y)) > 110:
            fail(name, "ring missing at (%d,%d): %s" % (x, y, pixel(rgb, w, x, y)))
    # a dark dot in the middle, open space between the petals left and right of it
    if max(pixel(rgb, w, 20, 20)) > 110:
        fail(name, "no dark dot at the centre of the flower: %s" % (pixel(rgb, w, 20, 20),))
    for x, y in ((11, 20), (30, 20)):
        if min(pixel(rgb, w, x, y)) < 180:
            fail(name, "gap between petals should be light at (%d,%d): %s" % (x, y, pixel(rgb, w, x, y)))


def main():
    assets = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, os.pardir, "assets"))
    png32 = None
    for size in ICON_SIZES:
        path = os.path.join(assets, "sesame-pi-%d.png" % size)
        if not os.path.exists(path):
            fail(os.path.basename(path), "missing")
            continue
        decoded = check_icon_png(path, size)
        if size == 32 and decoded:
            png32 = decoded[2]
    ico = os.path.join(assets, "sesame-pi.ico")
    if os.path.exists(ico):
        check_ico(ico, png32)
    else:
        fail("sesame-pi.ico", "missing")
    emblem = os.path.join(assets, "emblem.jpg")
    if os.path.exists(emblem):
        check_emblem(emblem)
    else:
        fail("emblem.jpg", "missing")
    for f in failures:
        print("FAIL " + f, file=sys.stderr)
    if not failures:
        print("check-images: all bitmap checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
