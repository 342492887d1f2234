"""The zelp7x package on the simulated board in this process and on the simulator daemon."""

import _thread
import errno
import json
import os
import pickle
import signal
import subprocess
import sys
import threading
import time
import wave

import numpy as np
import pytest

import zelp7x

SAMPLE_INFO = {
    "device_type": 0x20,
    "secured": False,
    "firmware_running": True,
    "firmware_version": "sample-fw 1.0",
    "parameters_version": "sample-net 1.0",
    "package_version": "sample-pkg 1.0",
    "labels": ["go", "stop", "off"],
}
SAMPLE_POSTERIOR = {
    "states": 2, "classes": 3, "type": 0,
    "state": {"index": 1, "timeout": 50, "timeout_action": ("state", 0)},
    "class": {"index": 0, "window": 10, "threshold": 250, "backoff": 20, "queue": 3,
              "adaptive": 1, "action": ("match", 0)},
}


def assert_ramp(samples):
    """The simulated tank holds a ramp: each 16-bit sample one more than the one before."""
    assert len(samples) > 1
    assert np.all(np.diff(samples.view(np.uint16)) == 1)


def ramp_breaks(samples):
    """Where a 16-bit sample is not one more than the one before, as after a gap."""
    return int(np.count_nonzero(np.diff(samples.view(np.uint16)) != 1))


@pytest.fixture
def loaded(sample_package):
    with zelp7x.Board("sim:,match-every=50") as board:
        assert board.load(sample_package) == sample_package.stat().st_size
        yield board


def test_sample_session_on_the_board_in_process(loaded, tmp_path):
    board = loaded
    assert board.info() == SAMPLE_INFO
    assert board.posterior(1, 0) == SAMPLE_POSTERIOR
    assert board.posterior() == {"states": 2, "classes": 3, "type": 0}

    assert repr(board) == "<zelp7x.Board port='sim:,match-every=50' device_type=0x20 firmware=running>"

    # The simulated firmware matches the three classes in turn, every 50 ms; each match as
    # watch --json gives it.
    matches = board.matches(timeout=2)
    first, second = next(matches), next(matches)
    assert second.class_index == (first.class_index + 1) % 3
    assert (first.snr, first.confidence, first.noise, first.has_position) == (30, 200, 0, True)
    assert first.summary == 0x00C81E00 | first.class_index
    assert first.label == SAMPLE_INFO["labels"][first.class_index]
    assert 0 < first.seconds < second.seconds < 2
    assert second.asdict() == {
        "seconds": second.seconds, "class": second.class_index, "label": second.label,
        "summary": second.summary, "snr": 30, "confidence": 200, "noise": 0}
    assert f"class_index={first.class_index}, label='{first.label}'" in repr(first)

    # Half the tank (64 ms of 16-bit audio), ending at the last match taken, with its rate.
    audio = board.extract("input", start="match")
    assert isinstance(audio, zelp7x.Audio) and audio.rate == zelp7x.SAMPLE_RATE == 16000
    assert audio.dtype == np.int16 and len(audio) == 512 and audio.seconds == 0.032
    assert_ramp(audio)

    wav = tmp_path / "match.wav"
    zelp7x.write_wav(wav, audio)
    with wave.open(str(wav), "rb") as r:
        assert (r.getnchannels(), r.getsampwidth(), r.getframerate()) == (1, 2, 16000)
        assert np.array_equal(np.frombuffer(r.readframes(r.getnframes()), "<i2"), audio)

    newest = board.extract("input", count=100)
    assert len(newest) == 100
    assert_ramp(newest)
    # Unread goes on where the previous unread take stopped.
    a = board.extract("input", start="oldest", count=8)
    b = board.extract("input", start="unread", count=8)
    assert np.uint16(b[0]) == np.uint16(a[-1]) + 1
    features = board.extract("features")
    assert type(features) is np.ndarray and features.dtype == np.uint8 and len(features) == 40
    assert len(board.extract("static")) == 4096
    assert board.extract("accel", count=8).dtype == np.int16

    assert board.gpio(outputs=(0x03, 0x01), values=(0x01, 0x01), input_enable=True) == {
        "outputs": 0x01, "values": 0x01, "input_enable": True}
    assert board.gpio()["outputs"] == 0x01

    # The I2C device at 0x19 reads back what was written to its registers.
    assert board.serial("i2c", 0x19, write=bytes.fromhex("10a1b2c3d4")) == b""
    assert board.serial("i2c", 0x19, write=b"\x10", read=4) == bytes.fromhex("a1b2c3d4")

    before = board.status(clear=True)
    assert before["h2m"]["requests"] > 0 and set(before["m2h"]) == {
        "requests", "responses", "unexpected", "errors"}
    assert board.status()["h2m"]["requests"] == 0


