// What several commands share: reading their input files before the chip is touched, writing
// what they took out of it, and the wording of a refused argument.
#include <cstdio>

#include "host_commands.h"
#include "package_file.h"

bool read_operand_files(command_args &args) {
    for (const std::string &path : args.operands) {
        auto bytes = mvpkg::read_package_file(path.c_str());
        if (!bytes) {
            std::fprintf(stderr, "zelp7x_host: cannot read %s\n", path.c_str());
            return false;
        }
        args.inputs.push_back(std::move(*bytes));
    }
    return true;
}

bool refuse_argument(const char *what, const std::string &arg, bool &usage) {
    std::fprintf(stderr, "zelp7x_host: %s: %s\n", what, arg.c_str());
    usage = true;
    return false;
}

bool require_option(const command_args &args, char letter, bool &usage) {
    if (args.has(letter)) return true;
    return refuse_argument("missing option", std::string{'-', letter}, usage);
}

int write_output_file(const std::string &path, std::span<const uint8_t> bytes) {
    if (path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
            std::fflush(stdout) == 0)
            return 0;
        std::fprintf(stderr, "zelp7x_host: cannot write to standard output\n");
        return failure_reported;
    }
    if (mvpkg::write_package_file(path.c_str(), bytes)) return 0;
    std::fprintf(stderr, "zelp7x_host: cannot write %s\n", path.c_str());
    return failure_reported;
}

std::FILE *report_stream(const std::string &path) {
    return path == "-" ? stderr : stdout;
}
