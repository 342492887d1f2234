// Posterior configuration: the firmware's state machine tables in its posterior parameter area.
// The tables live only in firmware memory; every call reads what it needs from there, so a host
// and a package loader may edit them in turn.
#include "morvel_devlib/morvel_zelp7x_posterior.h"

#include <array>
#include <bit>
#include <initializer_list>
#include <utility>

#include "morvel-firmware/zelp7x_posterior.h"
#include "morvel_devlib/morvel_zelp.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/zelp7x_internal.h"

using namespace zelp7x;

namespace {

using Config = morvel_zelp7x_posterior_config_s;
using StateRecord = zelp7x_ph_state_params_s;
using ClassRecord = zelp7x_ph_class_params_s;

constexpr uint32_t STRUCTURE_FLAGS = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_STATES |
                                     MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_CLASSES |
                                     MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_PH_TYPE;
constexpr uint32_t STATE_FLAGS = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT |
                                 MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION |
                                 MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION_V2;
constexpr uint32_t CLASS_WRITE_FLAGS =
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_SM_QUEUE_SIZE |
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_THRESHOLD | MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_WINDOW |
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_BACKOFF | MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION |
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION_V2;
// Flags that address no class record: with no classes at all a call carrying only these leaves
// the class fields alone instead of failing on a class index that cannot exist.
constexpr uint32_t CLASSLESS_FLAGS = STATE_FLAGS | MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ADAPTIVE |
                                     MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ENABLE;

constexpr uint32_t NOT_APPLICABLE = 0xFFFFFFFF;
constexpr uint32_t SECOND_ENCODING = 1;
constexpr uint32_t V2_TYPE_MASK = 0xFF;
constexpr uint32_t MATCH_LIMIT = 64;
// State numbers from 127 up would read back as STAY or as a match.
constexpr uint32_t STATE_LIMIT = ZELP7X_PH_ACTION_STAY;
constexpr uint32_t DEFAULT_THRESHOLD = 0xFFFF;

constexpr uint64_t AREA_SIZE = ZELP7X_FW_POSTERIOR_PARAMETERS_SIZE;
constexpr uint64_t STATE_WORDS = sizeof(StateRecord) / 4;
constexpr uint64_t CLASS_WORDS = sizeof(ClassRecord) / 4;
constexpr uint64_t MAX_STATES = (AREA_SIZE - ZELP7X_PH_HEADER_SIZE) / sizeof(StateRecord);

bool has(uint32_t set, uint32_t flags) {
    return (set & flags) != 0;
}

// ---- Area layout ------------------------------------------------------------------------------

uint64_t state_offset(uint32_t state) {
    return ZELP7X_PH_HEADER_SIZE + uint64_t{sizeof(StateRecord)} * state;
}

uint64_t class_offset(uint32_t class_params_offset, uint32_t class_index) {
    return ZELP7X_PH_HEADER_SIZE + 4 * (class_params_offset + CLASS_WORDS * class_index);
}

// Word offset of state s's class block in a fresh layout: the blocks follow the state records,
// state s's block a further 5·C·s words on from state s - 1's.
uint64_t fresh_class_params_offset(uint64_t states, uint64_t classes, uint64_t s) {
    return STATE_WORDS * states + CLASS_WORDS * classes * s * (s + 1) / 2;
}

// The fresh layout ends with the last state's class block (or the state records when there are
// no classes); it must end inside the area the firmware reserved.
bool fresh_layout_fits(uint32_t states, uint32_t classes) {
    if (states > MAX_STATES) return false;
    if (states == 0) return true;
    const uint64_t last = fresh_class_params_offset(states, classes, states - 1);
    return class_offset(0, 0) + 4 * (last + CLASS_WORDS * classes) <= AREA_SIZE;
}

bool inside_area(uint64_t offset, uint64_t size) {
    return offset + size <= AREA_SIZE;
}

// ---- Records on the chip, little-endian words -------------------------------------------------

template <typename Record>
int write_record(morvel_zelp_device_s *zelp, uint32_t address, const Record &r) {
    const auto words = std::bit_cast<std::array<uint32_t, sizeof(Record) / 4>>(r);
    std::array<uint8_t, sizeof(Record)> bytes{};
    for (size_t i = 0; i < words.size(); ++i) store_le32(bytes.data() + 4 * i, words[i]);
    return write_bytes(zelp, address, bytes);
}

template <typename Record>
int read_record(morvel_zelp_device_s *zelp, uint32_t address, Record &r) {
    std::array<uint8_t, sizeof(Record)> bytes{};
    const int s = read_bytes(zelp, address, bytes);
    if (s != 0) return s;
    std::array<uint32_t, sizeof(Record) / 4> words{};
    for (size_t i = 0; i < words.size(); ++i) words[i] = load_le32(bytes.data() + 4 * i);
    r = std::bit_cast<Record>(words);
    return MORVEL_ZELP_ERROR_NONE;
}

struct Header {
    uint32_t classes, states, ph_type, adaptive_frames, adaptive_denominator, adaptive_max_updates;
};

int write_header_words(morvel_zelp_device_s *zelp, uint32_t base,
                       std::initializer_list<std::pair<uint32_t, uint32_t>> words) {
    for (const auto &[offset, value] : words)
        if (const int s = write_word(zelp, base + offset, value); s != 0) return s;
    return MORVEL_ZELP_ERROR_NONE;
}

int read_header(morvel_zelp_device_s *zelp, uint32_t base, Header &h) {
    std::array<uint8_t, ZELP7X_PH_HEADER_SIZE> bytes{};
    const int s = read_bytes(zelp, base, bytes);
    if (s != 0) return s;
    h = {load_le32(&bytes[ZELP7X_PH_HEADER_CLASSES]),
         load_le32(&bytes[ZELP7X_PH_HEADER_STATES]),
         load_le32(&bytes[ZELP7X_PH_HEADER_PH_TYPE]),
         load_le32(&bytes[ZELP7X_PH_HEADER_ADAPTIVE_FRAMES]),
         load_le32(&bytes[ZELP7X_PH_HEADER_ADAPTIVE_DENOMINATOR]),
         load_le32(&bytes[ZELP7X_PH_HEADER_ADAPTIVE_MAX_UPDATES])};
    return MORVEL_ZELP_ERROR_NONE;
}

// ---- Reporting --------------------------------------------------------------------------------

// Decodes an action word in the encoding the tables use; the fields the other encoding fills
// read as not applicable.
void report_action(uint32_t word, uint32_t ph_type, uint32_t &type, uint32_t &arg, uint32_t &match,
                   uint32_t &state) {
    if (ph_type == SECOND_ENCODING) {
        morvel_zelp7x_posterior_config_decode_action_V2(word, &type, &arg);
        match = state = NOT_APPLICABLE;
    } else {
        morvel_zelp7x_posterior_config_decode_action(word, &type, &match, &state);
        arg = NOT_APPLICABLE;
    }
}

void report_header(Config &c, const Header &h) {
    c.states = h.states;
    c.classes = h.classes;
    c.ph_type = h.ph_type;
    c.adaptive_frames = h.adaptive_frames;
    c.adaptive_denominator = h.adaptive_denominator;
    c.adaptive_max_updates = h.adaptive_max_updates;
}

void report_class(Config &c, const ClassRecord &r, uint32_t ph_type) {
    c.adaptive_threshold_on = (r.threshold & ZELP7X_PH_THRESHOLD_ADAPTIVE_UPDATES_ENABLE_M) ? 1 : 0;
    c.threshold = r.threshold & ~ZELP7X_PH_THRESHOLD_ADAPTIVE_UPDATES_ENABLE_M;
    c.window = r.window;
    c.backoff = r.backoff;
    c.smoothing_queue_size = r.smoothing_queue_size;
    report_action(r.action, ph_type, c.action_type, c.action_arg, c.action_match, c.action_state);
}

void report_state(Config &c, const StateRecord &r, uint32_t ph_type) {
    c.timeout = r.timeout;
    report_action(r.timeout_action, ph_type, c.timeout_action_type, c.timeout_action_arg,
                  c.timeout_action_match, c.timeout_action_state);
}

// ---- Changes ----------------------------------------------------------------------------------

int check_flags(uint32_t set) {
    if (has(set, ~uint32_t{MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ALL_M})) return MORVEL_ZELP_ERROR_ARG;
    if (has(set, STRUCTURE_FLAGS) && has(set, ~STRUCTURE_FLAGS)) return MORVEL_ZELP_ERROR_ARG;
    if (has(set, STATE_FLAGS) && has(set, ~STATE_FLAGS)) return MORVEL_ZELP_ERROR_ARG;
    return MORVEL_ZELP_ERROR_NONE;
}

int apply_state(const Config &c, uint32_t states, StateRecord &r) {
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT)) r.timeout = c.timeout;
    int s = MORVEL_ZELP_ERROR_NONE;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION))
        s = morvel_zelp7x_posterior_config_encode_action(1, states, c.timeout_action_type,
                                                         c.timeout_action_match,
                                                         c.timeout_action_state, &r.timeout_action);
    if (s == 0 && has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION_V2))
        morvel_zelp7x_posterior_config_encode_action_V2(&r.timeout_action, c.timeout_action_type,
                                                        c.timeout_action_arg);
    return s;
}

