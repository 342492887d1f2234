// One board's part of a gang job: the zelp7x_flash run sequence on its own board handles, in its
// own thread, with every result kept as a value for the display and the report.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run_options.h"
#include "zelp_linux_io.h"

// The run sequence's phases, in order.
enum class board_phase { open, id, erase, chip_erase, write, read, count };
inline constexpr int board_phase_count = static_cast<int>(board_phase::count);
// "open", "id", "erase", "chip-erase", "write", "read".
const char *phase_name(board_phase p);

// What every board runs with, made once before the boards start and only read by them.
struct gang_job {
    run_options run; // counts derived; no image data (below)
    unsigned device_type = 0;
    std::vector<uint8_t> data;    // the -w file's first `count` bytes
    std::vector<uint8_t> encoded; // their flash image, `encoded_count` bytes
    std::vector<uint8_t> verify;  // the -v file's contents
    uint16_t data_sum = 0;        // bsd_sum of `data`
};

struct phase_result {
    bool ran = false;
    double seconds = 0;
    uint64_t bytes = 0;
};

struct board_result {
    bool pass = false;
    double seconds = 0;
    std::optional<board_phase> failed;
    int status = 0;      // library error code of the failure, 0 for the tool's own
    std::string message; // as zelp7x_flash prints it, without the newline
    std::array<phase_result, board_phase_count> phases{};
    std::optional<uint16_t> write_sum, read_sum;
    uint32_t miscompares = 0;
    std::optional<uint8_t> vendor;
    uint16_t device_id = 0;
    std::string read_file; // where -r put this board's flash
};

// Where a board stands, written by its thread and read by the display.
struct board_progress {
    std::atomic<int> phase{0};                // a board_phase
    std::atomic<const char *> label{nullptr}; // the library's "Erase", "Program", "Read"
    std::atomic<int> permille{0};
    std::atomic<bool> done{false};
};

// Runs the sequence on `port` into `result`, then marks `progress` done; `index` numbers the -r
// file, and the board I/O layer's lines go to `io_report`. Never throws.
void run_board(const gang_job &job, const std::string &port, int index,
               const zelp_io_report_s &io_report, board_progress &progress, board_result &result);
