// load [-c N] PACKAGE...: each package through the library's load entry, then what the chip holds.
#include <cstdio>

#include "host_commands.h"
#include "package_load.h"

namespace {

constexpr uint32_t default_chunk = 1024;

} // namespace

bool check_load(command_args &args, bool &) {
    return read_operand_files(args);
}

int run_load(host_session &session, const command_args &args) {
    const size_t chunk = args.number('c', default_chunk);
    for (size_t i = 0; i < args.operands.size(); ++i) {
        size_t loaded = 0;
        mvpkg::piece_read read{};
        int s = load_package_file(session.zelp(), args.operands[i].c_str(), chunk, loaded, read);
        if (read.result == mvpkg::piece_read::cannot_open ||
            read.result == mvpkg::piece_read::read_error) {
            report_unreadable(args.operands[i], read);
            return failure_reported;
        }
        // A secured chip's firmware has just started: its clock can be set now.
        if (s == 0) s = session.settle_input_clock();
        if (s != 0) return s;
        std::printf("%s: %zu bytes loaded\n", args.operands[i].c_str(), loaded);
    }
    return run_info(session, args);
}
