#include "posterior_tables.h"

#include <array>

#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr uint32_t second_encoding = 1;

constexpr std::array<const char *, MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MAX> action_names{
    "match", "state", "stay"};

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

} // namespace

action_text state_timeout_action(const morvel_zelp7x_posterior_config_s &c) {
    return describe(c.ph_type, c.timeout_action_type, c.timeout_action_arg, c.timeout_action_match,
                    c.timeout_action_state);
}

action_text class_action(const morvel_zelp7x_posterior_config_s &c) {
    return describe(c.ph_type, c.action_type, c.action_arg, c.action_match, c.action_state);
}

int read_posterior_tables(morvel_zelp_device_s *zelp, std::optional<uint32_t> state,
                          std::optional<uint32_t> class_index,
                          morvel_zelp7x_posterior_config_s &c) {
    c = {};
    c.state = state.value_or(0);
    c.class_index = class_index.value_or(0);
    const int s = morvel_zelp7x_posterior_config(zelp, &c);
    if (s != 0) return s;
    // Tables without states or classes answer the header alone, leaving the records unread.
    if ((state && c.state >= c.states) || (class_index && c.class_index >= c.classes))
        return MORVEL_ZELP_ERROR_ARG;
    return MORVEL_ZELP_ERROR_NONE;
}
