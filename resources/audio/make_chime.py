#!/usr/bin/env python3
"""Writes the listing-completed chime: two soft bell tones a fourth apart (E5, then A5).

Usage: make_chime.py OUTPUT.wav

16-bit PCM, mono, 44.1 kHz, about 0.8 s, peak at -6 dBFS. Standard library only and no
randomness, so every build writes the same bytes.
"""

import math
import struct
import sys
import wave

RATE = 44100
LENGTH_S = 0.80
PEAK_DBFS = -6.0
FADE_IN_S = 0.004   # a few milliseconds of rise, so a note starts without a click
FADE_OUT_S = 0.060  # the tail reaches exact silence before the file ends

# (start in seconds, fundamental in Hz, loudness)
NOTES = [(0.00, 659.26, 0.85), (0.17, 880.00, 1.00)]
# (multiple of the fundamental, amplitude, decay time constant in seconds): the upper
# partials fade sooner, which is what makes the tone sound struck rather than hummed.
PARTIALS = [(1.0, 1.00, 0.30), (2.0, 0.28, 0.14), (3.0, 0.10, 0.08), (4.2, 0.04, 0.05)]


def note_value(t, freq):
    if t < 0.0:
        return 0.0
    rise = 0.5 - 0.5 * math.cos(math.pi * t / FADE_IN_S) if t < FADE_IN_S else 1.0
    value = 0.0
    for multiple, amplitude, tau in PARTIALS:
        value += amplitude * math.exp(-t / tau) * math.sin(2.0 * math.pi * freq * multiple * t)
    return rise * value


def render():
    count = int(RATE * LENGTH_S)
    fade_out = int(RATE * FADE_OUT_S)
    samples = []
    for i in range(count):
        t = i / RATE
        value = sum(level * note_value(t - start, freq) for start, freq, level in NOTES)
        left = count - 1 - i
        if left < fade_out:
            value *= 0.5 - 0.5 * math.cos(math.pi * left / fade_out)
        samples.append(value)
    peak = max(abs(v) for v in samples)
    scale = 32767.0 * 10.0 ** (PEAK_DBFS / 20.0) / peak
    return [int(round(v * scale)) for v in samples]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_chime.py OUTPUT.wav")
    samples = render()
    with wave.open(sys.argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % len(samples), *samples))


if __name__ == "__main__":
    main()
