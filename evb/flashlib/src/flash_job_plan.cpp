// Planning a flash job: the counts the options and images give, the dongle layout, the ranges no
// run could take, and the image as it lies on the flash, all before any board is touched.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <span>

#include "flash_calls.h"
#include "flash_dongle.h"
#include "flash_image.h"
#include "flash_job.h"
#include "flash_range.h"

namespace zflash {

namespace {

constexpr int64_t default_count = 16;
constexpr const char *plan_step = "flash job";

std::string format(const char *fmt, auto... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    std::string text(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, fmt, args...);
    return text;
}

// The data byte count: -c, clipped by every image given (a file longer than any count the job
// can hold counts as the largest one, which the encoded count then refuses), else 16.
int64_t data_count(const morvel_zelp7x_flash_job_options_s &o) {
    int64_t count = o.count;
    for (const morvel_zelp7x_flash_image_s *image : {o.write, o.verify}) {
        if (image == nullptr) continue;
        const int64_t length = image->size > INT_MAX ? INT_MAX : static_cast<int64_t>(image->size);
        if (count < 0 || count > length) count = length;
    }
    return count < 0 ? default_count : count;
}

void derive_counts(morvel_zelp7x_flash_job_s &job, const morvel_zelp7x_flash_job_options_s &o) {
    const int64_t count = data_count(o);
    const int64_t encoded = morvel_zelp7x_flash_encoded_size(count, o.three_byte);
    if (encoded > INT_MAX)
        throw flash_failure{
            MORVEL_ZELP7X_FLASH_FAILED_OPTION, MORVEL_ZELP_ERROR_ARG, plan_step,
            format("flash byte count value out of range: %lld", static_cast<long long>(count))};
    job.count = static_cast<uint32_t>(count);
    job.encoded_count = static_cast<uint32_t>(encoded);
    job.erase_count = job.encoded_count;
}

void lay_out_dongle(morvel_zelp7x_flash_job_s &job) {
    if (!dongle_length_fits(job.encoded_count))
        fail_check(plan_step, MORVEL_ZELP_ERROR_ARG,
                   format("data length 0x%x too long for Atmel file", job.encoded_count));
    job.erase_count = ATMEL_DONGLE_PAGE_SIZE;
    job.descriptor = dongle_descriptor(job.encoded_count, job.options.three_byte != 0);
    job.descriptor_address = dongle_descriptor_address(job.options.address);
}

// The descriptor of an image off a 1 MiB boundary lies outside the span -e erases; such a job is
// taken, with a word for the host.
void note_dongle_alignment(const morvel_zelp7x_flash_job_s &job,
                           morvel_zelp7x_flash_report_f report, void *user) {
    if (job.options.address % ATMEL_DONGLE_PAGE_SIZE == 0 || report == nullptr) return;
    const std::string text = format("warning: Atmel dongle image at 0x%x does not start on a 1 MiB "
                                    "boundary; its descriptor goes to 0x%x, outside the span that "
                                    "-e erases",
                                    job.options.address, job.descriptor_address);
    morvel_zelp7x_flash_report_s r{};
    r.event = MORVEL_ZELP7X_FLASH_EVENT_NOTE;
    r.step = MORVEL_ZELP7X_FLASH_STEP_PLAN;
    r.text = text.c_str();
    report(&r, user);
}

// The image as it lies on the flash, and the sum of its data.
void lay_out_images(morvel_zelp7x_flash_job_s &job, const morvel_zelp7x_flash_job_options_s &o) {
    if (o.write != nullptr) {
        const auto data = buffer_of(o.write->data, o.write->size, plan_step).first(job.count);
        try {
            job.encoded.resize(job.encoded_count);
        } catch (const std::bad_alloc &) {
            throw flash_failure{
                MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT, MORVEL_ZELP_ERROR_NOMEM, plan_step,
                format("unable to allocate %d byte encoded write buffer", job.encoded_count)};
        }
        encode(data, o.three_byte != 0, job.encoded);
        job.checksum = bsd_sum(data);
    }
    if (o.verify != nullptr) {
        const auto data = buffer_of(o.verify->data, o.verify->size, plan_step).first(job.count);
        job.verify.assign(data.begin(), data.end());
    }
}

uint32_t steps_of(const morvel_zelp7x_flash_job_s &job) {
    const morvel_zelp7x_flash_job_options_s &o = job.options;
    const bool mspi = !o.bridge;
    // A changed-only write erases the -e span itself, only where it must.
    const bool erase_in_write = o.skip_unchanged && job.writes;
    const bool wanted[] = {
        false,
        mspi && !job.has_identity,
        mspi && o.erase && !erase_in_write,
        mspi && o.erase_chip,
        job.writes,
        o.checksum || o.read || job.verifies,
    };
    uint32_t steps = 0;
    for (int step = 0; step < MORVEL_ZELP7X_FLASH_STEP_COUNT; ++step)
        if (wanted[step]) steps |= 1u << step;
    return steps;
}

void plan(morvel_zelp7x_flash_job_s &job, const morvel_zelp7x_flash_job_options_s &o,
          morvel_zelp7x_flash_report_f report, void *user) {
    job.options = o;
    job.options.write = job.options.verify = nullptr;
    job.options.identity = nullptr;
    job.writes = o.write != nullptr;
    job.verifies = o.verify != nullptr;
    job.has_identity = o.identity != nullptr;
    if (job.has_identity) job.identity = *o.identity;
    job.steps = steps_of(job);
    derive_counts(job, o);
    if (o.atmel_dongle) {
        lay_out_dongle(job);
        note_dongle_alignment(job, report, user);
    }
    check_ranges(job, job.identity.capacity);
    lay_out_images(job, o);
}

} // namespace

void fail_check(const char *step, int status, const std::string &message) {
    throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_CHECK, status, step, message};
}

