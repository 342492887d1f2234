// zelp7x_board_sim: serves one simulated evaluation board on a pseudo-terminal, so the flash tool
// and other hosts reach it exactly as they reach a real bridge's serial device.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "board.h"
#include "board_options.h"
#include "link/pty.h"

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

void usage(std::FILE *stream) {
    std::fputs("usage: zelp7x_board_sim [--link PATH] [--device-type N] [--image FILE]\n"
               "                        [--NAME [VALUE] | --NAME=VALUE]...\n"
               "Serves one simulated board on a pseudo-terminal and prints its path.\n"
               "--secured, --mbout-stuck, --boot-silent, --boot-refuses and --match-every MS\n"
               "shape the chip; other --NAME options shape the simulated flash. The board's\n"
               "time is real time. Stops on SIGINT or SIGTERM.\n",
               stream);
}

void help() {
    usage(stdout);
    std::fputs("options:\n"
               "  --link PATH             a symbolic link to the terminal, removed on exit\n"
               "  --device-type N         the chip's device type, 0 to 255 -- default 0x20\n"
               "  --clock real|held       the board's time: real, or moved only by a test\n"
               "  --secured               the chip boots secured\n"
               "  --mbout-stuck           fault: the firmware never clears mbout\n"
               "  --boot-silent           fault: the boot loader announces itself, never answers\n"
               "  --boot-refuses          fault: the boot loader refuses a correct package\n"
               "  --match-every MS        a match every MS ms of board time, 1 to 86400000\n"
               "  --latency US            link latency, microseconds from 0 to 1000000\n"
               "  --rate BYTES            link rate, bytes per second from 0 to 1000000000\n"
               "  --drop-answer N         fault: the Nth answer since the start is never sent\n"
               "  --short-answer N        fault: the Nth answer since the start lacks its last\n"
               "                          byte\n"
               "  --image FILE            keep the flash cells in FILE across runs\n"
               "  --flash-file FILE       the same as --image\n"
               "  --size BYTES            flash size, a power of two from 64K to 16M\n"
               "  --id VVTTCC             flash JEDEC ID: vendor, type, capacity in hex\n"
               "  --timing polls|real     flash busy time in status reads, or datasheet times\n"
               "  --fault NAME            a fault by name: absent, stuck-busy, flip-bit=ADDR or\n"
               "                          a chip fault above\n"
               "  --absent                fault: no flash answers\n"
               "  --stuck-busy            fault: the flash stays busy\n"
               "  --flip-bit ADDR         fault: the flash flips a bit at ADDR\n"
               "  --help                  this help message\n"
               "  --version               print the version\n",
               stdout);
}

struct Arguments {
    std::string link;
    zsim::BoardOptions board;
};

enum class Parsed { serve, done, failed };

// Options are "--NAME VALUE", "--NAME=VALUE" or, for flags, "--NAME" alone. Failed after printing
// why; done after --help or --version.
Parsed parse_arguments(int argc, char **argv, Arguments &args) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help") {
            help();
            return Parsed::done;
        }
        if (arg == "--version") {
            std::puts("zelp7x_board_sim " ZELP_VERSION);
            return Parsed::done;
        }
        if (arg == "-h" || arg.rfind("--", 0) != 0 || arg.size() == 2) {
            usage(stderr);
            return Parsed::failed;
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
            return Parsed::failed;
        }
    }
    return Parsed::serve;
}

} // namespace

int main(int argc, char **argv) {
    Arguments args;
    args.board.real_time = true; // hosts that wait see matches arrive
    switch (parse_arguments(argc, argv, args)) {
    case Parsed::done:
        return 0;
    case Parsed::failed:
        return 2;
    case Parsed::serve:
        break;
    }
    install_signal_handlers();

    std::string error;
    auto pty = zsim::PtyServer::open(error, args.link);
    if (!pty) {
        std::fprintf(stderr, "zelp7x_board_sim: %s\n", error.c_str());
        return 1;
    }
    zsim::Board board(args.board);
    std::printf("%s\n", pty->path().c_str());
    std::fflush(stdout);

    pty->serve(board, g_stop);

    board.save_flash();
    return 0;
}
