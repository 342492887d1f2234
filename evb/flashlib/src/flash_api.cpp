// The library's C entry points: each runs its operation on a session over the caller's record and
// turns a failure thrown inside into the returned code and the caller's failure record.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "flash_ops.h"
#include "flash_range.h"
#include "flash_write.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

using zflash::flash_failure;
using zflash::session;

static_assert(std::atomic_ref<int>::required_alignment <= alignof(int));

// Holds the caller's record for one call. A record already held is refused rather than waited
// for: its holder may be the very progress callback that asks.
class call_hold {
  public:
    explicit call_hold(morvel_zelp7x_flash_s &f) : in_call_(f.in_call) {
        int idle = 0;
        if (!in_call_.compare_exchange_strong(idle, 1, std::memory_order_acquire))
            zflash::fail_busy();
    }
    ~call_hold() { in_call_.store(0, std::memory_order_release); }
    call_hold(const call_hold &) = delete;
    call_hold &operator=(const call_hold &) = delete;

  private:
    std::atomic_ref<int> in_call_;
};

template <class Body>
int run(morvel_zelp7x_flash_s *flash, morvel_zelp7x_flash_failure_s *failure, Body &&body) {
    if (failure != nullptr) *failure = {};
    try {
        if (flash == nullptr || flash->zelp == nullptr)
            zflash::fail_argument("flash session", "no device handle");
        const call_hold hold(*flash);
        body(session(*flash));
        return MORVEL_ZELP_ERROR_NONE;
    } catch (const flash_failure &f) {
        zflash::record_failure(failure, f);
        return f.status;
    } catch (const std::bad_alloc &) {
        zflash::record_failure(failure, {MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT,
                                         MORVEL_ZELP_ERROR_NOMEM, "flash buffer", "out of memory"});
        return MORVEL_ZELP_ERROR_NOMEM;
    }
}

void check_buffer(const void *p, uint32_t count, const char *step) {
    if (p == nullptr && count != 0) zflash::fail_argument(step, "no buffer");
}

// The data and further pieces of a write. Pieces that overlap are refused, as neither could be
// said to win.
zflash::write_request request_of(uint32_t address, std::span<const uint8_t> data,
                                 const morvel_zelp7x_flash_write_options_s &o) {
    if (o.pieces == nullptr && o.piece_count != 0)
        zflash::fail_argument("flash write", "no pieces");
    zflash::write_request r{{address, data}, {}, o.erase_count};
    for (uint32_t k = 0; k < o.piece_count; ++k) {
        const morvel_zelp7x_flash_piece_s &p = o.pieces[k];
        check_buffer(p.data, p.count, "flash write");
        r.more.push_back({p.address, std::span(p.data, p.count)});
    }
    std::ranges::sort(r.more, {}, &zflash::write_piece::address);
    std::vector<zflash::write_piece> all = r.all();
    std::erase_if(all, [](const zflash::write_piece &p) { return p.data.empty(); });
    std::ranges::sort(all, {}, &zflash::write_piece::address);
    for (size_t k = 1; k < all.size(); ++k)
        if (all[k - 1].end() > all[k].address)
            zflash::fail_argument("flash write", "flash write pieces overlap");
    return r;
}

} // namespace

extern "C" {

int morvel_zelp7x_flash_check_range(uint32_t capacity, uint64_t address, uint64_t count,
                                    const char *what, morvel_zelp7x_flash_failure_s *failure) {
    if (failure != nullptr) *failure = {};
    const std::string problem =
        zflash::range_problem(capacity, address, count, what != nullptr ? what : "flash range");
    if (problem.empty()) return MORVEL_ZELP_ERROR_NONE;
    zflash::record_failure(failure, {MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT, MORVEL_ZELP_ERROR_ARG,
                                     "flash range", problem});
    return MORVEL_ZELP_ERROR_ARG;
}

uint32_t morvel_zelp7x_flash_capacity(uint16_t device_id) {
    const auto code = static_cast<uint8_t>(device_id & 0xFF);
    if (code < FLASH_CAPACITY_CODE_MIN || code > FLASH_CAPACITY_CODE_MAX) return 0;
    return uint32_t{1} << code;
}

int morvel_zelp7x_flash_read_id(morvel_zelp7x_flash_s *flash, uint8_t *vendor, uint16_t *device_id,
                                uint32_t *capacity, morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) {
        if (vendor == nullptr || device_id == nullptr)
            zflash::fail_argument("flash_read_id", "no place for the ID");
        zflash::read_id(s, vendor, device_id);
        const uint32_t size = morvel_zelp7x_flash_capacity(*device_id);
        if (capacity != nullptr) *capacity = size;
        s.learn_capacity(size);
    });
}

