#!/usr/bin/env python3
"""Writes the default alarm sound, resources/trill.wav.

A short bell-like trill: two notes a major third apart (E6 and C6)
alternating quickly, each note with soft edges so that nothing clicks,
and the whole trill fading out at the end. The alarm repeats it every
second, so it stays well under one second. Mono, 16 bit, 22050 Hz keeps
the file small. The output is the same on every run.

Usage: scripts/make-trill.py [output file]
"""

import math
import os
import struct
import sys
import wave

RATE = 22050
NOTE_SECONDS = 0.055
NOTES = 12
TAIL_SECONDS = 0.09
HIGH_HZ = 1318.51  # E6
LOW_HZ = 1046.50   # C6
EDGE_SECONDS = 0.004
FADE_FROM_SECONDS = 0.4
PEAK = 0.55
# Partials of a small bell: fundamental, octave and twelfth.
PARTIALS = ((1.0, 1.0), (2.0, 0.28), (3.0, 0.08))


def edge(t, length):
    """Raised-cosine ramp in and out of one note."""
    if t < EDGE_SECONDS:
        return 0.5 - 0.5 * math.cos(math.pi * t / EDGE_SECONDS)
    if t > length - EDGE_SECONDS:
        return 0.5 - 0.5 * math.cos(math.pi * (length - t) / EDGE_SECONDS)
    return 1.0


def note_at(t):
    """Index of the note sounding at time t, the time into it and its length."""
    note = min(int(t / NOTE_SECONDS), NOTES - 1)
    length = NOTE_SECONDS if note < NOTES - 1 else NOTE_SECONDS + TAIL_SECONDS
    return note, t - note * NOTE_SECONDS, length


def sample(i, total):
    t = i / RATE
    note, local, length = note_at(t)
    pitch = HIGH_HZ if note % 2 == 0 else LOW_HZ
    # A small strike at the start of each note, then a steady ring.
    level = edge(local, length) * (0.75 + 0.25 * math.exp(-local / 0.02))
    if note == NOTES - 1:
        # The last note rings on and dies away.
        level *= math.exp(-local / (TAIL_SECONDS / 1.5))
    fade = 1.0 - 0.5 * max(0.0, (t - FADE_FROM_SECONDS) / (total - FADE_FROM_SECONDS))
    partials = sum(a * math.sin(2 * math.pi * pitch * k * local) for k, a in PARTIALS)
    norm = sum(a for _, a in PARTIALS)
    return PEAK * fade * level * partials / norm


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "trill.wav")
    total = NOTES * NOTE_SECONDS + TAIL_SECONDS
    count = int(RATE * total)
    frames = bytearray()
    for i in range(count):
        value = max(-1.0, min(1.0, sample(i, total)))
        frames += struct.pack("<h", int(round(value * 32767)))
    with wave.open(target, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))


if __name__ == "__main__":
    main()
