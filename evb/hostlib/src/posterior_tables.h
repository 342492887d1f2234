// The posterior tables as the host reads them: the header, one state and one of its classes, and
// their actions in words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "morvel_devlib/morvel_zelp7x_posterior.h"

// An action: "match", "state", "stay" or another type's number, and its argument.
struct action_text {
    std::string type;
    uint32_t arg;
};

action_text state_timeout_action(const morvel_zelp7x_posterior_config_s &c);
action_text class_action(const morvel_zelp7x_posterior_config_s &c);

// A read without flags of the header and the records of `state` and its class `class_index`
// (the first of each when not asked for). A state or class asked for that the tables do not have
// is MORVEL_ZELP_ERROR_ARG. Returns the library's status.
int read_posterior_tables(morvel_zelp_device_s *zelp, std::optional<uint32_t> state,
                          std::optional<uint32_t> class_index, morvel_zelp7x_posterior_config_s &c);
