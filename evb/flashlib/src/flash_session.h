// What every flash operation works with: the caller's session record, the path it chose, and the
// one way a failure leaves an operation. Inside the library a failure is thrown as
// `flash_failure`; each C entry point catches it and hands it back as a value.
//
// A session is made for one call on the caller's record, which the call holds (in_call) from
// start to end.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "morvel_flash/morvel_zelp7x_flash.h"

namespace zflash {

struct flash_failure {
    morvel_zelp7x_flash_failure_kind_e kind;
    int status;
    const char *step;
    std::string message;
};

// "STEP failed: ERROR-NAME".
[[noreturn]] void fail_call(const char *step, int status);
inline void check_call(const char *step, int status) {
    if (status != 0) fail_call(step, status);
}
[[noreturn]] void fail_wait(int elapsed_ms);
[[noreturn]] void fail_argument(const char *step, const char *message);
// Refused because the session is already in a call.
[[noreturn]] void fail_busy();

// Copies a failure into the caller's record (which may be null).
void record_failure(morvel_zelp7x_flash_failure_s *out, const flash_failure &f);

class session;

// One way of moving flash bytes: a read of a whole range, and the program of one piece that stays
// inside a 256-byte page. Chosen once per session.
struct flash_path {
    void (*read)(const session &s, uint32_t address, std::span<uint8_t> buf);
    void (*program)(const session &s, uint32_t address, std::span<const uint8_t> data);
};

class session {
  public:
    explicit session(morvel_zelp7x_flash_s &f);

    morvel_zelp_device_s *zelp() const { return f_.zelp; }
    morvel_evb_io_handle_t io() const;
    const morvel_zelp7x_flash_board_calls_s &board() const { return *board_; }
    const flash_path &path() const { return *path_; }
    bool bridge_path() const { return f_.path == MORVEL_ZELP7X_FLASH_PATH_BRIDGE; }

    // Bytes the flash holds, 0 when not known; a size the ID named is kept when none was given.
    uint32_t capacity() const { return f_.capacity; }
    void learn_capacity(uint32_t capacity) const {
        if (f_.capacity == 0) f_.capacity = capacity;
    }
    // Refuses [address, address + count) when it reaches past the flash, naming `step`.
    void check_range(uint64_t address, uint64_t count, const char *step) const;

    bool shows_progress() const { return f_.progress != nullptr; }
    void progress(const char *phase, double fraction) const {
        if (f_.progress != nullptr) f_.progress(phase, fraction, f_.progress_user);
    }

  private:
    morvel_zelp7x_flash_s &f_;
    const morvel_zelp7x_flash_board_calls_s *board_;
    const flash_path *path_;
};

} // namespace zflash
