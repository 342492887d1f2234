// The firmware's side of the two-channel mailbox in mbin/mbin_resp. Host-to-firmware requests
// arrive with a flip of mbin bit 3 and are answered in mbin_resp bits 0-2 with bit 3 set to the
// request's owner bit; firmware-to-host requests go out in mbin_resp bits 4-6 with a flip of bit 7
// and the host answers them in mbin bits 4-6 with its own flip of bit 7. Data moves 2 bits per
// DATA message (codes 4 to 7), least significant first.
#pragma once

#include <cstdint>
#include <functional>

#include "chip/chip.h"

namespace zsim {

class FirmwareMailbox {
  public:
    // Message codes, both directions.
    static constexpr uint8_t NOP = 0, CONT = 1, SER = 2, EXTOP = 3, DATA = 4, MATCH = 2;
    static constexpr uint8_t SUCCESS = 0, ERROR = 2;
    static constexpr uint8_t ERROR_FAIL = 0, ERROR_UNEXPECTED = 1;
    static constexpr uint32_t MIADDR = 8; // the one extended request: the pointer table address

    // What the firmware does for a request. `nop` and `serial` return false for a failure, which
    // is answered with ERROR FAIL.
    struct Services {
        std::function<bool()> nop;
        std::function<bool()> serial;
        uint32_t pointer_table = 0;
    };

    FirmwareMailbox(Chip &chip, Services services) : chip_(chip), services_(std::move(services)) {}

    // The firmware (re)starts its mailbox: takes mbin as it stands as the host's last message and
    // clears its own byte, the counterpart of the host writing 0 to mbin before it talks to a new
    // firmware.
    void start();
    // The host wrote mbin.
    void on_mbin(uint8_t value);

    // Posts a firmware-to-host request (MATCH, NOP); false while the last one is unanswered.
    bool post_request(uint8_t code);
    bool request_pending() const { return request_pending_; }
    // The host's answer to the last firmware-to-host request.
    uint8_t host_answer() const { return host_answer_; }

  private:
    enum class Phase { idle, receiving, sending };

    void take_request(uint8_t code, uint8_t owner);
    void start_request(uint8_t code);
    void run_extended();
    void send_next();
    void send_error(uint8_t error);
    void answer(uint8_t code);

    Chip &chip_;
    Services services_;
    uint8_t seen_ = 0;  // mbin as last taken
    uint8_t owner_ = 0; // owner bit of the host request being answered
    Phase phase_ = Phase::idle;
    uint32_t data_ = 0;
    unsigned bits_ = 0; // bits received, or bits still to send
    bool request_pending_ = false;
    uint8_t host_answer_ = 0;
};

} // namespace zsim
