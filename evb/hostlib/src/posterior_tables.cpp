// The posterior tables as a host reads them: the header, one state and one of its classes, and
// their actions in words.
#include <array>

#include "host_record.h"

namespace {

constexpr uint32_t second_encoding = 1;

constexpr std::array<const char *, MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MAX> action_names{
    "match", "state", "stay"};

// The first encoding names a class to match or a state to go to; the second carries an argument
// of its own, and its other types are shown by number.
morvel_zelp7x_host_action_s describe(uint32_t ph_type, uint32_t type, uint32_t arg, uint32_t match,
                                     uint32_t state) {
    morvel_zelp7x_host_action_s a{type < action_names.size() ? action_names[type] : nullptr, type,
                                  0};
    if (ph_type == second_encoding)
        a.arg = arg;
    else if (type == MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH)
        a.arg = match;
    else if (type == MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE)
        a.arg = state;
    return a;
}

} // namespace

extern "C" {

void morvel_zelp7x_host_state_timeout_action(const morvel_zelp7x_posterior_config_s *c,
                                             morvel_zelp7x_host_action_s *action) {
    if (c == nullptr || action == nullptr) return;
    *action = describe(c->ph_type, c->timeout_action_type, c->timeout_action_arg,
                       c->timeout_action_match, c->timeout_action_state);
}

void morvel_zelp7x_host_class_action(const morvel_zelp7x_posterior_config_s *c,
                                     morvel_zelp7x_host_action_s *action) {
    if (c == nullptr || action == nullptr) return;
    *action = describe(c->ph_type, c->action_type, c->action_arg, c->action_match, c->action_state);
}

// A read without flags: the header always, the state and class records it names (the first of
// each when not asked for).
int morvel_zelp7x_host_posterior(morvel_zelp7x_host_s *host, const uint32_t *state,
                                 const uint32_t *class_index,
                                 morvel_zelp7x_posterior_config_s *tables) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (tables == nullptr || (class_index != nullptr && state == nullptr))
            return MORVEL_ZELP_ERROR_ARG;
        morvel_zelp7x_posterior_config_s &c = *tables;
        c = {};
        c.state = state != nullptr ? *state : 0;
        c.class_index = class_index != nullptr ? *class_index : 0;
        const int s = morvel_zelp7x_posterior_config(zelp, &c);
        if (s != 0) return s;
        // Tables without states or classes answer the header alone, leaving the records unread.
        if ((state != nullptr && c.state >= c.states) ||
            (class_index != nullptr && c.class_index >= c.classes))
            return MORVEL_ZELP_ERROR_ARG;
        return MORVEL_ZELP_ERROR_NONE;
    });
}

} // extern "C"
