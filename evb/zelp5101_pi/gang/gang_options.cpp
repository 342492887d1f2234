#include "gang_options.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>

#include "bridges.h"
#include "options.h"

namespace {

constexpr const char *usage_text = R"(
usage: zelp7x_gang (-s PORT)... | --all [flash options] [--json FILE] [-q]

boards, each flashed in a thread of its own:
 -s <dev name>      a board, any name zelp7x_flash -s takes (serial=<S> and
                    rfc2217://<host>:<port> too); once for each board
 --all              every supported bridge that --list shows
 --list             list the attached supported bridges

flash options, applied to every board as zelp7x_flash takes them:
 -3 -a <address> -A -b <value> -B default[:mcuread[:samplewrite]] -c <count>
 -d -e -E -F <freq> -Q -R -t <type> -U -v file -w file --skip-unchanged
 -r file            read each board's flash into file.N, N its place in the list

output:
 -q                 no live display: a line per board as it ends, then the table
 --json FILE        the job and every board's result as one JSON document
 -h, --help         this help message
 --version          print the version

exit status: 0 when every board passed, 1 when any failed, 2 for a usage error)";

gang_parse usage_error(const std::string &text) {
    std::fprintf(stderr, "zelp7x_gang: %s\n", text.c_str());
    return gang_parse::usage_error;
}

// The long options, taken out before getopt reads the letters (up to a "--").
gang_parse take_long_options(int argc, char **argv, gang_options &o, std::vector<char *> &rest) {
    bool options_end = false;
    rest.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_end || !arg.starts_with("--")) {
            rest.push_back(argv[i]);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            rest.push_back(argv[i]);
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--json") {
            if (i + 1 >= argc) return usage_error("--json needs a file name");
            o.json_file = argv[++i];
        } else if (arg.starts_with("--json=")) {
            o.json_file = std::string(arg.substr(7));
        } else if (arg == "--help") {
            gang_usage();
            return gang_parse::exit_success;
        } else if (arg == "--version") {
            std::puts("zelp7x_gang " ZELP_VERSION);
            return gang_parse::exit_success;
        } else if (arg == "--list") {
            return list_bridges() == 0 ? gang_parse::exit_success : gang_parse::exit_failure;
        } else if (!apply_run_long_option(argv[i], o.run)) {
            std::fprintf(stderr, "unknown option: %s\n", argv[i]);
            gang_usage();
            return gang_parse::usage_error;
        }
    }
    rest.push_back(nullptr);
    return gang_parse::run;
}

gang_parse check_boards(const gang_options &o) {
    if (o.all && !o.ports.empty()) return usage_error("give either -s PORT... or --all");
    if (!o.all && o.ports.empty()) return usage_error("no board: give -s PORT for each, or --all");
    std::set<std::string> seen;
    for (const std::string &port : o.ports)
        if (!seen.insert(board_key(port)).second)
            return usage_error("the same board twice: " + port);
    if (o.run.read_file_name && *o.run.read_file_name == "-")
        return usage_error("-r - dumps one board; give a file name, written as FILE.N per board");
    return gang_parse::run;
}

} // namespace

void gang_usage() {
    std::puts(usage_text);
}

std::string board_key(const std::string &port) {
    std::string device = port.substr(0, port.find(','));
    std::string prefix;
    if (device.starts_with("sim:")) {
        prefix = "sim:";
        device.erase(0, 4);
    }
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(device, ec);
    return prefix + (ec ? device : canonical.string());
}

gang_parse parse_gang_options(int argc, char **argv, gang_options &o) {
    std::vector<char *> args;
    if (const gang_parse p = take_long_options(argc, argv, o, args); p != gang_parse::run) return p;
    opterr = 0;
    optind = 0;
    const int n = static_cast<int>(args.size()) - 1;
    for (int letter; (letter = getopt(n, args.data(), flash_option_string)) != -1;) {
        if (letter == 'h') {
            gang_usage();
            return gang_parse::exit_success;
        }
        if (letter == 's') {
            o.ports.emplace_back(optarg);
            continue;
        }
        if (apply_flash_option(letter, optarg, o.run, {o.device_type, gang_usage}) !=
            parse_outcome::run)
            return gang_parse::usage_error;
    }
    return check_boards(o);
}