int apply_class(const Config &c, uint32_t states, ClassRecord &r) {
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_THRESHOLD))
        r.threshold = c.threshold |
                      (c.adaptive_threshold_on ? ZELP7X_PH_THRESHOLD_ADAPTIVE_UPDATES_ENABLE_M : 0);
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_WINDOW)) r.window = c.window;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_BACKOFF)) r.backoff = c.backoff;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_SM_QUEUE_SIZE)) {
        if (c.smoothing_queue_size > ZELP7X_RESULT_SOFTMAX_SMOOTHER_MAX_QUEUE_SIZE)
            return MORVEL_ZELP_ERROR_ARG;
        r.smoothing_queue_size = c.smoothing_queue_size;
    }
    int s = MORVEL_ZELP_ERROR_NONE;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION))
        s = morvel_zelp7x_posterior_config_encode_action(0, states, c.action_type, c.action_match,
                                                         c.action_state, &r.action);
    if (s == 0 && has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION_V2))
        morvel_zelp7x_posterior_config_encode_action_V2(&r.action, c.action_type, c.action_arg);
    return s;
}

// The class record of the addressed state: read, changed as flagged, written back, reported. The
// state's offset comes from the chip; a record it would put outside the area is not touched.
int configure_class(morvel_zelp_device_s *zelp, uint32_t base, Config &c, const Header &h,
                    const StateRecord &state) {
    if (c.class_index >= h.classes) return MORVEL_ZELP_ERROR_ARG;
    const uint64_t offset = class_offset(state.class_params_offset, c.class_index);
    if (!inside_area(offset, sizeof(ClassRecord))) return MORVEL_ZELP_ERROR_FAIL;
    const uint32_t address = base + static_cast<uint32_t>(offset);
    ClassRecord r{};
    int s = read_record(zelp, address, r);
    if (s == 0) s = apply_class(c, h.states, r);
    if (s == 0 && has(c.set, CLASS_WRITE_FLAGS)) s = write_record(zelp, address, r);
    if (s == 0) report_class(c, r, h.ph_type);
    return s;
}

