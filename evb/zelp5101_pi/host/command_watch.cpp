// watch [-n COUNT] [-w MS]: the matches the chip reports, one line each.
#include "host_commands.h"
#include "match_wait.h"

namespace {

constexpr uint32_t default_count = 1;
constexpr uint32_t default_wait_ms = 10000;

} // namespace

int run_watch(host_session &session, const command_args &args) {
    return wait_for_matches(session, args.number('n', default_count),
                            args.number('w', default_wait_ms));
}
