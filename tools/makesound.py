#!/usr/bin/env python3
"""Synthesises the alert sound: a soft rising three-note chime (G5, C6, E6) of about one second.

Usage: tools/makesound.py assets/ts.mp3   (needs lame; writes a temporary WAV beside the output)
"""
import math
import os
import struct
import subprocess
import sys
import wave

RATE = 44100
LENGTH = 1.05  # seconds, the last note's tail included

# (start in seconds, frequency in Hz, loudness)
NOTES = [(0.00, 783.99, 0.80), (0.12, 1046.50, 0.72), (0.24, 1318.51, 0.66)]
# Bell-like partials: (frequency ratio, relative amplitude, decay time constant in seconds)
PARTIALS = [(1.0, 1.00, 0.30), (2.0, 0.22, 0.14), (3.0, 0.06, 0.08)]
ATTACK = 0.006


def sample(t):
    value = 0.0
    for start, freq, loud in NOTES:
        u = t - start
        if u < 0:
            continue
        attack = 0.5 - 0.5 * math.cos(math.pi * min(u / ATTACK, 1.0))
        for ratio, amp, tau in PARTIALS:
            value += loud * amp * attack * math.exp(-u / tau) * math.sin(2 * math.pi * freq * ratio * u)
    # A short raised-cosine tail brings the end down to silence without a click.
    tail = 0.25
    if t > LENGTH - tail:
        value *= 0.5 + 0.5 * math.cos(math.pi * (t - (LENGTH - tail)) / tail)
    return value


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    samples = [sample(i / RATE) for i in range(int(LENGTH * RATE))]
    peak = max(abs(s) for s in samples)
    gain = 0.70 / peak  # about -3 dBFS: soft, with room for the encoder
    wav = out + ".wav"
    with wave.open(wav, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(round(s * gain * 32767))) for s in samples))
    try:
        subprocess.run(["lame", "--quiet", "-m", "m", "-b", "80", "--cbr", "-q", "2", "--noreplaygain", wav, out],
                       check=True)
    finally:
        os.remove(wav)


if __name__ == "__main__":
    main()
