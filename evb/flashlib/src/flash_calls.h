// One call of the library on a caller's session record: the record held for the call (a second
// call on it is refused, not queued), a failure thrown inside handed back as a code and a record,
// and the work each entry point does on the session, shared by the entry points and the flash
// job, which runs many of them as one call.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <span>

#include "flash_session.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace zflash {

static_assert(std::atomic_ref<int>::required_alignment <= alignof(int));

// Holds the caller's record for one call. A record already held is refused rather than waited
// for: its holder may be the very progress callback that asks.
class call_hold {
  public:
    explicit call_hold(morvel_zelp7x_flash_s &f) : in_call_(f.in_call) {
        int idle = 0;
        if (!in_call_.compare_exchange_strong(idle, 1, std::memory_order_acquire)) fail_busy();
    }
    ~call_hold() { in_call_.store(0, std::memory_order_release); }
    call_hold(const call_hold &) = delete;
    call_hold &operator=(const call_hold &) = delete;

  private:
    std::atomic_ref<int> in_call_;
};

// Runs `body()`; a failure it throws becomes the returned code and the caller's record.
template <class Body>
int guarded(morvel_zelp7x_flash_failure_s *failure, Body &&body) {
    if (failure != nullptr) *failure = {};
    try {
        body();
        return MORVEL_ZELP_ERROR_NONE;
    } catch (const flash_failure &f) {
        record_failure(failure, f);
        return f.status;
    } catch (const std::bad_alloc &) {
        record_failure(failure, {MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT, MORVEL_ZELP_ERROR_NOMEM,
                                 "flash buffer", "out of memory"});
        return MORVEL_ZELP_ERROR_NOMEM;
    }
}

// Runs `body(record)` as one call on the caller's record, held throughout.
template <class Body>
int held_call(morvel_zelp7x_flash_s *flash, morvel_zelp7x_flash_failure_s *failure, Body &&body) {
    return guarded(failure, [&] {
        if (flash == nullptr || flash->zelp == nullptr)
            fail_argument("flash session", "no device handle");
        const call_hold hold(*flash);
        body(*flash);
    });
}

// Runs `body(session)` as one call on a session over the caller's record.
template <class Body>
int run(morvel_zelp7x_flash_s *flash, morvel_zelp7x_flash_failure_s *failure, Body &&body) {
    return held_call(flash, failure, [&](morvel_zelp7x_flash_s &f) { body(session(f)); });
}

// The caller's `count` bytes at `p`, refused when there is no buffer for them.
template <class T>
std::span<T> buffer_of(T *p, uint64_t count, const char *step) {
    if (p == nullptr && count != 0) fail_argument(step, "no buffer");
    return p != nullptr ? std::span<T>(p, static_cast<size_t>(count)) : std::span<T>();
}

// What the entry points do, each with the range checks it makes before anything is sent.
void erase(const session &s, uint32_t address, uint32_t count);
void program(const session &s, uint32_t address, std::span<const uint8_t> data);
void read(const session &s, uint32_t address, std::span<uint8_t> buf);
morvel_zelp7x_flash_write_stats_s write(const session &s, uint32_t address,
                                        std::span<const uint8_t> data,
                                        const morvel_zelp7x_flash_write_options_s &options);

// Compares `got` with `want` up to the shorter of them; calls `each(offset)` for every byte that
// differs, in order.
template <class Each>
morvel_zelp7x_flash_verify_s compare(std::span<const uint8_t> got, std::span<const uint8_t> want,
                                     uint32_t address, Each &&each) {
    morvel_zelp7x_flash_verify_s v{};
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i) {
        if (got[i] == want[i]) continue;
        if (v.differences++ == 0) v.first_difference = address + static_cast<uint32_t>(i);
        each(i);
    }
    return v;
}

} // namespace zflash
