"""Shared fixtures: the built programs, the sample package and a simulator daemon."""

import os
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


@pytest.fixture
def daemon_process(tmp_path):
    """A zelp7x_board_sim serving one board with a match every 100 ms; yields its link and its
    process."""
    link = tmp_path / "board"
    proc = subprocess.Popen([str(BIN_DIR / "zelp7x_board_sim"), "--link", str(link),
                             "--match-every", "100"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    # It prints the terminal's path once it serves it.
    line = proc.stdout.readline()
    deadline = time.monotonic() + 5
    while not link.exists() and time.monotonic() < deadline:
        time.sleep(0.01)
    assert line and link.exists(), proc.stderr.read() if proc.poll() is not None else line
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
