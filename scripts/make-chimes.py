#!/usr/bin/env python3
"""Synthesise the two door chimes used by sesame-pi.

    pinpon.wav     played when a run starts: "pin" (high) then "pon" (lower)
    endpinpon.wav  played when the user leaves (Exit): a descending three-note
                   figure

Both are RIFF/WAVE, PCM 16-bit signed little-endian, mono, 44100 Hz.  Each
note is a small struck bar: a fundamental plus two soft inharmonic partials
(ratios 2.76 and 5.40, as on a free bar), a 5 ms attack and an exponential
decay.  The sound is normalised to a -3 dBFS peak and every file ends with
exactly 0.2 s of digital silence, so that the last note has died away
before the stream ends.

Only the standard library is used and there is no randomness, so running the
script again writes the same bytes.

Usage:
    scripts/make-chimes.py            write assets/*.wav, then verify them
    scripts/make-chimes.py --check    only verify the existing files
    scripts/make-chimes.py --out DIR  write into DIR instead of assets/
"""

import argparse
import array
import math
import os
import struct
import sys
import wave

RATE = 44100
PEAK_DBFS = -3.0
TAIL_SILENCE = 0.2          # seconds of zeros at the end of every file
ATTACK = 0.005              # seconds
FADE_OUT = 0.08             # seconds, end of the sounding part
FADE_FLOOR = 0.01           # gain the fade-out levels off at
ONSET_LIMIT = 0.010         # the chime must be audible within this time
ONSET_LEVEL_DBFS = -30.0    # "audible" for the onset check

# (frequency ratio, relative amplitude, decay time constant as a fraction of
#  the note's own decay) for each partial of the bar.
PARTIALS = (
    (1.00, 1.00, 1.00),
    (2.76, 0.22, 0.45),
    (5.40, 0.08, 0.25),
)

# name -> (sounding length in seconds, [(start s, frequency Hz, decay tau s, gain)])
CHIMES = {
    "pinpon.wav": (1.0, [
        (0.00, 659.26, 0.28, 1.00),   # pin  (E5)
        (0.38, 523.25, 0.32, 1.00),   # pon  (C5)
    ]),
    "endpinpon.wav": (1.2, [
        (0.00, 783.99, 0.22, 0.90),   # G5
        (0.30, 659.26, 0.24, 0.95),   # E5
        (0.60, 523.25, 0.34, 1.00),   # C5
    ]),
}


def render(length, notes):
    """Return the sounding part as a list of floats (arbitrary scale)."""
    n = int(round(length * RATE))
    buf = [0.0] * n
    attack_n = int(round(ATTACK * RATE))
    for start, freq, tau, gain in notes:
        s0 = int(round(start * RATE))
        for i in range(s0, n):
            t = (i - s0) / RATE
            if i - s0 < attack_n:
                env = 0.5 - 0.5 * math.cos(math.pi * (i - s0 + 1) / attack_n)
            else:
                env = 1.0
            v = 0.0
            for ratio, amp, tau_frac in PARTIALS:
                f = freq * ratio
                if f >= RATE / 2:
                    continue
                v += amp * math.exp(-t / (tau * tau_frac)) * math.sin(2.0 * math.pi * f * t)
            buf[i] += gain * env * v
    # Raised-cosine fade over the last FADE_OUT seconds so the cut into
    # silence does not click.  It levels off at FADE_FLOOR (about -40 dB)
    # instead of zero, so the sound runs right up to the silent tail rather
    # than dwindling into a string of zero samples.
    fade_n = int(round(FADE_OUT * RATE))
    for k in range(fade_n):
        i = n - fade_n + k
        g = 0.5 + 0.5 * math.cos(math.pi * (k + 1) / fade_n)
        buf[i] *= FADE_FLOOR + (1.0 - FADE_FLOOR) * g
    return buf


def quantise(buf):
    peak = max(abs(x) for x in buf)
    target = 32767.0 * 10.0 ** (PEAK_DBFS / 20.0)
    scale = target / peak
    pcm = array.array("h", (int(round(x * scale)) for x in buf))
    # The sounding part ends at its last non-zero sample, so that the zeros
    # that follow are exactly the intended tail.
    while pcm and pcm[-1] == 0:
        pcm.pop()
    return pcm


def write_wav(path, pcm):
    data = array.array("h", pcm)
    data.extend([0] * int(round(TAIL_SILENCE * RATE)))
    if sys.byteorder != "little":
        data.byteswap()
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.setcomptype("NONE", "not compressed")
        w.writeframes(data.tobytes())


