// zelp7x_board_sim: serves one simulated evaluation board on a pseudo-terminal, so the flash tool
// and other hosts reach it exactly as they reach a real bridge's serial device; with --boards, a
// rack of them, each served from its own thread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board.h"
#include "board_options.h"
#include "link/hid_gadget.h"
#include "link/pty.h"

namespace {

// Set by the signal handler, read by every board's thread; a lock-free atomic is both safe in a
// handler and seen by the other threads.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void on_stop_signal(int) {
    g_stop.store(true, std::memory_order_relaxed);
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
               "  --hid PATH              send the bridge's interrupt report to PATH (a USB HID\n"
               "                          gadget's /dev/hidgN) each time the chip raises its\n"
               "                          interrupt; with --boards, to PATH0 to PATH(N-1)\n"
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
               "  --boards N              serve N boards, 1 to 64, each with its own flash, on\n"
               "                          links PATH0 to PATH(N-1) and images FILE0 to\n"
               "                          FILE(N-1); the other options apply to every board\n"
               "  --fault-board K=NAME    with --boards: board K alone gets the fault NAME, as\n"
               "                          --fault takes it\n"
               "  --ready-fd FD           once every board is served, write the terminals' paths\n"
               "                          to the open descriptor FD too, one a line, and close\n"
               "                          it: the sign of readiness programs that start the\n"
               "                          daemon wait for (end of file without a path: it failed)\n"
               "  --help                  this help message\n"
               "  --version               print the version\n",
               stdout);
}

constexpr unsigned kMaxBoards = 64;

struct BoardFault {
    unsigned board;
    std::string fault;
};

struct Arguments {
    std::string link;
    std::string hid;   // where the interrupt reports go; empty: nowhere
    int ready_fd = -1; // told the paths once every board is served, then closed; -1: none
    zsim::BoardOptions board;
    unsigned boards = 0; // 0: one board, named without a number
    std::vector<BoardFault> faults;
};

bool parse_count(std::string_view text, unsigned &n) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// "K=NAME": the board's number, then the fault as --fault takes it.
bool parse_board_fault(std::string_view value, std::vector<BoardFault> &faults,
                       std::string &error) {
    const size_t eq = value.find('=');
    BoardFault f{};
    zsim::BoardOptions check;
    if (eq == std::string_view::npos || !parse_count(value.substr(0, eq), f.board) ||
        f.board >= kMaxBoards) {
        error = "fault-board needs K=NAME with a board number K: " + std::string(value);
        return false;
    }
    f.fault = std::string(value.substr(eq + 1));
    if (!zsim::parse_board_option("fault", f.fault, check, error)) return false;
    faults.push_back(std::move(f));
    return true;
}

bool parse_daemon_option(std::string_view name, std::string_view value, Arguments &args,
                         std::string &error) {
    if (name == "link") {
        args.link = std::string(value);
        return true;
    }
    if (name == "hid") {
        args.hid = std::string(value);
        if (args.hid.empty()) error = "hid needs a path";
        return !args.hid.empty();
    }
    if (name == "boards") {
        if (parse_count(value, args.boards) && args.boards >= 1 && args.boards <= kMaxBoards)
            return true;
        error = "boards needs a count from 1 to " + std::to_string(kMaxBoards) + ": " +
                std::string(value);
        return false;
    }
    if (name == "fault-board") return parse_board_fault(value, args.faults, error);
    if (name == "ready-fd") {
        unsigned fd = 0;
        if (parse_count(value, fd) && fd <= static_cast<unsigned>(INT_MAX)) {
            args.ready_fd = static_cast<int>(fd);
            return true;
        }
        error = "ready-fd needs a file descriptor: " + std::string(value);
        return false;
    }
    return zsim::parse_board_option(name, value, args.board, error);
}

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
        std::string error;
        if (!parse_daemon_option(name, value, args, error)) {
            std::fprintf(stderr, "zelp7x_board_sim: %s\n", error.c_str());
            return Parsed::failed;
        }
    }
    for (const BoardFault &f : args.faults) {
        if (f.board < args.boards) continue;
        std::fprintf(stderr, "zelp7x_board_sim: fault-board %u needs --boards above it\n", f.board);
        return Parsed::failed;
    }
    return Parsed::serve;
}

