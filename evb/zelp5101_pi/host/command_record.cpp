// record -d SECONDS -o FILE [-f unread|newest]: the tank's audio for SECONDS without a break, by
// repeated extractions of the bytes not read yet, into a WAV or raw FILE, with the gaps counted.
#include <chrono>
#include <cstdio>

#include "audio_file.h"
#include "host_commands.h"
#include "tank_recording.h"

namespace {

int start_of(const command_args &args) {
    const auto it = args.texts.find('f');
    return it == args.texts.end() ? MORVEL_ZELP_EXTRACT_FROM_NEWEST
                                  : *recording_start_named(it->second);
}

} // namespace

bool check_record(command_args &args, bool &usage) {
    const auto from = args.texts.find('f');
    if (from != args.texts.end() && !recording_start_named(from->second))
        return refuse_argument("unknown start", from->second, usage);
    return require_option(args, 'd', usage) && require_option(args, 'o', usage);
}

int run_record(host_session &session, const command_args &args) {
    morvel_zelp_device_s *zelp = session.zelp();
    const unsigned bits = tank_sample_bits(zelp->d.zelp7x);
    const std::string &path = args.texts.at('o');
    audio_file out;
    if (const int s = out.open(path, bits); s != 0) return s;
    recording_totals totals;
    if (const int s = record_tank(
            zelp, start_of(args), std::chrono::seconds(args.number('d', 0)),
            [&](std::span<uint8_t> bytes) { return out.write(bytes); }, totals);
        s != 0)
        return s;
    if (const int s = out.finish(); s != 0) return s;
    std::fprintf(report_stream(path), "record: %llu samples, %u gaps\n",
                 static_cast<unsigned long long>(totals.samples), totals.gaps);
    return MORVEL_ZELP_ERROR_NONE;
}
