// Mailbox protocol with the zelp7x firmware: two one-byte registers carry two independent
// channels of 3-bit messages (host requests and firmware requests), each message announced by
// toggling that channel's owner bit. Data rides 2 bits per DATA message, least significant first.
#include <array>

#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using zelp7x::record;

constexpr uint8_t owner_h2m = MORVEL_ZELP7X_MB_HOST_TO_MCU_OWNER;
constexpr uint8_t owner_m2h = MORVEL_ZELP7X_MB_MCU_TO_HOST_OWNER;

bool is_data(uint8_t code) {
    return (code & MORVEL_ZELP7X_MB_REQUEST_DATA) != 0;
}

bool receiving(const morvel_zelp7x_device_mb_state_s &mb) {
    return mb.index < mb.bits && !mb.out;
}

bool sending(const morvel_zelp7x_device_mb_state_s &mb) {
    return mb.index < mb.bits && mb.out;
}

// A message fits the channel's state when DATA arrives exactly while receiving and CONT
// exactly while sending; this also keeps every data step inside the 32-bit buffer.
bool expected(const morvel_zelp7x_device_mb_state_s &mb, uint8_t code) {
    return receiving(mb) == is_data(code) && sending(mb) == (code == MORVEL_ZELP7X_MB_REQUEST_CONT);
}

// Posts a message on a channel: new code in its field, owner bit flipped, other half kept.
uint8_t post_h2m(uint8_t mbin, uint8_t code) {
    return static_cast<uint8_t>(code | ((mbin & 0xF8) ^ owner_h2m));
}

uint8_t post_m2h(uint8_t mbin, uint8_t code) {
    return static_cast<uint8_t>((code << MORVEL_ZELP7X_MB_MCU_TO_HOST_S) |
                                ((mbin & 0x8F) ^ owner_m2h));
}

// ---- Firmware requests (m2h): each handler returns the host's response ------------------------

using M2hHandler = uint8_t (*)(morvel_zelp7x_device_s &z, uint8_t r);

uint8_t m2h_nop(morvel_zelp7x_device_s &, uint8_t) {
    return MORVEL_ZELP7X_MB_RESPONSE_SUCCESS;
}

uint8_t m2h_cont(morvel_zelp7x_device_s &z, uint8_t) {
    int last = 0;
    return morvel_zelp7x_tx_next_mb_data(&z.mb[ZELP7X_M2H], &last);
}

uint8_t m2h_match(morvel_zelp7x_device_s &z, uint8_t) {
    ++z.matches;
    return MORVEL_ZELP7X_MB_RESPONSE_SUCCESS;
}

uint8_t m2h_extop(morvel_zelp7x_device_s &z, uint8_t) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_M2H];
    morvel_zelp7x_rx_mb_data(&mb, 6);
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_EXTOP;
    return MORVEL_ZELP7X_MB_RESPONSE_CONT;
}

// An extended request from the firmware is traced and otherwise ignored.
uint8_t m2h_data(morvel_zelp7x_device_s &z, uint8_t r) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_M2H];
    int last = 0;
    morvel_zelp7x_rx_next_mb_data(&mb, r, &last);
    if (!last) return MORVEL_ZELP7X_MB_RESPONSE_CONT;
    morvel_zelp7x_mb_data_trace(ZELP7X_M2H, mb.data, mb.bits);
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE;
    return MORVEL_ZELP7X_MB_RESPONSE_SUCCESS;
}

constexpr std::array<M2hHandler, 8> m2h_handlers = {
    m2h_nop, m2h_cont, m2h_match, m2h_extop, m2h_data, m2h_data, m2h_data, m2h_data,
};

uint8_t m2h_unexpected(morvel_zelp7x_device_s &z, uint8_t r) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_M2H];
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_ERROR;
    // The firmware pulls the error code with CONT requests.
    const uint8_t code = MORVEL_ZELP7X_MB_ERROR_UNEXPECTED;
    morvel_zelp7x_tx_mb_data(&mb, 6, &code);
    morvel_zelp7x_inc_uint8(&mb.unexpected);
    morvel_zelp7x_mb_unexpected_trace(ZELP7X_M2H, r, mb.bits - mb.index);
    return MORVEL_ZELP7X_MB_RESPONSE_ERROR;
}

