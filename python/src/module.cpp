// The zelp7x extension module: Board, Match, Error, write_wav, SAMPLE_RATE and their help texts.
#include <pybind11/stl.h>

#include "audio.h"
#include "board.h"
#include "board_ports.h"
#include "failure.h"
#include "matches.h"
#include "morvel_devlib/morvel_zelp_wav.h"
#include "signatures.h"

namespace py = pybind11;
using namespace zelp7x_py;
using namespace pybind11::literals;

namespace {

// The package's own __init__ carries the user's help; this is its compiled half.
constexpr const char *module_doc =
    "The compiled half of the zelp7x package: Board, Match, Error, write_wav and SAMPLE_RATE. "
    "See help(zelp7x).";

constexpr const char *board_doc = R"(One evaluation board with the device library started on it.

Board(port=None, mode='reset', input_freq=None, device_type=None)

port: 'sim', 'sim:FILE,name=value,...', a serial device, or 'rfc2217://HOST:PORT' for a bridge
  that a telnet COM port server (ser2net) serves on another machine; board parameters such as
  ',pipeline=32' may follow any of them. None looks for the first supported USB bridge, as the
  tools do without -s.
mode: how the library starts on the chip: 'reset' (the chip starts afresh, what load needs),
  'restart' (adopt a chip whose firmware runs, e.g. one a daemon's earlier client loaded),
  'no-touch' or 'reset-secured'.
input_freq: the board's input clock in Hz; default 32768 over USB, 16000000 over SPI.
device_type: the chip's device type; default read from the chip.

Use it as a context manager, or call close(). Raises zelp7x.Error (step 'open') when the board
does not open, its reason the system's ('cannot open /dev/ttyACM7: No such file or directory').
The board's I/O lines go to the logging logger 'zelp7x', never to the process's streams.
repr() names the port, the chip's device type and whether its firmware runs (it asks the chip).)";

constexpr const char *write_wav_doc =
    R"(Writes `audio` to the WAV file at `path` (str or os.PathLike).

As zelp7x_host's extract -o FILE.wav writes the tank: PCM, one channel, 16-bit for int16
samples, 8-bit for int8 ones (which WAV keeps unsigned, and the file holds so), at audio.rate
samples a second (SAMPLE_RATE for an array without a rate).

audio: a one-dimensional int16 or int8 array, such as extract('input') and record() return.
Raises ValueError for other arrays or more samples than a WAV file holds, OSError when the file
cannot be written.)";

void bind_match(py::module_ &m) {
    py::class_<Match>(m, "Match",
                      "A match the firmware reported: when, its class and label, its summary word "
                      "and fields, as zelp7x_host's watch --json gives them.")
        .def_readonly("summary", &Match::summary, "The summary word as the firmware gave it.")
        .def_readonly("seconds", &Match::seconds,
                      "When it came, in seconds since matches() was called.")
        .def_readonly("label", &Match::label,
                      "The class's name as the chip stores it, or None when it stores none.")
        .def_property_readonly("class_index", &Match::class_index,
                               "The class that matched ('class' in asdict()).")
        .def_property_readonly("snr", &Match::snr, "Signal-to-noise figure.")
        .def_property_readonly("confidence", &Match::confidence, "Confidence figure.")
        .def_property_readonly("noise", &Match::noise, "Noise threshold figure.")
        .def_property_readonly("has_position", &Match::has_position,
                               "Whether the match carries a tank position, so that "
                               "extract(start='match') can take the audio ending at it.")
        .def("asdict", &Match::asdict,
             "The match as watch --json prints it: {'seconds', 'class', 'label', 'summary', 'snr', "
             "'confidence', 'noise'}.")
        .def("__repr__", &Match::repr);

    py::class_<MatchIterator>(m, "MatchIterator",
                              "Iterator over a board's matches; see Board.matches().")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &MatchIterator::next,
             "Waits for the next match; ends the iteration when none came in time.");
}

