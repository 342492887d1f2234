// Pipelined reads: the same packets as ever, sent without waiting for each answer; the answers
// are taken in order, each within its own bound, the oldest whenever the window is full.
#include <array>
#include <cstdint>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace zio {

namespace {

// Whether a kind of answer's failure line ends in a newline, as its packet's always did.
constexpr std::array<bool, 2> kFailureNewline = {
    false, // register read
    true,  // bridge command
};

bool deferrable(const Pipeline &p, std::span<uint8_t> into) {
    if (!p.active || into.empty()) return false;
    const auto first = reinterpret_cast<uintptr_t>(p.deferrable.data());
    const auto at = reinterpret_cast<uintptr_t>(into.data());
    return at >= first && at - first + into.size() <= p.deferrable.size();
}

// The oldest pending answer, within its own bound. A failure leaves the stream out of step with
// the requests, so the answers still pending are given up and the window closes: the next packet
// purges whatever of them arrives.
int take_oldest(zelp_win32_io_state_s &state) {
    Pipeline &p = state.pipeline;
    const Pipeline::Pending answer = p.pending.front();
    if (receive_data(state, answer.into).failed()) {
        state.report.error(kTransferError, kFailureNewline[static_cast<size_t>(answer.kind)]);
        p.pending.clear();
        p.window_open = false;
        if (p.active && p.failure == MORVEL_ZELP_ERROR_NONE) p.failure = MORVEL_ZELP_ERROR_FAIL;
        return MORVEL_ZELP_ERROR_FAIL;
    }
    if (answer.kind == AnswerKind::register_read)
        trace_answer(state.report, answer.into.data(), static_cast<int>(answer.into.size()));
    p.pending.pop_front();
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace

void begin_packet(zelp_win32_io_state_s &state) {
    Pipeline &p = state.pipeline;
    if (p.window_open) return;
    state.spifd->discard_input();
    p.window_open = p.active;
}

int take_answer(zelp_win32_io_state_s &state, std::span<uint8_t> into, AnswerKind kind) {
    Pipeline &p = state.pipeline;
    p.pending.push_back({into, kind});
    if (!deferrable(p, into)) return take_pending(state);
    if (p.pending.size() < static_cast<size_t>(p.depth)) return MORVEL_ZELP_ERROR_NONE;
    return take_oldest(state);
}

int take_pending(zelp_win32_io_state_s &state) {
    Pipeline &p = state.pipeline;
    while (!p.pending.empty())
        if (take_oldest(state) != MORVEL_ZELP_ERROR_NONE) return MORVEL_ZELP_ERROR_FAIL;
    p.window_open = false;
    return MORVEL_ZELP_ERROR_NONE;
}

void set_pipeline_depth(morvel_evb_io_handle_t d, int depth) {
    if (d) d->pipeline.depth = depth;
}

} // namespace zio

extern "C" {

int zelp_linux_io_pipeline_begin(morvel_evb_io_handle_t d, void *buf, int len) {
    if (!d || !d->spifd) return MORVEL_ZELP_ERROR_UNINIT;
    if (len < 0 || (len > 0 && !buf)) return MORVEL_ZELP_ERROR_ARG;
    if (d->pipeline.depth <= 0) return MORVEL_ZELP_ERROR_NONE;
    // Held to the end: another thread's packet between a request and its answer would purge the
    // answer or take it for its own.
    d->serial_mutex.lock();
    if (d->pipeline.active) {
        d->serial_mutex.unlock();
        return MORVEL_ZELP_ERROR_ARG;
    }
    d->pipeline.active = true;
    d->pipeline.failure = MORVEL_ZELP_ERROR_NONE;
    d->pipeline.deferrable = {static_cast<uint8_t *>(buf), static_cast<size_t>(len)};
    return MORVEL_ZELP_ERROR_NONE;
}

int zelp_linux_io_pipeline_end(morvel_evb_io_handle_t d) {
    if (!d) return MORVEL_ZELP_ERROR_UNINIT;
    if (!d->pipeline.active) return MORVEL_ZELP_ERROR_NONE;
    const int taken = zio::take_pending(*d);
    const int status = d->pipeline.failure != MORVEL_ZELP_ERROR_NONE ? d->pipeline.failure : taken;
    d->pipeline.active = false;
    d->pipeline.deferrable = {};
    d->serial_mutex.unlock();
    return status;
}

} // extern "C"