// ---- Firmware answers to the host's request (h2m) ---------------------------------------------

struct H2mStep {
    uint8_t send = MORVEL_ZELP7X_MB_NONE; // request to post next, or none
    bool done = false;                    // the host's request has ended
};

using H2mHandler = H2mStep (*)(morvel_zelp7x_device_s &z, uint8_t r);

H2mStep h2m_success(morvel_zelp7x_device_s &, uint8_t) {
    return {MORVEL_ZELP7X_MB_NONE, true};
}

// The firmware pulls the next data bits; after MIADDR's last bits it sends the address.
H2mStep h2m_cont(morvel_zelp7x_device_s &z, uint8_t) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_H2M];
    int last = 0;
    const uint8_t code = morvel_zelp7x_tx_next_mb_data(&mb, &last);
    if (last && mb.op == MORVEL_ZELP7X_DEVICE_MB_OP_MIADDR) {
        mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_ADDR;
        morvel_zelp7x_rx_mb_data(&mb, MORVEL_ZELP7X_DEVICE_MAX_DATA);
    }
    return {code, false};
}

H2mStep h2m_error(morvel_zelp7x_device_s &z, uint8_t) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_H2M];
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_ERROR;
    morvel_zelp7x_rx_mb_data(&mb, 6);
    return {MORVEL_ZELP7X_MB_REQUEST_CONT, false};
}

H2mStep h2m_unused(morvel_zelp7x_device_s &, uint8_t) {
    return {};
}

H2mStep h2m_data(morvel_zelp7x_device_s &z, uint8_t r) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_H2M];
    int last = 0;
    morvel_zelp7x_rx_next_mb_data(&mb, r, &last);
    if (!last) return {MORVEL_ZELP7X_MB_REQUEST_CONT, false};
    switch (mb.phase) {
    case MORVEL_ZELP7X_DEVICE_MB_PHASE_FLUSH:
        return {MORVEL_ZELP7X_MB_NONE, true};
    case MORVEL_ZELP7X_DEVICE_MB_PHASE_ADDR:
        morvel_zelp7x_mb_data_trace(ZELP7X_H2M, mb.data, mb.bits);
        return {MORVEL_ZELP7X_MB_NONE, true};
    case MORVEL_ZELP7X_DEVICE_MB_PHASE_ERROR:
        mb.error = MORVEL_ZELP_ERROR_FAIL;
        morvel_zelp7x_mb_error_trace(ZELP7X_H2M, mb.data[0]);
        return {MORVEL_ZELP7X_MB_NONE, true};
    default:
        return {};
    }
}

constexpr std::array<H2mHandler, 8> h2m_handlers = {
    h2m_success, h2m_cont, h2m_error, h2m_unused, h2m_data, h2m_data, h2m_data, h2m_data,
};

// Abandon the data in flight and flush with a NOP; the firmware's SUCCESS to it ends the request,
// which then reports failure.
H2mStep h2m_unexpected(morvel_zelp7x_device_s &z, uint8_t r) {
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_H2M];
    morvel_zelp7x_mb_unexpected_trace(ZELP7X_H2M, r, mb.bits - mb.index);
    morvel_zelp7x_inc_uint8(&mb.unexpected);
    mb.error = MORVEL_ZELP_ERROR_FAIL;
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_FLUSH;
    mb.bits = mb.index;
    return {MORVEL_ZELP7X_MB_REQUEST_NOP, false};
}

// ---- Host requests ------------------------------------------------------------------------

struct RequestKind {
    uint8_t req;
    uint8_t op;
};

constexpr std::array<RequestKind, 3> supported_requests = {{
    {MORVEL_ZELP7X_MB_REQUEST_NOP, MORVEL_ZELP7X_DEVICE_MB_OP_NOP},
    {MORVEL_ZELP7X_MB_REQUEST_SER, MORVEL_ZELP7X_DEVICE_MB_OP_SER},
    {MORVEL_ZELP7X_MB_REQUEST_MIADDR, MORVEL_ZELP7X_DEVICE_MB_OP_MIADDR},
}};

uint8_t op_of(uint8_t req) {
    for (const RequestKind &k : supported_requests)
        if (k.req == req) return k.op;
    return MORVEL_ZELP7X_DEVICE_MB_OP_NONE;
}

