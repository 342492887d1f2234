// The driver's load entry: a package in pieces of the host's choosing. A chip that booted secured
// and runs no firmware takes it through its boot loader; any other chip has it walked by the
// package reader, each tag applied by its handler.
#include "morvel_devlib/morvel_zelp7x_package_parser.h"
#include "zelp7x/load/zelp7x_package_handlers.h"
#include "zelp7x/zelp7x_internal.h"

using namespace zelp7x;

namespace {

bool hands_to_handlers(int mode) {
    return mode == PACKAGE_MODE_TAG_START || mode == PACKAGE_MODE_VALUE_START ||
           mode == PACKAGE_MODE_VALUE_CONT;
}

int set_network_input(morvel_zelp_device_s *zelp, unsigned dnn_input) {
    morvel_zelp7x_config_s c{};
    c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT;
    c.dnn_input = dnn_input;
    return morvel_zelp7x_config_no_sync(zelp, &c);
}

// The firmware must not run the network on posterior tables that are half written.
int pause_network_input(morvel_zelp_device_s *zelp, unsigned &dnn_input) {
    morvel_zelp7x_device_s &z = record(zelp);
    morvel_zelp7x_config_state_s st{};
    const int s = morvel_zelp7x_config_read_state(zelp, &st);
    if (s != 0) return s;
    st.input_clock_rate = z.input_clock_rate;
    st.tank_max_size = z.tank_max_size;
    st.fw_state_addr = z.fw_state_addr;
    morvel_zelp7x_config_s c{};
    morvel_zelp7x_config_get_input(&st, &c, &z);
    dnn_input = c.dnn_input;
    return set_network_input(zelp, MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE);
}

int apply_tag(morvel_zelp_device_s *zelp) {
    if (!pkg::pauses_network(zelp->pstate.tag)) return morvel_zelp7x_parse_tag_values(zelp);
    unsigned dnn_input = MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    int s = pause_network_input(zelp, dnn_input);
    if (s == 0) s = morvel_zelp7x_parse_tag_values(zelp);
    if (s == 0 && dnn_input != MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE)
        set_network_input(zelp, dnn_input); // best effort: the tables are in either way
    return s;
}

int start_ordinary_load(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    const bool versions_cached = z.fwver_len != 0 || z.paramver_len != 0;
    morvel_pkg_parser_init(&zelp->pstate);
    morvel_pkg_parser_reset(&zelp->pstate);
    z.load_offset = 0;
    if (versions_cached) {
        // An area that was never written is no contradiction; one that differs is.
        const int s = morvel_zelp7x_verify_configuration(zelp);
        if (s != 0 && s != MORVEL_ZELP_ERROR_PACKAGE) return s;
    }
    return MORVEL_ZELP_ERROR_MORE;
}

int load_ordinary_piece(morvel_zelp_device_s *zelp, uint8_t *chunk, int len) {
    morvel_pkg_parser_state_t &p = zelp->pstate;
    morvel_pkg_preprocess_chunk(&p, chunk, len, 0);
    morvel_pkg_parser_reset(&p);
    while (p.ptr < p.open_ram_end && p.mode != PACKAGE_MODE_DONE) {
        const uint8_t *before = p.ptr;
        const int mode_before = p.mode;
        if (morvel_pkg_parse_chunk(&p, 0) != 0) return MORVEL_ZELP_ERROR_PACKAGE;
        // A step that neither reads nor moves on would be repeated for ever.
        if (p.ptr == before && p.mode == mode_before) return MORVEL_ZELP_ERROR_PACKAGE;
        if (hands_to_handlers(p.mode))
            if (const int s = apply_tag(zelp); s != 0) return s;
    }
    return p.mode == PACKAGE_MODE_DONE ? MORVEL_ZELP_ERROR_NONE : MORVEL_ZELP_ERROR_MORE;
}

struct CachedLength {
    unsigned morvel_zelp_config_s::*stored;
    unsigned morvel_zelp7x_device_s::*cached;
};

constexpr CachedLength CACHED_LENGTHS[] = {
    {&morvel_zelp_config_s::labels_len, &morvel_zelp7x_device_s::labels_len},
    {&morvel_zelp_config_s::firmware_version_len, &morvel_zelp7x_device_s::fwver_len},
    {&morvel_zelp_config_s::parameters_version_len, &morvel_zelp7x_device_s::paramver_len},
    {&morvel_zelp_config_s::pkg_version_len, &morvel_zelp7x_device_s::pkgver_len},
};

} // namespace

extern "C" {

int morvel_zelp7x_load(morvel_zelp_device_s *zelp, void *chunk, int len) {
    if (zelp == nullptr || len < 0) return MORVEL_ZELP_ERROR_ARG;
    const morvel_zelp7x_device_s &z = record(zelp);
    if (z.secured == 1 && z.fw_state_addr == 0)
        return morvel_zelp7x_load_secured_firmware(zelp, chunk, static_cast<unsigned>(len));
    return morvel_zelp7x_load_ordinary(zelp, chunk, len);
}

int morvel_zelp7x_load_ordinary(morvel_zelp_device_s *zelp, void *chunk, int len) {
    if (zelp == nullptr || len < 0 || (len > 0 && chunk == nullptr)) return MORVEL_ZELP_ERROR_ARG;
    if (len == 0) return start_ordinary_load(zelp);
    return load_ordinary_piece(zelp, static_cast<uint8_t *>(chunk), len);
}

int morvel_zelp7x_verify_configuration(morvel_zelp_device_s *zelp) {
    morvel_zelp_config_s stored{};
    const int s = morvel_zelp7x_access_config(zelp, &stored, nullptr);
    for (const CachedLength &l : CACHED_LENGTHS)
        if (stored.*l.stored != 0 && stored.*l.stored != record(zelp).*l.cached)
            return MORVEL_ZELP_ERROR_FAIL;
    return s;
}

} // extern "C"
