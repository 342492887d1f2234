// The firmware's serial engine: the host fills the serial record in the firmware state block and
// sends a mailbox NOP (or SER), and before the firmware answers it carries the request out.
//
//   +0 control: bit 0 RUN, bit 1 CONTINUE (keep the device selected), bits 7:6 status (0 ok,
//      1 timeout, 2 error), bits 15:8 address byte (I2C address | 0x80, or SPIn select GPIO |
//      (n - 1) << 5), bits 21:16 output length, bits 27:22 input length
//   +4 data, 12 bytes: the output bytes; the input bytes come back in data[0..nin)
//
// A request writes its output bytes, then reads its input bytes (an I2C register read is the
// register byte written, then a repeated start and the read). CONTINUE keeps the device selected,
// so the next request's bytes carry on the same transfer: output that follows output continues the
// write without a new pointer byte. Done, the firmware clears RUN and sets the status.
// Modelled:
// - an I2C address with no device behind it is not acknowledged: status 2 (error), no data;
// - SPI reaches no device: the transfer succeeds and the input bytes read 0xFF (an undriven data
//   line);
// - a length above 12 is refused with status 2 before anything moves.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "chip/chip.h"
#include "devices/i2c_register_device.h"

namespace zsim {

class SerialRecord {
  public:
    static constexpr uint32_t byte_max = 12;
    enum Status : uint32_t { ok = 0, timeout = 1, error = 2 };

    SerialRecord(Chip &chip, uint32_t address) : chip_(chip), address_(address) {}

    // A device on the I2C bus; the board owns it.
    void attach(I2cRegisterDevice &device) { devices_.push_back(&device); }

    // Runs the request waiting in the record; false when none waits (RUN clear).
    bool service();
    // A firmware that starts has no device selected.
    void reset() { selected_.reset(); }

  private:
    struct Request {
        uint8_t address_byte;
        uint32_t nout;
        uint32_t nin;
        bool keep_selected;
    };
    enum class Phase { writing, reading };
    struct Selection {
        uint8_t address_byte;
        Phase phase;
    };

    Status run(const Request &r, std::span<uint8_t, byte_max> data);
    Status run_i2c(const Request &r, std::span<uint8_t, byte_max> data);
    I2cRegisterDevice *device_at(uint8_t i2c_address) const;

    Chip &chip_;
    uint32_t address_;
    std::vector<I2cRegisterDevice *> devices_;
    std::optional<Selection> selected_;
};

} // namespace zsim
