#include "firmware/serial_record.h"

#include <algorithm>
#include <array>

namespace zsim {

namespace {
constexpr uint32_t RUN = 0x1;
constexpr uint32_t CONTINUE = 0x2;
constexpr uint32_t STATUS_S = 6;
constexpr uint32_t STATUS_M = 0xC0;
constexpr uint8_t I2C = 0x80; // address byte: an I2C address rather than an SPI select
constexpr uint8_t spi_idle = 0xFF;

uint32_t field(uint32_t word, unsigned shift, uint32_t width_mask) {
    return (word >> shift) & width_mask;
}
} // namespace

bool SerialRecord::service() {
    const uint32_t control = chip_.mcu_read(address_);
    if ((control & RUN) == 0) return false;
    std::array<uint8_t, byte_max> data{};
    chip_.mcu_read_block(address_ + 4, data);
    const Request r{static_cast<uint8_t>(field(control, 8, 0xFF)), field(control, 16, 0x3F),
                    field(control, 22, 0x3F), (control & CONTINUE) != 0};
    const Status status = run(r, data);
    chip_.chip_write_block(address_ + 4, data);
    chip_.mcu_write(address_, (control & ~(RUN | STATUS_M)) | status << STATUS_S);
    return true;
}

SerialRecord::Status SerialRecord::run(const Request &r, std::span<uint8_t, byte_max> data) {
    if (r.nout > byte_max || r.nin > byte_max) {
        selected_.reset();
        return error;
    }
    if (selected_ && selected_->address_byte != r.address_byte) selected_.reset();
    Status status = ok;
    if (r.address_byte & I2C)
        status = run_i2c(r, data);
    else
        std::fill_n(data.begin(), r.nin, spi_idle);
    if (status != ok || !r.keep_selected) selected_.reset();
    return status;
}

SerialRecord::Status SerialRecord::run_i2c(const Request &r, std::span<uint8_t, byte_max> data) {
    I2cRegisterDevice *device = device_at(r.address_byte & ~I2C);
    if (device == nullptr) return error;
    if (r.nout > 0) {
        if (!selected_ || selected_->phase != Phase::writing) device->start_write();
        for (uint32_t i = 0; i < r.nout; ++i) device->write(data[i]);
        selected_ = Selection{r.address_byte, Phase::writing};
    }
    if (r.nin > 0) {
        for (uint32_t i = 0; i < r.nin; ++i) data[i] = device->read();
        selected_ = Selection{r.address_byte, Phase::reading};
    }
    return ok;
}

I2cRegisterDevice *SerialRecord::device_at(uint8_t i2c_address) const {
    for (I2cRegisterDevice *d : devices_)
        if (d->address() == i2c_address) return d;
    return nullptr;
}

} // namespace zsim
