#include "link/interrupt_reports.h"

#include "board.h"

namespace zsim {

InterruptReports::InterruptReports(Board &board, std::unique_ptr<ReportSink> sink)
    : board_(board), sink_(std::move(sink)) {}

void InterruptReports::look() {
    board_.catch_up();
    const uint8_t causes = board_.chip().raised_interrupts();
    const bool high = causes != 0;
    const bool rose = high && !line_high_;
    line_high_ = high;
    if (!rose) return;
    std::array<uint8_t, kInterruptReportSize> report{};
    report[0] = 1;
    report[1] = causes;
    if (sink_->send(report))
        ++sent_;
    else
        ++lost_;
}

std::optional<std::chrono::nanoseconds> InterruptReports::next_look() const {
    return board_.until_next_match();
}

} // namespace zsim
