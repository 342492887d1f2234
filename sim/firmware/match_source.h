// Matches on a schedule (board option match-every=MS): every MS ms of board time the network
// picks the next class, 0, 1, 2, ... up to the class count, then 0 again. The schedule counts from
// the board's start, and again from each firmware start, with class 0.
//
// Each match sets the network's result registers: the match byte (SPI 0x10) to the class, with
// the match cause raised, the winner bits (0x4000D02C, 8 bytes) to the class's bit alone and the
// raw strengths (0x4000D078, 64 bytes) to the confidence at the class's byte, 0 elsewhere. While
// the firmware runs it also reports the match:
// - the same results in its state block (raw strengths +100, softmax +132, winner bits +260);
// - a match ring entry at the producer index: the summary class | SNR 30 << 8 | confidence
//   200 << 16 | noise 0 << 24, then the tank position at that moment; the producer (+8) then
//   moves on, wrapping at 10. The firmware cannot know how far the host has read, so an entry the
//   host has not taken by the time the ring comes round again is overwritten;
// - a MATCH request to the host through the mailbox.
// The class count is the posterior parameter area's (its word 0) while the firmware runs, else the
// network's output count (dnnctl7 bits 22-28).
// Modelled:
// - the match cause is intsts bit 0, the bit intctl enables it with;
// - while the host has not answered the last MATCH request, the firmware skips the report and
//   counts it in m2h_match_skipped (+408); the match is still in the ring, so the host finds it
//   with the next report's producer;
// - with no classes a match falls due and nothing happens; above 32 classes (the firmware's
//   result arrays) or 64 (the winner registers) the classes beyond are never picked;
// - the results are one-hot: the winner's strength is its confidence, every other class's 0.
#pragma once

#include <chrono>
#include <cstdint>

#include "chip/chip.h"
#include "firmware/firmware.h"
#include "sim_clock.h"

namespace zsim {

class MatchSource {
  public:
    using Duration = SimClock::Duration;

    static constexpr uint32_t snr = 30;
    static constexpr uint32_t confidence = 200;
    static constexpr uint32_t winners_address = 0x4000D02C;
    static constexpr uint32_t strengths_address = 0x4000D078;
    static constexpr uint32_t network_classes = 64;
    static constexpr uint32_t dnnctl7_address = 0x4000D020;

    MatchSource(Chip &chip, Firmware &firmware) : chip_(chip), firmware_(firmware) {}

    // 0: no matches.
    void set_period(std::chrono::milliseconds period) { period_ = period; }
    bool scheduled() const { return period_.count() > 0; }
    // Class 0 is next, one period after `at`.
    void restart(Duration at);

    // Matches that fell due by t and are not made yet.
    uint64_t due_by(Duration t) const;
    // When the next match falls due.
    Duration next_time() const;
    // Makes the next match; `tank_position` is the tank's at next_time().
    void make(uint32_t tank_position);
    // Takes `count` matches as made whose results and ring entries later matches overwrite
    // before the host can look: only the class, the producer and the reports move on.
    void pass_over(uint64_t count);

  private:
    uint32_t class_count() const;
    uint32_t take_class(uint32_t classes);
    void set_network_results(uint32_t cls);
    void report(uint32_t cls, uint32_t tank_position);
    void post_reports(uint64_t count);
    void write_producer();

    Chip &chip_;
    Firmware &firmware_;
    std::chrono::milliseconds period_{0};
    Duration origin_{};
    uint64_t made_ = 0;
    uint32_t next_class_ = 0;
    uint32_t producer_ = 0;
};

} // namespace zsim