def test_load_from_bytes_in_small_chunks(sample_package):
    data = sample_package.read_bytes()
    with zelp7x.Board("sim") as board:
        assert board.load(bytearray(data), chunk=256) == len(data)
        assert board.info()["package_version"] == "sample-pkg 1.0"
        # A view that runs backwards through its memory is taken in its own order.
        backwards = np.frombuffer(data[::-1], dtype=np.uint8)[::-1]
        assert board.load(backwards) == len(data)


def error_of(call):
    with pytest.raises(zelp7x.Error) as e:
        call()
    return e.value.step, e.value.name, str(e.value)


def test_failures_carry_the_step_and_the_library_error(sample_package, tmp_path):
    with zelp7x.Board("sim") as board:
        assert board.info()["firmware_running"] is False
        assert repr(board) == "<zelp7x.Board port='sim' device_type=0x20 firmware=stopped>"
        assert error_of(lambda: board.serial("i2c", 0x19, read=1)) == (
            "serial", "uninit", "serial failed: uninit")
        broken = bytearray(sample_package.read_bytes())
        broken[-1] ^= 0xFF
        step, name, _ = error_of(lambda: board.load(bytes(broken)))
        assert (step, name) == ("load", "package")
        with pytest.raises(FileNotFoundError):
            board.load(tmp_path / "missing.pkg")
        board.load(sample_package)
        assert error_of(lambda: board.posterior(7))[:2] == ("posterior", "arg")
        assert error_of(lambda: board.serial("i2c", 200))[:2] == ("serial", "arg")
        # No match yet: no match comes within the wait, and the iteration just ends.
        assert next(board.matches(timeout=0.05), None) is None
    assert board.closed and repr(board) == "<zelp7x.Board port='sim' closed>"
    with pytest.raises(ValueError):
        board.info()
    board.close()
    assert error_of(lambda: zelp7x.Board(str(tmp_path / "no-such-tty")))[0] == "open"


@pytest.mark.parametrize("call", [
    lambda b: zelp7x.Board("sim", mode="warm"),
    lambda b: b.load(b"", chunk=0),
    lambda b: b.extract("audio"),
    lambda b: b.extract("input", start="latest"),
    lambda b: b.extract("input", count=3),
    lambda b: b.extract("accel", start="match"),
    lambda b: b.extract("input", count=1 << 20),
    lambda b: b.gpio(outputs=(0x100, 0)),
    lambda b: b.serial("uart", 0),
    lambda b: b.serial("i2c", 0x19, read=(1 << 16) + 1),
    lambda b: b.posterior(class_index=0),
    lambda b: b.matches(timeout=-1),
    lambda b: b.record(0),
    lambda b: b.record(3601),
    lambda b: b.record(float("nan")),
    lambda b: b.record(1, start="match"),
])
def test_bad_arguments_raise_value_error(call):
    with zelp7x.Board("sim") as board:
        with pytest.raises(ValueError):
            call(board)


def test_matches_count_from_when_they_are_asked_for(sample_package):
    with zelp7x.Board("sim:,match-every=200") as board:
        board.load(sample_package)
        # Classes 0 and 1 match at 200 and 400 ms, and the tank no longer holds their audio; the
        # position it gives would point at later audio, so the iteration starts with class 2.
        time.sleep(0.5)
        assert next(board.matches(timeout=1)).class_index == 2
        assert_ramp(board.extract("input", start="match"))


def test_waiting_lets_other_threads_run(sample_package):
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(1)
            time.sleep(0.005)

    with zelp7x.Board("sim") as board:
        board.load(sample_package)
        thread = threading.Thread(target=ticker)
        thread.start()
        assert list(board.matches(timeout=0.3)) == []
        stop.set()
        thread.join()
    assert len(ticks) > 10


def test_recording_in_process_goes_on_unread_and_stops_at_ctrl_c(loaded):
    a = loaded.extract("input", count=8)
    samples, gaps = loaded.record(0.25, start="unread")
    assert np.uint16(samples[0]) == np.uint16(a[-1]) + 1
    assert len(samples) + gaps * 1024 > 3000 and ramp_breaks(samples) <= gaps
    threading.Timer(0.2, _thread.interrupt_main).start()
    began = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        loaded.record(30)
    assert time.monotonic() - began < 5
    assert loaded.info()["firmware_running"]


