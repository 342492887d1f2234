// What the firmware keeps for the host: the mailbox counters with the match reports it skipped,
// and its state records, whole.
#include <array>

#include "host_record.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace {

struct state_record {
    int type;
    uint32_t size;
};

using record_name = zhost::named_value<state_record>;
constexpr std::array records{
    record_name{"fw", {MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_FW_STATE, ZELP7X_FW_STATE_SIZE}},
    record_name{"agc", {MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_AGC_STATE, ZELP7X_FW_AGC_STATE_SIZE}},
    record_name{"ph", {MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE, ZELP7X_FW_POSTERIOR_STATE_SIZE}},
};

const state_record *record_of(int type) {
    for (const record_name &r : records)
        if (r.value.type == type) return &r.value;
    return nullptr;
}

} // namespace

extern "C" {

int morvel_zelp7x_host_status(morvel_zelp7x_host_s *host, int clear,
                              morvel_zelp7x_status_s *status) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (status == nullptr) return MORVEL_ZELP_ERROR_ARG;
        *status = {};
        status->set = clear ? MORVEL_ZELP7X_STATUS_SET_CLEAR : 0;
        return morvel_zelp7x_status(zelp, status);
    });
}

int morvel_zelp7x_host_dump_named(const char *name, int *type, uint32_t *size) {
    const auto r = zhost::value_named(records, name);
    if (!r || type == nullptr) return MORVEL_ZELP_ERROR_ARG;
    *type = r->type;
    if (size != nullptr) *size = r->size;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_host_dump(morvel_zelp7x_host_s *host, int type, uint8_t *data, uint32_t room,
                            uint32_t *size) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        const state_record *r = record_of(type);
        if (r == nullptr || data == nullptr || room < r->size) return MORVEL_ZELP_ERROR_ARG;
        unsigned int len = r->size;
        if (size != nullptr) *size = r->size;
        return morvel_zelp7x_debug_extract(zelp, r->type, data, &len);
    });
}

} // extern "C"
