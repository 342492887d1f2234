// Posterior parameters from a package, item by item as the reader delivers them: the head lays
// out fresh tables (and sets state 0), each class record sets one class of one state, and each
// later state record sets that state's timeout.
#include "morvel_devlib/morvel_zelp7x_posterior.h"
#include "zelp7x/load/zelp7x_package_handlers.h"

using namespace zelp7x;
using namespace zelp7x::pkg;

namespace {

using Posterior = morvel_zelp7x_posterior_config_s;

constexpr uint32_t STRUCTURE = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_STATES |
                               MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_CLASSES |
                               MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_PH_TYPE;
constexpr uint32_t TIMEOUT_V2 = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT |
                                MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION_V2;
constexpr uint32_t CLASS_VALUES = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_SM_QUEUE_SIZE |
                                  MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_THRESHOLD |
                                  MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_WINDOW |
                                  MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_BACKOFF;

enum class Item { none, head, class_record, state_timeout };

// What the reader's last step delivered: the head right after it, else a class record while the
// class count runs, else the timeout fields of the state just begun.
template <typename Meta>
Item item_of(const Reader &p, uint32_t head_size, const Meta &m) {
    if (!piece_ready(p)) return Item::none;
    if (p.partially_read_length == head_size) return Item::head;
    if (m.cur_class >= 1 && m.cur_class <= m.num_classes) return Item::class_record;
    if (m.cur_state >= 1 && m.cur_state <= m.num_states) return Item::state_timeout;
    return Item::none;
}

int configure(morvel_zelp_device_s *zelp, Posterior c) {
    return morvel_zelp7x_posterior_config_no_sync(zelp, &c);
}

template <typename Meta>
int lay_out(morvel_zelp_device_s *zelp, const Meta &m, uint32_t ph_type) {
    Posterior c{};
    c.set = STRUCTURE;
    c.states = m.num_states;
    c.classes = m.num_classes;
    c.ph_type = ph_type;
    record(zelp).classes = m.num_classes;
    return configure(zelp, c);
}

template <typename Meta>
Posterior class_values(const Meta &m, const morvel_ph_params_t &r) {
    Posterior c{};
    c.set = CLASS_VALUES;
    c.state = m.cur_state - 1;
    c.class_index = m.cur_class - 1;
    c.threshold = r.phth;
    c.window = r.phwin;
    c.backoff = r.phbackoff;
    c.action_type = r.phaction;
    c.smoothing_queue_size = r.phqueuesize;
    return c;
}

// First encoding: the argument is the class to match or the state to go to.
Posterior with_action(Posterior c, uint32_t arg) {
    c.set |= MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION;
    if (c.action_type == MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH) c.action_match = arg;
    if (c.action_type == MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE) c.action_state = arg;
    return c;
}

Posterior with_action_v2(Posterior c, uint32_t arg) {
    c.set |= MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION_V2;
    c.action_arg = arg;
    return c;
}

// Versions 5 and 6 carry a whole timeout action with every state.
template <typename Meta>
int set_timeout_v2(morvel_zelp_device_s *zelp, const Meta &m, uint32_t state) {
    Posterior c{};
    c.set = TIMEOUT_V2;
    c.state = state;
    c.timeout = m.timeout;
    c.timeout_action_type = m.timeout_action;
    c.timeout_action_arg = m.timeout_action_arg;
    return configure(zelp, c);
}

// Version 4 carries only the timeout; the action stays what the layout gave.
int set_timeout_v4(morvel_zelp_device_s *zelp, const morvel_ph_params_metadata_v1_t &m,
                   uint32_t state) {
    Posterior c{};
    c.set = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT;
    c.state = state;
    c.timeout = m.timeout;
    c.timeout_action_type = MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE;
    return configure(zelp, c);
}

} // namespace

extern "C" {

int morvel_zelp7x_pkg_parse_ph_params_v4_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    const morvel_ph_params_metadata_v1_t &m = p.metadata.ph_metadata.v1;
    switch (item_of(p, 12, m)) {
    case Item::head: {
        // The head also holds state 1's timeout, which nothing later in the value repeats.
        const int s = lay_out(zelp, m, 0);
        return s != 0 ? s : set_timeout_v4(zelp, m, 0);
    }
    case Item::class_record: {
        const morvel_ph_params_t &r = p.data.ph_params;
        return configure(zelp, with_action(class_values(m, r), r.pharg));
    }
    case Item::state_timeout:
        return set_timeout_v4(zelp, m, m.cur_state - 1);
    default:
        return MORVEL_ZELP_ERROR_NONE;
    }
}

int morvel_zelp7x_pkg_parse_ph_params_v5_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    const morvel_ph_params_metadata_v2_t &m = p.metadata.ph_metadata.v2;
    switch (item_of(p, 24, m)) {
    case Item::head: {
        const int s = lay_out(zelp, m, m.ph_type);
        return s != 0 ? s : set_timeout_v2(zelp, m, 0);
    }
    case Item::class_record: {
        const morvel_ph_params_t &r = p.data.ph_params;
        return configure(zelp, with_action_v2(class_values(m, r), r.pharg));
    }
    case Item::state_timeout:
        return set_timeout_v2(zelp, m, m.cur_state - 1);
    default:
        return MORVEL_ZELP_ERROR_NONE;
    }
}

int morvel_zelp7x_pkg_parse_ph_params_v6_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    const morvel_ph_params_metadata_v3_t &m = p.metadata.ph_metadata.v3;
    switch (item_of(p, 36, m)) {
    case Item::head: {
        int s = lay_out(zelp, m, m.ph_type);
        if (s != 0) return s;
        Posterior c{};
        c.set = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ADAPTIVE;
        c.adaptive_frames = m.adaptive_frames;
        c.adaptive_denominator = m.adaptive_denominator;
        c.adaptive_max_updates = m.adaptive_max_updates;
        s = configure(zelp, c);
        return s != 0 ? s : set_timeout_v2(zelp, m, 0);
    }
    case Item::class_record: {
        // The first six fields of the version 6 record are those of the earlier versions.
        const morvel_ph_params_v2_t &r = p.data.ph_params_v2;
        const morvel_ph_params_t common{r.phwin,    r.phth,  r.phbackoff,
                                        r.phaction, r.pharg, r.phqueuesize};
        Posterior c = class_values(m, common);
        c.adaptive_threshold_on = r.adaptive_threshold_on;
        return configure(zelp, m.ph_type ? with_action_v2(c, r.pharg) : with_action(c, r.pharg));
    }
    case Item::state_timeout:
        return set_timeout_v2(zelp, m, m.cur_state - 1);
    default:
        return MORVEL_ZELP_ERROR_NONE;
    }
}

} // extern "C"
