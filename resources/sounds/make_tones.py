#!/usr/bin/env python3
"""Writes the client's three prompt tones next to this script.

Only the Python standard library is used, and the output is the same on every run, so
the wave files in the repository can always be remade from here:

    python3 resources/sounds/make_tones.py

talking_bee.wav    a soft rising two-note chirp: the microphone is open
call_bee.wav       a warm two-tone ring burst with a pause after it; it is looped
reconnect_bee.wav  three falling notes: the connection is being re-established
"""

import math
import struct
import wave
from pathlib import Path

RATE = 16000
AMPLITUDE = 0.35  # of full scale, so that a tone never startles


def note(frequencies, seconds, attack=0.01, release=0.04):
    """A chord of sines with a smooth attack and release, as float samples."""
    count = int(RATE * seconds)
    samples = []
    for i in range(count):
        t = i / RATE
        envelope = min(1.0, t / attack, (seconds - t) / release)
        value = sum(math.sin(2 * math.pi * f * t) for f in frequencies) / len(frequencies)
        # A touch of the second harmonic makes the sine less clinical.
        value += 0.15 * sum(math.sin(4 * math.pi * f * t) for f in frequencies) / len(frequencies)
        samples.append(max(0.0, envelope) * value / 1.15)
    return samples


def rest(seconds):
    return [0.0] * int(RATE * seconds)


def write(name, samples):
    path = Path(__file__).with_name(name)
    frames = b"".join(
        struct.pack("<h", round(max(-1.0, min(1.0, s * AMPLITUDE)) * 32767)) for s in samples
    )
    with wave.open(str(path), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def main():
    write("talking_bee.wav", note([880.0], 0.07) + rest(0.02) + note([1318.5], 0.09))
    write(
        "call_bee.wav",
        (note([659.3, 830.6], 0.12) + rest(0.05)) * 3 + rest(0.6),
    )
    write(
        "reconnect_bee.wav",
        note([1046.5], 0.1) + rest(0.03) + note([784.0], 0.1) + rest(0.03) + note([523.3], 0.16),
    )


if __name__ == "__main__":
    main()
