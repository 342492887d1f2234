// Board's flash calls: the flash behind the chip through the flash library, over the chip's MSPI
// registers, on the board's own device handle and under the library lock like every board call.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "buffer_bytes.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "morvel_flash/morvel_zelp7x_flash_job.h"

namespace zelp7x_py {

namespace {

// A range past what 3-byte flash addresses reach is refused before any buffer is made, with the
// flash library's word for it.
void check_range(uint32_t address, uint64_t count, const char *step) {
    morvel_zelp7x_flash_failure_s failure{};
    if (morvel_zelp7x_flash_check_range(0, address, count, step, &failure) != 0)
        throw py::value_error(failure.message);
}

uint32_t checked_size(uint32_t address, const std::vector<uint8_t> &data, const char *step) {
    check_range(address, data.size(), step);
    return static_cast<uint32_t>(data.size());
}

// Carries the library's progress into a Python callable, which runs with the interpreter lock
// taken back. The flash operation cannot be stopped half way, so an exception the callable
// raises ends its calls and is raised once the operation is over.
struct progress_relay {
    py::object callable;
    std::optional<py::error_already_set> raised;

    static void call(const char *phase, double fraction, void *user) {
        auto &relay = *static_cast<progress_relay *>(user);
        const py::gil_scoped_acquire held;
        if (relay.raised) return;
        try {
            relay.callable(phase, fraction);
        } catch (py::error_already_set &e) {
            relay.raised = std::move(e);
        }
    }
};

py::dict stats_of(const morvel_zelp7x_flash_write_stats_s &st) {
    py::dict d;
    d["sectors"] = st.sectors;
    d["unchanged"] = st.sectors_unchanged;
    d["erased"] = st.sectors_erased;
    d["pages"] = st.pages_programmed;
    return d;
}

} // namespace

// Runs `f(flash, failure)` as a board call; a failure raises zelp7x.Error with the flash
// library's message.
template <typename F>
void on_flash(Board &board, const char *step, F &&f, progress_relay *relay = nullptr) {
    morvel_zelp7x_flash_failure_s failure{};
    try {
        board.on_board(step, [&](morvel_zelp7x_host_s *h) {
            morvel_zelp7x_flash_s flash{};
            flash.zelp = morvel_zelp7x_board_device(morvel_zelp7x_host_board(h));
            flash.path = MORVEL_ZELP7X_FLASH_PATH_MSPI;
            if (relay != nullptr) {
                flash.progress = &progress_relay::call;
                flash.progress_user = relay;
            }
            return f(flash, failure);
        });
    } catch (board_failure &e) {
        e.message = failure.message;
        throw;
    }
}

namespace {

// What a flash job's run reports, taken without the interpreter lock (but for the progress
// relay, which takes it) and made into Python objects once the run is over.
class job_results {
  public:
    job_results(bool changed_only, progress_relay *relay)
        : changed_only_(changed_only), relay_(relay) {}

    static void take(const morvel_zelp7x_flash_report_s *r, void *user) {
        static_cast<job_results *>(user)->take(*r);
    }

    const char *current_step() const { return morvel_zelp7x_flash_step_name(current_); }

    py::dict as_dict() const {
        py::dict steps;
        for (size_t i = 0; i < steps_.size(); ++i)
            if (steps_[i].ended) steps[morvel_zelp7x_flash_step_name(step_at(i))] = step_dict(i);
        py::list notes;
        for (const std::string &n : notes_) notes.append(system_text(n));
        py::dict d;
        d["id"] = identity_ ? py::object(identity_dict(*identity_)) : py::object(py::none());
        d["steps"] = steps;
        d["data"] = data_ ? py::object(py::bytes(reinterpret_cast<const char *>(data_->data()),
                                                 data_->size()))
                          : py::object(py::none());
        d["notes"] = notes;
        return d;
    }

  private:
    struct step_result {
        bool ended = false;
        bool done = false;
        uint64_t bytes = 0;
        int milliseconds = 0;
        uint32_t data_bytes = 0;
        uint16_t checksum = 0;
        morvel_zelp7x_flash_write_stats_s stats{};
        uint32_t differences = 0;
        uint32_t first_difference = 0;
    };

