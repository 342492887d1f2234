"""Shared fixtures: the built programs, the sample package and a simulator daemon."""

import os
import select
import subprocess
import time
from pathlib import Path

import pytest

import zelp7x

BIN_DIR = Path(os.environ.get("ZELP_BIN_DIR", "build/dev/bin"))


@pytest.fixture(scope="session")
def sample_package():
    """The sample package that ships with zelp7x: firmware, versions, labels, network, tables."""
    return zelp7x.sample_package()


def start_board_sim(link, *args, limit=20):
    """Starts zelp7x_board_sim on LINK with ARGS as the C++ tests' fixture (BoardSimProcess) does:
    it is ready when it closes the descriptor given with --ready-fd, after writing its terminals'
    paths there. Returns the process and the paths; no path means it did not start."""
    ready, ready_w = os.pipe()
    proc = subprocess.Popen([str(BIN_DIR / "zelp7x_board_sim"), "--link", str(link),
                             "--ready-fd", str(ready_w), *args],
                            pass_fds=(ready_w,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    os.close(ready_w)
    text = b""
    deadline = time.monotonic() + limit
    try:
        while (left := deadline - time.monotonic()) > 0:
            if not select.select([ready], [], [], left)[0]:
                break
            chunk = os.read(ready, 4096)
            if not chunk:
                return proc, text.decode().splitlines()
            text += chunk
    finally:
        os.close(ready)
    return proc, []


@pytest.fixture
def daemon_process(tmp_path):
    """A zelp7x_board_sim serving one board with a match every 100 ms; yields its link and its
    process."""
    link = tmp_path / "board"
    proc, terminals = start_board_sim(link, "--match-every", "100")
    if not terminals:
        proc.kill()
        pytest.fail("the board daemon did not start: " + proc.communicate()[1])
    yield str(link), proc
    proc.terminate()
    proc.wait(timeout=5)


@pytest.fixture
def daemon(daemon_process):
    """The daemon's link alone."""
    return daemon_process[0]


@pytest.fixture
def network_board(daemon, tmp_path):
    """The daemon's board served by ser2net over telnet's COM port option; yields its port name."""
    proc = subprocess.Popen([str(BIN_DIR / "ser2net_front"), str(tmp_path), daemon],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    # ser2net's process id, then the port name, once it serves the board.
    pid, port = proc.stdout.readline(), proc.stdout.readline().strip()
    assert pid and port.startswith("rfc2217://"), proc.stderr.read()
    yield port
    proc.terminate()
    proc.wait(timeout=5)