def dbfs(x):
    return 20.0 * math.log10(x / 32768.0) if x > 0 else float("-inf")


def check_wav(path, min_len, max_len):
    """Verify one chime; return (summary line, list of problems)."""
    problems = []
    with open(path, "rb") as f:
        raw = f.read()
    if raw[0:4] != b"RIFF" or raw[8:12] != b"WAVE":
        return None, ["not a RIFF/WAVE file"]
    if struct.unpack("<I", raw[4:8])[0] != len(raw) - 8:
        problems.append("RIFF size field does not match the file size")
    fmt_tag, channels, rate, _, block_align, bits = struct.unpack("<HHIIHH", raw[20:36])
    if raw[12:16] != b"fmt " or fmt_tag != 1:
        problems.append("format is not PCM (tag %d)" % fmt_tag)
    if channels != 1:
        problems.append("expected mono, got %d channels" % channels)
    if rate != RATE:
        problems.append("expected %d Hz, got %d" % (RATE, rate))
    if bits != 16 or block_align != 2:
        problems.append("expected 16-bit samples, got %d bits" % bits)
    if problems:
        return None, problems

    with wave.open(path, "rb") as w:
        frames = w.readframes(w.getnframes())
    pcm = array.array("h")
    pcm.frombytes(frames)
    if sys.byteorder != "little":
        pcm.byteswap()
    n = len(pcm)
    if n == 0:
        return None, ["no samples"]

    tail = int(round(TAIL_SILENCE * RATE))
    zeros = 0
    for v in reversed(pcm):
        if v != 0:
            break
        zeros += 1
    if zeros != tail:
        problems.append("trailing silence is %d samples, expected exactly %d (%.3f s)"
                        % (zeros, tail, TAIL_SILENCE))
    sound = pcm[:n - zeros]
    sound_len = len(sound) / RATE
    if not (min_len <= sound_len <= max_len):
        problems.append("sounding part is %.3f s, expected %.2f..%.2f s"
                        % (sound_len, min_len, max_len))

    peak = max(abs(v) for v in pcm)
    if peak >= 32767:
        problems.append("clipping: peak sample %d" % peak)
    peak_db = dbfs(peak)
    if not (-4.0 <= peak_db <= -2.0):
        problems.append("peak %.2f dBFS, expected about %.1f dBFS" % (peak_db, PEAK_DBFS))

    level = 32768.0 * 10.0 ** (ONSET_LEVEL_DBFS / 20.0)
    onset = next((i for i, v in enumerate(pcm) if abs(v) >= level), None)
    if onset is None or onset > ONSET_LIMIT * RATE:
        problems.append("chime is not heard within %.0f ms of the start (onset %s)"
                        % (ONSET_LIMIT * 1000, "never" if onset is None else "%.1f ms" % (onset * 1000.0 / RATE)))

    rms = math.sqrt(sum(float(v) * v for v in sound) / max(1, len(sound)))
    summary = ("%s: %.3f s (%.3f s sound + %.3f s silence), %d Hz mono 16-bit, "
               "peak %.2f dBFS, RMS %.2f dBFS, onset %.1f ms"
               % (os.path.basename(path), n / RATE, sound_len, zeros / RATE, rate,
                  peak_db, dbfs(rms), (onset or 0) * 1000.0 / RATE))
    return summary, problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description="Synthesise and verify the sesame-pi chimes.")
    ap.add_argument("--out", default=os.path.join(here, os.pardir, "assets"),
                    help="directory for the WAV files (default: assets/)")
    ap.add_argument("--check", action="store_true",
                    help="do not write anything, only verify the existing files")
    args = ap.parse_args()
    out = os.path.normpath(args.out)

    if not args.check:
        os.makedirs(out, exist_ok=True)
        for name, (length, notes) in CHIMES.items():
            write_wav(os.path.join(out, name), quantise(render(length, notes)))

    failed = False
    for name, (length, _) in CHIMES.items():
        path = os.path.join(out, name)
        if not os.path.exists(path):
            print("FAIL %s: missing" % path, file=sys.stderr)
            failed = True
            continue
        summary, problems = check_wav(path, length - 0.05, length + 0.01)
        if summary:
            print(summary)
        for p in problems:
            print("FAIL %s: %s" % (name, p), file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
