// Running a planned flash job on one board: its steps in their fixed order on a session over the
// board's record, each told to the host's report callback as it starts, moves on and ends.
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "flash_calls.h"
#include "flash_clock.h"
#include "flash_image.h"
#include "flash_job.h"
#include "flash_ops.h"

namespace zflash {

namespace {

constexpr std::array<const char *, MORVEL_ZELP7X_FLASH_STEP_COUNT> step_names{
    "plan", "id", "erase", "chip-erase", "write", "read"};

// The ID is three bytes of the flash's answer.
constexpr uint64_t id_bytes = 3;

std::vector<uint8_t> allocate(uint32_t n, const char *what) {
    try {
        return std::vector<uint8_t>(n);
    } catch (const std::bad_alloc &) {
        char text[sizeof(morvel_zelp7x_flash_failure_s::message)];
        std::snprintf(text, sizeof text, "unable to allocate %d byte %s", static_cast<int>(n),
                      what);
        throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT, MORVEL_ZELP_ERROR_NOMEM,
                            "flash read", text};
    }
}

class job_run {
  public:
    job_run(const morvel_zelp7x_flash_job_s &job, morvel_zelp7x_flash_s &held,
            morvel_zelp7x_flash_report_f report, void *user)
        : job_(job), held_(held), record_(held), report_(report), user_(user) {
        record_.in_call = 0;
        record_.path =
            job.options.bridge ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI;
        record_.progress = report != nullptr ? relay_progress : nullptr;
        record_.progress_user = this;
        if (record_.capacity == 0) record_.capacity = job.identity.capacity;
    }
    job_run(const job_run &) = delete;
    job_run &operator=(const job_run &) = delete;

    void go() {
        const session s(record_);
        run_step(MORVEL_ZELP7X_FLASH_STEP_ID, [&] { identify(s); });
        run_step(MORVEL_ZELP7X_FLASH_STEP_ERASE, [&] { erase_region(s); });
        run_step(MORVEL_ZELP7X_FLASH_STEP_ERASE_CHIP, [&] { erase_chip_step(s); });
        run_step(MORVEL_ZELP7X_FLASH_STEP_WRITE, [&] { write_image(s); });
        run_step(MORVEL_ZELP7X_FLASH_STEP_READ, [&] { read_back(s); });
    }

    ~job_run() {
        // A capacity the ID named is the board's, as after a read of the ID on the record.
        if (held_.capacity == 0) held_.capacity = record_.capacity;
    }

  private:
    static void relay_progress(const char *phase, double fraction, void *user) {
        auto &run = *static_cast<job_run *>(user);
        morvel_zelp7x_flash_report_s r = run.r_;
        r.phase = phase;
        r.fraction = fraction;
        run.emit(MORVEL_ZELP7X_FLASH_EVENT_PROGRESS, r);
    }

    void emit(morvel_zelp7x_flash_event_e event, morvel_zelp7x_flash_report_s &r) const {
        r.event = event;
        if (report_ != nullptr) report_(&r, user_);
    }

    // Runs one step when the plan has it: START, the work, then DONE or FAILED with what the
    // work found so far.
    template <class Work>
    void run_step(morvel_zelp7x_flash_step_e step, Work &&work) {
        if (!job_.runs(step)) return;
        r_ = {};
        r_.step = step;
        emit(MORVEL_ZELP7X_FLASH_EVENT_START, r_);
        watch_ = stopwatch();
        timed_ = false;
        try {
            work();
        } catch (const flash_failure &f) {
            morvel_zelp7x_flash_failure_s record{};
            record_failure(&record, f);
            stop_watch();
            r_.failure = &record;
            r_.text = record.message;
            emit(MORVEL_ZELP7X_FLASH_EVENT_FAILED, r_);
            throw;
        }
        stop_watch();
        emit(MORVEL_ZELP7X_FLASH_EVENT_DONE, r_);
    }

    // The step's time, taken once: when its flash work ends, before what it does with the data.
    void stop_watch() {
        if (timed_) return;
        r_.milliseconds = watch_.elapsed_ms();
        timed_ = true;
    }

    void identify(const session &s) {
        r_.identity = read_identity(s);
        r_.identified = 1;
        check_identity(r_.identity);
        // This board's flash bounds the job's ranges.
        check_ranges(job_, s.capacity());
        r_.bytes = id_bytes;
    }

    void erase_region(const session &s) {
        erase(s, job_.options.address, job_.erase_count);
        r_.bytes = job_.erase_count;
    }

    void erase_chip_step(const session &s) {
        erase_chip(s);
        r_.bytes = s.capacity();
    }

    // The image and, with the dongle layout, its descriptor, programmed into flash the erase
    // left blank; on the bridge path after the start-of-file command that announces the image.
    void program_image(const session &s) const {
        const morvel_zelp7x_flash_job_options_s &o = job_.options;
        if (o.bridge) start_of_file(s, job_.encoded_count);
        program(s, o.address, job_.encoded);
        if (o.atmel_dongle) program(s, job_.descriptor_address, job_.descriptor);
    }

