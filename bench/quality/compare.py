#!/usr/bin/python3
"""Compares pocketmidi renderings with FluidSynth renderings of the same songs.

    compare.py OUT_DIR NAME...

For each NAME, reads OUT_DIR/NAME.pocketmidi.wav and OUT_DIR/NAME.fluidsynth.wav
(16-bit PCM, same rate), prints one table row (RMS levels over their common
length, the difference in dB, clipped samples of each) and writes
OUT_DIR/NAME.png: both loudness envelopes and both spectrograms side by side.
The table (Markdown) is printed and written to OUT_DIR/results.md. The
common gain is the one that brings every song nearest FluidSynth's level
(the middle of the differences' range); the last column is each song's
distance from FluidSynth after it.
"""
import io
import sys
import wave

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from PIL import Image  # noqa: E402

FULL_SCALE = 32768.0


def read_wav(path):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            sys.exit(f"{path}: want 16-bit PCM")
        frames = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return frames.reshape(-1, w.getnchannels()), w.getframerate()


def rms_db(samples):
    x = samples.astype(np.float64) / FULL_SCALE
    return 20 * np.log10(np.sqrt(np.mean(x * x)) + 1e-12)


def clipped(samples):
    return int(np.count_nonzero((samples >= 32767) | (samples <= -32768)))


def trim_lead(pcm, threshold=16):
    loud = np.flatnonzero(np.abs(pcm.astype(np.int32)).max(axis=1) > threshold)
    return pcm[loud[0]:] if len(loud) else pcm


def envelope_db(mono, rate, window_s=0.05):
    n = max(1, int(rate * window_s))
    frames = len(mono) // n
    x = mono[: frames * n].astype(np.float64).reshape(frames, n) / FULL_SCALE
    return np.arange(frames) * window_s, 20 * np.log10(np.sqrt(np.mean(x * x, axis=1)) + 1e-6)


def spectrogram_db(x, nfft=256, columns=500):
    """Power in dB of nfft-point frames, averaged into at most `columns` time
    columns (a smooth picture is small and still shows the timbre)."""
    frames = len(x) // nfft
    spectra = np.abs(np.fft.rfft(x[: frames * nfft].reshape(frames, nfft) * np.hanning(nfft),
                                 axis=1)) ** 2 / nfft
    group = max(1, frames // columns)
    used = frames // group
    spectra = spectra[: used * group].reshape(used, group, -1).mean(axis=1)
    return used * group * nfft, 10 * np.log10(spectra.T + 1e-14)


def plot(name, renders, rate, path):
    fig, axes = plt.subplots(2, 2, figsize=(12, 6), dpi=100, sharex=True)
    for col, (label, pcm) in enumerate(renders):
        mono = pcm.astype(np.float64).mean(axis=1)
        t, env = envelope_db(mono, rate)
        axes[0][col].plot(t, env, linewidth=0.6)
        axes[0][col].set_ylim(-70, 0)
        axes[0][col].set_title(f"{name}: {label}, RMS {rms_db(pcm):.1f} dBFS", fontsize=9)
        axes[0][col].set_ylabel("level (dBFS, 50 ms)", fontsize=8)
        t_end, power = spectrogram_db(mono / FULL_SCALE)
        axes[1][col].imshow(power, origin="lower", aspect="auto", cmap="magma", vmin=-110,
                            vmax=-30, extent=(0, t_end / rate, 0, rate / 2),
                            interpolation="nearest")
        axes[1][col].set_ylabel("Hz", fontsize=8)
        axes[1][col].set_xlabel("s", fontsize=8)
        for a in (axes[0][col], axes[1][col]):
            a.tick_params(labelsize=7)
    fig.tight_layout()
    buffer = io.BytesIO()
    fig.savefig(buffer, format="png")
    plt.close(fig)
    # A 32-colour palette keeps each picture under about 100 KB.
    Image.open(buffer).convert("RGB").quantize(colors=32).save(path, optimize=True)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out_dir, names = sys.argv[1], sys.argv[2:]
    rows = []
    for name in names:
        ours, rate = read_wav(f"{out_dir}/{name}.pocketmidi.wav")
        theirs, rate_fs = read_wav(f"{out_dir}/{name}.fluidsynth.wav")
        if rate != rate_fs:
            sys.exit(f"{name}: rates differ ({rate} and {rate_fs})")
        # pocketmidi's song time starts at the first note, FluidSynth's at
        # tick 0, and FluidSynth adds a silent tail: line both up on their
        # first audible sample and compare the common length.
        ours, theirs = trim_lead(ours), trim_lead(theirs)
        n = min(len(ours), len(theirs))
        ours_db, theirs_db = rms_db(ours[:n]), rms_db(theirs[:n])
        rows.append((name, ours_db, theirs_db, ours_db - theirs_db, clipped(ours), clipped(theirs)))
        plot(name, [("pocketmidi", ours[:n]), ("FluidSynth", theirs[:n])], rate, f"{out_dir}/{name}.png")
    differences = [r[3] for r in rows]
    offset = (max(differences) + min(differences)) / 2
    lines = [
        "| song | pocketmidi RMS (dBFS) | FluidSynth RMS (dBFS) | difference (dB) "
        "| difference after common gain (dB) | clipped pocketmidi | clipped FluidSynth |",
        "|---|---:|---:|---:|---:|---:|---:|",
    ]
    for name, a, b, d, ca, cb in rows:
        lines.append(f"| {name} | {a:.2f} | {b:.2f} | {d:+.2f} | {d - offset:+.2f} | {ca} | {cb} |")
    worst = max(abs(r[3] - offset) for r in rows)
    lines.append("")
    lines.append(f"Common gain (middle of the differences): {offset:+.2f} dB; largest distance from it: "
                 f"{worst:.2f} dB; clipped samples in pocketmidi renderings: {sum(r[4] for r in rows)}.")
    text = "\n".join(lines) + "\n"
    print(text, end="")
    with open(f"{out_dir}/results.md", "w") as f:
        f.write(text)
    ok = worst <= 3.0 and all(r[4] == 0 for r in rows)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
