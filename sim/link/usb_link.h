// The USB link between the host and the simulated bridge, in time. A full-speed bridge answers
// about a millisecond after a request and moves about a megabyte a second; a pseudo-terminal or
// a call inside the process does neither, so every path would look fast. The daemon and the
// in-process board both carry their bytes through this model.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "link/link_options.h"

namespace zsim {

class Board;

class UsbLink {
  public:
    using Clock = std::chrono::steady_clock;

    // Timed as the board's link options say.
    explicit UsbLink(Board &board);
    UsbLink(const UsbLink &) = delete;
    UsbLink &operator=(const UsbLink &) = delete;

    // Host bytes handed to the link at `now`. They reach the bridge one after another at the
    // link's rate, behind any still on their way, and the bridge takes each as it arrives. An
    // answer leaves the bridge the latency after the byte that completed its request arrived, so
    // requests that arrive back to back get their answers back to back; on the way to the host
    // it queues behind the answers before it.
    void send_to_bridge(std::span<const uint8_t> bytes, Clock::time_point now);

    // The bytes of every answer that has reached the host by `now`, in order; they leave the
    // link.
    std::vector<uint8_t> take_arrived(Clock::time_point now);

    // When the next answer on its way reaches the host; none when no answer is on its way.
    std::optional<Clock::time_point> next_arrival() const;

    // A new client: the bridge forgets a half-received packet, answers on their way are lost.
    void reset();

    // What crossed the link since it was made, counted as it was sent; readable from any thread.
    struct Counts {
        std::atomic<uint64_t> to_bridge{0}; // bytes
        std::atomic<uint64_t> to_host{0};   // bytes
        std::atomic<uint64_t> answers{0};   // packets that were answered
    };
    const Counts &counts() const { return counts_; }

    Board &board() { return board_; }

  private:
    struct Answer {
        Clock::time_point arrives;
        std::vector<uint8_t> bytes;
    };

    Clock::duration transit(size_t bytes) const;
    void queue_answer(std::vector<uint8_t> bytes, Clock::time_point request_arrived);

    Board &board_;
    LinkOptions options_;
    // When each direction has carried everything handed to it so far.
    Clock::time_point to_bridge_free_{};
    Clock::time_point to_host_free_{};
    std::deque<Answer> on_the_way_;
    Counts counts_;
};

} // namespace zsim