    static morvel_zelp7x_flash_step_e step_at(size_t i) {
        return static_cast<morvel_zelp7x_flash_step_e>(i);
    }

    static py::dict identity_dict(const morvel_zelp7x_flash_identity_s &id) {
        py::dict d;
        d["vendor"] = id.vendor;
        d["device_id"] = id.device_id;
        d["capacity"] = id.capacity != 0 ? py::int_(id.capacity) : py::object(py::none());
        return d;
    }

    py::dict step_dict(size_t i) const {
        const step_result &r = steps_[i];
        const auto step = step_at(i);
        py::dict d;
        d["bytes"] = r.bytes;
        d["milliseconds"] = r.milliseconds;
        if (step == MORVEL_ZELP7X_FLASH_STEP_WRITE || step == MORVEL_ZELP7X_FLASH_STEP_READ) {
            d["data_bytes"] = r.data_bytes;
            d["checksum"] = r.checksum;
        }
        if (step == MORVEL_ZELP7X_FLASH_STEP_WRITE)
            d["changed"] =
                changed_only_ && r.done ? py::object(stats_of(r.stats)) : py::object(py::none());
        if (step == MORVEL_ZELP7X_FLASH_STEP_READ) {
            d["differences"] = r.differences;
            d["first_difference"] =
                r.differences != 0 ? py::int_(r.first_difference) : py::object(py::none());
        }
        return d;
    }

    void take(const morvel_zelp7x_flash_report_s &r) {
        switch (r.event) {
        case MORVEL_ZELP7X_FLASH_EVENT_NOTE:
            if (r.text != nullptr) notes_.emplace_back(r.text);
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_START:
            current_ = r.step;
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_PROGRESS:
            if (relay_ != nullptr) progress_relay::call(r.phase, r.fraction, relay_);
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_DONE:
        case MORVEL_ZELP7X_FLASH_EVENT_FAILED:
            end_step(r);
            return;
        default: // the differences are counted in the read step's last report
            return;
        }
    }

    void end_step(const morvel_zelp7x_flash_report_s &r) {
        if (static_cast<size_t>(r.step) >= steps_.size()) return;
        step_result &s = steps_[static_cast<size_t>(r.step)];
        s.ended = true;
        s.done = r.event == MORVEL_ZELP7X_FLASH_EVENT_DONE;
        s.bytes = r.bytes;
        s.milliseconds = r.milliseconds;
        s.data_bytes = r.data_bytes;
        s.checksum = r.checksum;
        s.stats = r.stats;
        s.differences = r.differences;
        s.first_difference = r.first_difference;
        if (r.identified) identity_ = r.identity;
        if (r.step == MORVEL_ZELP7X_FLASH_STEP_READ && r.data != nullptr)
            data_.emplace(r.data, r.data + r.data_bytes);
    }

    bool changed_only_;
    progress_relay *relay_;
    morvel_zelp7x_flash_step_e current_ = MORVEL_ZELP7X_FLASH_STEP_PLAN;
    std::array<step_result, MORVEL_ZELP7X_FLASH_STEP_COUNT> steps_{};
    std::optional<morvel_zelp7x_flash_identity_s> identity_;
    std::optional<std::vector<uint8_t>> data_;
    std::vector<std::string> notes_;
};

struct job_free {
    void operator()(morvel_zelp7x_flash_job_s *job) const { morvel_zelp7x_flash_job_free(job); }
};

// An image argument of a job: None, bytes-like or a file's path, kept for the plan call.
struct job_image {
    std::vector<uint8_t> bytes;
    morvel_zelp7x_flash_image_s image{};

    const morvel_zelp7x_flash_image_s *from(const py::object &data) {
        if (data.is_none()) return nullptr;
        bytes = bytes_or_file(data);
        image = {bytes.data(), bytes.size()};
        return &image;
    }
};

} // namespace

py::dict Board::flash_id() {
    uint8_t vendor = 0;
    uint16_t device = 0;
    uint32_t capacity = 0;
    on_flash(*this, "flash_id", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_read_id(&flash, &vendor, &device, &capacity, &failure);
    });
    py::dict d;
    d["vendor"] = vendor;
    d["device_id"] = device;
    d["capacity"] = capacity != 0 ? py::int_(capacity) : py::object(py::none());
    return d;
}

