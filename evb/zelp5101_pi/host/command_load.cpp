// load [-c N] PACKAGE...: each package through the library's load entry, then what the chip holds.
#include <cstdio>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "package_check.h"
#include "package_load.h"

namespace {

constexpr uint32_t default_chunk = 1024;

} // namespace

bool check_load(command_args &args, bool &) {
    return read_operand_files(args);
}

// Every package goes whole through the package reader before the chip is touched: the load resets
// the chip first, so a bad file found only on the way in would have cost the firmware that ran.
// The files are read again for the load itself, piece by piece, so memory stays bounded.
int prepare_load(const command_args &args) {
    for (const std::string &path : args.operands) {
        const mvpkg::package_verdict v = mvpkg::check_package_file(path.c_str());
        if (v.read.failed()) {
            report_unreadable(path, v.read);
            return failure_reported;
        }
        if (v.result == MORVEL_PACKAGE_ERROR_NONE) continue;
        std::printf("load failed: %s\n", morvel_zelp_error_name(MORVEL_ZELP_ERROR_PACKAGE));
        std::printf("%s: package error %d (%s) at byte %u\n", path.c_str(), v.result,
                    morvel_pkg_error_name(v.result), v.offset);
        return failure_reported;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int run_load(host_session &session, const command_args &args) {
    const size_t chunk = args.number('c', default_chunk);
    for (size_t i = 0; i < args.operands.size(); ++i) {
        size_t loaded = 0;
        mvpkg::input_read read{};
        int s = load_package_file(session.zelp(), args.operands[i].c_str(), chunk, loaded, read);
        if (read.failed()) {
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
