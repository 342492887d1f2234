// Packages: checked whole by the package reader before any chip is touched, and loaded through
// the library's load entry in pieces of a chosen size, from memory or from a file read as it goes.
#include <algorithm>
#include <climits>
#include <span>
#include <vector>

#include "host_record.h"
#include "input_reading.h"
#include "package_check.h"

namespace {

constexpr size_t max_chunk = INT_MAX; // a piece's length is an int at the library's interface

// The start call, then `chunk` bytes per call until the library has taken the whole package.
int load_package(morvel_zelp_device_s *zelp, std::span<const uint8_t> package, size_t chunk,
                 size_t &loaded) {
    loaded = 0;
    int s = morvel_zelp_load(zelp, nullptr, 0);
    if (s != MORVEL_ZELP_ERROR_MORE) return s;
    // Each piece in a buffer of its own size, as a host that reads a file piece by piece has it.
    std::vector<uint8_t> piece;
    while (loaded < package.size() && s == MORVEL_ZELP_ERROR_MORE) {
        const size_t n = std::min(chunk, package.size() - loaded);
        piece.assign(package.begin() + static_cast<std::ptrdiff_t>(loaded),
                     package.begin() + static_cast<std::ptrdiff_t>(loaded + n));
        s = morvel_zelp_load(zelp, piece.data(), static_cast<int>(n));
        loaded += n;
    }
    return s;
}

// The same for a file, each piece handed on as it is read, so no more than one is held.
int load_package_file(morvel_zelp_device_s *zelp, const char *path, size_t chunk, size_t &loaded,
                      mvpkg::input_read &read) {
    loaded = 0;
    int s = morvel_zelp_load(zelp, nullptr, 0);
    if (s != MORVEL_ZELP_ERROR_MORE) return s;
    std::vector<uint8_t> piece;
    read = mvpkg::read_input_pieces(
        path, chunk, mvpkg::input_limit, [&](std::span<const uint8_t> bytes) {
            piece.assign(bytes.begin(), bytes.end());
            s = morvel_zelp_load(zelp, piece.data(), static_cast<int>(piece.size()));
            loaded += piece.size();
            return s == MORVEL_ZELP_ERROR_MORE;
        });
    return read.failed() ? MORVEL_ZELP_ERROR_FAIL : s;
}

// A secured chip's firmware may just have started: its clock can be set now.
int settle(morvel_zelp7x_host_s *host, int status) {
    return status == 0 ? morvel_zelp7x_board_settle_clock(host->board) : status;
}

} // namespace

namespace zhost {

void report_input(const mvpkg::input_read &r, morvel_zelp7x_host_input_s *out) {
    if (out == nullptr) return;
    switch (r.result) {
    case mvpkg::input_read::cannot_open:
        *out = {MORVEL_ZELP7X_HOST_INPUT_CANNOT_OPEN, r.error};
        return;
    case mvpkg::input_read::read_error:
        *out = {MORVEL_ZELP7X_HOST_INPUT_READ_ERROR, r.error};
        return;
    case mvpkg::input_read::too_large:
        *out = {MORVEL_ZELP7X_HOST_INPUT_TOO_LARGE, r.error};
        return;
    default:
        *out = {MORVEL_ZELP7X_HOST_INPUT_READ, 0};
    }
}

} // namespace zhost

extern "C" {

int morvel_zelp7x_host_check_package(const char *path, morvel_zelp7x_host_package_check_s *check) {
    if (path == nullptr || check == nullptr) return MORVEL_ZELP_ERROR_ARG;
    try {
        const mvpkg::package_verdict v = mvpkg::check_package_file(path);
        zhost::report_input(v.read, &check->input);
        check->result = v.result;
        check->offset = v.offset;
        check->crc = v.crc;
        if (v.read.failed()) return MORVEL_ZELP_ERROR_FAIL;
        return v.result == MORVEL_PACKAGE_ERROR_NONE ? MORVEL_ZELP_ERROR_NONE
                                                     : MORVEL_ZELP_ERROR_PACKAGE;
    } catch (const std::bad_alloc &) {
        return MORVEL_ZELP_ERROR_NOMEM;
    }
}

int morvel_zelp7x_host_load(morvel_zelp7x_host_s *host, const uint8_t *package, size_t size,
                            size_t chunk, size_t *loaded) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if ((package == nullptr && size != 0) || chunk < 1 || chunk > max_chunk)
            return MORVEL_ZELP_ERROR_ARG;
        size_t n = 0;
        const int s = load_package(zelp, std::span(package, size), chunk, n);
        if (loaded != nullptr) *loaded = n;
        return settle(host, s);
    });
}

int morvel_zelp7x_host_load_file(morvel_zelp7x_host_s *host, const char *path, size_t chunk,
                                 size_t *loaded, morvel_zelp7x_host_input_s *input) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (path == nullptr || chunk < 1 || chunk > max_chunk) return MORVEL_ZELP_ERROR_ARG;
        size_t n = 0;
        mvpkg::input_read read{};
        const int s = load_package_file(zelp, path, chunk, n, read);
        if (loaded != nullptr) *loaded = n;
        zhost::report_input(read, input);
        return settle(host, s);
    });
}

} // extern "C"