    // The image up to its last data byte and, with the dongle layout, its descriptor, in one pass
    // of the changed-only write, which erases the erase span where it does not hold what it
    // must. The filler that rounds the image up to a multiple of 4 is not written: the flash
    // keeps its own bytes there.
    morvel_zelp7x_flash_write_stats_s write_changed_only(const session &s) const {
        const morvel_zelp7x_flash_job_options_s &o = job_.options;
        const auto image = std::span(job_.encoded)
                               .first(static_cast<size_t>(morvel_zelp7x_flash_encoded_data_size(
                                   job_.count, o.three_byte)));
        const morvel_zelp7x_flash_piece_s descriptor = {
            job_.descriptor_address, job_.descriptor.data(),
            static_cast<uint32_t>(job_.descriptor.size())};
        morvel_zelp7x_flash_write_options_s w{};
        w.skip_unchanged = 1;
        w.erase_count = o.erase ? job_.erase_count : 0;
        if (o.atmel_dongle) {
            w.pieces = &descriptor;
            w.piece_count = 1;
        }
        return write(s, o.address, image, w);
    }

    void write_image(const session &s) {
        if (job_.options.skip_unchanged)
            r_.stats = write_changed_only(s);
        else
            program_image(s);
        r_.bytes = job_.encoded_count;
        r_.data_bytes = job_.count;
        r_.checksum = job_.checksum;
    }

    // Reads the image back, takes the fillers out, sums the data and compares it with the verify
    // image, reporting each byte that differs in data order.
    void read_back(const session &s) {
        flash_bytes_ = allocate(job_.encoded_count, "encoded read buffer");
        data_ = allocate(job_.count, "read buffer");
        const std::span<const uint8_t> data = data_;
        read(s, job_.options.address, flash_bytes_);
        stop_watch();
        decode(flash_bytes_, job_.options.three_byte != 0, data_);
        r_.bytes = job_.encoded_count;
        r_.data_bytes = job_.count;
        r_.data = data.data();
        r_.checksum = bsd_sum(data);
        if (!job_.verifies) return;
        const morvel_zelp7x_flash_verify_s v =
            compare(data, job_.verify, job_.options.address, [&](size_t offset) {
                morvel_zelp7x_flash_report_s d = r_;
                d.offset = static_cast<uint32_t>(offset);
                d.got = data[offset];
                d.expected = job_.verify[offset];
                emit(MORVEL_ZELP7X_FLASH_EVENT_DIFFERENCE, d);
            });
        r_.differences = v.differences;
        r_.first_difference = v.first_difference;
        if (v.differences != 0)
            throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_VERIFY, MORVEL_ZELP_ERROR_FAIL,
                                "flash verify",
                                std::to_string(v.differences) + " miscomparing bytes"};
    }

    const morvel_zelp7x_flash_job_s &job_;
    morvel_zelp7x_flash_s &held_;
    morvel_zelp7x_flash_s record_; // the held record's board, with the job's path and progress
    morvel_zelp7x_flash_report_f report_;
    void *user_;
    morvel_zelp7x_flash_report_s r_{}; // the step's report so far
    stopwatch watch_;
    bool timed_ = false;
    // The read step's buffers, alive until its last report.
    std::vector<uint8_t> flash_bytes_, data_;
};

} // namespace

morvel_zelp7x_flash_identity_s read_identity(const session &s) {
    morvel_zelp7x_flash_identity_s id{};
    read_id(s, &id.vendor, &id.device_id);
    id.capacity = morvel_zelp7x_flash_capacity(id.device_id);
    s.learn_capacity(id.capacity);
    return id;
}

void check_identity(const morvel_zelp7x_flash_identity_s &id) {
    if (id.vendor == 0)
        fail_check("flash id", MORVEL_ZELP_ERROR_FAIL, "no flash populated (vendor id == 0)");
    // A data line nothing drives reads all ones; there is no capacity to size a run from.
    if (id.vendor == 0xFF)
        fail_check("flash id", MORVEL_ZELP_ERROR_FAIL, "no flash answering (vendor id == 0xff)");
}

} // namespace zflash

extern "C" {

int morvel_zelp7x_flash_job_run(const morvel_zelp7x_flash_job_s *job, morvel_zelp7x_flash_s *flash,
                                morvel_zelp7x_flash_report_f report, void *user,
                                morvel_zelp7x_flash_failure_s *failure) {
    return zflash::held_call(flash, failure, [&](morvel_zelp7x_flash_s &held) {
        if (job == nullptr) zflash::fail_argument("flash job", "no job");
        zflash::job_run(*job, held, report, user).go();
    });
}

int morvel_zelp7x_flash_identify(morvel_zelp7x_flash_s *flash,
                                 morvel_zelp7x_flash_identity_s *identity,
                                 morvel_zelp7x_flash_failure_s *failure) {
    return zflash::run(flash, failure, [&](const zflash::session &s) {
        const morvel_zelp7x_flash_identity_s id = zflash::read_identity(s);
        if (identity != nullptr) *identity = id;
        zflash::check_identity(id);
    });
}

const char *morvel_zelp7x_flash_step_name(morvel_zelp7x_flash_step_e step) {
    const auto i = static_cast<size_t>(step);
    return i < zflash::step_names.size() ? zflash::step_names[i] : "?";
}

} // extern "C"
