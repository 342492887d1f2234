// watch [-n COUNT] [-w MS] [--json]: the matches the chip reports, one line each: as text, or as
// one JSON object a line for programs, with the time and the class's label.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "host_commands.h"
#include "json_text.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr uint32_t default_count = 1;
constexpr uint32_t default_wait_ms = 10000;
// The host configuration area's size: room for the labels whatever else fills it.
constexpr unsigned labels_capacity = MORVEL_ZELP7X_HOST_TEXT_SIZE;

void print_match(std::FILE *lines, const morvel_zelp7x_host_match_s &m) {
    std::fprintf(lines, "match: summary 0x%08x, snr %u, confidence %u, noise %u\n", m.summary,
                 m.snr, m.confidence, m.noise);
}

// The class names the chip's host configuration area holds, in class order: each ends with a 0
// byte, and a 0 byte where a name would begin is padding.
int chip_labels(morvel_zelp7x_host_s *host, std::vector<std::string> &labels) {
    std::vector<uint8_t> bytes(labels_capacity);
    unsigned int stored = 0;
    const int s = morvel_zelp7x_host_labels(host, bytes.data(), labels_capacity, &stored);
    if (s != 0) return s;
    const char *text = reinterpret_cast<const char *>(bytes.data());
    const size_t n_stored = std::min<size_t>(stored, labels_capacity);
    for (size_t at = 0; at < n_stored && text[at] != '\0';) {
        const size_t n = strnlen(&text[at], n_stored - at);
        labels.emplace_back(&text[at], n);
        at += n + 1;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

std::string label_of(const std::vector<std::string> &labels, uint32_t cls) {
    return cls < labels.size() ? json_string(labels[cls]) : "null";
}

} // namespace

int wait_for_matches(morvel_zelp7x_host_s *host, uint32_t count, uint32_t wait_ms,
                     std::FILE *report) {
    return wait_for_matches(host, count, wait_ms, match_output{report, report, {}});
}

int wait_for_matches(morvel_zelp7x_host_s *host, uint32_t count, uint32_t wait_ms,
                     const match_output &output) {
    int s = morvel_zelp7x_host_watch_matches(host);
    if (s != 0) return s;
    const auto deadline = clock_type::now() + std::chrono::milliseconds(wait_ms);
    for (uint32_t seen = 0; seen < count; ++seen) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            std::max(deadline - clock_type::now(), clock_type::duration::zero()));
        int matched = 0;
        morvel_zelp7x_host_match_s match{};
        s = morvel_zelp7x_host_next_match(host, static_cast<uint32_t>(left.count()), &matched,
                                          &match);
        if (s != 0) return s;
        if (!matched) {
            std::fprintf(output.timeout, "no match within %u ms\n", wait_ms);
            return failure_reported;
        }
        if (output.print)
            output.print(output.lines, match);
        else
            print_match(output.lines, match);
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int run_watch(morvel_zelp7x_host_s *host, const command_args &args) {
    const uint32_t count = args.number('n', default_count);
    const uint32_t wait_ms = args.number('w', default_wait_ms);
    if (!args.has('j')) return wait_for_matches(host, count, wait_ms);
    const auto start = clock_type::now();
    std::vector<std::string> labels;
    if (const int s = chip_labels(host, labels); s != 0) return s;
    // Standard output carries the objects alone.
    match_output out{stdout, stderr, [&](std::FILE *lines, const morvel_zelp7x_host_match_s &m) {
                         const std::chrono::duration<double> t = clock_type::now() - start;
                         std::fprintf(lines,
                                      "{\"seconds\": %.3f, \"class\": %u, \"label\": %s, "
                                      "\"summary\": %u, \"snr\": %u, \"confidence\": %u, "
                                      "\"noise\": %u}\n",
                                      t.count(), m.class_index,
                                      label_of(labels, m.class_index).c_str(), m.summary, m.snr,
                                      m.confidence, m.noise);
                         std::fflush(lines);
                     }};
    return wait_for_matches(host, count, wait_ms, out);
}
