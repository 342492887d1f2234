// load [-c N] PACKAGE...: each package through the library's load entry, then what the chip holds.
#include <cstdio>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp_error.h"

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
        morvel_zelp7x_host_package_check_s check{};
        const int s = morvel_zelp7x_host_check_package(path.c_str(), &check);
        if (check.input.result != MORVEL_ZELP7X_HOST_INPUT_READ) {
            report_unreadable(path, check.input);
            return failure_reported;
        }
        if (s != MORVEL_ZELP_ERROR_PACKAGE) {
            if (s != 0) return s;
            continue;
        }
        std::printf("load failed: %s\n", morvel_zelp_error_name(MORVEL_ZELP_ERROR_PACKAGE));
        std::printf("%s: package error %d (%s) at byte %u\n", path.c_str(), check.result,
                    morvel_pkg_error_name(check.result), check.offset);
        return failure_reported;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int run_load(morvel_zelp7x_host_s *host, const command_args &args) {
    const size_t chunk = args.number('c', default_chunk);
    for (const std::string &path : args.operands) {
        size_t loaded = 0;
        morvel_zelp7x_host_input_s input{};
        const int s = morvel_zelp7x_host_load_file(host, path.c_str(), chunk, &loaded, &input);
        if (input.result != MORVEL_ZELP7X_HOST_INPUT_READ) {
            report_unreadable(path, input);
            return failure_reported;
        }
        if (s != 0) return s;
        std::printf("%s: %zu bytes loaded\n", path.c_str(), loaded);
    }
    return run_info(host, args);
}
