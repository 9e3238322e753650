#!/bin/bash
# Regenerate every bitmap in assets/ from its hand-written SVG, then check it.
#
#   assets/sesame-pi.svg -> sesame-pi-{32,48,64,128,256}.png  (opaque RGB PNG)
#                        -> sesame-pi.ico                     (one 32x32 24-bit image)
#   assets/emblem.svg    -> emblem.jpg                        (42x41 baseline JFIF, 96 dpi)
#
# Needs rsvg-convert (librsvg2-bin), ImageMagick (convert, identify) and python3.
# The output is reproducible: no timestamps or other metadata are written, so
# running this twice leaves byte-identical files.
#
#   scripts/make-images.sh           regenerate, then check
#   scripts/make-images.sh --check   only check the files that are there
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
assets=$(cd "${ASSETS_DIR:-$here/../assets}" && pwd)   # ASSETS_DIR: check a copy elsewhere

die() { echo "make-images: FAIL: $*" >&2; exit 1; }

for tool in rsvg-convert convert identify python3; do
    command -v "$tool" >/dev/null || die "$tool not found (apt-get install librsvg2-bin imagemagick python3)"
done

check_only=0
case "${1:-}" in
    --check) check_only=1 ;;
    "") ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

icon_sizes="32 48 64 128 256"

# Options that keep ImageMagick from writing dates, comments, profiles etc.
no_meta=(-strip +set date:create +set date:modify +set date:timestamp)

generate() {
    local tmp
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' RETURN

    # Icon PNGs: each size is rendered straight from the SVG (not scaled down
    # from a big bitmap), flattened on white and written as 8-bit RGB.
    for s in $icon_sizes; do
        rsvg-convert -w "$s" -h "$s" -b white "$assets/sesame-pi.svg" -o "$tmp/frog-$s.png"
        convert "$tmp/frog-$s.png" -background white -alpha remove -alpha off \
            -colorspace sRGB -depth 8 "${no_meta[@]}" \
            -define png:exclude-chunks=date,time \
            "PNG24:$assets/sesame-pi-$s.png"
    done

    # ICO: ImageMagick would store a 32-bit image with alpha, so the 24-bit
    # icon is assembled by make-ico.py from the 32 px PNG's pixels.
    convert "$assets/sesame-pi-32.png" -depth 8 "ppm:$tmp/frog-32.ppm"
    python3 "$here/make-ico.py" "$tmp/frog-32.ppm" "$assets/sesame-pi.ico"

    # Emblem: 42x41 baseline JPEG, three components, 96 dpi, quality 92.
    rsvg-convert -w 42 -h 41 -b '#f0f0f0' "$assets/emblem.svg" -o "$tmp/emblem.png"
    convert "$tmp/emblem.png" -background '#f0f0f0' -alpha remove -alpha off \
        -colorspace sRGB -type TrueColor "${no_meta[@]}" \
        -density 96 -units PixelsPerInch -interlace none -sampling-factor 1x1 \
        -quality 92 "JPEG:$assets/emblem.jpg"
}

# expect FILE FORMAT-STRING WANTED DESCRIPTION
expect() {
    local got
    got=$(identify -format "$2" "$1" 2>&1) || die "identify could not read $1: $got"
    [ "$got" = "$3" ] || die "$(basename "$1"): $4: got '$got', expected '$3'"
}

check() {
    for s in $icon_sizes; do
        f="$assets/sesame-pi-$s.png"
        [ -f "$f" ] || die "missing $f"
        expect "$f" '%m %wx%h' "PNG ${s}x${s}" "format/size"
        expect "$f" '%[colorspace] %z-bit %[channels] %[opaque]' "sRGB 8-bit srgb true" \
            "colour (want 8-bit sRGB, 3 channels, opaque)"
        expect "$f" '%[type]' "TrueColor" "image type"
        expect "$f" '%[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]' "2 8" \
            "PNG colour type/bit depth (want 2 = RGB, 8 bits)"
    done

    f="$assets/sesame-pi.ico"
    [ -f "$f" ] || die "missing $f"
    expect "$f" '%m %wx%h %[opaque]\n' "ICO 32x32 true" "ImageMagick's view of the icon"
    ae=$(compare -metric AE "$f" "$assets/sesame-pi-32.png" null: 2>&1) || true
    [ "$ae" = "0" ] || die "sesame-pi.ico: pixels differ from sesame-pi-32.png ($ae pixels)"
    python3 "$here/make-ico.py" --check "$f" >/dev/null

    f="$assets/emblem.jpg"
    [ -f "$f" ] || die "missing $f"
    expect "$f" '%m %wx%h' "JPEG 42x41" "format/size"
    expect "$f" '%x %y %[units]' "96 96 PixelsPerInch" "density"
    expect "$f" '%Q %[interlace] %[colorspace]' "92 None sRGB" "quality/interlace/colourspace"
    expect "$f" '%[jpeg:colorspace]' "2" "JPEG colour space (2 = YCbCr, three components)"

    python3 "$here/check-images.py" "$assets"
}

if [ "$check_only" = 0 ]; then
    generate
fi
check

for f in "$assets"/sesame-pi-*.png "$assets/sesame-pi.ico" "$assets/emblem.jpg"; do
    identify "$f" | sed "s|$assets/||"
done