def test_recording_on_the_daemon_is_a_ramp_between_the_gaps_it_counts(daemon, sample_package):
    with zelp7x.Board(daemon) as board:
        board.load(sample_package, chunk=256)
        began = time.monotonic()
        samples, gaps = board.record(1)
        took = time.monotonic() - began
    assert isinstance(gaps, int) and samples.dtype == np.int16 and samples.rate == 16000
    assert 1 <= took < 3
    # A second at 16 kHz, a ring a gap; between the gaps sample n holds n plus an offset.
    assert len(samples) + gaps * 1024 > 15000
    assert ramp_breaks(samples) <= gaps


def test_daemon_board_outlives_its_clients(daemon, sample_package):
    with zelp7x.Board(daemon) as board:
        board.load(sample_package, chunk=256)
    # Another client adopts the running firmware, while a board in this process is open too.
    with zelp7x.Board(daemon, mode="restart") as board, zelp7x.Board("sim") as other:
        other.load(sample_package)
        assert board.info() == SAMPLE_INFO
        match = next(board.matches(timeout=2))
        assert match.has_position
        assert_ramp(board.extract("input", start="match"))
        assert other.info()["labels"] == SAMPLE_INFO["labels"]
        assert board.status()["m2h"]["requests"] > 0
    # A reset stops the firmware; the image left in RAM does not count as running.
    with zelp7x.Board(daemon, mode="reset") as board:
        assert board.info()["firmware_running"] is False


def test_board_on_another_machine_through_ser2net(network_board, sample_package):
    with zelp7x.Board(network_board) as board:
        board.load(sample_package, chunk=256)
        assert board.info() == SAMPLE_INFO
        data = bytes(range(256)) * 8 + b"\xff" * 1024  # every byte value, and erased flash's
        board.write(0x1000, data)
        assert board.read(0x1000, len(data)) == data
    # The server lets one client in: a second one is turned away, host and port named.
    with zelp7x.Board(network_board, mode="restart"):
        assert error_of(lambda: zelp7x.Board(network_board))[0] == "open"


def test_every_call_has_help():
    assert zelp7x.__doc__ and zelp7x.Board.__doc__
    names = ["load", "info", "posterior", "matches", "extract", "record", "gpio", "serial", "status",
             "close", "list", "flash_id", "erase", "write", "read", "verify", "flash_job"]
    assert all(getattr(zelp7x.Board, n).__doc__ for n in names)
    keys = {"port", "vid", "pid", "kind", "serial", "hid"}
    assert all(set(bridge) == keys for bridge in zelp7x.Board.list())


def test_flash_writes_reads_and_verifies_on_the_board_in_process():
    data = bytes(range(256)) * 32 + b"tail!"  # two sectors and a bit, not a multiple of 4
    with zelp7x.Board("sim") as board:
        ident = board.flash_id()
        assert ident["capacity"] == 1 << (ident["device_id"] & 0xFF)

        phases = []
        assert board.write(0x3000, data, progress=lambda p, f: phases.append((p, f))) is None
        assert phases and phases[-1][1] == 1.0
        assert {p for p, _ in phases} <= {"Erase", "Program", "Read"}
        assert board.read(0x3000, 8200) == data + b"\xff\xff\xff"
        assert board.verify(0x3000, data) == {"differences": 0, "first_difference": None}
        changed = bytearray(data)
        changed[4097] ^= 0x10
        assert board.verify(0x3000, changed) == {"differences": 1, "first_difference": 0x4001}

        # Only the second sector differs; the first is left alone.
        stats = board.write(0x3000, changed, skip_unchanged=True)
        assert (stats["sectors"], stats["unchanged"]) == (3, 2)
        assert board.verify(0x3000, changed)["differences"] == 0

        board.erase(0x4000, 1)
        assert board.read(0x3ffc, 8) == changed[0xffc:0x1000] + b"\xff" * 4

        # A flash call from another thread reads what this one wrote.
        got = []
        reader = threading.Thread(target=lambda: got.append(board.read(0, 1 << 16)))
        reader.start()
        reader.join()
        assert got[0][0x3000:0x4000] == changed[:0x1000]