int morvel_zelp7x_flash_erase(morvel_zelp7x_flash_s *flash, uint32_t address, uint32_t count,
                              morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) {
        s.check_range(address, count, "flash erase");
        zflash::erase_range(s, address, count);
    });
}

int morvel_zelp7x_flash_erase_chip(morvel_zelp7x_flash_s *flash,
                                   morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) { zflash::erase_chip(s); });
}

int morvel_zelp7x_flash_program(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                                uint32_t count, morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) {
        check_buffer(data, count, "flash program");
        s.check_range(address, count, "flash program");
        zflash::program_range(s, address, std::span(data, count));
    });
}

int morvel_zelp7x_flash_read(morvel_zelp7x_flash_s *flash, uint32_t address, uint8_t *buf,
                             uint32_t count, morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) {
        check_buffer(buf, count, "flash read");
        s.check_range(address, count, "flash read");
        zflash::read_range(s, address, std::span(buf, count));
    });
}

int morvel_zelp7x_flash_verify(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                               uint32_t count, morvel_zelp7x_flash_verify_s *result,
                               morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) {
        check_buffer(data, count, "flash verify");
        s.check_range(address, count, "flash verify");
        // Reads go in multiples of 4; the bytes past the data are read and not compared.
        std::vector<uint8_t> got((count + 3u) / 4u * 4u);
        zflash::read_range(s, address, got);
        morvel_zelp7x_flash_verify_s v{};
        for (uint32_t i = 0; i < count; ++i) {
            if (got[i] == data[i]) continue;
            if (v.differences++ == 0) v.first_difference = address + i;
        }
        if (result != nullptr) *result = v;
    });
}

int morvel_zelp7x_flash_start_of_file(morvel_zelp7x_flash_s *flash, uint32_t total,
                                      morvel_zelp7x_flash_failure_s *failure) {
    return run(flash, failure, [&](const session &s) { zflash::start_of_file(s, total); });
}

int morvel_zelp7x_flash_write(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                              uint32_t count, const morvel_zelp7x_flash_write_options_s *options,
                              morvel_zelp7x_flash_write_stats_s *stats,
                              morvel_zelp7x_flash_failure_s *failure) {
    const morvel_zelp7x_flash_write_options_s plain{};
    const auto &o = options != nullptr ? *options : plain;
    return run(flash, failure, [&](const session &s) {
        check_buffer(data, count, "flash write");
        s.check_range(address, std::max<uint64_t>(count, o.erase_count), "flash write");
        const zflash::write_request r = request_of(address, std::span(data, count), o);
        for (const zflash::write_piece &p : r.more)
            s.check_range(p.address, p.data.size(), "flash write");
        morvel_zelp7x_flash_write_stats_s st{};
        if (o.skip_unchanged)
            st = zflash::write_changed(s, r);
        else
            zflash::write_whole(s, r);
        if (stats != nullptr) *stats = st;
    });
}

int64_t morvel_zelp7x_flash_encoded_data_size(int64_t count, int three_byte) {
    if (!three_byte || count <= 0) return count;
    // Three data bytes after each filler: the last one sits one place past its group's filler.
    const int64_t last = count - 1;
    return last / 3 * 4 + last % 3 + 2;
}

int64_t morvel_zelp7x_flash_encoded_size(int64_t count, int three_byte) {
    return (morvel_zelp7x_flash_encoded_data_size(count, three_byte) + 3) / 4 * 4;
}

void morvel_zelp7x_flash_encode(const uint8_t *data, uint32_t count, int three_byte, uint8_t *flash,
                                uint32_t flash_count) {
    if (flash == nullptr) return;
    std::fill_n(flash, flash_count, uint8_t{0xFF});
    uint32_t j = 0;
    for (uint32_t i = 0; i < flash_count && j < count && data != nullptr; ++i) {
        if (!(three_byte && i % 4 == 0)) flash[i] = data[j++];
    }
}

} // extern "C"
