#include "support/board/flash_job_trace.h"

#include <cstdio>
#include <string_view>

namespace ztest {

namespace {

std::string format(const char *fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

std::string result_line(const morvel_zelp7x_flash_report_s &r) {
    const char *name = morvel_zelp7x_flash_step_name(r.step);
    switch (r.step) {
    case MORVEL_ZELP7X_FLASH_STEP_ID:
        return format("id %02x %04x %u", r.identity.vendor, r.identity.device_id,
                      r.identity.capacity);
    case MORVEL_ZELP7X_FLASH_STEP_WRITE: {
        std::string line = format("write %u of %llu sum %u", r.data_bytes,
                                  static_cast<unsigned long long>(r.bytes), r.checksum);
        if (r.stats.sectors != 0)
            line += format(" changed %u/%u erased %u pages %u",
                           r.stats.sectors - r.stats.sectors_unchanged, r.stats.sectors,
                           r.stats.sectors_erased, r.stats.pages_programmed);
        return line;
    }
    case MORVEL_ZELP7X_FLASH_STEP_READ: {
        std::string line = format("read %u of %llu sum %u", r.data_bytes,
                                  static_cast<unsigned long long>(r.bytes), r.checksum);
        if (r.differences != 0)
            line += format(" differ %u first 0x%x", r.differences, r.first_difference);
        return line;
    }
    default:
        return format("%s %llu", name, static_cast<unsigned long long>(r.bytes));
    }
}

struct recorder {
    JobTrace &trace;
    int step = 0;      // the step begun last
    bool open = false; // between its START and its end

    void disorder(const std::string &what) {
        if (trace.disorder.empty()) trace.disorder = what;
    }

    void take(const morvel_zelp7x_flash_report_s &r) {
        const char *name = morvel_zelp7x_flash_step_name(r.step);
        switch (r.event) {
        case MORVEL_ZELP7X_FLASH_EVENT_NOTE:
            trace.lines.push_back(std::string("note ") + r.text);
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_START:
            if (open || r.step <= step) disorder(std::string("start of ") + name);
            step = r.step;
            open = true;
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_PROGRESS: {
            const std::string_view phase = r.phase != nullptr ? r.phase : "";
            if (!open || !(phase == "Erase" || phase == "Program" || phase == "Read") ||
                !(r.fraction >= 0 && r.fraction <= 1))
                disorder(format("progress %s %g in %s", r.phase, r.fraction, name));
            return;
        }
        case MORVEL_ZELP7X_FLASH_EVENT_DIFFERENCE:
            if (!open || r.step != MORVEL_ZELP7X_FLASH_STEP_READ) disorder("difference");
            trace.lines.push_back(
                format("differs at %u: %02x != %02x", r.offset, r.got, r.expected));
            return;
        case MORVEL_ZELP7X_FLASH_EVENT_DONE:
        case MORVEL_ZELP7X_FLASH_EVENT_FAILED:
            if (!open || r.step != step) disorder(std::string("end of ") + name);
            open = false;
            if (r.data != nullptr) trace.data.assign(r.data, r.data + r.data_bytes);
            if (r.event == MORVEL_ZELP7X_FLASH_EVENT_DONE || r.data != nullptr || r.identified)
                trace.lines.push_back(result_line(r));
            if (r.event == MORVEL_ZELP7X_FLASH_EVENT_FAILED)
                trace.lines.push_back(std::string(name) + " failed: " + r.text);
            return;
        }
    }

    static void report(const morvel_zelp7x_flash_report_s *r, void *user) {
        static_cast<recorder *>(user)->take(*r);
    }
};

} // namespace

JobTrace run_job(const JobAsk &ask, morvel_zelp7x_flash_s *flash) {
    JobTrace trace;
    recorder rec{trace};
    morvel_zelp7x_flash_job_options_s o;
    morvel_zelp7x_flash_job_options_init(&o);
    o.address = ask.address;
    o.count = ask.count;
    o.erase = ask.erase;
    o.erase_chip = ask.erase_chip;
    o.three_byte = ask.three_byte;
    o.atmel_dongle = ask.dongle;
    o.checksum = ask.checksum;
    o.read = ask.read;
    o.bridge = ask.bridge;
    o.skip_unchanged = ask.skip_unchanged;
    morvel_zelp7x_flash_image_s write{}, verify{};
    if (ask.write) {
        write = {ask.write->data(), ask.write->size()};
        o.write = &write;
    }
    if (ask.verify) {
        verify = {ask.verify->data(), ask.verify->size()};
        o.verify = &verify;
    }
    if (ask.identity) o.identity = &*ask.identity;
    morvel_zelp7x_flash_job_s *job = nullptr;
    trace.status = morvel_zelp7x_flash_job_plan(&o, recorder::report, &rec, &job, &trace.failure);
    if (trace.status != 0) {
        trace.lines.push_back(std::string("plan failed: ") + trace.failure.message);
        return trace;
    }
    morvel_zelp7x_flash_job_info(job, &trace.info);
    trace.status = morvel_zelp7x_flash_job_run(job, flash, recorder::report, &rec, &trace.failure);
    morvel_zelp7x_flash_job_free(job);
    if (rec.open) rec.disorder("a step without its end");
    return trace;
}

} // namespace ztest