// The SPI NOR flash behind the chip, reached through the chip's MSPI registers.
void bind_flash(py::class_<Board> &board) {
    board
        .def("flash_id", &Board::flash_id,
             R"(The flash's JEDEC ID: {'vendor': int, 'device_id': int (memory type and capacity
code), 'capacity': bytes, or None for a capacity code not known}.)")
        .def("erase", &Board::erase, "address"_a, "count"_a,
             "Erases every 4 KiB sector that [address, address + count) touches.")
        .def("write", &Board::write, "address"_a, "data"_a, "skip_unchanged"_a = false,
             "progress"_a = py::none(),
             R"(Writes `data` at `address`: erases the sectors it touches and programs it. A
plain write leaves the rest of those sectors erased.

data: bytes-like, or a file path (str or os.PathLike) whose contents are written; OSError when
  the file cannot be read or holds more than 16 MiB.

skip_unchanged: read the sectors first and send only what differs (nothing for a sector that
  already holds the data), keeping the rest of the sectors as they were; returns {'sectors', 'unchanged', 'erased', 'pages'}, the sectors
  touched, those left as they were, those erased and the pages programmed. A plain write
  returns None.
progress: called as progress(phase, fraction) while the write goes on, phase 'Erase', 'Program'
  or 'Read', fraction from 0 to 1. It must not call the board; an exception it raises stops its
  calls and is raised once the write has ended.)")
        .def("read", &Board::read, "address"_a, "count"_a,
             "Reads `count` bytes (a multiple of 4) from `address`; returns bytes.")
        .def("verify", &Board::verify, "address"_a, "data"_a,
             R"(Compares the flash from `address` with `data` (bytes-like, or a file path as
write takes it): {'differences': the number of bytes that differ, 'first_difference': the
address of the first, or None}.

Each flash call raises zelp7x.Error with the flash library's message when the flash does not
answer or refuses, and ValueError for a range beyond 16 MiB.)")
        .def("flash_job", &Board::flash_job, py::kw_only(), "write"_a = py::none(), "address"_a = 0,
             "count"_a = py::none(), "erase"_a = false, "erase_chip"_a = false,
             "three_byte"_a = false, "dongle"_a = false, "checksum"_a = false, "read"_a = false,
             "verify"_a = py::none(), "bridge"_a = false, "skip_unchanged"_a = false,
             "progress"_a = py::none(),
             R"(Runs what one zelp7x_flash run does, the flash library's flash job, with its
checks and in its step order: the flash's ID, erase (-e), erase_chip (-E), write (-w, bytes-like
or a file's path) in plain or three_byte (-3) encoding or as a dongle (-A) image, read back
for read (-r), checksum (-R) and verify (-v, bytes-like or a path); bridge (-Q) uses the
bridge's own flash commands; skip_unchanged (--skip-unchanged) sends only what differs; count
(-c) as the tool takes it (the images clip it, 16 without any). progress as write takes it.

Returns {'id': the flash's ID as flash_id gives it, or None on the bridge path, 'steps': {step:
{'bytes', 'milliseconds', ...}} for each step that ran ('id', 'erase', 'chip-erase', 'write' with
'data_bytes', 'checksum' and 'changed' (the changed-only counts, else None), 'read' with
'data_bytes', 'checksum', 'differences' and 'first_difference'), 'data': the data read back
with read=True, else None, 'notes': what the plan had to say}.

ValueError for what no run could do (a count it cannot hold, a range past 16 MiB, a dongle
image too long), before the board is touched; zelp7x.Error for a step that fails, its step
the job's ('id', 'erase', 'write', 'read', ...) and its text the tool's ('no flash populated
(vendor id == 0)', 'N miscomparing bytes').)");
}

