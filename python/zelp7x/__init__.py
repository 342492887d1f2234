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
        match = next(board.matches(timeout=5))
        audio = board.extract('input', start='match')   # int16 samples ending at the match

A failed step raises zelp7x.Error with the library's error name; a bad argument raises
ValueError. Calls that wait on a board let other Python threads run.
"""

from pathlib import Path

from ._version import __version__
from ._zelp7x import Board, Error, Match, MatchIterator

__all__ = ["Board", "Error", "Match", "MatchIterator", "sample_package", "__version__"]


def sample_package() -> Path:
    """The path of the sample package that ships with zelp7x (what morvel_pkg_sample writes):
    firmware, versions, the labels 'go', 'stop' and 'off', a network and posterior tables, to try
    Board.load() without a vendor's package."""
    return Path(__file__).with_name("sample.pkg")
