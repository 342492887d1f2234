// posterior [-S STATE [-C CLASS]]: the posterior tables' header, one state and one of its classes.
#include <array>
#include <cstdio>
#include <string>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp7x_posterior.h"

namespace {

constexpr uint32_t second_encoding = 1;

constexpr std::array<const char *, MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MAX> action_names{
    "match", "state", "stay"};

struct action_text {
    std::string type;
    uint32_t arg;
};

// The first encoding names a class to match or a state to go to; the second carries an argument
// of its own, and its other types are shown by number.
action_text describe(uint32_t ph_type, uint32_t type, uint32_t arg, uint32_t match,
                     uint32_t state) {
    action_text a{type < action_names.size() ? action_names[type] : std::to_string(type), 0};
    if (ph_type == second_encoding)
        a.arg = arg;
    else if (type == MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH)
        a.arg = match;
    else if (type == MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE)
        a.arg = state;
    return a;
}

void print_state(const morvel_zelp7x_posterior_config_s &c) {
    const action_text a = describe(c.ph_type, c.timeout_action_type, c.timeout_action_arg,
                                   c.timeout_action_match, c.timeout_action_state);
    std::printf("state %u: timeout %u, timeout action %s %u\n", c.state, c.timeout, a.type.c_str(),
                a.arg);
}

void print_class(const morvel_zelp7x_posterior_config_s &c) {
    const action_text a =
        describe(c.ph_type, c.action_type, c.action_arg, c.action_match, c.action_state);
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

// A call with no flags only reads: the header always, the state and class records it names (the
// first of each unless asked for another) when the tables have any.
int run_posterior(host_session &session, const command_args &args) {
    morvel_zelp7x_posterior_config_s c{};
    c.state = args.number('S', 0);
    c.class_index = args.number('C', 0);
    const int s = morvel_zelp7x_posterior_config(session.zelp(), &c);
    if (s != 0) return s;
    // Tables without states or classes answer the header alone, leaving the records unread.
    if ((args.has('S') && c.state >= c.states) || (args.has('C') && c.class_index >= c.classes))
        return MORVEL_ZELP_ERROR_ARG;
    std::printf("states %u, classes %u, type %u\n", c.states, c.classes, c.ph_type);
    if (args.has('S')) print_state(c);
    if (args.has('C')) print_class(c);
    return MORVEL_ZELP_ERROR_NONE;
}
