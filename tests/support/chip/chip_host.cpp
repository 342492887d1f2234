#include "support/chip/chip_host.h"

#include <cstdlib>
#include <span>

#include "morvel_devlib/morvel_zelp7x_driver.h"

namespace ztest {

morvel_zelp_integration_interfaces_s ChipHost::iif() {
    const auto heap_alloc = [](int size) { return std::calloc(1, static_cast<size_t>(size)); };
    const auto heap_free = [](void *p) { std::free(p); };
    return {this, heap_alloc, heap_free, do_mbwait, do_get_type, do_sync, do_sync, do_transfer};
}

morvel_zelp_device_s *ChipHost::device() {
    device_ = {};
    device_.iif = iif();
    device_.driver = morvel_zelp7x_get_driver();
    device_.device_type = chip.device_type();
    return &device_;
}

int ChipHost::do_mbwait(morvel_zelp_handle_t d) {
    return self(d)->on_mbwait ? self(d)->on_mbwait() : 0;
}

int ChipHost::do_get_type(morvel_zelp_handle_t d, unsigned int *type) {
    *type = self(d)->chip.device_type();
    return 0;
}

int ChipHost::do_sync(morvel_zelp_handle_t) {
    return 0;
}

int ChipHost::do_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                          unsigned int count) {
    ChipHost *h = self(d);
    if (h->fail_after >= 0 && h->transfers.size() >= static_cast<size_t>(h->fail_after))
        return h->fail_code;
    Transfer t{mcu, address, out != nullptr, {}};
    if (out != nullptr) {
        const std::span bytes(static_cast<const uint8_t *>(out), count);
        t.data.assign(bytes.begin(), bytes.end());
        if (mcu)
            h->chip.mcu_write_block(address, bytes);
        else
            h->chip.spi_write_block(static_cast<uint8_t>(address), bytes);
    } else {
        const std::span bytes(static_cast<uint8_t *>(in), count);
        if (mcu)
            h->chip.mcu_read_block(address, bytes);
        else
            h->chip.spi_read_block(static_cast<uint8_t>(address), bytes);
        t.data.assign(bytes.begin(), bytes.end());
    }
    h->transfers.push_back(std::move(t));
    return 0;
}

} // namespace ztest