void check_ranges(const morvel_zelp7x_flash_job_s &job, uint32_t capacity) {
    const morvel_zelp7x_flash_job_options_s &o = job.options;
    const auto check = [&](uint64_t address, uint64_t count, const char *what) {
        const std::string problem = range_problem(capacity, address, count, what);
        if (!problem.empty()) fail_check(what, MORVEL_ZELP_ERROR_ARG, problem);
    };
    if (job.runs(MORVEL_ZELP7X_FLASH_STEP_WRITE) || job.runs(MORVEL_ZELP7X_FLASH_STEP_READ)) {
        check(o.address, job.encoded_count, "flash data");
        if (o.atmel_dongle && job.writes)
            check(job.descriptor_address, job.descriptor.size(), "Atmel dongle descriptor");
    }
    // The erase span is bounded also when the changed-only write erases it.
    if (o.erase && !o.bridge) check(o.address, job.erase_count, "flash erase");
}

} // namespace zflash

extern "C" {

void morvel_zelp7x_flash_job_options_init(morvel_zelp7x_flash_job_options_s *options) {
    if (options == nullptr) return;
    *options = {};
    options->count = -1;
}

int morvel_zelp7x_flash_job_plan(const morvel_zelp7x_flash_job_options_s *options,
                                 morvel_zelp7x_flash_report_f report, void *user,
                                 morvel_zelp7x_flash_job_s **job,
                                 morvel_zelp7x_flash_failure_s *failure) {
    if (job != nullptr) *job = nullptr;
    return zflash::guarded(failure, [&] {
        if (options == nullptr || job == nullptr)
            zflash::fail_argument("flash job", "no options or no place for the job");
        auto planned = std::make_unique<morvel_zelp7x_flash_job_s>();
        zflash::plan(*planned, *options, report, user);
        *job = planned.release();
    });
}

void morvel_zelp7x_flash_job_info(const morvel_zelp7x_flash_job_s *job,
                                  morvel_zelp7x_flash_job_info_s *info) {
    if (info == nullptr) return;
    *info = {};
    if (job == nullptr) return;
    info->count = job->count;
    info->encoded_count = job->encoded_count;
    info->erase_count = job->erase_count;
    info->checksum = job->checksum;
    info->descriptor_address = job->descriptor_address;
    info->steps = job->steps;
}

void morvel_zelp7x_flash_job_free(morvel_zelp7x_flash_job_s *job) {
    const std::unique_ptr<morvel_zelp7x_flash_job_s> owned(job);
}

} // extern "C"
