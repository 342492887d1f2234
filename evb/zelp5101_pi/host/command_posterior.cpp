// posterior [-S STATE [-C CLASS]]: the posterior tables' header, one state and one of its classes.
#include <cstdio>

#include "host_commands.h"
#include "posterior_tables.h"

namespace {

std::optional<uint32_t> number_option(const command_args &args, char letter) {
    return args.has(letter) ? std::optional<uint32_t>(args.number(letter, 0)) : std::nullopt;
}

void print_state(const morvel_zelp7x_posterior_config_s &c) {
    const action_text a = state_timeout_action(c);
    std::printf("state %u: timeout %u, timeout action %s %u\n", c.state, c.timeout, a.type.c_str(),
                a.arg);
}

void print_class(const morvel_zelp7x_posterior_config_s &c) {
    const action_text a = class_action(c);
    std::printf("class %u: window %u, threshold %u, backoff %u, queue %u, adaptive %u, action %s "
                "%u\n",
                c.class_index, c.window, c.threshold, c.backoff, c.smoothing_queue_size,
                c.adaptive_threshold_on, a.type.c_str(), a.arg);
}

} // namespace

// A class is one of a state's: -C names a class of the -S state.
bool check_posterior(command_args &args, bool &usage) {
    if (!args.has('C') || args.has('S')) return true;
    std::fprintf(stderr, "zelp7x_host: -C needs -S\n");
    usage = true;
    return false;
}

// A call with no flags only reads: the header always, the state and class records it names.
int run_posterior(host_session &session, const command_args &args) {
    morvel_zelp7x_posterior_config_s c{};
    const int s = read_posterior_tables(session.zelp(), number_option(args, 'S'),
                                        number_option(args, 'C'), c);
    if (s != 0) return s;
    std::printf("states %u, classes %u, type %u\n", c.states, c.classes, c.ph_type);
    if (args.has('S')) print_state(c);
    if (args.has('C')) print_class(c);
    return MORVEL_ZELP_ERROR_NONE;
}
