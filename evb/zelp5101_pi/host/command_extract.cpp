// extract input|features|static|accel [-f match|unread|oldest|newest] [-n BYTES] -o FILE: bytes
// out of the tank, the sensor ring or a feature area into FILE. From match it first waits for the
// next match, as watch -n 1 does, and takes the bytes that end at it.
#include <cstdio>
#include <string>
#include <vector>

#include "audio_file.h"
#include "extraction.h"
#include "host_commands.h"
#include "match_wait.h"

namespace {

constexpr uint32_t match_wait_ms = 10000;

int start_of(const command_args &args) {
    const auto it = args.texts.find('f');
    return it == args.texts.end() ? MORVEL_ZELP_EXTRACT_FROM_NEWEST
                                  : *extract_start_named(it->second);
}

} // namespace

bool check_extract(command_args &args, bool &usage) {
    const auto source = extract_source_named(args.operands[0]);
    if (!source) return refuse_argument("unknown extraction", args.operands[0], usage);
    const auto from = args.texts.find('f');
    if (from != args.texts.end() && !extract_start_named(from->second))
        return refuse_argument("unknown start", from->second, usage);
    if (args.number('n', 0) % 4 != 0)
        return refuse_argument("not a multiple of 4", std::to_string(args.number('n', 0)), usage);
    // The sensor ring's samples carry no match position.
    if (source->type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL &&
        start_of(args) == MORVEL_ZELP_EXTRACT_FROM_MATCH)
        return refuse_argument("no match position in", args.operands[0], usage);
    return require_option(args, 'o', usage);
}

int run_extract(host_session &session, const command_args &args) {
    morvel_zelp_device_s *zelp = session.zelp();
    const extract_source source = *extract_source_named(args.operands[0]);
    const int from = start_of(args);
    std::FILE *report = report_stream(args.texts.at('o'));
    if (from == MORVEL_ZELP_EXTRACT_FROM_MATCH) {
        const int s = wait_for_matches(session, 1, match_wait_ms, report);
        if (s != 0) return s;
    }
    const uint32_t room = args.number('n', default_room(source, from, zelp->d.zelp7x));
    std::vector<uint8_t> data;
    unsigned int avail = 0;
    const int s = extract_bytes(zelp, source.type, from, room, data, avail);
    if (s != 0) return s;
    const std::string &path = args.texts.at('o');
    if (const int w = source.type == MORVEL_ZELP_EXTRACT_TYPE_INPUT
                          ? write_audio_file(path, tank_sample_bits(zelp->d.zelp7x), data)
                          : write_output_file(path, data);
        w != 0)
        return w;
    std::fprintf(report, "%zu bytes extracted, %u available\n", data.size(), avail);
    return MORVEL_ZELP_ERROR_NONE;
}
