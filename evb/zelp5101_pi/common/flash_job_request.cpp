#include "flash_job_request.h"

#include <cstdio>

#include "image_file.h"

namespace {

morvel_zelp7x_flash_image_s image_of(const std::vector<uint8_t> &data) {
    return {data.data(), data.size()};
}

} // namespace

flash_job_request::flash_job_request(const run_options &run) {
    morvel_zelp7x_flash_job_options_init(&options_);
    options_.address = static_cast<uint32_t>(run.address);
    options_.count = run.count;
    options_.erase = run.erase_region;
    options_.erase_chip = run.erase_chip;
    options_.three_byte = run.three_byte;
    options_.atmel_dongle = run.atmel_dongle;
    options_.checksum = run.checksum_flash;
    options_.read = run.read_file_name.has_value();
    options_.bridge = run.accel_op;
    options_.skip_unchanged = run.skip_unchanged;
    if (run.write_file_name) {
        write_data_ = read_file(run.write_file_name->c_str());
        write_ = image_of(write_data_);
        options_.write = &write_;
    }
    if (run.verify_file_name) {
        verify_data_ = read_file(run.verify_file_name->c_str());
        verify_ = image_of(verify_data_);
        options_.verify = &verify_;
    }
}

const morvel_zelp7x_flash_job_options_s &
flash_job_request::options(const morvel_zelp7x_flash_identity_s *identity) {
    options_.identity = identity;
    return options_;
}

void print_flash_note(const morvel_zelp7x_flash_report_s *report, void *) {
    if (report->event == MORVEL_ZELP7X_FLASH_EVENT_NOTE) std::fprintf(stderr, "%s\n", report->text);
}

flash_job_ptr plan_flash_job(flash_job_request &request,
                             const morvel_zelp7x_flash_identity_s *identity) {
    morvel_zelp7x_flash_job_s *job = nullptr;
    morvel_zelp7x_flash_failure_s failure{};
    if (morvel_zelp7x_flash_job_plan(&request.options(identity), print_flash_note, nullptr, &job,
                                     &failure) != 0)
        print_flash_failure(failure);
    return flash_job_ptr(job);
}

void print_flash_failure(const morvel_zelp7x_flash_failure_s &failure) {
    switch (failure.kind) {
    case MORVEL_ZELP7X_FLASH_FAILED_VERIFY:
        return;
    case MORVEL_ZELP7X_FLASH_FAILED_CALL:
    case MORVEL_ZELP7X_FLASH_FAILED_OPTION:
        std::printf("%s\n", failure.message);
        return;
    case MORVEL_ZELP7X_FLASH_FAILED_WAIT:
        std::fprintf(stderr, " %s\n", failure.message);
        return;
    default:
        std::fprintf(stderr, "%s\n", failure.message);
    }
}
