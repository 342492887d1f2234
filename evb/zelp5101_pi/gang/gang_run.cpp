#include "gang_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <set>
#include <thread>

#include "board_job.h"
#include "board_messages.h"
#include "bridges.h"
#include "flash_steps.h"
#include "gang_display.h"
#include "gang_options.h"
#include "gang_report.h"
#include "image_file.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "run.h"
#include "run_failure.h"

namespace {

struct board_list {
    int status = 0; // the exit status when the boards cannot be had
    std::vector<gang_board> boards;
    std::vector<std::string> refusals; // why a board cannot be opened at all, or empty
};

std::string serial_of(const std::vector<zelp_io_bridge_s> &bridges, const std::string &port) {
    const auto key = board_key(port);
    for (const zelp_io_bridge_s &b : bridges)
        if (key && board_key(b.port) == key) return b.serial;
    return {};
}

board_list every_bridge() {
    board_list list;
    std::vector<zelp_io_bridge_s> bridges;
    if (const int s = attached_bridges(bridges); s != 0) {
        std::fprintf(stderr, "cannot list the supported bridges: %s\n", morvel_zelp_error_name(s));
        list.status = 1;
    } else if (bridges.empty()) {
        std::fprintf(stderr, "no supported bridge found\n");
        list.status = 1;
    }
    for (const zelp_io_bridge_s &b : bridges) {
        list.boards.push_back({b.port, b.serial, b.port});
        list.refusals.emplace_back();
    }
    return list;
}

// Each -s name, "serial=S" resolved to its port; a name that resolves to a board already named is
// a usage error, one that resolves to none fails that board alone.
board_list named_boards(const std::vector<std::string> &ports) {
    board_list list;
    std::vector<zelp_io_bridge_s> bridges;
    attached_bridges(bridges); // only for serial numbers: none known when it fails
    std::set<std::string> seen;
    for (const std::string &port : ports) {
        std::optional<std::string> name = port;
        const bridge_choice choice = choose_bridge(name);
        const std::string open_port = name.value_or(port);
        const auto key = board_key(open_port);
        if (choice.status == 0 && key && !seen.insert(*key).second) {
            std::fprintf(stderr, "zelp7x_gang: the same board twice: %s is %s\n", port.c_str(),
                         open_port.c_str());
            list.status = 2;
            return list;
        }
        list.boards.push_back({port, serial_of(bridges, open_port), open_port});
        list.refusals.push_back(choice.status != 0 ? choice.note : std::string());
    }
    return list;
}

// The job's part of the run sequence, once for every board: the image files, the counts, the
// dongle layout and the ranges that no flash can hold. Returns the exit status it calls for.
int prepare_job(const gang_options &o, gang_job &job) {
    run_options run = o.run;
    load_image_files(run);
    if (derive_counts(run) != 0) return 1;
    if (run.atmel_dongle && apply_dongle_layout(run) != 0) return 1;
    if (check_flash_range(run) != 0) return 1;
    job.device_type = static_cast<unsigned>(o.device_type);
    if (run.write_file_name) {
        const auto count = std::min(run.write_data->size(), static_cast<size_t>(run.count));
        job.data.assign(run.write_data->begin(),
                        run.write_data->begin() + static_cast<long>(count));
        job.encoded.assign(static_cast<size_t>(run.encoded_count), 0xFF);
        encode_image(job.data, run.three_byte != 0, job.encoded);
        for (uint8_t c : job.data) job.data_sum = bsd_sum(job.data_sum, c);
    }
    if (run.verify_data) job.verify = std::move(*run.verify_data);
    run.write_data.reset();
    run.verify_data.reset();
    job.run = std::move(run);
    return 0;
}

int report_unwritable(const std::string &file) {
    std::fprintf(stderr, "error writing %s: %s\n", file.c_str(), std::strerror(errno));
    return 1;
}

// Whether the report can be written, found before any board starts: opened for appending, so an
// earlier report stays as it is until this job's replaces it.
int check_report(const std::string &file) {
    errno = 0;
    std::FILE *f = std::fopen(file.c_str(), "ab");
    if (f == nullptr) return report_unwritable(file);
    return std::fclose(f) == 0 ? 0 : report_unwritable(file);
}

int write_report(const std::string &file, const std::string &text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return out ? 0 : report_unwritable(file);
}

int run_boards(const gang_options &o, const gang_job &job, const board_list &list) {
    const size_t n = list.boards.size();
    std::vector<board_result> results(n);
    std::deque<board_progress> progress(n);
    std::deque<board_messages> messages(n);
    // Unbuffered, as the board I/O layer makes it for a tool that lets it print: the boards'
    // lines go to their rows here, and the live lines must still reach the terminal at once.
    zelp_linux_io_unbuffer_stdout();
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < n; ++i) {
            if (!list.refusals[i].empty()) {
                results[i].failed = board_phase::open;
                results[i].message = list.refusals[i];
                progress[i].done.store(true, std::memory_order_release);
                continue;
            }
            threads.emplace_back([&, i] {
                run_board(job, list.boards[i].open_port, static_cast<int>(i), messages[i].report(),
                          progress[i], results[i]);
            });
        }
        const bool live = !o.run.quiet && isatty(STDOUT_FILENO);
        show_until_done(list.boards, progress, results, live, o.run.print_device_id != 0);
    }
    std::vector<board_lines> io_lines;
    for (const board_messages &m : messages) io_lines.push_back(m.lines());
    std::fputs(result_table(list.boards, results, io_lines).c_str(), stdout);
    std::fflush(stdout);
    int status = 0;
    for (const board_result &r : results)
        if (!r.pass) status = 1;
    if (o.json_file &&
        write_report(*o.json_file, json_report(o, job, list.boards, results, io_lines)) != 0)
        status = 1;
    return status;
}

} // namespace

int run_zelp7x_gang(int argc, char **argv) {
    gang_options o;
    switch (parse_gang_options(argc, argv, o)) {
    case gang_parse::exit_success:
        return 0;
    case gang_parse::exit_failure:
        return 1;
    case gang_parse::usage_error:
        return 2;
    case gang_parse::run:
        break;
    }
    const board_list list = o.all ? every_bridge() : named_boards(o.ports);
    if (list.status != 0) return list.status;
    gang_job job;
    try {
        if (const int s = prepare_job(o, job); s != 0) return s;
    } catch (const run_failure &failure) {
        report_failure(failure);
        return 1;
    }
    if (o.json_file && check_report(*o.json_file) != 0) return 1;
    return run_boards(o, job, list);
}
