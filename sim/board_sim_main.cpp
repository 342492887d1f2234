// zelp7x_board_sim: serves one simulated evaluation board on a pseudo-terminal, so the flash tool
// and other hosts reach it exactly as they reach a real bridge's serial device.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/board.h"
#include "sim/board_options.h"
#include "sim/pty.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void on_stop_signal(int) {
    g_stop = 1;
}

void install_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void usage() {
    std::fputs("usage: zelp7x_board_sim [--link PATH] [--device-type N] [--image FILE]\n"
               "                        [--NAME [VALUE] | --NAME=VALUE]...\n"
               "Serves one simulated board on a pseudo-terminal and prints its path.\n"
               "--secured, --mbout-stuck, --boot-silent, --boot-refuses and --match-every MS\n"
               "shape the chip; other --NAME options shape the simulated flash. The board's\n"
               "time is real time. Stops on SIGINT or SIGTERM.\n",
               stderr);
}

struct Arguments {
    std::string link;
    zsim::BoardOptions board;
};

// Options are "--NAME VALUE", "--NAME=VALUE" or, for flags, "--NAME" alone. False after printing
// why.
bool parse_arguments(int argc, char **argv, Arguments &args) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg.rfind("--", 0) != 0 || arg.size() == 2) {
            usage();
            return false;
        }
        arg.remove_prefix(2);
        std::string_view name = arg, value;
        if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (i + 1 < argc && std::string_view(argv[i + 1]).rfind("--", 0) != 0) {
            value = argv[++i];
        }
        if (name == "link") {
            args.link = std::string(value);
            continue;
        }
        std::string error;
        if (!zsim::parse_board_option(name, value, args.board, error)) {
            std::fprintf(stderr, "zelp7x_board_sim: %s\n", error.c_str());
            return false;
        }
    }
    return true;
}

// Replaces a stale link from an earlier run; refuses to replace anything that is not a link.
bool make_link(const std::string &link, const std::string &target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "zelp7x_board_sim: %s exists and is not a link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "zelp7x_board_sim: cannot link %s: %s\n", link.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

// Removes the link only while it still names this run's terminal.
void remove_link(const std::string &link, const std::string &target) {
    char buffer[4096];
    const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return;
    buffer[n] = '\0';
    if (target == buffer) unlink(link.c_str());
}

} // namespace

int main(int argc, char **argv) {
    Arguments args;
    args.board.real_time = true; // hosts that wait see matches arrive
    if (!parse_arguments(argc, argv, args)) return 2;
    install_signal_handlers();

    std::string error;
    auto pty = zsim::PtyServer::open(error);
    if (!pty) {
        std::fprintf(stderr, "zelp7x_board_sim: %s\n", error.c_str());
        return 1;
    }
    zsim::Board board(args.board);
    if (!args.link.empty() && !make_link(args.link, pty->path())) return 1;
    std::printf("%s\n", pty->path().c_str());
    std::fflush(stdout);

    pty->serve(board, g_stop);

    board.save_flash();
    if (!args.link.empty()) remove_link(args.link, pty->path());
    return 0;
}