void bind_board(py::module_ &m) {
    py::class_<Board> board(m, "Board", board_doc);
    board
        .def(py::init<std::optional<std::string>, const std::string &, std::optional<int>,
                      std::optional<unsigned int>>(),
             "port"_a = py::none(), "mode"_a = "reset", "input_freq"_a = py::none(),
             "device_type"_a = py::none())
        .def_static("list", &board_ports,
                    R"(The supported USB bridges attached to this host, in the order Board() without
a port takes them, as dicts: port (what Board() opens), vid, pid, kind ('bridge', 'boot-loader'
or 'atmel'), serial (the USB serial number) and hid (its raw HID device); serial and hid are
None when the bridge has none. Nothing is sent to any board.)")
        .def("close", &Board::close,
             "Gives the board back; the chip stays as it is. Calling it again does nothing.")
        .def_property_readonly("closed", &Board::closed, "True after close().")
        .def_property_readonly("port", &Board::port, "The port the board was opened on.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__repr__", &Board::repr)
        .def(
            "__exit__",
            [](Board &b, const py::object &, const py::object &, const py::object &) { b.close(); },
            "exc_type"_a, "exc_value"_a, "traceback"_a, "Closes the board.")
        .def("load", &Board::load, "package"_a, "chunk"_a = 1024,
             R"(Loads a package into the chip and returns the number of bytes handed over.

package: a file path (str or os.PathLike) or the package's bytes (any bytes-like object).
chunk: bytes per call into the library (the host tool's -c).
Raises OSError when the file cannot be read, zelp7x.Error (step 'load') when the chip or the
library refuses the package (e.g. name 'package', 'crc', 'timeout').)")
        .def("info", &Board::info,
             R"(What the chip holds, as a dict: device_type (int), secured (bool),
firmware_running (bool), firmware_version, parameters_version, package_version (str, or None
when no package stored one) and labels (a list of the class names).)")
        .def("posterior", &Board::posterior, "state"_a = py::none(), "class_index"_a = py::none(),
             R"(The posterior tables, as a dict: states, classes and type; with state, also
'state' (index, timeout, timeout_action); with class_index (a class of that state), also 'class'
(index, window, threshold, backoff, queue, adaptive, action). Actions are (type, argument)
pairs, type 'match', 'state', 'stay' or another type's number. A state or class the tables do not
have raises zelp7x.Error with name 'arg'.)")
        .def(
            "matches",
            [](py::object self, double timeout) { return MatchIterator(std::move(self), timeout); },
            "timeout"_a = 10.0,
            R"(An iterator over the matches the chip reports from now on, as Match objects.

Each step waits up to `timeout` seconds for the next match; the iteration ends when none came
in that time. next(board.matches(5), None) waits for one match.)")
        .def("extract", &Board::extract, "kind"_a, "start"_a = "newest", "count"_a = py::none(),
             R"(Samples out of a ring or feature area, as a NumPy array.

kind: 'input' (the audio tank, as zelp7x.Audio: int16 samples, or int8 for an 8-bit tank, with
  their rate), 'accel' (the accelerometer ring, int16), 'features' (the 40 network inputs,
  uint8) or 'static' (static feature memory, uint8).
start: 'newest' (the samples up to now), 'match' (those ending at the match last taken through
  matches()), 'oldest' (the oldest still in the ring) or 'unread' (from where the previous take
  from that ring stopped; a board starts at the ring's start).
count: how many samples, a whole number of 4-byte words; default as the host tool takes them
  (half the tank from a match, the ring less a word from newest, a whole area otherwise).
The array may be shorter when fewer samples are there. The tank holds 64 ms of audio by default
and goes on filling: take the audio of a match soon after the match, or zelp7x.Error with name
'arg' says it has been overwritten.)")
        .def("record", &Board::record, "seconds"_a, "start"_a = "newest",
             R"(Records the tank's audio for `seconds` without a break, as the host tool's record
does, and returns (samples, gaps).

samples: zelp7x.Audio, int16 (int8 for an 8-bit tank), of every sample read, in order.
gaps: how many stretches the firmware overwrote before they were read (the link fell behind the
  tank); those samples are left out, never filled in, so between gaps the audio runs on unbroken.
seconds: more than 0 and at most 3600 (an hour, 115 MB of 16-bit audio in memory); fractions
  count.
start: 'newest' (from now) or 'unread' (from where the previous unread take stopped).
The board is busy for the whole recording; Ctrl-C stops it with KeyboardInterrupt.)")
        .def("gpio", &Board::gpio, "outputs"_a = py::none(), "values"_a = py::none(),
             "input_enable"_a = py::none(),
             R"(Sets and reads the chip's eight GPIO pins.

outputs: (mask, bits): the pins in mask become outputs where bits has a 1, inputs where 0.
values: (mask, bits): the pins in mask take those bits.
input_enable: True or False to set the pins' input enable.
Returns the state after the changes: {'outputs': int, 'values': int, 'input_enable': bool}.)")
        .def("serial", &Board::serial, "interface"_a, "address"_a, "write"_a = py::bytes(),
             "read"_a = 0,
             R"(One transfer with a device behind the chip; returns the bytes read.

interface: 'i2c' or 'spi0' to 'spi3'; address: the I2C address, or the chip-select GPIO for
SPI. The `write` bytes go out first, then `read` bytes come in. Needs running firmware
(zelp7x.Error with name 'uninit' otherwise).)")
        .def("status", &Board::status, "clear"_a = false,
             R"(The mailbox counters of this process and the match reports the firmware skipped:
{'h2m': {...}, 'm2h': {...}, 'missed_frames': int}, each direction with requests, responses,
unexpected and errors. clear=True zeroes them after the report.)");
    bind_flash(board);
}

} // namespace

PYBIND11_MODULE(_zelp7x, m) {
    m.doc() = module_doc;
    // Now rather than at the first array, which may come right after a match, while the tank
    // that holds the audio before it goes on filling.
    py::module_::import("numpy");
    m.attr("SAMPLE_RATE") = MORVEL_ZELP_AUDIO_SAMPLE_RATE;
    register_failure(m);
    bind_match(m);
    bind_board(m);
    m.def("write_wav", &write_wav, "path"_a, "audio"_a, write_wav_doc);
    add_text_signatures(m);
}