// One board and the terminal it is served on; each is touched only by its own thread.
struct ServedBoard {
    std::unique_ptr<zsim::PtyServer> pty;
    std::unique_ptr<zsim::Board> board;
    std::unique_ptr<zsim::InterruptReports> reports;
};

// Board k of --boards is named by its number after the link and the image file.
std::string numbered(const std::string &name, const Arguments &args, unsigned k) {
    return name.empty() || args.boards == 0 ? name : name + std::to_string(k);
}

zsim::BoardOptions options_of(const Arguments &args, unsigned k) {
    zsim::BoardOptions options = args.board;
    options.flash.image_path = numbered(args.board.flash.image_path, args, k);
    std::string error; // checked as the arguments were read
    for (const BoardFault &f : args.faults)
        if (f.board == k) zsim::parse_board_option("fault", f.fault, options, error);
    return options;
}

// The image is where the board keeps its flash for good, mapped at the flash's size: only a
// regular file (or a new one) can be that. A device such as /dev/zero, a FIFO or a folder is
// refused, rather than read or served from memory alone.
bool image_usable(const std::string &path, std::string &error) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
    error = path + ": " + (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    return false;
}

// A board whose image cannot be used is no board to serve: the reason, and false.
bool make_board(const zsim::BoardOptions &options, std::unique_ptr<zsim::Board> &board,
                std::string &error) {
    if (!image_usable(options.flash.image_path, error)) return false;
    board = std::make_unique<zsim::Board>(options);
    error = board->flash().image_error();
    return error.empty();
}

// Every terminal and link is made before any path is printed, so a caller that has read the
// first line finds every board.
bool open_boards(const Arguments &args, std::vector<ServedBoard> &boards) {
    for (unsigned k = 0; k < std::max(args.boards, 1u); ++k) {
        std::string error;
        std::unique_ptr<zsim::Board> board;
        std::unique_ptr<zsim::PtyServer> pty;
        if (make_board(options_of(args, k), board, error))
            pty = zsim::PtyServer::open(error, numbered(args.link, args, k));
        if (!pty) {
            std::fprintf(stderr, "zelp7x_board_sim: %s\n", error.c_str());
            return false;
        }
        std::unique_ptr<zsim::InterruptReports> reports;
        if (!args.hid.empty()) {
            auto sink = zsim::open_hid_gadget(numbered(args.hid, args, k), error);
            if (!sink) {
                std::fprintf(stderr, "zelp7x_board_sim: %s\n", error.c_str());
                return false;
            }
            reports = std::make_unique<zsim::InterruptReports>(*board, std::move(sink));
        }
        boards.push_back({std::move(pty), std::move(board), std::move(reports)});
    }
    for (const ServedBoard &b : boards) std::printf("%s\n", b.pty->path().c_str());
    std::fflush(stdout);
    return true;
}

// The paths again on --ready-fd, and its end: whoever waits there knows every board is served.
bool tell_ready(int fd, const std::vector<ServedBoard> &boards) {
    std::string paths;
    for (const ServedBoard &b : boards) paths += b.pty->path() + "\n";
    for (size_t done = 0; done < paths.size();) {
        const ssize_t n = ::write(fd, paths.data() + done, paths.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "zelp7x_board_sim: ready-fd %d: %s\n", fd, std::strerror(errno));
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return true;
}

void serve(ServedBoard &b) {
    b.pty->serve(*b.board, g_stop, b.reports.get());
    b.board->save_flash();
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

    std::vector<ServedBoard> boards;
    if (!open_boards(args, boards)) return 1;
    if (args.ready_fd >= 0 && !tell_ready(args.ready_fd, boards)) return 1;
    if (boards.size() == 1) {
        serve(boards.front());
        return 0;
    }
    std::vector<std::thread> threads;
    for (ServedBoard &b : boards) threads.emplace_back([&b] { serve(b); });
    for (std::thread &t : threads) t.join();
    return 0;
}
