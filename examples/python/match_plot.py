#!/usr/bin/env python3
"""match_plot.py PORT OUT.png: the audio before a match, as a picture.

Opens the board on PORT (as zelp7x.Board takes it: 'sim:,match-every=200', a daemon's link, a
serial device), loads the sample package that comes with zelp7x, waits for a match, takes the
audio that ends at it and saves OUT.png: the waveform with the match marked, and its spectrogram
under it, titled with the class and the time of the match.
"""

import argparse
import sys

import matplotlib

matplotlib.use("Agg")  # files only, no display needed
import matplotlib.pyplot as plt
import numpy as np

import zelp7x


def match_audio(port, timeout):
    """Loads the sample package on PORT, waits for a match and returns it with its audio."""
    with zelp7x.Board(port) as board:
        board.load(zelp7x.sample_package())
        match = next(board.matches(timeout=timeout), None)
        if match is None:
            sys.exit(f"match_plot: no match within {timeout} s")
        # The tank goes on filling: take the audio at once.
        return match, board.extract("input", start="match")


def match_title(match):
    label = match.label if match.label is not None else f"class {match.class_index}"
    return f"match: {label} (class {match.class_index}) at {match.seconds:.3f} s"


def plot(match, audio, out):
    rate = audio.rate
    samples = np.asarray(audio, dtype=np.float64)
    # Milliseconds before the match, which ends the audio.
    start_ms = -1000.0 * len(samples) / rate
    t = start_ms + 1000.0 * np.arange(len(samples)) / rate
    fig, (wave, spectrum) = plt.subplots(2, 1, sharex=True, figsize=(8, 5), dpi=100,
                                         constrained_layout=True)
    fig.suptitle(match_title(match))
    wave.plot(t, samples, linewidth=0.8)
    wave.set_ylabel(f"sample ({audio.dtype})")
    spectrum.specgram(samples, NFFT=128, noverlap=96, Fs=rate, xextent=(start_ms, 0.0),
                      cmap="magma")
    spectrum.set_ylabel("Hz")
    spectrum.set_xlabel(f"ms before the match ({len(samples)} samples at {rate} Hz)")
    # A little room after the match, so that its mark stands clear of the frame.
    wave.set_xlim(start_ms, -start_ms / 50)
    for axes in (wave, spectrum):
        axes.axvline(0.0, color="red", linewidth=1.5)
    wave.annotate("match", xy=(0.0, 1.0), xycoords=("data", "axes fraction"), xytext=(-4, -4),
                  textcoords="offset points", ha="right", va="top", color="red")
    fig.savefig(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", help="the board's port, e.g. 'sim:,match-every=200'")
    parser.add_argument("out", help="the PNG file to write")
    parser.add_argument("--timeout", type=float, default=10.0,
                        help="seconds to wait for a match (default 10)")
    args = parser.parse_args()
    match, audio = match_audio(args.port, args.timeout)
    plot(match, audio, args.out)
    print(f"{args.out}: {match_title(match)}, {len(audio)} samples")


if __name__ == "__main__":
    main()
