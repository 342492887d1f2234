// watch [-n COUNT] [-w MS] [--json]: the matches the chip reports, one line each: as text, or as
// one JSON object a line for programs, with the time and the class's label.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "host_commands.h"
#include "json_text.h"
#include "match_wait.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace {

constexpr uint32_t default_count = 1;
constexpr uint32_t default_wait_ms = 10000;
// The host configuration area's size: room for the labels whatever else fills it.
constexpr unsigned labels_capacity = 3072;
// The summary's low bits name the class; bit 7 (ZELP7X_MATCH_NO_TANKPTR) is a flag.
constexpr uint32_t class_mask = 0x7F;

// The class names the chip's host configuration area holds, in class order: each ends with a 0
// byte, and a 0 byte where a name would begin is padding.
int chip_labels(morvel_zelp_device_s *zelp, std::vector<std::string> &labels) {
    std::vector<char> text(labels_capacity);
    morvel_zelp_config_s c{};
    c.labels = text.data();
    c.labels_len = labels_capacity;
    const int s = morvel_zelp_get_config(zelp, &c);
    if (s != 0) return s;
    const size_t stored = std::min<size_t>(c.labels_len, labels_capacity);
    for (size_t at = 0; at < stored && text[at] != '\0';) {
        const size_t n = strnlen(&text[at], stored - at);
        labels.emplace_back(&text[at], n);
        at += n + 1;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

std::string label_of(const std::vector<std::string> &labels, uint32_t cls) {
    return cls < labels.size() ? json_string(labels[cls]) : "null";
}

uint32_t field(uint32_t summary, uint32_t mask, int shift) {
    return (summary & mask) >> shift;
}

} // namespace

int run_watch(host_session &session, const command_args &args) {
    const uint32_t count = args.number('n', default_count);
    const uint32_t wait_ms = args.number('w', default_wait_ms);
    if (!args.has('j')) return wait_for_matches(session, count, wait_ms);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> labels;
    if (const int s = chip_labels(session.zelp(), labels); s != 0) return s;
    // Standard output carries the objects alone.
    match_output out{
        stdout, stderr, [&](std::FILE *lines, uint32_t summary) {
            const std::chrono::duration<double> t = std::chrono::steady_clock::now() - start;
            const uint32_t cls = summary & class_mask;
            std::fprintf(
                lines,
                "{\"seconds\": %.3f, \"class\": %u, \"label\": %s, \"summary\": %u, "
                "\"snr\": %u, \"confidence\": %u, \"noise\": %u}\n",
                t.count(), cls, label_of(labels, cls).c_str(), summary,
                field(summary, ZELP7X_MATCH_SNR_MASK, ZELP7X_MATCH_SNR_SHIFT),
                field(summary, ZELP7X_MATCH_CONFIDENCE_MASK, ZELP7X_MATCH_CONFIDENCE_SHIFT),
                field(summary, ZELP7X_MATCH_NOISE_THRESHOLD_MASK,
                      ZELP7X_MATCH_NOISE_THRESHOLD_SHIFT));
            std::fflush(lines);
        }};
    return wait_for_matches(session, count, wait_ms, out);
}
