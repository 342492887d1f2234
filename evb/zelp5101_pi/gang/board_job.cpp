#include "board_job.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <string_view>

#include "flash_steps.h"
#include "image_file.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "run_failure.h"

namespace {

constexpr std::array<const char *, board_phase_count> phase_names{"open",       "id",    "erase",
                                                                  "chip-erase", "write", "read"};

struct board_closer {
    void operator()(morvel_zelp7x_flash_board_s *b) const { morvel_zelp7x_flash_board_close(b); }
};
using board_ptr = std::unique_ptr<morvel_zelp7x_flash_board_s, board_closer>;

[[noreturn]] void fail_text(std::string text) {
    throw run_failure{true, std::move(text)};
}

// The text as the tool prints it, without the space that follows a bar or the newline.
std::string message_of(const run_failure &f) {
    std::string_view t = f.text;
    while (!t.empty() && (t.front() == ' ')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == '\n')) t.remove_suffix(1);
    return std::string(t);
}

void note_progress(const char *phase, double fraction, void *user) {
    auto &p = *static_cast<board_progress *>(user);
    p.label.store(phase, std::memory_order_relaxed);
    p.permille.store(static_cast<int>(fraction * 1000), std::memory_order_relaxed);
}

class board_run {
  public:
    board_run(const gang_job &job, const std::string &port, int index,
              const zelp_io_report_s &io_report, board_progress &progress)
        : job_(job), run_(job.run), port_(port), index_(index), io_report_(io_report),
          progress_(progress) {}

