// record -d SECONDS -o FILE [-f unread|newest]: the tank's audio for SECONDS without a break, by
// repeated extractions of the bytes not read yet, into a WAV or raw FILE, with the gaps counted.
#include <cstdio>
#include <span>

#include "audio_file.h"
#include "host_commands.h"

namespace {

constexpr uint32_t ms_per_second = 1000;

int start_of(const command_args &args) {
    int from = MORVEL_ZELP_EXTRACT_FROM_NEWEST;
    const auto it = args.texts.find('f');
    if (it != args.texts.end()) morvel_zelp7x_host_record_start_named(it->second.c_str(), &from);
    return from;
}

int write_sound(uint8_t *bytes, size_t count, void *user) {
    return static_cast<audio_file *>(user)->write(std::span(bytes, count));
}

} // namespace

bool check_record(command_args &args, bool &usage) {
    int from = 0;
    const auto it = args.texts.find('f');
    if (it != args.texts.end() &&
        morvel_zelp7x_host_record_start_named(it->second.c_str(), &from) != 0)
        return refuse_argument("unknown start", it->second, usage);
    return require_option(args, 'd', usage) && require_option(args, 'o', usage);
}

int run_record(morvel_zelp7x_host_s *host, const command_args &args) {
    unsigned int bits = 0;
    if (const int s = morvel_zelp7x_host_tank(host, &bits, nullptr); s != 0) return s;
    const std::string &path = args.texts.at('o');
    audio_file out;
    if (const int s = out.open(path, bits); s != 0) return s;
    morvel_zelp7x_host_recording_s totals{};
    if (const int s = morvel_zelp7x_host_record(
            host, start_of(args), args.number('d', 0) * ms_per_second, write_sound, &out, &totals);
        s != 0)
        return s;
    if (const int s = out.finish(); s != 0) return s;
    std::fprintf(report_stream(path), "record: %llu samples, %u gaps\n",
                 static_cast<unsigned long long>(totals.samples), totals.gaps);
    return MORVEL_ZELP_ERROR_NONE;
}
