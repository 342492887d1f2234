// Mailbox trace lines and counters. The counters are process-wide and count whatever the trace
// level, so a status query can report protocol health without tracing.
#include <array>
#include <cstdio>

#include "zelp7x/zelp7x_internal.h"

extern "C" {

int morvel_zelp7x_mailbox_trace = 0;
uint32_t morvel_zelp7x_mailbox_req_number[2] = {0, 0};
uint32_t morvel_zelp7x_mailbox_rsp_number[2] = {0, 0};
uint32_t morvel_zelp7x_mailbox_unexpected[2] = {0, 0};
uint32_t morvel_zelp7x_mailbox_error[2] = {0, 0};

} // extern "C"

namespace {

constexpr std::array<const char *, 2> mailbox_dir = {"h2m", "m2h"};
constexpr std::array<const char *, 9> h2m_reqs = {
    "nop", "cont", "ser", "extop", "data(0)", "data(1)", "data(2)", "data(3)", "miaddr",
};
constexpr std::array<const char *, 8> m2h_reqs = {
    "nop", "cont", "match", "extop", "data(0)", "data(1)", "data(2)", "data(3)",
};
constexpr std::array<const char *, 8> rsps = {
    "success", "cont", "error", "ILLEGAL(3)", "data(0)", "data(1)", "data(2)", "data(3)",
};
constexpr std::array<const char *, 2> errors = {"fail", "unexpected"};

constexpr unsigned highest_request = 7;

int dir_index(int m2h) {
    return m2h ? ZELP7X_M2H : ZELP7X_H2M;
}

bool tracing() {
    return morvel_zelp7x_mailbox_trace != 0;
}

bool full_trace() {
    return morvel_zelp7x_mailbox_trace >= 2;
}

// The terse level leaves out the data-carrying chatter of a request or answer.
bool is_chatter(uint8_t code, uint8_t second_quiet_code) {
    return code == 1 || code == second_quiet_code || (code >= 4 && code <= 7);
}

// A name from the table, or the code itself when the table has none; ends the line.
template <std::size_t N>
void print_name(const std::array<const char *, N> &names, unsigned code) {
    if (code < N)
        std::puts(names[code]);
    else
        std::printf("ILLEGAL(%d)\n", static_cast<int>(code));
}

} // namespace

extern "C" {

void morvel_zelp7x_mb_request_trace(int m2h, uint8_t r) {
    const int dir = dir_index(m2h);
    const uint32_t number = morvel_zelp7x_mailbox_req_number[dir];
    // MIADDR is traced ahead of the EXTOP that carries it; only the code on the wire counts.
    if (r <= highest_request) ++morvel_zelp7x_mailbox_req_number[dir];
    if (!tracing()) return;
    if (!full_trace() && is_chatter(r, MORVEL_ZELP7X_MB_REQUEST_EXTOP)) return;
    std::printf("%s req  %u: ", mailbox_dir[dir], static_cast<unsigned>(number));
    if (dir == ZELP7X_M2H)
        print_name(m2h_reqs, r);
    else
        print_name(h2m_reqs, r);
}

void morvel_zelp7x_mb_response_trace(int m2h, uint8_t r) {
    const int dir = dir_index(m2h);
    const uint32_t number = morvel_zelp7x_mailbox_rsp_number[dir]++;
    if (!tracing()) return;
    if (!full_trace() && is_chatter(r, MORVEL_ZELP7X_MB_RESPONSE_ERROR)) return;
    std::printf("%s rsp  %u: ", mailbox_dir[dir], static_cast<unsigned>(number));
    print_name(rsps, r);
}

void morvel_zelp7x_mb_data_trace(int m2h, const uint8_t *data, unsigned int bits) {
    if (!tracing()) return;
    const int dir = dir_index(m2h);
    const unsigned bytes = (bits + 7) / 8;
    std::printf("%s data %u: ", mailbox_dir[dir],
                static_cast<unsigned>(morvel_zelp7x_mailbox_rsp_number[dir]));
    if (bits > MORVEL_ZELP7X_DEVICE_MAX_DATA) {
        for (unsigned i = 0; i < bytes; ++i) std::printf("0x%02x ", data[i]);
    } else {
        uint32_t value = 0;
        for (unsigned i = 0; i < bytes; ++i) value |= uint32_t(data[i]) << (8 * i);
        std::printf("0x%x", static_cast<unsigned>(value));
    }
    std::putchar('\n');
}

void morvel_zelp7x_mb_unexpected_trace(int m2h, uint8_t r, unsigned int bits) {
    const int dir = dir_index(m2h);
    ++morvel_zelp7x_mailbox_unexpected[dir];
    if (!tracing()) return;
    // Numbered by the counter of the message that was unexpected: a request from the firmware,
    // or an answer to the host.
    const uint32_t number = dir == ZELP7X_M2H ? morvel_zelp7x_mailbox_req_number[ZELP7X_M2H]
                                              : morvel_zelp7x_mailbox_rsp_number[ZELP7X_H2M];
    std::printf("%s unex %u: %d message unexpected, %d data bits remaining\n", mailbox_dir[dir],
                static_cast<unsigned>(number), static_cast<int>(r), static_cast<int>(bits));
}

void morvel_zelp7x_mb_error_trace(int m2h, uint8_t e) {
    const int dir = dir_index(m2h);
    ++morvel_zelp7x_mailbox_error[dir];
    if (!tracing()) return;
    std::printf("%s err  %u: ", mailbox_dir[dir],
                static_cast<unsigned>(morvel_zelp7x_mailbox_rsp_number[dir]));
    print_name(errors, e);
}

} // extern "C"