// The address answer is complete once all 32 bits have come in and the phase closed.
bool address_received(const morvel_zelp7x_device_mb_state_s &mb) {
    return mb.phase == MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE && !mb.out &&
           mb.bits == MORVEL_ZELP7X_DEVICE_MAX_DATA && mb.index == mb.bits;
}

int post_request(morvel_zelp_device_s *zelp, uint8_t req) {
    morvel_zelp7x_device_s &z = record(zelp);
    morvel_zelp7x_device_mb_state_s &mb = z.mb[ZELP7X_H2M];
    mb.error = 0;
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_OP;
    if (req > MORVEL_ZELP7X_MB_REQUEST_DATA + 3) {
        // Extended request: EXTOP now, its value in 6 data bits pulled by the firmware.
        morvel_zelp7x_mb_request_trace(ZELP7X_H2M, req);
        morvel_zelp7x_tx_mb_data(&mb, 6, &req);
        req = MORVEL_ZELP7X_MB_REQUEST_EXTOP;
        mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_EXTOP;
    }
    morvel_zelp7x_mb_request_trace(ZELP7X_H2M, req);
    const uint8_t byte = post_h2m(z.mbin, req);
    int s = zelp7x::write_spi(zelp, ZELP7X_SPI_MBIN, byte);
    if (s != 0) return s;
    z.mbin = byte;
    s = morvel_zelp7x_mbwait(zelp);
    if (s != 0) return s;
    if (mb.op == MORVEL_ZELP7X_DEVICE_MB_OP_MIADDR && mb.error == 0) {
        // A host whose mbwait returns before the answer leaves the buffer half filled (or still
        // holding the request's own bits): never take that for an address.
        if (!address_received(mb)) return MORVEL_ZELP_ERROR_FAIL;
        z.fw_pointers_addr = zelp7x::load_le32(mb.data);
    }
    return mb.error;
}

} // namespace

