// The session record behind morvel_zelp7x_host_s and what every call of the host library shares:
// the one-call-at-a-time rule, and the tables that give names to the chip's areas and modes.
#pragma once

#include <array>
#include <atomic>
#include <new>
#include <optional>
#include <string_view>

#include "morvel_host/morvel_zelp7x_host.h"

struct morvel_zelp7x_host_s {
    morvel_zelp7x_host_s() = default;
    morvel_zelp7x_host_s(const morvel_zelp7x_host_s &) = delete;
    morvel_zelp7x_host_s &operator=(const morvel_zelp7x_host_s &) = delete;
    ~morvel_zelp7x_host_s() { morvel_zelp7x_board_close(board); }

    morvel_zelp7x_board_s *board = nullptr; // the session's own
    std::atomic<bool> in_call = false;
};

namespace zhost {

// Runs `f(zelp)` as the session's one call: refused with MORVEL_ZELP_ERROR_BUSY while another
// runs, MORVEL_ZELP_ERROR_ARG for no session, MORVEL_ZELP_ERROR_NOMEM when memory runs out.
template <class F>
int in_call(morvel_zelp7x_host_s *host, F &&f) {
    if (host == nullptr) return MORVEL_ZELP_ERROR_ARG;
    if (host->in_call.exchange(true)) return MORVEL_ZELP_ERROR_BUSY;
    int s = MORVEL_ZELP_ERROR_NONE;
    try {
        s = f(morvel_zelp7x_board_device(host->board));
    } catch (const std::bad_alloc &) {
        s = MORVEL_ZELP_ERROR_NOMEM;
    }
    host->in_call.store(false);
    return s;
}

// The tank's sample width as the configuration has it; 16, the chip's default, when unknown.
inline unsigned tank_bits(const morvel_zelp7x_device_s &z) {
    return z.tank_bits == 8 ? 8 : 16;
}

// A word a host gives and what it stands for.
template <typename T>
struct named_value {
    std::string_view name;
    T value;
};

template <typename T, size_t N>
std::optional<T> value_named(const std::array<named_value<T>, N> &table, const char *name) {
    if (name == nullptr) return std::nullopt;
    for (const named_value<T> &n : table)
        if (n.name == name) return n.value;
    return std::nullopt;
}

// The value `name` stands for into `*out`: 0, or MORVEL_ZELP_ERROR_ARG for no such name.
template <typename T, size_t N, typename Out>
int store_named(const std::array<named_value<T>, N> &table, const char *name, Out *out) {
    const std::optional<T> v = value_named(table, name);
    if (!v || out == nullptr) return MORVEL_ZELP_ERROR_ARG;
    *out = *v;
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace zhost
