// What every board tool takes the same way: the board options -s, -t and -F with their usage
// lines, and the long options --version and --list that answer at once.
#pragma once

#include <string_view>

#include "board_open.h"

inline constexpr const char *usage_port =
    " -s <dev name>      device file -- default first supported USB COM";
inline constexpr const char *usage_type =
    " -t <type>          device type -- default read from chip";
inline constexpr const char *usage_clock =
    " -F <freq>          input clock frequency -- default SPI: 16000000, USB: 32768";
inline constexpr const char *usage_serial =
    " -s serial=<S>      the supported bridge with USB serial number S";
inline constexpr const char *usage_rfc2217 = " -s rfc2217://<host>:<port>";
inline constexpr const char *usage_rfc2217_what =
    "                    a bridge that ser2net serves on another machine (telnet, RFC 2217)";
inline constexpr const char *usage_version = " --version          print the version";
inline constexpr const char *usage_list = " --list             list the attached supported bridges";

// Whether `letter` is one of the board options, -s, -t and -F.
bool is_board_option(int letter);

// Reads `arg` as the value of board option `letter` into `settings`: -s the port name, -t the
// device type, -F the input clock (numbers as strtoul reads them in base 0, 32 bits, 2^31 and
// above landing negative). With `report` a bad number is said as zelp7x_flash says it ("invalid
// Device Type value: 0x1x" on standard output). Returns false for a bad number.
bool read_board_option(int letter, const char *arg, board_settings &settings, bool report);

// What a bad number of board option `letter` is called: "device type", "input clock frequency".
const char *board_option_name(int letter);

// The long options every board tool answers at once.
enum class tool_answer { none, version, list };
tool_answer tool_answer_named(std::string_view arg);
inline constexpr std::string_view tool_answer_names[] = {"--version", "--list"};

// Answers it: "TOOL VERSION" on standard output, or the attached bridges (list_bridges). Returns
// the exit status.
int answer(tool_answer what, const char *tool);
