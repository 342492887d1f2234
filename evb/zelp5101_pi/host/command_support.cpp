// What several commands share: checking their input files read before the chip is touched, writing
// what they took out of it, and the wording of a refused argument.
#include <cstdio>
#include <cstring>

#include "host_commands.h"

void report_unreadable(const std::string &path, const mvpkg::input_read &r) {
    if (r.result == mvpkg::input_read::cannot_open)
        std::fprintf(stderr, "zelp7x_host: cannot read %s\n", path.c_str());
    else
        std::fprintf(stderr, "%s\n", mvpkg::input_failure(path, r).c_str());
}

void report_unreadable(const std::string &path, const morvel_zelp7x_host_input_s &r) {
    using read = mvpkg::input_read;
    constexpr read::outcome outcomes[] = {read::done, read::cannot_open, read::read_error,
                                          read::too_large};
    report_unreadable(path, read{outcomes[r.result], r.system_error});
}

bool read_operand_files(command_args &args) {
    for (const std::string &path : args.operands) {
        // The first piece is enough to know the file reads: a directory opens but fails here, and
        // a regular file past the bound is refused before it.
        const auto r = mvpkg::read_input_pieces(path.c_str(), 1, mvpkg::input_limit,
                                                [](auto) { return false; });
        if (r.failed()) {
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

std::FILE *report_stream(const std::string &path) {
    return path == "-" ? stderr : stdout;
}