def test_a_flash_call_waiting_on_its_board_lets_other_threads_run(daemon_process):
    """The write's first progress call stops the daemon, so the write then waits on a board that
    does not answer; only this thread, running meanwhile, lets the board go on. A call that kept
    the interpreter lock would leave this thread stopped until the link's time limit failed the
    write."""
    link, proc = daemon_process
    data = bytes(range(256)) * 16
    stopped = threading.Event()
    outcome = []

    def stop_board(phase, fraction):
        if not stopped.is_set():
            os.kill(proc.pid, signal.SIGSTOP)
            stopped.set()

    def write():
        try:
            outcome.append(board.write(0, data, progress=stop_board))
        except zelp7x.Error as e:
            outcome.append(e)

    with zelp7x.Board(link) as board:
        writer = threading.Thread(target=write)
        writer.start()
        assert stopped.wait(timeout=30)
        os.kill(proc.pid, signal.SIGCONT)
        writer.join()
        assert outcome == [None]
        assert board.verify(0, data)["differences"] == 0


def test_write_and_verify_take_a_path_within_the_input_bound(tmp_path):
    image = tmp_path / "image.bin"
    image.write_bytes(bytes(range(256)) * 20)
    with zelp7x.Board("sim") as board:
        assert board.write(0x1000, image) is None
        assert board.verify(0x1000, str(image)) == {"differences": 0, "first_difference": None}
        for path, error in ((tmp_path / "missing", errno.ENOENT), (tmp_path, errno.EISDIR),
                            ("/dev/zero", errno.EFBIG)):
            with pytest.raises(OSError) as raised:
                board.write(0, path)
            assert raised.value.errno == error and raised.value.filename == str(path)


def calling_progress(call, seen):
    def progress(phase, fraction):
        seen.append(phase)
        call()
    return progress


def test_flash_failures_and_callbacks():
    with zelp7x.Board("sim") as board:
        assert error_of(lambda: board.read(0, 3)) == (
            "read", "arg", "read size must be a multiple of 4 bytes")
        for call in (lambda: board.read(0xFFFFFC, 8), lambda: board.erase(1 << 24, 1),
                     lambda: board.write(0xFFFFFF, b"ab"), lambda: board.verify(1 << 24, b"a")):
            with pytest.raises(ValueError):
                call()
        # A callback that calls the board is refused there; the write itself completes.
        for call in (lambda: board.read(0, 4), board.close):
            seen = []
            with pytest.raises(RuntimeError):
                board.write(0, b"abcd" * 2048, progress=calling_progress(call, seen))
            assert len(seen) == 1
            assert board.verify(0, b"abcd" * 2048)["differences"] == 0
    with pytest.raises(ValueError):
        board.read(0, 4)


def bsd_sum(data):
    total = 0
    for byte in data:
        total = ((total >> 1) | ((total & 1) << 15)) + byte & 0xFFFF
    return total


def test_a_flash_job_runs_as_zelp7x_flash_does():
    data = bytes(range(256)) * 39 + b"odd"  # not a multiple of 4 or of 3
    with zelp7x.Board("sim") as board:
        moved = []
        job = board.flash_job(write=data, address=0x2000, erase=True, verify=data, read=True,
                              progress=lambda p, f: moved.append(p))
        assert job["id"] == board.flash_id() and job["notes"] == [] and job["data"] == data
        assert list(job["steps"]) == ["id", "erase", "write", "read"]
        write, read = job["steps"]["write"], job["steps"]["read"]
        assert write["checksum"] == read["checksum"] == bsd_sum(data)
        assert (write["data_bytes"], write["bytes"], write["changed"]) == (len(data), 9988, None)
        assert (read["differences"], read["first_difference"]) == (0, None)
        assert {"Erase", "Program", "Read"} <= set(moved)
        # Again, changed-only: nothing differs, so nothing is sent.
        again = board.flash_job(write=data, address=0x2000, skip_unchanged=True)
        assert again["steps"]["write"]["changed"] == {
            "sectors": 3, "unchanged": 3, "erased": 0, "pages": 0}
        # 3-byte encoding comes back whole; the bridge path reads no ID.
        three = board.flash_job(write=data, address=0x8000, erase=True, three_byte=True, read=True)
        assert three["data"] == data and three["steps"]["write"]["bytes"] == 13316
        assert list(board.flash_job(checksum=True, bridge=True, count=8)["steps"]) == ["read"]
        # A plan's note, and the tool's refusals and failures with its words.
        dongle = board.flash_job(write=b"abcd", address=0x1000, dongle=True)
        assert dongle["notes"][0].startswith("warning: Atmel dongle image at 0x1000")
        for bad in (dict(write=data, address=0xFFF000), dict(count=-1), dict(count=1 << 40)):
            with pytest.raises(ValueError):
                board.flash_job(**bad)
        changed = data[:5] + b"\0" + data[6:]
        assert error_of(lambda: board.flash_job(address=0x2000, verify=changed)) == (
            "read", "fail", "1 miscomparing bytes")
    with zelp7x.Board("sim:,fault=absent") as board:
        assert error_of(lambda: board.flash_job(checksum=True)) == (
            "id", "fail", "no flash populated (vendor id == 0)")