extern "C" {

void morvel_zelp7x_inc_uint8(uint8_t *p) {
    if (*p != 255) ++*p;
}

void morvel_zelp7x_tx_mb_data(morvel_zelp7x_device_mb_state_s *mb, unsigned int bits,
                              const uint8_t *data) {
    if (bits > MORVEL_ZELP7X_DEVICE_MAX_DATA) bits = MORVEL_ZELP7X_DEVICE_MAX_DATA;
    mb->out = 1;
    mb->index = 0;
    mb->bits = static_cast<uint8_t>(bits);
    for (unsigned int i = 0; i < (bits + 7) / 8; ++i) mb->data[i] = data[i];
}

void morvel_zelp7x_rx_mb_data(morvel_zelp7x_device_mb_state_s *mb, unsigned int bits) {
    if (bits > MORVEL_ZELP7X_DEVICE_MAX_DATA) bits = MORVEL_ZELP7X_DEVICE_MAX_DATA;
    mb->out = 0;
    mb->index = 0;
    mb->bits = static_cast<uint8_t>(bits);
    for (unsigned int i = 0; i < (bits + 7) / 8; ++i) mb->data[i] = 0;
}

uint8_t morvel_zelp7x_tx_next_mb_data(morvel_zelp7x_device_mb_state_s *mb, int *last) {
    const unsigned int index = mb->index;
    const uint8_t code = static_cast<uint8_t>(MORVEL_ZELP7X_MB_REQUEST_DATA |
                                              ((mb->data[index / 8] >> (index % 8)) & 3));
    mb->index = static_cast<uint8_t>(index + 2);
    *last = mb->index == mb->bits;
    return code;
}

void morvel_zelp7x_rx_next_mb_data(morvel_zelp7x_device_mb_state_s *mb, uint8_t d, int *last) {
    const unsigned int index = mb->index;
    const unsigned int shift = index % 8;
    uint8_t &byte = mb->data[index / 8];
    byte = static_cast<uint8_t>((byte & ~(3u << shift)) | ((d & 3u) << shift));
    mb->index = static_cast<uint8_t>(index + 2);
    *last = mb->index == mb->bits;
}

uint8_t morvel_zelp7x_do_mcu_to_host(morvel_zelp7x_device_s *zelp7x, uint8_t mbin_resp,
                                     uint8_t mbin_next) {
    const uint8_t r = static_cast<uint8_t>((mbin_resp & MORVEL_ZELP7X_MB_MCU_TO_HOST_M) >>
                                           MORVEL_ZELP7X_MB_MCU_TO_HOST_S);
    morvel_zelp7x_mb_request_trace(ZELP7X_M2H, r);
    const uint8_t response = expected(zelp7x->mb[ZELP7X_M2H], r) ? m2h_handlers[r](*zelp7x, r)
                                                                 : m2h_unexpected(*zelp7x, r);
    morvel_zelp7x_mb_response_trace(ZELP7X_M2H, response);
    return post_m2h(mbin_next, response);
}

uint8_t morvel_zelp7x_do_host_to_mcu(morvel_zelp7x_device_s *zelp7x, uint8_t mbin_resp,
                                     uint8_t mbin_next, int *wake) {
    const uint8_t r = mbin_resp & MORVEL_ZELP7X_MB_HOST_TO_MCU_M;
    morvel_zelp7x_device_mb_state_s &mb = zelp7x->mb[ZELP7X_H2M];
    morvel_zelp7x_mb_response_trace(ZELP7X_H2M, r);
    // An ERROR answer is always taken: it ends the request whatever was in flight.
    const bool take = expected(mb, r) || r == MORVEL_ZELP7X_MB_RESPONSE_ERROR;
    const H2mStep step = take ? h2m_handlers[r](*zelp7x, r) : h2m_unexpected(*zelp7x, r);
    if (step.send != MORVEL_ZELP7X_MB_NONE) {
        morvel_zelp7x_mb_request_trace(ZELP7X_H2M, step.send);
        mbin_next = post_h2m(mbin_next, step.send);
    }
    if (step.done) mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE;
    *wake = step.done;
    return mbin_next;
}

int morvel_zelp7x_do_mailboxes(morvel_zelp_device_s *zelp, int *wake) {
    int ignored_wake = 0;
    if (wake == nullptr) wake = &ignored_wake;
    morvel_zelp7x_device_s &z = record(zelp);
    uint8_t resp = 0;
    int s = zelp7x::read_spi(zelp, ZELP7X_SPI_MBIN_RESP, &resp);
    if (s != 0) return s;
    const uint8_t changed = resp ^ z.mbin_resp;
    uint8_t next = z.mbin;
    if (changed & owner_m2h) next = morvel_zelp7x_do_mcu_to_host(&z, resp, next);
    *wake = 0;
    if (changed & owner_h2m) next = morvel_zelp7x_do_host_to_mcu(&z, resp, next, wake);
    if (next != z.mbin) {
        s = zelp7x::write_spi(zelp, ZELP7X_SPI_MBIN, next);
        if (s != 0) return s;
        z.mbin = next;
    }
    z.mbin_resp = resp;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_do_mailbox_req_no_sync(morvel_zelp_device_s *zelp, uint8_t req) {
    morvel_zelp7x_device_mb_state_s &mb = record(zelp).mb[ZELP7X_H2M];
    int s = MORVEL_ZELP_ERROR_FAIL;
    const bool idle =
        mb.op == MORVEL_ZELP7X_DEVICE_MB_OP_NONE && mb.phase == MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE;
    if (idle) {
        mb.op = op_of(req);
        if (mb.op != MORVEL_ZELP7X_DEVICE_MB_OP_NONE) s = post_request(zelp, req);
    }
    // Whatever happened, the next request starts from a clean channel.
    mb.op = MORVEL_ZELP7X_DEVICE_MB_OP_NONE;
    mb.phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE;
    return s;
}

int morvel_zelp7x_do_mailbox_req(morvel_zelp_device_s *zelp, uint8_t req) {
    return devlib::with_host_lock(zelp->iif,
                                  [&] { return morvel_zelp7x_do_mailbox_req_no_sync(zelp, req); });
}

int morvel_zelp7x_mb_nop(morvel_zelp_device_s *zelp) {
    if (zelp == nullptr) return MORVEL_ZELP_ERROR_UNINIT;
    return morvel_zelp7x_do_mailbox_req(zelp, MORVEL_ZELP7X_MB_REQUEST_NOP);
}

} // extern "C"
