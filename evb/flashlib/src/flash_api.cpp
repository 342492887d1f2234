// The library's C entry points: each runs its operation on a session over the caller's record and
// turns a failure thrown inside into the returned code and the caller's failure record.
#include <algorithm>
#include <span>
#include <vector>

#include "flash_calls.h"
#include "flash_ops.h"
#include "flash_range.h"
#include "flash_write.h"

namespace zflash {

namespace {

// The data and further pieces of a write. Pieces that overlap are refused, as neither could be
// said to win.
write_request request_of(uint32_t address, std::span<const uint8_t> data,
                         const morvel_zelp7x_flash_write_options_s &o) {
    if (o.pieces == nullptr && o.piece_count != 0) fail_argument("flash write", "no pieces");
    write_request r{{address, data}, {}, o.erase_count};
    for (uint32_t k = 0; k < o.piece_count; ++k) {
        const morvel_zelp7x_flash_piece_s &p = o.pieces[k];
        r.more.push_back({p.address, buffer_of(p.data, p.count, "flash write")});
    }
    std::ranges::sort(r.more, {}, &write_piece::address);
    std::vector<write_piece> all = r.all();
    std::erase_if(all, [](const write_piece &p) { return p.data.empty(); });
    std::ranges::sort(all, {}, &write_piece::address);
    for (size_t k = 1; k < all.size(); ++k)
        if (all[k - 1].end() > all[k].address)
            fail_argument("flash write", "flash write pieces overlap");
    return r;
}

} // namespace

void erase(const session &s, uint32_t address, uint32_t count) {
    s.check_range(address, count, "flash erase");
    erase_range(s, address, count);
}

void program(const session &s, uint32_t address, std::span<const uint8_t> data) {
    s.check_range(address, data.size(), "flash program");
    program_range(s, address, data);
}

void read(const session &s, uint32_t address, std::span<uint8_t> buf) {
    s.check_range(address, buf.size(), "flash read");
    read_range(s, address, buf);
}

morvel_zelp7x_flash_write_stats_s write(const session &s, uint32_t address,
                                        std::span<const uint8_t> data,
                                        const morvel_zelp7x_flash_write_options_s &o) {
    s.check_range(address, std::max<uint64_t>(data.size(), o.erase_count), "flash write");
    const write_request r = request_of(address, data, o);
    for (const write_piece &p : r.more) s.check_range(p.address, p.data.size(), "flash write");
    if (o.skip_unchanged) return write_changed(s, r);
    write_whole(s, r);
    return {};
}

} // namespace zflash

using zflash::session;

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
    return zflash::run(flash, failure, [&](const session &s) {
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
    return zflash::run(flash, failure, [&](const session &s) { zflash::erase(s, address, count); });
}

int morvel_zelp7x_flash_erase_chip(morvel_zelp7x_flash_s *flash,
                                   morvel_zelp7x_flash_failure_s *failure) {
    return zflash::run(flash, failure, [&](const session &s) { zflash::erase_chip(s); });
}

int morvel_zelp7x_flash_program(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                                uint32_t count, morvel_zelp7x_flash_failure_s *failure) {
    return zflash::run(flash, failure, [&](const session &s) {
        zflash::program(s, address, zflash::buffer_of(data, count, "flash program"));
    });
}

int morvel_zelp7x_flash_read(morvel_zelp7x_flash_s *flash, uint32_t address, uint8_t *buf,
                             uint32_t count, morvel_zelp7x_flash_failure_s *failure) {
    return zflash::run(flash, failure, [&](const session &s) {
        zflash::read(s, address, zflash::buffer_of(buf, count, "flash read"));
    });
}

int morvel_zelp7x_flash_verify(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                               uint32_t count, morvel_zelp7x_flash_verify_s *result,
                               morvel_zelp7x_flash_failure_s *failure) {
    return zflash::run(flash, failure, [&](const session &s) {
        const auto want = zflash::buffer_of(data, count, "flash verify");
        s.check_range(address, count, "flash verify");
        // Reads go in multiples of 4; the bytes past the data are read and not compared.
        std::vector<uint8_t> got((count + 3u) / 4u * 4u);
        zflash::read_range(s, address, got);
        const morvel_zelp7x_flash_verify_s v = zflash::compare(got, want, address, [](size_t) {});
        if (result != nullptr) *result = v;
    });
}

int morvel_zelp7x_flash_start_of_file(morvel_zelp7x_flash_s *flash, uint32_t total,
                                      morvel_zelp7x_flash_failure_s *failure) {
    return zflash::run(flash, failure, [&](const session &s) { zflash::start_of_file(s, total); });
}

int morvel_zelp7x_flash_write(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                              uint32_t count, const morvel_zelp7x_flash_write_options_s *options,
                              morvel_zelp7x_flash_write_stats_s *stats,
                              morvel_zelp7x_flash_failure_s *failure) {
    const morvel_zelp7x_flash_write_options_s plain{};
    return zflash::run(flash, failure, [&](const session &s) {
        const morvel_zelp7x_flash_write_stats_s st =
            zflash::write(s, address, zflash::buffer_of(data, count, "flash write"),
                          options != nullptr ? *options : plain);
        if (stats != nullptr) *stats = st;
    });
}

} // extern "C"
