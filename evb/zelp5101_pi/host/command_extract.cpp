// extract input|features|static|accel [-f match|unread|oldest|newest] [-n BYTES] -o FILE: bytes
// out of the tank, the sensor ring or a feature area into FILE. From match it first waits for the
// next match, as watch -n 1 does, and takes the bytes that end at it.
#include <cstdio>
#include <string>
#include <vector>

#include "audio_file.h"
#include "host_commands.h"

namespace {

constexpr uint32_t match_wait_ms = 10000;

int type_of(const command_args &args) {
    int type = 0;
    morvel_zelp7x_host_extract_type_named(args.operands[0].c_str(), &type);
    return type;
}

int start_of(const command_args &args) {
    int from = MORVEL_ZELP_EXTRACT_FROM_NEWEST;
    const auto it = args.texts.find('f');
    if (it != args.texts.end()) morvel_zelp7x_host_extract_start_named(it->second.c_str(), &from);
    return from;
}

} // namespace

bool check_extract(command_args &args, bool &usage) {
    int type = 0, from = 0;
    if (morvel_zelp7x_host_extract_type_named(args.operands[0].c_str(), &type) != 0)
        return refuse_argument("unknown extraction", args.operands[0], usage);
    const auto it = args.texts.find('f');
    if (it != args.texts.end() &&
        morvel_zelp7x_host_extract_start_named(it->second.c_str(), &from) != 0)
        return refuse_argument("unknown start", it->second, usage);
    if (args.number('n', 0) % 4 != 0)
        return refuse_argument("not a multiple of 4", std::to_string(args.number('n', 0)), usage);
    // The sensor ring's samples carry no match position.
    if (type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL &&
        start_of(args) == MORVEL_ZELP_EXTRACT_FROM_MATCH)
        return refuse_argument("no match position in", args.operands[0], usage);
    return require_option(args, 'o', usage);
}

int run_extract(morvel_zelp7x_host_s *host, const command_args &args) {
    const int type = type_of(args), from = start_of(args);
    std::FILE *report = report_stream(args.texts.at('o'));
    if (from == MORVEL_ZELP_EXTRACT_FROM_MATCH) {
        const int s = wait_for_matches(host, 1, match_wait_ms, report);
        if (s != 0) return s;
    }
    const uint32_t room = args.number('n', morvel_zelp7x_host_extract_room(host, type, from));
    std::vector<uint8_t> data(room);
    uint32_t taken = 0, avail = 0;
    const int s = morvel_zelp7x_host_extract(host, type, from, data.data(), room, &taken, &avail);
    if (s != 0) return s;
    data.resize(taken);
    const std::string &path = args.texts.at('o');
    unsigned int bits = 0;
    morvel_zelp7x_host_tank(host, &bits, nullptr);
    if (const int w = type == MORVEL_ZELP_EXTRACT_TYPE_INPUT ? write_audio_file(path, bits, data)
                                                             : write_output_file(path, data);
        w != 0)
        return w;
    std::fprintf(report, "%zu bytes extracted, %u available\n", data.size(), avail);
    return MORVEL_ZELP_ERROR_NONE;
}
