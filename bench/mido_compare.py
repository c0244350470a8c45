#!/usr/bin/env python3
"""MIDI-file loading, the host beside mido: generates a set of Standard MIDI Files (dense notes,
many tracks, one large sysex, tempo changes), loads each one cold (a fresh process per load, the
file in the page cache) with mido.MidiFile and with the host's loader, in interleaved rounds, and
prints the median processor times (the machine may be shared: wall time would mostly measure the
neighbours), their ratio and the host's peak heap per event.

    mido_compare.py LOADER [--rounds N] [--scale F] [--before OTHER_LOADER]

LOADER is build/bench/bench/quorvel_midi_load (it prints "cpu_seconds events peak_bytes"); --before
adds another build's loader to the same rounds, for a before/after comparison.
"""
import argparse
import os
import statistics
import struct
import subprocess
import sys
import tempfile

MIDO_LOAD = (
    "import sys, time, mido\n"
    "t = time.process_time()\n"
    "mido.MidiFile(sys.argv[1])\n"
    "print(time.process_time() - t)\n"
)


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def smf(tracks, division=480):
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), division)
    for body in tracks:
        body += b"\x00\xff\x2f\x00"
        data += b"MTrk" + struct.pack(">I", len(body)) + body
    return data


def dense_notes(events):
    # Four-note chords on every tick step, note-offs as note-ons of velocity 0, running status.
    out = bytearray(b"\x00\xff\x51\x03\x07\xa1\x20\x00\x90")
    first = True
    for step in range(events // 8):
        keys = [36 + (step * 5 + k * 4) % 60 for k in range(4)]
        for i, key in enumerate(keys):
            out += (b"" if first else var_len(0 if i else 10)) + bytes([key, 64 + step % 63])
            first = False
        for key in keys:
            out += var_len(0) + bytes([key, 0])
    return [bytes(out)]


def many_tracks(events, count=64):
    tracks = []
    per = events // count // 4
    for t in range(count):
        ch = t % 16
        out = bytearray(b"\x00\xff\x03\x06" + b"Part%02d" % t)
        for step in range(per):
            key = 30 + (step * 7 + t) % 70
            out += var_len(12) + bytes([0x90 | ch, key, 90])
            out += var_len(6) + bytes([0xB0 | ch, 1, step & 0x7F])
            out += var_len(6) + bytes([0xE0 | ch, step & 0x7F, 64])
            out += var_len(12) + bytes([0x80 | ch, key, 0])
        tracks.append(bytes(out))
    return tracks


def large_sysex(size):
    body = b"\x00\x90\x3c\x40" + b"\x00\xf0" + var_len(size + 1) + b"\x11" * size + b"\xf7"
    body += b"\x60\x80\x3c\x00"
    return [body]


def tempo_changes(events):
    out = bytearray()
    for step in range(events // 3):
        tempo = 400000 + (step % 50) * 4000
        out += var_len(10) + b"\xff\x51\x03" + tempo.to_bytes(3, "big")
        out += var_len(0) + bytes([0x90, 40 + step % 40, 80]) + var_len(5) + bytes([0x80, 40 + step % 40, 0])
    return [bytes(out)]


def run(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.split()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("loader")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--scale", type=float, default=1.0, help="file sizes relative to the default set")
    parser.add_argument("--before", help="another build's loader, timed in the same rounds")
    args = parser.parse_args()
    try:
        import mido  # noqa: F401  (only to say clearly when it is missing)
    except ImportError:
        print("mido is not installed (Debian: python3-mido; scripts/deps.sh installs it)", file=sys.stderr)
        return 1

    n = lambda base: max(64, int(base * args.scale))
    files = [
        ("dense notes", smf(dense_notes(n(1_000_000)))),
        ("64 tracks", smf(many_tracks(n(1_000_000)))),
        ("large sysex", smf(large_sysex(min(n(4 << 20), 999_000)))),  # mido takes at most 1 MB
        ("tempo changes", smf(tempo_changes(n(600_000)))),
    ]
    print("MIDI file load, cold (fresh process, file in the page cache), median of %d interleaved rounds"
          % args.rounds)
    head = "%-14s %9s %9s %11s %11s %7s %12s" % ("file", "MB", "events", "mido cpu s", "host cpu s", "ratio",
                                                 "peak B/event")
    if args.before:
        head += "  | before: %9s %6s %12s" % ("cpu s", "ratio", "peak B/event")
    print(head)
    with tempfile.TemporaryDirectory(prefix="quorvel_mido_") as folder:
        for name, data in files:
            path = os.path.join(folder, name.replace(" ", "_") + ".mid")
            with open(path, "wb") as f:
                f.write(data)
            mido_times, host_times, before_times = [], [], []
            events = peak = before_peak = 0
            for _ in range(args.rounds):
                mido_times.append(float(run([sys.executable, "-c", MIDO_LOAD, path])[0]))
                seconds, events, peak = run([args.loader, path])
                host_times.append(float(seconds))
                if args.before:
                    seconds, _, before_peak = run([args.before, path])
                    before_times.append(float(seconds))
            mido_s = statistics.median(mido_times)
            host_s = statistics.median(host_times)
            events = int(events)
            per_event = lambda p: int(p) / events if events else float("nan")
            line = "%-14s %9.2f %9d %11.3f %11.4f %6.0fx %12.1f" % (
                name, len(data) / 1e6, events, mido_s, host_s, mido_s / host_s if host_s else 0, per_event(peak))
            if args.before:
                before_s = statistics.median(before_times)
                line += "  | before: %9.4f %5.0fx %12.1f" % (before_s, mido_s / before_s if before_s else 0,
                                                             per_event(before_peak))
            print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
