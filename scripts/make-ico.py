#!/usr/bin/env python3
"""Write a single-image, 24-bit, fully opaque Windows .ico file.

ImageMagick writes 32-bit (alpha) bitmaps into .ico files; sesame-pi's icon
is meant to be a plain 24-bit one, so it is assembled here by hand:

    ICONDIR           6 bytes   reserved=0, type=1 (icon), count=1
    ICONDIRENTRY     16 bytes   32x32, 0 palette colours, 1 plane, 24 bpp
    BITMAPINFOHEADER 40 bytes   biHeight = 2 * height (XOR image + AND mask)
    XOR image                   24 bpp BGR, bottom-up, rows padded to 4 bytes
    AND mask                    1 bpp, all zero (every pixel opaque),
                                bottom-up, rows padded to 4 bytes

Usage:
    scripts/make-ico.py IN.ppm OUT.ico   IN is a binary PPM (P6, maxval 255),
                                         e.g. from `convert icon.png ppm:IN.ppm`
    scripts/make-ico.py --check OUT.ico [IN.ppm]
                                         parse OUT.ico back and verify it (and
                                         that its pixels equal IN.ppm if given)

After writing, the file is always parsed back and verified; any mismatch
exits with status 1.
"""

import struct
import sys


def read_ppm(path):
    """Return (width, height, rgb bytes) from a binary P6 PPM with maxval 255."""
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        # skip whitespace and comments between header fields
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1  # exactly one whitespace byte before the raster
    if fields[0] != b"P6":
        raise ValueError("%s: not a binary PPM (P6)" % path)
    width, height, maxval = int(fields[1]), int(fields[2]), int(fields[3])
    if maxval != 255:
        raise ValueError("%s: maxval %d, expected 255 (use -depth 8)" % (path, maxval))
    rgb = data[pos:pos + width * height * 3]
    if len(rgb) != width * height * 3:
        raise ValueError("%s: truncated raster" % path)
    return width, height, rgb


def row_stride(width, bits_per_pixel):
    return ((width * bits_per_pixel + 31) // 32) * 4


def build_ico(width, height, rgb):
    if not (1 <= width <= 256 and 1 <= height <= 256):
        raise ValueError("icon images are at most 256x256")
    xor_stride = row_stride(width, 24)
    and_stride = row_stride(width, 1)
    xor = bytearray()
    for y in range(height - 1, -1, -1):          # bottom-up
        row = rgb[y * width * 3:(y + 1) * width * 3]
        for x in range(width):
            r, g, b = row[3 * x:3 * x + 3]
            xor += bytes((b, g, r))
        xor += b"\0" * (xor_stride - width * 3)
    and_mask = b"\0" * (and_stride * height)     # 0 = opaque everywhere

    header = struct.pack("<IiiHHIIiiII",
                         40,            # biSize
                         width,         # biWidth
                         height * 2,    # biHeight: XOR image + AND mask
                         1,             # biPlanes
                         24,            # biBitCount
                         0,             # biCompression = BI_RGB
                         len(xor) + len(and_mask),  # biSizeImage
                         0, 0,          # resolution (unused in icons)
                         0, 0)          # biClrUsed, biClrImportant
    image = header + bytes(xor) + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII",
                        width % 256, height % 256,   # 0 means 256
                        0, 0,                         # palette colours, reserved
                        1, 24,                        # planes, bit count
                        len(image), 6 + 16)           # size, offset
    return icondir + entry + image


