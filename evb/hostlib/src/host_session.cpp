// A session: the board opened as a host of firmware opens it, and given back.
#include <memory>

#include "host_record.h"

namespace {

using mode_name = zhost::named_value<morvel_zelp_init_mode_e>;
constexpr std::array mode_names{
    mode_name{"reset", MORVEL_ZELP_INIT_MODE_RESET},
    mode_name{"restart", MORVEL_ZELP_INIT_MODE_RESTART},
    mode_name{"no-touch", MORVEL_ZELP_INIT_MODE_NO_TOUCH},
    mode_name{"reset-secured", MORVEL_ZELP_INIT_MODE_RESET_SECURED},
};

} // namespace

extern "C" {

void morvel_zelp7x_host_options_init(morvel_zelp7x_board_options_s *options) {
    morvel_zelp7x_board_options_init(options);
}

int morvel_zelp7x_host_open(const morvel_zelp7x_board_options_s *options,
                            morvel_zelp7x_host_s **host, morvel_zelp7x_board_failure_s *failure) {
    if (host != nullptr) *host = nullptr;
    // The board library refuses the missing argument in its own words.
    if (options == nullptr || host == nullptr)
        return morvel_zelp7x_board_open(nullptr, nullptr, failure);
    try {
        auto h = std::make_unique<morvel_zelp7x_host_s>();
        morvel_zelp7x_board_options_s o = *options;
        // The firmware's answers are what a host is after; a secured chip's clock waits for its
        // firmware.
        o.wait_for_answers = 1;
        o.clock = MORVEL_ZELP7X_BOARD_CLOCK_WHEN_ALLOWED;
        if (const int s = morvel_zelp7x_board_open(&o, &h->board, failure); s != 0) return s;
        *host = h.release();
    } catch (const std::bad_alloc &) {
        return MORVEL_ZELP_ERROR_NOMEM;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_host_close(morvel_zelp7x_host_s *host) {
    const std::unique_ptr<morvel_zelp7x_host_s> owned(host);
}

morvel_zelp7x_board_s *morvel_zelp7x_host_board(const morvel_zelp7x_host_s *host) {
    return host != nullptr ? host->board : nullptr;
}

int morvel_zelp7x_host_init_mode_named(const char *name, morvel_zelp_init_mode_e *mode) {
    return zhost::store_named(mode_names, name, mode);
}

} // extern "C"
