#include "host_session.h"

int host_session::open(const board_settings &settings, morvel_zelp_init_mode_e mode) {
    morvel_zelp7x_board_options_s o = board_options(settings);
    o.init_mode = mode;
    o.clock = MORVEL_ZELP7X_BOARD_CLOCK_WHEN_ALLOWED;
    o.wait_for_answers = 1;
    morvel_zelp7x_board_s *board = nullptr;
    const int s = morvel_zelp7x_board_open(&o, &board, nullptr);
    board_.reset(board);
    return s;
}
