// The port names "sim" and "sim:FILE[,name=value...]": a simulated board inside the process,
// answering each packet as it is written.
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "board.h"
#include "byte_port.h"
#include "io_state.h"
#include "link/usb_link.h"

namespace zio {

namespace {

// The tool never closes its port, so boards still open when the process exits save their flash
// from an exit handler.
class LiveBoards {
  public:
    static LiveBoards &instance() {
        static LiveBoards boards;
        static const bool registered = (std::atexit([] { instance().save_all(); }), true);
        (void)registered;
        return boards;
    }
    void add(zsim::Board *board) {
        std::lock_guard lock(mutex_);
        boards_.push_back(board);
    }
    void remove(zsim::Board *board) {
        std::lock_guard lock(mutex_);
        std::erase(boards_, board);
    }
    void save_all() {
        std::lock_guard lock(mutex_);
        for (const zsim::Board *b : boards_) b->save_flash();
    }

  private:
    std::mutex mutex_;
    std::vector<zsim::Board *> boards_;
};

class SimPort final : public BytePort {
  public:
    using Clock = zsim::UsbLink::Clock;

    explicit SimPort(const zsim::BoardOptions &options)
        : board_(std::make_unique<zsim::Board>(options)), link_(*board_) {
        LiveBoards::instance().add(board_.get());
    }
    ~SimPort() override { LiveBoards::instance().remove(board_.get()); }
    SimPort(const SimPort &) = delete;
    SimPort &operator=(const SimPort &) = delete;

    int write(std::span<const uint8_t> bytes, Millis) override {
        link_.send_to_bridge(bytes, Clock::now());
        return static_cast<int>(bytes.size());
    }

    // Waits, within `limit`, for the next answer on its way; when none is, nothing more comes.
    int read(std::span<uint8_t> bytes, Millis limit) override {
        take_arrived();
        if (input_.empty()) {
            const auto next = link_.next_arrival();
            if (!next) return 0;
            const Clock::time_point deadline = Clock::now() + limit;
            std::this_thread::sleep_until(std::min(*next, deadline));
            take_arrived();
        }
        const size_t n = std::min(bytes.size(), input_.size());
        std::copy_n(input_.begin(), n, bytes.begin());
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        return static_cast<int>(n);
    }

    // Answers still on the link are not here yet, so they survive.
    void discard_input() override {
        take_arrived();
        input_.clear();
    }

    bool close() override {
        board_->save_flash();
        return true;
    }

    zsim::Board &board() { return *board_; }

  private:
    void take_arrived() {
        const std::vector<uint8_t> arrived = link_.take_arrived(Clock::now());
        input_.insert(input_.end(), arrived.begin(), arrived.end());
    }

    std::unique_ptr<zsim::Board> board_;
    zsim::UsbLink link_;
    std::deque<uint8_t> input_;
};

} // namespace

std::unique_ptr<BytePort> open_sim_port(const std::string &name, std::string &error) {
    // A host in this process waits in real time, so the board's time is real time.
    zsim::BoardOptions options;
    options.real_time = true;
    if (name.size() > kSimPortName.size() &&
        !zsim::parse_board_port_name(std::string_view(name).substr(kSimPortName.size() + 1),
                                     options, error))
        return nullptr;
    return std::make_unique<SimPort>(options);
}

zsim::Board *sim_board(morvel_evb_io_handle_t d) {
    if (!d) return nullptr;
    auto *port = dynamic_cast<SimPort *>(d->spifd.get());
    return port ? &port->board() : nullptr;
}

} // namespace zio
