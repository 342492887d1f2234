// posterior [-S STATE [-C CLASS]]: the posterior tables' header, one state and one of its classes.
#include <cstdio>
#include <string>

#include "host_commands.h"

namespace {

// An action's type by its name, or by its number when it has none.
std::string type_of(const morvel_zelp7x_host_action_s &a) {
    return a.name != nullptr ? a.name : std::to_string(a.type);
}

void print_state(const morvel_zelp7x_posterior_config_s &c) {
    morvel_zelp7x_host_action_s a{};
    morvel_zelp7x_host_state_timeout_action(&c, &a);
    std::printf("state %u: timeout %u, timeout action %s %u\n", c.state, c.timeout,
                type_of(a).c_str(), a.arg);
}

void print_class(const morvel_zelp7x_posterior_config_s &c) {
    morvel_zelp7x_host_action_s a{};
    morvel_zelp7x_host_class_action(&c, &a);
    std::printf("class %u: window %u, threshold %u, backoff %u, queue %u, adaptive %u, action %s "
                "%u\n",
                c.class_index, c.window, c.threshold, c.backoff, c.smoothing_queue_size,
                c.adaptive_threshold_on, type_of(a).c_str(), a.arg);
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
int run_posterior(morvel_zelp7x_host_s *host, const command_args &args) {
    const uint32_t state = args.number('S', 0), class_index = args.number('C', 0);
    morvel_zelp7x_posterior_config_s c{};
    const int s = morvel_zelp7x_host_posterior(host, args.has('S') ? &state : nullptr,
                                               args.has('C') ? &class_index : nullptr, &c);
    if (s != 0) return s;
    std::printf("states %u, classes %u, type %u\n", c.states, c.classes, c.ph_type);
    if (args.has('S')) print_state(c);
    if (args.has('C')) print_class(c);
    return MORVEL_ZELP_ERROR_NONE;
}
