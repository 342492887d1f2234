// What several commands share: checking their input files read before the chip is touched, writing
// what they took out of it, and the wording of a refused argument.
#include <cstdio>
#include <cstring>

#include "host_commands.h"
#include "package_file.h"

void report_unreadable(const std::string &path, const mvpkg::piece_read &r) {
    if (r.result == mvpkg::piece_read::cannot_open)
        std::fprintf(stderr, "zelp7x_host: cannot read %s\n", path.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(r.error));
}

bool read_operand_files(command_args &args) {
    for (const std::string &path : args.operands) {
        // The first piece is enough to know the file reads: a directory opens but fails here.
        const auto r = mvpkg::read_package_pieces(path.c_str(), 1, [](auto) { return false; });
        if (r.result == mvpkg::piece_read::cannot_open ||
            r.result == mvpkg::piece_read::read_error) {
            report_unreadable(path, r);
            return false;
        }
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