def wav_of(path):
    with wave.open(str(path), "rb") as r:
        return r.getnchannels(), r.getsampwidth(), r.getframerate(), r.readframes(r.getnframes())


def test_audio_keeps_its_rate_and_writes_wav_files(tmp_path):
    audio = zelp7x.Audio(np.array([-32768, -1, 0, 1, 32767] * 4, dtype=np.int16), rate=8000)
    # Views keep the rate, and so does pickling; a reduction is a number; asarray is bare.
    assert audio[2:].rate == (audio * 2).rate == pickle.loads(pickle.dumps(audio)).rate == 8000
    assert audio.max() == 32767 and type(np.asarray(audio)) is np.ndarray
    assert repr(audio[:2]) == "Audio([-32768,     -1], dtype=int16, rate=8000)"

    zelp7x.write_wav(tmp_path / "a.wav", audio)
    assert wav_of(tmp_path / "a.wav") == (1, 2, 8000, audio.astype("<i2").tobytes())
    # An 8-bit tank's two's complement samples; WAV keeps 8-bit samples unsigned.
    narrow = np.array([-128, -1, 0, 1, 127, 0, 0, 0], dtype=np.int8)
    zelp7x.write_wav(str(tmp_path / "b.wav"), narrow)
    assert wav_of(tmp_path / "b.wav") == (1, 1, 16000, bytes([0, 127, 128, 129, 255, 128, 128, 128]))
    # Big-endian and strided arrays are written as their values.
    zelp7x.write_wav(tmp_path / "c.wav", audio.astype(">i2")[::-1])
    assert wav_of(tmp_path / "c.wav")[3] == audio[::-1].astype("<i2").tobytes()

    for bad in (np.zeros((2, 4), np.int16), np.zeros(4, np.uint8), np.zeros(4, np.float32),
                zelp7x.Audio(np.zeros(4, np.int32))):
        with pytest.raises(ValueError):
            zelp7x.write_wav(tmp_path / "bad.wav", bad)
    with pytest.raises(ValueError):
        zelp7x.Audio(np.zeros(4, np.int16), rate=0)
    with pytest.raises(TypeError):
        zelp7x.write_wav(3, audio)
    with pytest.raises(IsADirectoryError) as raised:
        zelp7x.write_wav(tmp_path, audio)
    assert raised.value.filename == str(tmp_path)
    assert not (tmp_path / "bad.wav").exists()


NO_SUCH_PORT = """
import json, logging, sys, zelp7x

def fail():
    try:
        zelp7x.Board("/dev/ttyNOPE")
    except zelp7x.Error as e:
        return [e.step, e.name, e.reason, str(e)]

first = fail()  # no logging set up
lines = []
class Keep(logging.Handler):
    def emit(self, record):
        lines.append([record.name, record.levelname, record.getMessage()])
logging.getLogger().addHandler(Keep())
logging.getLogger().setLevel(logging.DEBUG)
json.dump({"first": first, "second": fail(), "lines": lines}, sys.stdout)
"""


def test_a_port_that_does_not_open_says_why_in_the_error_and_the_log_alone():
    """The board I/O layer's lines go to the logger 'zelp7x', and nothing to file descriptor 2,
    with logging set up or not; the system's reason is in the error."""
    run = subprocess.run([sys.executable, "-c", NO_SUCH_PORT], capture_output=True, timeout=60)
    assert run.stderr == b""
    out = json.loads(run.stdout)
    reason = "cannot open /dev/ttyNOPE: No such file or directory"
    assert out["first"] == out["second"] == [
        "open", "fail", reason, f"open failed: fail ({reason})"]
    assert ["zelp7x", "ERROR", reason] in out["lines"]
    assert all(name == "zelp7x" for name, _, _ in out["lines"])
