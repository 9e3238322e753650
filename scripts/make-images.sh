#!/bin/bash
# Regenerate every bitmap in assets/ from its hand-written SVG, then check it.
#
#   assets/sesame-pi.svg -> sesame-pi-<size>.png, one for each of the sizes
#                           that CMakeLists.txt sets (SESAME_PI_ICON_SIZES):
#                           opaque 8-bit RGB PNGs, the hicolor icons, and the
#                           window icon (32 px and up, from the program's resources)
#   assets/emblem.svg    -> emblem.jpg  (42x41 baseline JFIF, 96 dpi)
#
# Needs rsvg-convert (librsvg2-bin) and ImageMagick (convert, identify). The
# output is reproducible: no timestamps or other metadata are written, so
# running this twice leaves byte-identical files.
#
#   scripts/make-images.sh           regenerate, then check
#   scripts/make-images.sh --check   only check the files that are there
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
assets=$(cd "${ASSETS_DIR:-$here/../assets}" && pwd)   # ASSETS_DIR: check a copy elsewhere

die() { echo "make-images: FAIL: $*" >&2; exit 1; }

for tool in rsvg-convert convert identify; do
    command -v "$tool" >/dev/null || die "$tool not found (apt-get install librsvg2-bin imagemagick)"
done

case "${1:-}" in
    --check) check_only=1 ;;
    "") check_only=0 ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

icon_sizes=$(sed -n 's/^set(SESAME_PI_ICON_SIZES \(.*\))$/\1/p' "$here/../CMakeLists.txt")
[ -n "$icon_sizes" ] || die "no SESAME_PI_ICON_SIZES in CMakeLists.txt"

# Options that keep ImageMagick from writing dates, comments, profiles etc.
no_meta=(-strip +set date:create +set date:modify +set date:timestamp)

generate() {
    local tmp
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' RETURN

    # Each size is rendered straight from the SVG (not scaled down from a big
    # bitmap), flattened on white and written as 8-bit RGB without alpha.
    for s in $icon_sizes; do
        rsvg-convert -w "$s" -h "$s" -b white "$assets/sesame-pi.svg" -o "$tmp/frog-$s.png"
        convert "$tmp/frog-$s.png" -background white -alpha remove -alpha off \
            -colorspace sRGB -depth 8 "${no_meta[@]}" \
            -define png:exclude-chunks=date,time \
            "PNG24:$assets/sesame-pi-$s.png"
    done

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
    local f s
    for s in $icon_sizes; do
        f="$assets/sesame-pi-$s.png"
        [ -f "$f" ] || die "missing $f"
        expect "$f" '%m %wx%h' "PNG ${s}x${s}" "format/size"
        expect "$f" '%[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig] %[opaque]' "2 8 true" \
            "PNG colour type, bit depth, opacity (want 2 = RGB, 8 bits, opaque)"
    done

    f="$assets/emblem.jpg"
    [ -f "$f" ] || die "missing $f"
    expect "$f" '%m %wx%h' "JPEG 42x41" "format/size"
    expect "$f" '%x %y %[units]' "96 96 PixelsPerInch" "density"
    expect "$f" '%Q %[interlace] %[jpeg:colorspace]' "92 None 2" \
        "quality, interlace, JPEG colour space (2 = YCbCr)"
}

if [ "$check_only" = 0 ]; then
    generate
fi
check

for f in "$assets"/sesame-pi-*.png "$assets/emblem.jpg"; do
    identify "$f" | sed "s|$assets/||"
done
