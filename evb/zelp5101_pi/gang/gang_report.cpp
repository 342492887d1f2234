#include "gang_report.h"

#include <algorithm>
#include <cstdio>

#include "json_text.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

std::string format(const char *fmt, auto... args) {
    char text[128];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// The checksum a row shows: of what was read back, else of what was written.
std::string checksum_text(const board_result &r) {
    const auto sum = r.read_sum ? r.read_sum : r.write_sum;
    return sum ? format("%05d (0x%04x)", *sum, *sum) : std::string("-");
}

std::string pad(std::string s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string json_number_or_null(const std::optional<uint16_t> &v) {
    return v ? std::to_string(*v) : "null";
}

std::string json_text_or_null(const std::string &s) {
    return s.empty() ? "null" : json_string(s);
}

std::string json_option_file(const std::optional<std::string> &name) {
    return name ? json_string(*name) : "null";
}

const char *json_bool(int flag) {
    return flag ? "true" : "false";
}

std::string json_options(const gang_options &o, const gang_job &job) {
    const run_options &r = job.run;
    std::string s = "{";
    s += "\"address\": " + std::to_string(static_cast<uint32_t>(r.address));
    s += ", \"count\": " + std::to_string(r.count);
    s += ", \"encoded_count\": " + std::to_string(r.encoded_count);
    s += std::string(", \"erase\": ") + json_bool(r.erase_region);
    s += std::string(", \"erase_chip\": ") + json_bool(r.erase_chip);
    s += ", \"write\": " + json_option_file(r.write_file_name);
    s += ", \"verify\": " + json_option_file(r.verify_file_name);
    s += ", \"read\": " + json_option_file(r.read_file_name);
    s += std::string(", \"checksum\": ") + json_bool(r.checksum_flash);
    s += std::string(", \"three_byte\": ") + json_bool(r.three_byte);
    s += std::string(", \"atmel_dongle\": ") + json_bool(r.atmel_dongle);
    s += std::string(", \"accelerated\": ") + json_bool(r.accel_op);
    s += std::string(", \"skip_unchanged\": ") + json_bool(r.skip_unchanged);
    s += ", \"input_freq\": " +
         (r.input_freq < 0 ? std::string("null") : std::to_string(r.input_freq));
    s += ", \"device_type\": " + std::to_string(o.device_type & 0xFF);
    return s + "}";
}

std::string json_image(const gang_job &job) {
    const auto &name = job.run.write_file_name ? job.run.write_file_name : job.run.verify_file_name;
    if (!name) return "null";
    std::string s = "{\"name\": " + json_string(*name);
    s += ", \"size\": " + std::to_string(job.run.count);
    const std::optional<uint16_t> sum =
        job.run.write_file_name ? std::optional<uint16_t>(job.data_sum) : std::nullopt;
    s += ", \"checksum\": " + json_number_or_null(sum);
    return s + "}";
}

std::string json_phases(const board_result &r) {
    std::string s = "{";
    bool first = true;
    for (int i = 0; i < board_phase_count; ++i) {
        const phase_result &p = r.phases[static_cast<size_t>(i)];
        if (!p.ran) continue;
        if (!first) s += ", ";
        first = false;
        s += json_string(phase_name(static_cast<board_phase>(i)));
        s += format(": {\"seconds\": %.3f, \"bytes\": %llu}", p.seconds,
                    static_cast<unsigned long long>(p.bytes));
    }
    return s + "}";
}

std::string json_lines(const board_lines &lines) {
    std::string s = "[";
    for (size_t i = 0; i < lines.size(); ++i) s += (i ? ", " : "") + json_string(lines[i]);
    return s + "]";
}

std::string json_board(size_t index, const gang_board &b, const board_result &r,
                       const board_lines &io_lines) {
    std::string s = "    {\"index\": " + std::to_string(index);
    s += ", \"port\": " + json_string(b.port);
    s += ", \"serial\": " + json_text_or_null(b.serial);
    s += std::string(", \"result\": ") + (r.pass ? "\"pass\"" : "\"fail\"");
    s += format(", \"seconds\": %.3f", r.seconds);
    s += ", \"failed_step\": " + (r.failed ? json_string(phase_name(*r.failed)) : "null");
    s += ", \"error\": " +
         (r.failed && r.status != 0 ? json_string(morvel_zelp_error_name(r.status)) : "null");
    s += ", \"message\": " + json_text_or_null(r.message);
    s += ", \"flash_id\": " +
         (r.vendor ? format("{\"vendor\": %u, \"device\": %u}", *r.vendor, r.device_id)
                   : std::string("null"));
    s += ", \"phases\": " + json_phases(r);
    s += ", \"checksums\": {\"write\": " + json_number_or_null(r.write_sum) +
         ", \"read\": " + json_number_or_null(r.read_sum) + "}";
    s += ", \"miscompares\": " + std::to_string(r.miscompares);
    s += ", \"read_file\": " + json_text_or_null(r.read_file);
    s += ", \"io_messages\": " + json_lines(io_lines);
    return s + "}";
}

} // namespace

std::string end_line(const gang_board &board, const board_result &r, bool show_id) {
    std::string line = board.port + ": ";
    if (r.pass) {
        line += format("pass in %.3f s", r.seconds);
        if (const auto sum = r.read_sum ? r.read_sum : r.write_sum)
            line += format(", sum %05d (0x%04x)", *sum, *sum);
    } else {
        line += std::string("fail at ") + phase_name(r.failed.value_or(board_phase::open)) + ": " +
                r.message;
    }
    if (show_id && r.vendor)
        line += format(", flash vendor id = 0x%02x, device id = 0x%04x", *r.vendor, r.device_id);
    return line;
}

std::string result_table(const std::vector<gang_board> &boards,
                         const std::vector<board_result> &results,
                         const std::vector<board_lines> &io_lines) {
    size_t port_width = 4;
    for (const gang_board &b : boards) port_width = std::max(port_width, b.port.size());
    const std::string columns = "  result  seconds  checksum        step        ";
    std::string t = pad("port", port_width) + columns + "message\n";
    int passed = 0;
    for (size_t i = 0; i < boards.size() && i < results.size(); ++i) {
        const board_result &r = results[i];
        passed += r.pass ? 1 : 0;
        std::string row = pad(boards[i].port, port_width) + "  " + (r.pass ? "pass  " : "fail  ");
        row += format("%9.3f  ", r.seconds) + pad(checksum_text(r), 14);
        if (!r.pass)
            row +=
                "  " + pad(phase_name(r.failed.value_or(board_phase::open)), 10) + "  " + r.message;
        while (!row.empty() && row.back() == ' ') row.pop_back();
        t += row + "\n";
        if (i < io_lines.size())
            for (const std::string &line : io_lines[i])
                t += pad(boards[i].port, port_width + columns.size()) + line + "\n";
    }
    t += format("%d of %d boards passed\n", passed, static_cast<int>(results.size()));
    return t;
}

std::string json_report(const gang_options &options, const gang_job &job,
                        const std::vector<gang_board> &boards,
                        const std::vector<board_result> &results,
                        const std::vector<board_lines> &io_lines) {
    int passed = 0;
    for (const board_result &r : results) passed += r.pass ? 1 : 0;
    std::string s = "{\n  \"tool\": \"zelp7x_gang\",\n  \"version\": \"" ZELP_VERSION "\",\n";
    s += "  \"job\": {\"options\": " + json_options(options, job) +
         ",\n          \"image\": " + json_image(job) + "},\n";
    s += "  \"boards\": [\n";
    for (size_t i = 0; i < boards.size() && i < results.size(); ++i) {
        s +=
            json_board(i, boards[i], results[i], i < io_lines.size() ? io_lines[i] : board_lines{});
        s += i + 1 < results.size() ? ",\n" : "\n";
    }
    s += "  ],\n";
    s += format("  \"passed\": %d,\n  \"failed\": %d\n}\n", passed,
                static_cast<int>(results.size()) - passed);
    return s;
}
