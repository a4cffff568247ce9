#!/usr/bin/python3
"""Instrument balance against FluidSynth: one note per General MIDI program
and per drum note, rendered by both.

    balance.py BUILD_DIR OUT_DIR [SF2]

For each of the 128 programs (middle C) and each drum note 35..81, writes a
one-note song (full velocity and volume, one second), renders it with
`pocketmidi render` (the build's default instrument set) and with FluidSynth
(same SoundFont and rate, reverb and chorus off, gain 0.5, as compare.sh),
and compares the energy of the two renderings. Prints the spread of the
differences (a set in balance has them all close together) and the ten
furthest from the median, and writes every difference to OUT_DIR/balance.md.
"""
import os
import struct
import subprocess
import sys
import wave

import numpy as np

RATE = 22050


def one_note_song(path, channel, program, note):
    def vlq(v):
        out = [v & 0x7F]
        v >>= 7
        while v:
            out.append((v & 0x7F) | 0x80)
            v >>= 7
        return bytes(reversed(out))

    events = [
        (0, bytes([0xFF, 0x51, 3, 0x07, 0xA1, 0x20])),  # 120 beats a minute
        (0, bytes([0xC0 | channel, program])),
        (0, bytes([0xB0 | channel, 7, 127])),
        (0, bytes([0x90 | channel, note, 127])),
        (960, bytes([0x80 | channel, note, 0])),  # two beats: one second
    ]
    body = b"".join(vlq(t) + e for t, e in events) + b"\x00\xff\x2f\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
        f.write(b"MTrk" + struct.pack(">I", len(body)) + body)


def energy_db(path):
    with wave.open(path, "rb") as w:
        x = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64) / 32768
    return 10 * np.log10(np.sum(x * x) + 1e-12)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build, out = sys.argv[1], sys.argv[2]
    sf2 = sys.argv[3] if len(sys.argv) > 3 else "/usr/share/sounds/sf2/TimGM6mb.sf2"
    os.makedirs(out, exist_ok=True)
    probes = [(f"program {p}", 0, p, 60) for p in range(128)]
    probes += [(f"drum {n}", 9, 0, n) for n in range(35, 82)]
    rows = []
    for label, channel, program, note in probes:
        base = os.path.join(out, label.replace(" ", "_"))
        one_note_song(base + ".mid", channel, program, note)
        subprocess.run([f"{build}/pocketmidi", "render", base + ".mid", "--rate", str(RATE),
                        "--bits", "16", "--channels", "2", "-o", base + ".pocketmidi.wav"],
                       check=True, capture_output=True)
        subprocess.run(["fluidsynth", "-ni", "-q", "-F", base + ".fluidsynth.wav", "-r", str(RATE),
                        "-R", "0", "-C", "0", "-g", "0.5", sf2, base + ".mid"],
                       check=True, capture_output=True)
        rows.append((label, energy_db(base + ".pocketmidi.wav") - energy_db(base + ".fluidsynth.wav")))
    lines = ["| probe | pocketmidi - FluidSynth (dB) |", "|---|---:|"]
    lines += [f"| {label} | {d:+.2f} |" for label, d in rows]
    with open(os.path.join(out, "balance.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    for kind in ("program", "drum"):
        d = np.array([v for label, v in rows if label.startswith(kind)])
        median = np.median(d)
        p10, p90 = np.percentile(d, [10, 90])
        print(f"{kind}s: median {median:+.2f} dB, standard deviation {d.std():.2f} dB, "
              f"10th to 90th percentile {p10:+.2f} .. {p90:+.2f} dB")
    programs = [(label, v) for label, v in rows if label.startswith("program")]
    median = np.median([v for _, v in programs])
    worst = sorted(programs, key=lambda r: -abs(r[1] - median))[:10]
    print("furthest from the median: " + ", ".join(f"{label} {v - median:+.1f}" for label, v in worst))
    return 0


if __name__ == "__main__":
    sys.exit(main())
