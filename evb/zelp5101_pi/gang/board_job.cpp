#include "board_job.h"

#include <chrono>
#include <new>
#include <string_view>

#include "board_open.h"
#include "image_file.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "run_failure.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// The job's own checks carry no library error of their own: the report names none for them.
bool own_check(morvel_zelp7x_flash_failure_kind_e kind) {
    return kind == MORVEL_ZELP7X_FLASH_FAILED_CHECK || kind == MORVEL_ZELP7X_FLASH_FAILED_OPTION ||
           kind == MORVEL_ZELP7X_FLASH_FAILED_VERIFY;
}

// The text as the tool prints it, without the newline.
std::string without_newline(std::string_view t) {
    while (!t.empty() && t.back() == '\n') t.remove_suffix(1);
    return std::string(t);
}

class board_run {
  public:
    board_run(const gang_job &job, const std::string &port, int index,
              const zelp_io_report_s &io_report, board_progress &progress)
        : job_(job), port_(port), index_(index), io_report_(io_report), progress_(progress) {}

    board_result go() {
        const auto start = clock_type::now();
        try {
            if (open()) run_job();
        } catch (const std::bad_alloc &) {
            fail(current_, MORVEL_ZELP_ERROR_NOMEM, "out of memory");
        }
        result_.pass = !result_.failed;
        result_.seconds = seconds_since(start);
        return std::move(result_);
    }

  private:
    void enter(board_phase phase) {
        current_ = phase;
        progress_.phase.store(static_cast<int>(phase), std::memory_order_relaxed);
        progress_.label.store(nullptr, std::memory_order_relaxed);
        progress_.permille.store(0, std::memory_order_relaxed);
        at(phase).ran = true;
    }

    phase_result &at(board_phase phase) { return result_.phases[static_cast<size_t>(phase)]; }

    void fail(board_phase phase, int status, std::string message) {
        if (result_.failed) return;
        result_.failed = phase;
        result_.status = status;
        result_.message = std::move(message);
    }

    // The board as zelp7x_flash opens it, on this board's port; its own -F 0 meaning the board
    // kind's clock.
    bool open() {
        enter(board_phase::open);
        const auto start = clock_type::now();
        board_settings settings = job_.run;
        settings.spi_dev = port_;
        if (settings.input_freq == 0) settings.input_freq = -1;
        morvel_zelp7x_board_options_s o = board_options(settings);
        o.message = nullptr; // the port was chosen before the boards started
        o.io_report = io_report_;
        morvel_zelp7x_board_s *b = nullptr;
        morvel_zelp7x_board_failure_s failure{};
        const int s = morvel_zelp7x_board_open(&o, &b, &failure);
        at(board_phase::open).seconds = seconds_since(start);
        if (s != 0) {
            fail(board_phase::open, s, failure.message);
            return false;
        }
        board_.reset(b);
        return true;
    }

    void run_job() {
        morvel_zelp7x_flash_s flash{};
        flash.zelp = morvel_zelp7x_board_device(board_.get());
        morvel_zelp7x_flash_failure_s failure{};
        const int s = morvel_zelp7x_flash_job_run(job_.job.get(), &flash, report, this, &failure);
        if (s != 0) fail(current_, own_check(failure.kind) ? 0 : s, failure.message);
    }

    static void report(const morvel_zelp7x_flash_report_s *r, void *user) {
        static_cast<board_run *>(user)->take(*r);
    }

    void take(const morvel_zelp7x_flash_report_s &r) {
        const auto phase = static_cast<board_phase>(r.step);
        switch (r.event) {
        case MORVEL_ZELP7X_FLASH_EVENT_START:
            return enter(phase);
        case MORVEL_ZELP7X_FLASH_EVENT_PROGRESS:
            progress_.label.store(r.phase, std::memory_order_relaxed);
            progress_.permille.store(static_cast<int>(r.fraction * 1000),
                                     std::memory_order_relaxed);
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_DONE:
            at(phase).bytes = r.bytes;
            break;
        case MORVEL_ZELP7X_FLASH_EVENT_FAILED:
            break;
        default:
            return;
        }
        // A failing phase keeps the time it took, and no bytes.
        at(phase).seconds = r.milliseconds / 1000.0;
        if (r.identified) {
            result_.vendor = r.identity.vendor;
            result_.device_id = r.identity.device_id;
        }
        if (r.step == MORVEL_ZELP7X_FLASH_STEP_WRITE && r.event == MORVEL_ZELP7X_FLASH_EVENT_DONE)
            result_.write_sum = r.checksum;
        if (r.step == MORVEL_ZELP7X_FLASH_STEP_READ && r.data != nullptr) read_back(r);
    }

    // What the read step read: its checksum, its differences, and with -r this board's file.
    void read_back(const morvel_zelp7x_flash_report_s &r) {
        result_.read_sum = r.checksum;
        result_.miscompares = r.differences;
        if (!job_.run.read_file_name) return;
        result_.read_file = *job_.run.read_file_name + "." + std::to_string(index_);
        try {
            if (write_file(result_.read_file.c_str(), std::span(r.data, r.data_bytes)) != 0)
                fail(board_phase::read, 0, "short write of " + result_.read_file);
        } catch (const run_failure &f) {
            fail(board_phase::read, 0, without_newline(f.text));
        }
    }

    const gang_job &job_;
    const std::string &port_;
    int index_;
    zelp_io_report_s io_report_;
    board_progress &progress_;
    board_ptr board_;
    board_phase current_ = board_phase::open;
    board_result result_;
};

} // namespace

const char *phase_name(board_phase p) {
    if (p == board_phase::open) return "open";
    return morvel_zelp7x_flash_step_name(static_cast<morvel_zelp7x_flash_step_e>(p));
}

void run_board(const gang_job &job, const std::string &port, int index,
               const zelp_io_report_s &io_report, board_progress &progress, board_result &result) {
    result = board_run(job, port, index, io_report, progress).go();
    progress.done.store(true, std::memory_order_release);
}