    board_result go() {
        const auto start = std::chrono::steady_clock::now();
        board_phase at = board_phase::open;
        try {
            for (const auto &[phase, step] : steps()) {
                at = phase;
                if ((this->*step)(true)) timed(phase, step);
            }
            result_.pass = true;
        } catch (const run_failure &f) {
            result_.failed = at;
            result_.status = f.status;
            result_.message = message_of(f);
        } catch (const std::bad_alloc &) {
            result_.failed = at;
            result_.status = MORVEL_ZELP_ERROR_NOMEM;
            result_.message = "out of memory";
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        result_.seconds = took.count();
        return std::move(result_);
    }

  private:
    // Each step answers "do I run?" when asked with `check`, else does its work and returns the
    // bytes it moved.
    using step_f = uint64_t (board_run::*)(bool check);
    struct step_entry {
        board_phase phase;
        step_f step;
    };
    // The run sequence, in order (a function, as the class is complete only inside one).
    static constexpr std::array<step_entry, board_phase_count> steps() {
        return {step_entry{board_phase::open, &board_run::open},
                step_entry{board_phase::id, &board_run::id},
                step_entry{board_phase::erase, &board_run::erase},
                step_entry{board_phase::chip_erase, &board_run::chip_erase},
                step_entry{board_phase::write, &board_run::write},
                step_entry{board_phase::read, &board_run::read}};
    }

    void timed(board_phase phase, step_f step) {
        progress_.phase.store(static_cast<int>(phase), std::memory_order_relaxed);
        progress_.label.store(nullptr, std::memory_order_relaxed);
        progress_.permille.store(0, std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        phase_result &r = result_.phases[static_cast<size_t>(phase)];
        const auto stop = [&] {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            r.ran = true;
            r.seconds = took.count();
        };
        // A failing phase keeps the time it took, and no bytes.
        try {
            r.bytes = (this->*step)(false);
        } catch (...) {
            stop();
            throw;
        }
        stop();
    }

    uint64_t open(bool check) {
        if (check) return 1;
        morvel_zelp7x_flash_board_options_s o;
        morvel_zelp7x_flash_board_options_init(&o);
        o.port = port_.c_str();
        o.input_freq = run_.input_freq < 0 ? 0 : run_.input_freq;
        o.device_type = job_.device_type;
        o.spi_default_speed = run_.spi_default_speed;
        o.spi_mcu_read_speed = run_.spi_mcu_read_speed;
        o.spi_sample_write_speed = run_.spi_sample_write_speed;
        o.spi_split = run_.spi_split;
        o.spi_read_delay = run_.spi_read_delay;
        o.read_id = 0; // the id phase reads it, or not at all with -Q
        o.io_report = io_report_;
        morvel_zelp7x_flash_board_s *b = nullptr;
        morvel_zelp7x_flash_failure_s failure{};
        if (const int s = morvel_zelp7x_flash_board_open_with(&o, &b, &failure); s != 0) {
            if (failure.message[0] == '\0') fail_step("board open", s);
            fail_flash(failure);
        }
        board_.reset(b);
        flash_.emplace(morvel_zelp7x_flash_board_device(b), run_, note_progress, &progress_);
        return 0;
    }

    uint64_t id(bool check) {
        if (check) return !run_.accel_op;
        uint8_t vendor = 0;
        uint16_t id = 0;
        flash_->call([&](auto *f, auto *failure) {
            return morvel_zelp7x_flash_read_id(f, &vendor, &id, nullptr, failure);
        });
        result_.vendor = vendor;
        result_.device_id = id;
        if (vendor == 0) fail_text("no flash populated (vendor id == 0)");
        if (vendor == 0xFF) fail_text("no flash answering (vendor id == 0xff)");
        run_.flash_size = morvel_zelp7x_flash_capacity(id);
        // This board's flash bounds the ranges, as it does for zelp7x_flash.
        if (moves_data()) check_range(data_range_problem(run_));
        if (run_.erase_region)
            check_range(range_problem(run_, static_cast<uint32_t>(run_.address),
                                      static_cast<uint32_t>(run_.erase_count), "flash erase"));
        return 3;
    }

    uint64_t erase(bool check) {
        const bool erase_in_write = run_.skip_unchanged && run_.write_file_name;
        if (check) return run_.erase_region && !run_.accel_op && !erase_in_write;
        flash_->call([&](auto *f, auto *failure) {
            return morvel_zelp7x_flash_erase(f, static_cast<uint32_t>(run_.address),
                                             static_cast<uint32_t>(run_.erase_count), failure);
        });
        return static_cast<uint32_t>(run_.erase_count);
    }

    uint64_t chip_erase(bool check) {
        if (check) return run_.erase_chip && !run_.accel_op;
        flash_->call(morvel_zelp7x_flash_erase_chip);
        return run_.flash_size;
    }

    uint64_t write(bool check) {
        if (check) return run_.write_file_name.has_value();
        if (run_.skip_unchanged)
            write_changed(*flash_, run_, job_.encoded);
        else
            program_image(*flash_, run_, job_.encoded);
        result_.write_sum = job_.data_sum;
        return job_.encoded.size();
    }

    uint64_t read(bool check) {
        if (check) return moves_back();
        std::vector<uint8_t> encoded(static_cast<size_t>(run_.encoded_count), 0xFF);
        flash_->call([&](auto *f, auto *failure) {
            return morvel_zelp7x_flash_read(f, static_cast<uint32_t>(run_.address), encoded.data(),
                                            static_cast<uint32_t>(encoded.size()), failure);
        });
        std::vector<uint8_t> data(static_cast<size_t>(run_.count));
        data.resize(decode_image(encoded, run_.three_byte != 0, data));
        uint16_t sum = 0;
        for (uint8_t c : data) sum = bsd_sum(sum, c);
        result_.read_sum = sum;
        if (run_.verify_file_name) {
            for (size_t j = 0; j < data.size() && j < job_.verify.size(); ++j)
                if (data[j] != job_.verify[j]) ++result_.miscompares;
        }
        if (run_.read_file_name) {
            result_.read_file = *run_.read_file_name + "." + std::to_string(index_);
            if (write_file(result_.read_file.c_str(), data) != 0)
                fail_text("short write of " + result_.read_file);
        }
        if (result_.miscompares != 0)
            fail_text(std::to_string(result_.miscompares) + " miscomparing bytes");
        return encoded.size();
    }

    bool moves_back() const {
        return run_.checksum_flash || run_.read_file_name || run_.verify_file_name;
    }
    bool moves_data() const { return run_.write_file_name || moves_back(); }

    static void check_range(const std::string &problem) {
        if (!problem.empty()) fail_text(problem);
    }

    const gang_job &job_;
    run_options run_; // this board's: its flash size joins the job's options
    const std::string &port_;
    int index_;
    zelp_io_report_s io_report_;
    board_progress &progress_;
    board_ptr board_;
    std::optional<run_flash> flash_;
    board_result result_;
};

} // namespace

const char *phase_name(board_phase p) {
    const auto i = static_cast<size_t>(p);
    return i < phase_names.size() ? phase_names[i] : "?";
}

void run_board(const gang_job &job, const std::string &port, int index,
               const zelp_io_report_s &io_report, board_progress &progress, board_result &result) {
    result = board_run(job, port, index, io_report, progress).go();
    progress.done.store(true, std::memory_order_release);
}
