// The board's side of the device library's integration interfaces. Every callback gets the board
// record as its handle, so two boards opened with different options (a given device type, a
// mailbox wait) never see each other's.
#include <climits>
#include <cstdlib>

#include "board_record.h"
#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"

namespace {

using clock_type = std::chrono::steady_clock;

// A request takes a few dozen answers; a firmware that stops answering ends it, as the library's
// own waits do, after this many polls whatever the transport's speed.
constexpr int answer_polls = 8000;

morvel_zelp7x_board_s &board_at(morvel_zelp_handle_t d) {
    return *static_cast<morvel_zelp7x_board_s *>(d);
}

void *board_malloc(int size) {
    return size < 0 ? nullptr : std::malloc(static_cast<size_t>(size));
}

void board_free(void *p) {
    std::free(p);
}

// A given type is used without touching the chip; otherwise the chip names it in SPI register 0.
int board_get_type(morvel_zelp_handle_t d, unsigned int *type) {
    const morvel_zelp7x_board_s &b = board_at(d);
    if (b.device_type != 0) {
        *type = b.device_type & 0xFF;
        return 0;
    }
    uint8_t id = 0;
    const int status = zelp_linux_io_transfer(b.io, 0, 0x00, nullptr, &id, 1);
    *type = id;
    return status;
}

// Without waiting for answers a request ends as soon as it is posted. With it, the firmware's
// answers come in only through the poll operation, so the wait polls until the request has ended
// (the library calls it under the host lock, which the board's sync leaves free).
int board_mbwait(morvel_zelp_handle_t d) {
    const morvel_zelp7x_board_s &b = board_at(d);
    if (!b.wait_for_answers) return MORVEL_ZELP_ERROR_NONE;
    for (int i = 0; i < answer_polls; ++i) {
        uint32_t notifications = 0;
        if (const int s = morvel_zelp7x_poll(b.zelp.get(), &notifications, 1); s != 0) return s;
        if (notifications & MORVEL_ZELP_NOTIFICATION_MAILBOX_IN) return MORVEL_ZELP_ERROR_NONE;
        if (b.answer_deadline && clock_type::now() >= *b.answer_deadline) break;
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}

// One thread uses a board at a time, and the board I/O layer serialises its own exchanges.
int board_no_lock(morvel_zelp_handle_t) {
    return 0;
}

int board_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                   unsigned int count) {
    // The I/O layer counts in int; a count it cannot represent is refused rather than wrapped.
    if (count > static_cast<unsigned int>(INT_MAX)) return MORVEL_ZELP_ERROR_ARG;
    return zelp_linux_io_transfer(board_at(d).io, mcu, address, out, in, static_cast<int>(count));
}

} // namespace

namespace zboard {

morvel_zelp_integration_interfaces_s interfaces_of(morvel_zelp7x_board_s &board) {
    morvel_zelp_integration_interfaces_s iif{};
    iif.d = &board;
    iif.malloc = board_malloc;
    iif.free = board_free;
    iif.mbwait = board_mbwait;
    iif.get_type = board_get_type;
    iif.sync = board_no_lock;
    iif.unsync = board_no_lock;
    iif.transfer = board_transfer;
    return iif;
}

// A device a board started carries the board's transfer; any other is a host's own.
morvel_zelp7x_board_s *board_of(const morvel_zelp_device_s *zelp) {
    if (zelp == nullptr || zelp->iif.transfer != board_transfer) return nullptr;
    return &board_at(zelp->iif.d);
}

} // namespace zboard

extern "C" int morvel_zelp7x_board_probe_firmware(morvel_zelp7x_board_s *board,
                                                  unsigned int bound_ms, int *answers) {
    if (board == nullptr || answers == nullptr || !board->wait_for_answers || !board->zelp)
        return MORVEL_ZELP_ERROR_ARG;
    board->answer_deadline = clock_type::now() + std::chrono::milliseconds(bound_ms);
    const int s = morvel_zelp7x_mb_nop(board->zelp.get());
    board->answer_deadline.reset();
    *answers = s == MORVEL_ZELP_ERROR_NONE ? 1 : 0;
    // Silence, or an answer the protocol refused: no firmware that serves the host.
    if (s == MORVEL_ZELP_ERROR_TIMEOUT || s == MORVEL_ZELP_ERROR_FAIL)
        return MORVEL_ZELP_ERROR_NONE;
    return s;
}
