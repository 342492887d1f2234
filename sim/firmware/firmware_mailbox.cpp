#include "firmware/firmware_mailbox.h"

namespace zsim {

namespace {
constexpr uint8_t H2M_OWNER = 0x08;
constexpr uint8_t M2H_OWNER = 0x80;
constexpr uint8_t H2M_CODE = 0x07;
constexpr unsigned EXTENDED_BITS = 6;
constexpr unsigned ADDRESS_BITS = 32;
constexpr unsigned ERROR_BITS = 6;
} // namespace

void FirmwareMailbox::start() {
    seen_ = chip_.peek_spi(Chip::MBIN);
    phase_ = Phase::idle;
    bits_ = 0;
    request_pending_ = false;
    chip_.chip_post(Chip::MBIN_RESP, 0);
}

void FirmwareMailbox::on_mbin(uint8_t value) {
    const uint8_t changed = value ^ seen_;
    seen_ = value;
    if (changed & M2H_OWNER) {
        request_pending_ = false;
        host_answer_ = (value >> 4) & 7;
    }
    if (changed & H2M_OWNER) take_request(value & H2M_CODE, value & H2M_OWNER);
}

void FirmwareMailbox::take_request(uint8_t code, uint8_t owner) {
    owner_ = owner;
    if (phase_ == Phase::receiving && code >= DATA) {
        data_ |= uint32_t(code & 3) << bits_;
        bits_ += 2;
        if (bits_ < EXTENDED_BITS)
            answer(CONT);
        else
            run_extended();
        return;
    }
    if (phase_ == Phase::sending && code == CONT) {
        send_next();
        return;
    }
    // Anything else opens a new request; a transfer the host gave up on is dropped, which is how
    // the host's flush (a NOP after an unexpected answer) gets the channel back.
    phase_ = Phase::idle;
    start_request(code);
}

void FirmwareMailbox::start_request(uint8_t code) {
    switch (code) {
    case NOP:
        services_.nop && !services_.nop() ? send_error(ERROR_FAIL) : answer(SUCCESS);
        return;
    case SER:
        // Modelled: with no serial device attached a serial request fails.
        services_.serial &&services_.serial() ? answer(SUCCESS) : send_error(ERROR_FAIL);
        return;
    case EXTOP:
        phase_ = Phase::receiving;
        data_ = 0;
        bits_ = 0;
        answer(CONT);
        return;
    default: // CONT or DATA with no transfer under way
        send_error(ERROR_UNEXPECTED);
        return;
    }
}

void FirmwareMailbox::run_extended() {
    if (data_ != MIADDR) {
        send_error(ERROR_UNEXPECTED);
        return;
    }
    data_ = services_.pointer_table;
    bits_ = ADDRESS_BITS;
    phase_ = Phase::sending;
    send_next();
}

void FirmwareMailbox::send_next() {
    answer(static_cast<uint8_t>(DATA | (data_ & 3)));
    data_ >>= 2;
    bits_ -= 2;
    if (bits_ == 0) phase_ = Phase::idle;
}

// ERROR, then the error code as data that the host pulls with CONT.
void FirmwareMailbox::send_error(uint8_t error) {
    answer(ERROR);
    data_ = error;
    bits_ = ERROR_BITS;
    phase_ = Phase::sending;
}

void FirmwareMailbox::answer(uint8_t code) {
    const uint8_t resp = chip_.peek_spi(Chip::MBIN_RESP);
    chip_.chip_post(Chip::MBIN_RESP, static_cast<uint8_t>((resp & 0xF0) | owner_ | code));
}

bool FirmwareMailbox::post_request(uint8_t code) {
    if (request_pending_) return false;
    const uint8_t resp = chip_.peek_spi(Chip::MBIN_RESP);
    chip_.chip_post(
        Chip::MBIN_RESP,
        static_cast<uint8_t>((resp & 0x0F) | ((resp & M2H_OWNER) ^ M2H_OWNER) | (code & 7) << 4));
    request_pending_ = true;
    return true;
}

} // namespace zsim
