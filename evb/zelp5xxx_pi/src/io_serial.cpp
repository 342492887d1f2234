// Moving bytes over the port under the bounds that keep a dead link from hanging the caller.
#include <chrono>

#include "io_internal.h"

int serial_write(zelp_win32_io_state_s &state, std::span<const uint8_t> bytes) {
    const int n = state.spifd->write(bytes, state.send_limit);
    return n > 0 ? n : 0;
}

int serial_read(zelp_win32_io_state_s &state, std::span<uint8_t> bytes, zio::Millis limit) {
    const int n = state.spifd->read(bytes, limit);
    return n > 0 ? n : 0;
}

namespace zio {

namespace {
// The bridge mishandles a write call that ends on exactly 64 bytes or on a multiple of 128; such
// a piece goes 4 bytes short and the rest follows in the next call.
size_t piece_size(size_t remaining) {
    if (remaining == 64 || (remaining > 0 && remaining % 128 == 0)) return remaining - 4;
    return remaining;
}
} // namespace

DataPhase send_data(zelp_win32_io_state_s &state, std::span<const uint8_t> data) {
    DataPhase phase;
    while (phase.moved < data.size() && phase.calls < kMaxDataCalls) {
        const size_t piece = piece_size(data.size() - phase.moved);
        const int n = serial_write(state, data.subspan(phase.moved, piece));
        ++phase.calls;
        if (n == 0) break; // nothing left the host within the bound: the link is gone
        phase.moved += static_cast<size_t>(n);
    }
    phase.complete = phase.moved == data.size();
    return phase;
}

DataPhase receive_data(zelp_win32_io_state_s &state, std::span<uint8_t> data) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + state.answer_limit +
                          state.answer_time_per_byte * static_cast<int64_t>(data.size());
    DataPhase phase;
    while (phase.moved < data.size() && phase.calls < kMaxDataCalls) {
        const auto left = std::chrono::ceil<Millis>(deadline - Clock::now());
        if (left <= Millis(0)) break;
        const int n = serial_read(state, data.subspan(phase.moved), left);
        ++phase.calls;
        if (n == 0) break; // no byte within the bound, or the link failed
        phase.moved += static_cast<size_t>(n);
    }
    phase.complete = phase.moved == data.size();
    return phase;
}

} // namespace zio
