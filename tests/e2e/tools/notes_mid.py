#!/usr/bin/env python3
"""Writes a format 0 MIDI file (480 ticks per beat, 120 bpm, no tempo change) of short notes.

    notes_mid.py OUT END_TICK TICK:PITCH...

Each note sounds for 96 ticks at velocity 110; the end of track is at END_TICK.
"""
import struct
import sys


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    out, end = argv[1], int(argv[2])
    events, now = [], 0
    for note in argv[3:]:
        tick, pitch = (int(v) for v in note.split(":"))
        events += [(tick, bytes([0x90, pitch, 110])), (tick + 96, bytes([0x80, pitch, 0]))]
    events.sort(key=lambda e: e[0])
    track = vlq(0) + b"\xff\x51\x03" + (500000).to_bytes(3, "big")
    for tick, data in events:
        track += vlq(tick - now) + data
        now = tick
    track += vlq(end - now) + b"\xff\x2f\x00"
    with open(out, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track)) + track)


if __name__ == "__main__":
    main(sys.argv)
