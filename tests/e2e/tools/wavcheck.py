#!/usr/bin/env python3
"""Checks a WAV file for the end-to-end tests.

    wavcheck.py FILE.wav [--strict] [--channel N] [--onsets T0,T1,...] [--tolerance MS] [--silent]

Prints the format, the sizes and the note onsets found in channel N (default 0; seconds, relative
to the first one).
--strict: the RIFF and data chunk sizes must match the file (a recording a program closed
properly); without it a data size of 0 or too large is read as "to the end of the file" (what a
recorder stopped by a signal may leave). --onsets: the onsets must be these times (relative to the
first), each within the tolerance (default 50 ms). --silent: the channel must hold only zeros
(otherwise it must hold sound). Exit status 0 when every check passes.
"""
import struct
import sys
from array import array


def read_wav(path, strict, channel):
    data = open(path, "rb").read()
    problems = []
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        return None, ["not a RIFF/WAVE file"]
    riff_size = struct.unpack_from("<I", data, 4)[0]
    if strict and riff_size != len(data) - 8:
        problems.append(f"RIFF size {riff_size} but the file has {len(data) - 8} bytes after it")
    at, fmt, samples = 12, None, None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        body = at + 8
        if chunk == b"fmt ":
            tag, channels, rate, _, align, bits = struct.unpack_from("<HHIIHH", data, body)
            if tag == 0xFFFE:  # extensible: the sub-format's first two bytes
                tag = struct.unpack_from("<H", data, body + 24)[0]
            fmt = (tag, channels, rate, align, bits)
        elif chunk == b"data":
            end = body + size
            if end > len(data) or size == 0:
                if strict:
                    problems.append(f"data size {size} does not fit the file")
                end = len(data)
            samples = data[body:end]
            if strict and end + (size & 1) != len(data):
                problems.append("bytes after the data chunk")
            break
        at = body + size + (size & 1)
    if fmt is None or samples is None:
        return None, problems + ["no fmt or data chunk"]
    tag, channels, rate, align, bits = fmt
    if align != channels * bits // 8:
        problems.append(f"block align {align} for {channels} x {bits} bits")
    frames = len(samples) // align
    samples = samples[: frames * align]
    if tag == 3 and bits == 32:
        values = array("f", samples)
    elif tag == 1 and bits == 32:
        values = array("i", samples)
        values = array("f", (v / 2147483648.0 for v in values))
    elif tag == 1 and bits == 16:
        values = array("h", samples)
        values = array("f", (v / 32768.0 for v in values))
    else:
        return None, problems + [f"unsupported format {tag}/{bits}"]
    print(f"format: tag {tag}, {channels} channels, {rate} Hz, {bits} bits, {frames} frames")
    if channel >= channels:
        return None, problems + [f"no channel {channel}"]
    return (rate, values[channel::channels]), problems


def onsets(rate, left):
    window = rate // 1000  # 1 ms
    peaks = [max(abs(x) for x in left[i:i + window]) for i in range(0, len(left) - window, window)]
    if not peaks:
        return [], 0.0
    top = max(peaks)
    threshold = 0.2 * top
    found, quiet = [], 1000
    for i, value in enumerate(peaks):
        if value >= threshold:
            if quiet >= 150:
                found.append(i / 1000.0)
            quiet = 0
        else:
            quiet += 1
    return found, top


def main():
    args = sys.argv[1:]
    path, strict, expected, tolerance, channel, silent = args[0], False, None, 50.0, 0, False
    i = 1
    while i < len(args):
        if args[i] == "--strict":
            strict = True
        elif args[i] == "--onsets":
            i += 1
            expected = [float(t) for t in args[i].split(",")]
        elif args[i] == "--tolerance":
            i += 1
            tolerance = float(args[i])
        elif args[i] == "--channel":
            i += 1
            channel = int(args[i])
        elif args[i] == "--silent":
            silent = True
        i += 1
    audio, problems = read_wav(path, strict, channel)
    for p in problems:
        print("problem:", p)
    if audio is None:
        return 1
    found, top = onsets(*audio)
    print(f"peak: {top:.4f}")
    relative = [t - found[0] for t in found] if found else []
    print("onsets:", " ".join(f"{t:.3f}" for t in relative))
    ok = not problems and (top == 0.0 if silent else top > 0.001)
    if expected is not None:
        if len(relative) != len(expected):
            print(f"problem: {len(relative)} onsets, expected {len(expected)}")
            ok = False
        else:
            for got, want in zip(relative, expected):
                if abs(got - want) * 1000.0 > tolerance:
                    print(f"problem: onset at {got:.3f} s, expected {want:.3f} s")
                    ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
