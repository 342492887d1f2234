// The bridge's raw HID function: the bridge watches the chip's interrupt line and sends one input
// report each time it rises, which is how a board tells its host that the chip wants attention
// without the host polling. The host only learns that a report came; the content is for people
// reading a trace: byte 0 is 1, byte 1 the raised causes that are enabled, the rest 0.
//
// The chip's own production (matches) is brought up to the present only when a host touches the
// chip. A host waiting for the report does not, so whoever serves the reports looks at the board
// on its own as well, at the latest when the next match falls due.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace zsim {

class Board;

// The input report's length, which the HID function's report descriptor declares.
inline constexpr size_t kInterruptReportSize = 8;

// Where the reports go: a HID gadget's device node, or a test's record.
class ReportSink {
  public:
    virtual ~ReportSink() = default;
    // False when the report could not be handed over; it is lost, as a report is that the host
    // has not polled for before the next one.
    virtual bool send(std::span<const uint8_t> report) = 0;
};

class InterruptReports {
  public:
    InterruptReports(Board &board, std::unique_ptr<ReportSink> sink);

    // Brings the board up to the present and sends a report when the line rose since the last
    // look.
    void look();
    // How long until the board next raises something on its own; none while nothing is due.
    std::optional<std::chrono::nanoseconds> next_look() const;

    // Reports handed over and lost since the start.
    uint64_t sent() const { return sent_; }
    uint64_t lost() const { return lost_; }

  private:
    Board &board_;
    std::unique_ptr<ReportSink> sink_;
    bool line_high_ = false;
    uint64_t sent_ = 0;
    uint64_t lost_ = 0;
};

} // namespace zsim
