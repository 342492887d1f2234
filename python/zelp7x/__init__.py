"""Python access to a zelp7x evaluation board.

Board(port) opens a board as zelp7x_host does: 'sim' (a simulated board in this process),
'sim:FILE,opts' (the same with its flash in FILE and board options), a serial device such as
/dev/ttyACM0 or the link of a zelp7x_board_sim daemon, or 'rfc2217://HOST:PORT', a bridge that
ser2net serves on another machine. Its methods are the host tool's commands:
load, info, posterior, matches, extract, record, gpio, serial and status; flash_id, erase,
write, read and verify reach the flash behind the chip. Board.list() names the attached USB
bridges. sample_package() is the path of a small package that comes with this one.

    import zelp7x
    with zelp7x.Board('sim:,match-every=100') as board:
        board.load(zelp7x.sample_package())
        match = next(board.matches(timeout=5))          # match.label, match.seconds
        audio = board.extract('input', start='match')   # Audio: int16 samples, audio.rate
    zelp7x.write_wav('match.wav', audio)

The chip's audio comes as Audio, a NumPy array that carries its rate (SAMPLE_RATE, 16000): int16
samples, or int8 from an 8-bit tank. A failed step raises zelp7x.Error with the step, the
library's error name and the system's reason; a bad argument raises ValueError. The board's I/O
lines go to the logging logger 'zelp7x' (logging.basicConfig() shows them), never to the process's
streams. Calls that wait on a board let other Python threads run.
"""

import logging
from pathlib import Path

from ._audio import Audio
from ._version import __version__
from ._zelp7x import SAMPLE_RATE, Board, Error, Match, MatchIterator, write_wav

__all__ = ["Audio", "Board", "Error", "Match", "MatchIterator", "SAMPLE_RATE", "sample_package",
           "write_wav", "__version__"]

# A library's logger says nothing until the application sets logging up; without a handler of its
# own, logging's last resort would print its warnings on standard error.
logging.getLogger(__name__).addHandler(logging.NullHandler())


def sample_package() -> Path:
    """The path of the sample package that ships with zelp7x (what morvel_pkg_sample writes):
    firmware, versions, the labels 'go', 'stop' and 'off', a network and posterior tables, to try
    Board.load() without a vendor's package."""
    return Path(__file__).with_name("sample.pkg")
