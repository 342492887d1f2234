// A transfer to an I2C or SPI device attached to the chip, carried out by the firmware: the host
// fills the serial record in the firmware state block, sends a mailbox NOP, and the firmware runs
// the request while it handles the NOP. A request moves at most 12 bytes each way, so a longer
// transfer is a chain of requests, each but the last keeping the device selected.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp7x/zelp7x_internal.h"

namespace {

using namespace zelp7x;

constexpr unsigned int byte_max = ZELP7X_FW_SERIAL_BYTE_MAX;

// Indexed by the control word's status field.
constexpr std::array<int, 4> error_of_status = {
    MORVEL_ZELP_ERROR_NONE,    // success
    MORVEL_ZELP_ERROR_TIMEOUT, // the device did not answer in time
    MORVEL_ZELP_ERROR_FAIL,    // error
    MORVEL_ZELP_ERROR_FAIL,    // 3
};

struct Request {
    std::span<const uint8_t> out;
    unsigned int nin;
    bool keep_selected;
};

uint32_t control_word(uint8_t address, const Request &r) {
    return ZELP7X_FW_SERIAL_CONTROL_RUN |
           (r.keep_selected ? ZELP7X_FW_SERIAL_CONTROL_CONTINUE : 0u) |
           uint32_t{address} << ZELP7X_FW_SERIAL_CONTROL_ADDRESS_S |
           uint32_t(r.out.size()) << ZELP7X_FW_SERIAL_CONTROL_OUT_LEN_S |
           uint32_t{r.nin} << ZELP7X_FW_SERIAL_CONTROL_IN_LEN_S;
}

// One request through the record; the input bytes land in `in`.
int run_request(morvel_zelp_device_s *zelp, uint8_t address, const Request &r, uint8_t *in) {
    const uint32_t at = record(zelp).fw_state_addr + ZELP7X_FW_STATE_SERIAL;
    std::array<uint8_t, sizeof(zelp7x_fw_serial_s)> rec{};
    store_le32(rec.data(), control_word(address, r));
    std::copy(r.out.begin(), r.out.end(), rec.begin() + 4);
    int s = morvel_zelp7x_write_block(zelp, MCU, at, rec.data(), rec.size());
    if (s == 0) s = morvel_zelp7x_do_mailbox_req_no_sync(zelp, MORVEL_ZELP7X_MB_REQUEST_NOP);
    if (s != 0) return s;
    // The control word and the input bytes, in whole words.
    const unsigned int back = 4 + (r.nin + 3) / 4 * 4;
    s = morvel_zelp7x_read_block(zelp, MCU, at, rec.data(), back);
    if (s != 0) return s;
    const uint32_t control = load_le32(rec.data());
    if (control & ZELP7X_FW_SERIAL_CONTROL_RUN) return MORVEL_ZELP_ERROR_FAIL;
    s = error_of_status[(control & ZELP7X_FW_SERIAL_CONTROL_STATUS_M) >>
                        ZELP7X_FW_SERIAL_CONTROL_STATUS_S];
    if (s == 0 && r.nin != 0) std::memcpy(in, rec.data() + 4, r.nin);
    return s;
}

// All output goes first; the first input rides with the last output.
int run_transfer(morvel_zelp_device_s *zelp, uint8_t address, std::span<const uint8_t> out,
                 std::span<uint8_t> in, bool keep_selected) {
    size_t sent = 0, received = 0;
    while (sent < out.size() || received < in.size()) {
        const size_t nout = std::min<size_t>(out.size() - sent, byte_max);
        const bool output_done = sent + nout == out.size();
        const size_t nin = output_done ? std::min<size_t>(in.size() - received, byte_max) : 0;
        const bool more = !output_done || received + nin < in.size();
        const Request r{out.subspan(sent, nout), static_cast<unsigned int>(nin),
                        more || keep_selected};
        const int s = run_request(zelp, address, r, in.data() + received);
        if (s != 0) return s;
        sent += nout;
        received += nin;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace

extern "C" {

int morvel_zelp7x_serial_transfer(morvel_zelp_device_s *zelp, unsigned int ifc_type,
                                  unsigned int ifc_addr, uint8_t *out, unsigned int outlen,
                                  uint8_t *in, unsigned int inlen, int continue_) {
    if (zelp == nullptr || zelp->init == 0 || record(zelp).fw_state_addr == 0)
        return MORVEL_ZELP_ERROR_UNINIT;
    uint8_t address = 0;
    int s = morvel_zelp7x_serial_address(ifc_type, ifc_addr, &address);
    if (s != 0) return s;
    if ((out == nullptr && outlen != 0) || (in == nullptr && inlen != 0))
        return MORVEL_ZELP_ERROR_ARG;
    return devlib::with_host_lock(zelp->iif, [&] {
        return run_transfer(zelp, address, {out, outlen}, {in, inlen}, continue_ != 0);
    });
}

} // extern "C"