int configure_state(morvel_zelp_device_s *zelp, uint32_t base, Config &c, const Header &h) {
    if (c.state >= h.states) return MORVEL_ZELP_ERROR_ARG;
    const uint64_t offset = state_offset(c.state);
    if (!inside_area(offset, sizeof(StateRecord))) return MORVEL_ZELP_ERROR_FAIL;
    const uint32_t address = base + static_cast<uint32_t>(offset);
    StateRecord r{};
    int s = read_record(zelp, address, r);
    if (s == 0) s = apply_state(c, h.states, r);
    if (s != 0) return s;
    const bool classless = h.classes == 0 && !has(c.set, ~CLASSLESS_FLAGS);
    if (!classless) s = configure_class(zelp, base, c, h, r);
    if (s == 0 && has(c.set, STATE_FLAGS)) s = write_record(zelp, address, r);
    if (s == 0) report_state(c, r, h.ph_type);
    return s;
}

int configure(morvel_zelp_device_s *zelp, Config &c) {
    const uint32_t base = record(zelp).fw_posterior_parameters_addr;
    if (base == 0) return MORVEL_ZELP_ERROR_FAIL;
    Header h{};
    int s = read_header(zelp, base, h);
    if (s != 0) return s;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_STATES)) h.states = c.states;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_CLASSES)) h.classes = c.classes;
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_PH_TYPE)) h.ph_type = c.ph_type;
    if (has(c.set, STRUCTURE_FLAGS)) {
        s = morvel_zelp7x_posterior_init(zelp, h.states, h.classes, h.ph_type);
        if (s == 0) report_header(c, {h.classes, h.states, h.ph_type, 0, 0, 0});
        return s;
    }
    if (c.set == 0 && h.states == 0) {
        report_header(c, h);
        return MORVEL_ZELP_ERROR_NONE;
    }
    if (has(c.set, MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ADAPTIVE)) {
        h.adaptive_frames = c.adaptive_frames;
        h.adaptive_denominator = c.adaptive_denominator;
        h.adaptive_max_updates = c.adaptive_max_updates;
        s = write_header_words(zelp, base,
                               {{ZELP7X_PH_HEADER_ADAPTIVE_FRAMES, h.adaptive_frames},
                                {ZELP7X_PH_HEADER_ADAPTIVE_DENOMINATOR, h.adaptive_denominator},
                                {ZELP7X_PH_HEADER_ADAPTIVE_MAX_UPDATES, h.adaptive_max_updates}});
        if (s != 0) return s;
    }
    s = configure_state(zelp, base, c, h);
    if (s == 0) report_header(c, h);
    return s;
}

} // namespace

