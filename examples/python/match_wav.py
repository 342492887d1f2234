#!/usr/bin/env python3
"""match_wav.py PORT OUT.wav: the audio that ends at the board's next match, as a WAV file.

The Python twin of examples/match_wav: opens the board on PORT (as zelp7x.Board takes it:
'sim:,match-every=200', a daemon's link, a serial device), loads the sample package that comes
with zelp7x, waits for a match and writes the audio ending at it to OUT.wav, at its rate. Typed
throughout: CI checks it with mypy --strict against the package's stubs.
"""

import argparse
import logging
import sys
from typing import Optional, Tuple

import zelp7x


def audio_of_next_match(board: zelp7x.Board,
                        timeout: float) -> Optional[Tuple[zelp7x.Match, zelp7x.Audio]]:
    """Loads the sample package and waits for a match: the match and the audio ending at it, or
    None when none came in time."""
    board.load(zelp7x.sample_package())
    match = next(board.matches(timeout=timeout), None)
    if match is None:
        return None
    # The tank goes on filling: take the audio at once.
    return match, board.extract("input", start="match")


def describe(match: zelp7x.Match, audio: zelp7x.Audio) -> str:
    label = match.label if match.label is not None else f"class {match.class_index}"
    return (f"{label} at {match.seconds:.3f} s, {len(audio)} {audio.dtype} samples at "
            f"{audio.rate} Hz ({1000 * audio.seconds:.0f} ms)")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("port", help="the board's port, e.g. 'sim:,match-every=200'")
    parser.add_argument("out", help="the WAV file to write")
    parser.add_argument("--timeout", type=float, default=10.0,
                        help="seconds to wait for a match (default 10)")
    parser.add_argument("-v", "--verbose", action="store_true",
                        help="show the board's I/O lines (the logger 'zelp7x')")
    args = parser.parse_args()
    if args.verbose:
        logging.basicConfig(format="match_wav: %(name)s: %(message)s", level=logging.DEBUG)
    try:
        with zelp7x.Board(args.port) as board:
            taken = audio_of_next_match(board, args.timeout)
        if taken is None:
            print(f"match_wav: no match within {args.timeout} s", file=sys.stderr)
            return 1
        match, audio = taken
        zelp7x.write_wav(args.out, audio)
    except (zelp7x.Error, OSError) as e:
        print(f"match_wav: {e}", file=sys.stderr)
        return 1
    print(f"{args.out}: {describe(match, audio)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
