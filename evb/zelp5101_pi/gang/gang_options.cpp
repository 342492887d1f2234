#include "gang_options.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>

#include "bridges.h"
#include "options.h"
#include "unknown_option.h"

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

// Every long option, for the one an unknown option is nearest to.
std::vector<std::string_view> long_option_names() {
    std::vector<std::string_view> names = run_long_option_names();
    for (std::string_view own : {"--all", "--json", "--help", "--version", "--list"})
        names.push_back(own);
    return names;
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
            std::fprintf(stderr, "%s\n", unknown_long_option(arg, long_option_names()).c_str());
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
        if (const auto key = board_key(port); key && !seen.insert(*key).second)
            return usage_error("the same board twice: " + port);
    if (o.run.read_file_name && *o.run.read_file_name == "-")
        return usage_error("-r - dumps one board; give a file name, written as FILE.N per board");
    return gang_parse::run;
}

} // namespace

void gang_usage() {
    std::puts(usage_text);
}

namespace {

// The flash file of a simulated board's name: the one after "sim:", or the last its image
// option names; empty for a flash in memory.
std::string sim_flash_file(const std::string &port) {
    size_t at = port.find(',');
    std::string file = port.substr(4, at == std::string::npos ? std::string::npos : at - 4);
    while (at != std::string::npos) {
        const size_t next = port.find(',', at + 1);
        const std::string param =
            port.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        for (const std::string_view option : {"image=", "flash-file="})
            if (param.starts_with(option)) file = param.substr(option.size());
        at = next;
    }
    return file;
}

// The file a path leads to, whatever links or relative steps it takes, whether it is there yet
// or not.
std::string opened_path(const std::string &path) {
    std::error_code ec;
    const auto resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path), ec);
    return ec ? path : resolved.string();
}

} // namespace

std::optional<std::string> board_key(const std::string &port) {
    if (port.starts_with("sim:")) {
        const std::string file = sim_flash_file(port);
        if (file.empty()) return std::nullopt;
        return "sim:" + opened_path(file);
    }
    std::string device = port.substr(0, port.find(','));
    if (device == "sim") return std::nullopt;
    if (device.starts_with("serial=")) return device;
    // A bare name is a device in /dev, as the board I/O layer takes it.
    if (device.find('/') == std::string::npos) device = "/dev/" + device;
    return opened_path(device);
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