def parse_ico(data):
    """Parse a single-image 24-bit ICO; return (width, height, rgb, problems)."""
    problems = []
    if len(data) < 6 + 16 + 40:
        return 0, 0, b"", ["file too short (%d bytes)" % len(data)]
    reserved, kind, count = struct.unpack("<HHH", data[0:6])
    if reserved != 0 or kind != 1:
        problems.append("ICONDIR reserved/type are %d/%d, expected 0/1" % (reserved, kind))
    if count != 1:
        problems.append("holds %d images, expected exactly 1" % count)
    w, h, ncol, res, planes, bpp, size, offset = struct.unpack("<BBBBHHII", data[6:22])
    width, height = w or 256, h or 256
    if ncol != 0 or res != 0:
        problems.append("ICONDIRENTRY colour count/reserved are %d/%d, expected 0/0" % (ncol, res))
    if planes != 1 or bpp != 24:
        problems.append("ICONDIRENTRY planes/bpp are %d/%d, expected 1/24" % (planes, bpp))
    if offset + size != len(data):
        problems.append("image at %d+%d does not end at the file end (%d)" % (offset, size, len(data)))
    (bi_size, bi_w, bi_h, bi_planes, bi_bpp, bi_comp, bi_sizeimg,
     _, _, bi_clrused, _) = struct.unpack("<IiiHHIIiiII", data[offset:offset + 40])
    if bi_size != 40:
        problems.append("BITMAPINFOHEADER size %d, expected 40 (PNG-in-ICO is not wanted)" % bi_size)
    if bi_w != width or bi_h != 2 * height:
        problems.append("bitmap is %dx%d, expected %dx%d" % (bi_w, bi_h, width, 2 * height))
    if bi_planes != 1 or bi_bpp != 24 or bi_comp != 0 or bi_clrused != 0:
        problems.append("bitmap planes/bpp/compression/colours are %d/%d/%d/%d, expected 1/24/0/0"
                        % (bi_planes, bi_bpp, bi_comp, bi_clrused))
    xor_stride = row_stride(width, 24)
    and_stride = row_stride(width, 1)
    xor_start = offset + 40
    and_start = xor_start + xor_stride * height
    expected_size = 40 + xor_stride * height + and_stride * height
    if size != expected_size:
        problems.append("image data is %d bytes, expected %d" % (size, expected_size))
    if bi_sizeimg not in (0, xor_stride * height + and_stride * height):
        problems.append("biSizeImage %d is wrong" % bi_sizeimg)
    if problems:
        return width, height, b"", problems
    and_mask = data[and_start:and_start + and_stride * height]
    if any(and_mask):
        problems.append("AND mask has set bits: some pixels would be transparent")
    rgb = bytearray(width * height * 3)
    for row in range(height):
        y = height - 1 - row
        src = data[xor_start + row * xor_stride:xor_start + row * xor_stride + width * 3]
        for x in range(width):
            b, g, r = src[3 * x:3 * x + 3]
            rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] = bytes((r, g, b))
    return width, height, bytes(rgb), problems


def check(ico_path, ppm_path=None, want=(32, 32)):
    with open(ico_path, "rb") as f:
        data = f.read()
    width, height, rgb, problems = parse_ico(data)
    if (width, height) != tuple(want):
        problems.append("icon is %dx%d, expected %dx%d" % (width, height, want[0], want[1]))
    if ppm_path and not problems:
        pw, ph, prgb = read_ppm(ppm_path)
        if (pw, ph) != (width, height) or prgb != rgb:
            diff = sum(1 for i in range(0, min(len(rgb), len(prgb)), 3) if rgb[i:i + 3] != prgb[i:i + 3])
            problems.append("pixels differ from %s (%d pixels)" % (ppm_path, diff))
    return problems


def main(argv):
    if len(argv) >= 2 and argv[0] == "--check":
        problems = check(argv[1], argv[2] if len(argv) > 2 else None)
    elif len(argv) == 2:
        width, height, rgb = read_ppm(argv[0])
        with open(argv[1], "wb") as f:
            f.write(build_ico(width, height, rgb))
        problems = check(argv[1], argv[0], want=(width, height))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    target = argv[1]
    for p in problems:
        print("FAIL %s: %s" % (target, p), file=sys.stderr)
    if not problems:
        with open(target, "rb") as f:
            data = f.read()
        width, height = parse_ico(data)[:2]
        print("%s: ICO, 1 image, %dx%d, 24 bpp, AND mask clear, %d bytes"
              % (target, width, height, len(data)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