void Board::erase(uint32_t address, uint32_t count) {
    check_range(address, count, "erase");
    on_flash(*this, "erase", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_erase(&flash, address, count, &failure);
    });
}

py::object Board::write(uint32_t address, const py::object &data, bool skip_unchanged,
                        const py::object &progress) {
    const std::vector<uint8_t> bytes = bytes_or_file(data);
    const uint32_t count = checked_size(address, bytes, "write");
    progress_relay relay{progress, std::nullopt};
    morvel_zelp7x_flash_write_options_s options{};
    options.skip_unchanged = skip_unchanged ? 1 : 0;
    morvel_zelp7x_flash_write_stats_s stats{};
    on_flash(
        *this, "write",
        [&](auto &flash, auto &failure) {
            return morvel_zelp7x_flash_write(&flash, address, bytes.data(), count, &options, &stats,
                                             &failure);
        },
        progress.is_none() ? nullptr : &relay);
    if (relay.raised) throw *relay.raised;
    // Only the changed-only write counts what it did.
    return skip_unchanged ? py::object(stats_of(stats)) : py::object(py::none());
}

py::bytes Board::read(uint32_t address, uint32_t count) {
    check_range(address, count, "read");
    std::vector<uint8_t> buf(count);
    on_flash(*this, "read", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_read(&flash, address, buf.data(), count, &failure);
    });
    return {reinterpret_cast<const char *>(buf.data()), buf.size()};
}

py::dict Board::verify(uint32_t address, const py::object &data) {
    const std::vector<uint8_t> bytes = bytes_or_file(data);
    const uint32_t count = checked_size(address, bytes, "verify");
    morvel_zelp7x_flash_verify_s result{};
    on_flash(*this, "verify", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_verify(&flash, address, bytes.data(), count, &result, &failure);
    });
    py::dict d;
    d["differences"] = result.differences;
    d["first_difference"] =
        result.differences != 0 ? py::int_(result.first_difference) : py::object(py::none());
    return d;
}

py::dict Board::flash_job(const py::object &write, uint32_t address, std::optional<int64_t> count,
                          bool erase, bool erase_chip, bool three_byte, bool dongle, bool checksum,
                          bool read, const py::object &verify, bool bridge, bool skip_unchanged,
                          const py::object &progress) {
    if (count && *count < 0) throw py::value_error("count: bytes, 0 or more");
    job_image write_image, verify_image;
    morvel_zelp7x_flash_job_options_s o;
    morvel_zelp7x_flash_job_options_init(&o);
    o.address = address;
    o.count = count.value_or(-1);
    o.erase = erase;
    o.erase_chip = erase_chip;
    o.three_byte = three_byte;
    o.atmel_dongle = dongle;
    o.checksum = checksum;
    o.read = read;
    o.bridge = bridge;
    o.skip_unchanged = skip_unchanged;
    o.write = write_image.from(write);
    o.verify = verify_image.from(verify);

    progress_relay relay{progress, std::nullopt};
    job_results results(skip_unchanged, progress.is_none() ? nullptr : &relay);
    morvel_zelp7x_flash_job_s *planned = nullptr;
    morvel_zelp7x_flash_failure_s failure{};
    // What no run could do is refused before the board is touched, as the range checks are.
    if (morvel_zelp7x_flash_job_plan(&o, &job_results::take, &results, &planned, &failure) != 0)
        throw py::value_error(failure.message);
    const std::unique_ptr<morvel_zelp7x_flash_job_s, job_free> job(planned);
    try {
        on_flash(*this, "flash_job", [&](auto &flash, auto &run_failure) {
            return morvel_zelp7x_flash_job_run(job.get(), &flash, &job_results::take, &results,
                                               &run_failure);
        });
    } catch (board_failure &e) {
        e.step = results.current_step();
        throw;
    }
    if (relay.raised) throw *relay.raised;
    return results.as_dict();
}

} // namespace zelp7x_py
