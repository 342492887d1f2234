// The driver's view of its own health: the mailbox statistics and the match reports the firmware
// had to skip, and debug dumps of whole firmware state records.
#include <array>

#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp7x/zelp7x_internal.h"

namespace {

using namespace zelp7x;

void report_counters(morvel_zelp7x_status_s &st) {
    st.mailbox_trace = morvel_zelp7x_mailbox_trace;
    st.h2m_mailbox_req = morvel_zelp7x_mailbox_req_number[ZELP7X_H2M];
    st.h2m_mailbox_rsp = morvel_zelp7x_mailbox_rsp_number[ZELP7X_H2M];
    st.h2m_mailbox_unexpected = morvel_zelp7x_mailbox_unexpected[ZELP7X_H2M];
    st.h2m_mailbox_error = morvel_zelp7x_mailbox_error[ZELP7X_H2M];
    st.m2h_mailbox_req = morvel_zelp7x_mailbox_req_number[ZELP7X_M2H];
    st.m2h_mailbox_rsp = morvel_zelp7x_mailbox_rsp_number[ZELP7X_M2H];
    st.m2h_mailbox_unexpected = morvel_zelp7x_mailbox_unexpected[ZELP7X_M2H];
    st.m2h_mailbox_error = morvel_zelp7x_mailbox_error[ZELP7X_M2H];
}

void clear_counters() {
    for (uint32_t *counter : {morvel_zelp7x_mailbox_req_number, morvel_zelp7x_mailbox_rsp_number,
                              morvel_zelp7x_mailbox_unexpected, morvel_zelp7x_mailbox_error})
        counter[ZELP7X_H2M] = counter[ZELP7X_M2H] = 0;
}

struct StateRecord {
    uint32_t morvel_zelp7x_device_s::*address;
    unsigned int size;
};

// Indexed by morvel_zelp_debug_extract_type_e.
constexpr std::array<StateRecord, 3> state_records = {{
    {&morvel_zelp7x_device_s::fw_state_addr, ZELP7X_FW_STATE_SIZE},
    {&morvel_zelp7x_device_s::fw_agc_addr, ZELP7X_FW_AGC_STATE_SIZE},
    {&morvel_zelp7x_device_s::fw_posterior_state_addr, ZELP7X_FW_POSTERIOR_STATE_SIZE},
}};

} // namespace

extern "C" {

int morvel_zelp7x_status(morvel_zelp_device_s *zelp, morvel_zelp7x_status_s *status) {
    if (zelp == nullptr) return MORVEL_ZELP_ERROR_UNINIT;
    if (status == nullptr || status->set > MORVEL_ZELP7X_STATUS_SET_ALL_M)
        return MORVEL_ZELP_ERROR_ARG;
    if (status->set & MORVEL_ZELP7X_STATUS_SET_MAILBOX_TRACE)
        morvel_zelp7x_mailbox_trace = status->mailbox_trace;
    report_counters(*status);
    const uint32_t state = record(zelp).fw_state_addr;
    status->missed_frames = 0;
    const uint32_t skipped = state + ZELP7X_FW_STATE_MATCH_SKIPPED;
    if (state != 0) {
        const int s = generic_read_mcu(zelp, skipped, &status->missed_frames);
        if (s != 0) return s;
    }
    if ((status->set & MORVEL_ZELP7X_STATUS_SET_CLEAR) == 0) return MORVEL_ZELP_ERROR_NONE;
    clear_counters();
    return state != 0 ? generic_write_mcu(zelp, skipped, 0) : MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_debug_extract(morvel_zelp_device_s *zelp, int type, void *data,
                                unsigned int *len) {
    if (zelp == nullptr || record(zelp).fw_state_addr == 0) return MORVEL_ZELP_ERROR_UNINIT;
    if (len == nullptr || type < 0 || type >= static_cast<int>(state_records.size()) ||
        *len != state_records[static_cast<size_t>(type)].size)
        return MORVEL_ZELP_ERROR_ARG;
    const StateRecord &r = state_records[static_cast<size_t>(type)];
    return morvel_zelp_read_block(zelp, MCU, record(zelp).*r.address, data, r.size);
}

uint32_t morvel_zelp7x_get_fw_agc_addr(morvel_zelp_device_s *zelp) {
    return zelp != nullptr ? record(zelp).fw_agc_addr : 0;
}

} // extern "C"
