// dump fw|agc|ph -o FILE: one of the firmware's state records, whole, into a file.
#include <cstdio>
#include <vector>

#include "host_commands.h"
#include "morvel-firmware/zelp7x_firmware.h"
#include "morvel_devlib/morvel_zelp7x.h"
#include "output_file.h"

namespace {

struct state_record {
    int type;
    unsigned int size;
};

constexpr std::array records{
    named_value<state_record>{"fw",
                              {MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_FW_STATE, ZELP7X_FW_STATE_SIZE}},
    named_value<state_record>{
        "agc", {MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_AGC_STATE, ZELP7X_FW_AGC_STATE_SIZE}},
    named_value<state_record>{
        "ph", {MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE, ZELP7X_FW_POSTERIOR_STATE_SIZE}},
};

} // namespace

bool check_dump(command_args &args, bool &usage) {
    if (!value_named(records, args.operands[0]))
        return refuse_argument("unknown state record", args.operands[0], usage);
    return require_option(args, 'o', usage);
}

int run_dump(host_session &session, const command_args &args) {
    const state_record r = *value_named(records, args.operands[0]);
    std::vector<uint8_t> bytes(r.size);
    unsigned int len = r.size;
    const int s = morvel_zelp7x_debug_extract(session.zelp(), r.type, bytes.data(), &len);
    if (s != 0) return s;
    if (const int w = write_output_file(args.texts.at('o'), bytes); w != 0) return w;
    std::fprintf(report_stream(args.texts.at('o')), "%u bytes dumped\n", r.size);
    return MORVEL_ZELP_ERROR_NONE;
}