extern "C" {

int morvel_zelp7x_posterior_config(morvel_zelp_device_s *zelp,
                                   morvel_zelp7x_posterior_config_s *config) {
    return with_host_lock(zelp,
                          [&] { return morvel_zelp7x_posterior_config_no_sync(zelp, config); });
}

int morvel_zelp7x_posterior_config_no_sync(morvel_zelp_device_s *zelp,
                                           morvel_zelp7x_posterior_config_s *config) {
    if (zelp == nullptr || config == nullptr) return MORVEL_ZELP_ERROR_ARG;
    const int s = check_flags(config->set);
    return s != 0 ? s : configure(zelp, *config);
}

int morvel_zelp7x_posterior_init(morvel_zelp_device_s *zelp, uint32_t states, uint32_t classes,
                                 uint32_t ph_type) {
    if (zelp == nullptr) return MORVEL_ZELP_ERROR_ARG;
    const uint32_t base = record(zelp).fw_posterior_parameters_addr;
    if (base == 0 || classes > ZELP7X_RESULT_NUM_CLASSES) return MORVEL_ZELP_ERROR_FAIL;
    if (!fresh_layout_fits(states, classes)) return MORVEL_ZELP_ERROR_ARG;
    for (uint32_t st = 0; st < states; ++st) {
        const auto offset = static_cast<uint32_t>(fresh_class_params_offset(states, classes, st));
        int s = write_record(zelp, base + static_cast<uint32_t>(state_offset(st)),
                             StateRecord{0, 0, offset});
        for (uint32_t c = 0; c < classes && s == 0; ++c)
            s = write_record(zelp, base + static_cast<uint32_t>(class_offset(offset, c)),
                             ClassRecord{0, DEFAULT_THRESHOLD, 0, ZELP7X_PH_ACTION_MATCH_M | c, 1});
        if (s != 0) return s;
    }
    // The state count goes last: firmware that sees it finds complete tables behind it.
    return write_header_words(zelp, base,
                              {{ZELP7X_PH_HEADER_ADAPTIVE_FRAMES, 0},
                               {ZELP7X_PH_HEADER_ADAPTIVE_DENOMINATOR, 0},
                               {ZELP7X_PH_HEADER_ADAPTIVE_MAX_UPDATES, 0},
                               {ZELP7X_PH_HEADER_PH_TYPE, ph_type},
                               {ZELP7X_PH_HEADER_CLASSES, classes},
                               {ZELP7X_PH_HEADER_STATES, states}});
}

int morvel_zelp7x_posterior_config_encode_action(int timeout, uint32_t states, uint32_t atype,
                                                 uint32_t match, uint32_t state, uint32_t *action) {
    if (action == nullptr) return MORVEL_ZELP_ERROR_ARG;
    switch (atype) {
    case MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE:
        if (state >= states || state >= STATE_LIMIT) return MORVEL_ZELP_ERROR_ARG;
        *action = state;
        return MORVEL_ZELP_ERROR_NONE;
    case MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STAY:
        // A timeout that stays would never leave its state.
        if (timeout) return MORVEL_ZELP_ERROR_ARG;
        *action = ZELP7X_PH_ACTION_STAY;
        return MORVEL_ZELP_ERROR_NONE;
    case MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH:
        if (match >= MATCH_LIMIT) return MORVEL_ZELP_ERROR_ARG;
        *action = ZELP7X_PH_ACTION_MATCH_M | match;
        return MORVEL_ZELP_ERROR_NONE;
    default:
        return MORVEL_ZELP_ERROR_ARG;
    }
}

void morvel_zelp7x_posterior_config_decode_action(uint32_t action, uint32_t *atype, uint32_t *match,
                                                  uint32_t *state) {
    struct {
        uint32_t type, match, state;
    } a{MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE, 0, action};
    if (action & ZELP7X_PH_ACTION_MATCH_M)
        a = {MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH, action & ~ZELP7X_PH_ACTION_MATCH_M,
             0};
    else if (action == ZELP7X_PH_ACTION_STAY)
        a = {MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STAY, 0, 0};
    if (atype != nullptr) *atype = a.type;
    if (match != nullptr) *match = a.match;
    if (state != nullptr) *state = a.state;
}

void morvel_zelp7x_posterior_config_encode_action_V2(uint32_t *param, uint32_t action,
                                                     uint32_t action_arg) {
    if (param != nullptr) *param = (action & V2_TYPE_MASK) | (action_arg & ~V2_TYPE_MASK);
}

void morvel_zelp7x_posterior_config_decode_action_V2(uint32_t param, uint32_t *action,
                                                     uint32_t *action_arg) {
    if (action != nullptr) *action = param & V2_TYPE_MASK;
    if (action_arg != nullptr) *action_arg = param & ~V2_TYPE_MASK;
}

} // extern "C"
