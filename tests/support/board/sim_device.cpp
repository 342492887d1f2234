#include "support/board/sim_device.h"

#include <span>

#include "zelp_linux_io.h"

namespace ztest {

namespace {

int no_op(morvel_zelp_handle_t) {
    return 0;
}

// The device reads synchronously, so a pipelined read is just its reads.
int no_pipeline_begin(morvel_evb_io_handle_t, void *, int) {
    return 0;
}
int no_pipeline_end(morvel_evb_io_handle_t) {
    return 0;
}

} // namespace

SimDevice::SimDevice(zsim::FlashConfig config) : flash_(std::move(config)) {
    chip_.attach(mspi_);
    driver_.op_size = op_size;
    driver_.read_block = read_block;
    driver_.write_block = write_block;
    device_.iif.d = this;
    device_.iif.sync = no_op;
    device_.iif.unsync = no_op;
    device_.driver = &driver_;
    device_.device_type = chip_.device_type();
    device_.init = 1;
    calls_ = {bridge, no_pipeline_begin, no_pipeline_end};
}

SimDevice::~SimDevice() = default;

morvel_zelp7x_flash_s SimDevice::session(morvel_zelp7x_flash_path_e path) {
    morvel_zelp7x_flash_s f{};
    f.zelp = &device_;
    f.path = path;
    f.board = &calls_;
    return f;
}

SimDevice *SimDevice::self(morvel_zelp_device_s *zelp) {
    return static_cast<SimDevice *>(zelp->iif.d);
}

bool SimDevice::access_fails() {
    ++accesses;
    return fail_after >= 0 && accesses > static_cast<unsigned long>(fail_after);
}

void SimDevice::log(bool write, int mcu, uint32_t address, const uint8_t *bytes,
                    unsigned int count) {
    uint32_t value = 0;
    for (unsigned int i = 0; i < count && i < 4; ++i) value |= uint32_t{bytes[i]} << (8 * i);
    register_log.push_back({write, mcu, address, value});
}

int SimDevice::op_size(morvel_zelp_device_s *, int mcu, unsigned int *size) {
    *size = mcu ? 4 : 1;
    return 0;
}

int SimDevice::read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                          unsigned int count) {
    SimDevice *s = self(zelp);
    if (s->access_fails()) return MORVEL_ZELP_ERROR_TIMEOUT;
    if (s->before_read) s->before_read();
    const std::span out(static_cast<uint8_t *>(value), count);
    if (mcu)
        s->chip_.mcu_read_block(address, out);
    else
        s->chip_.spi_read_block(static_cast<uint8_t>(address), out);
    s->log(false, mcu, address, out.data(), count);
    return 0;
}

int SimDevice::write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                           unsigned int count) {
    SimDevice *s = self(zelp);
    if (s->access_fails()) return MORVEL_ZELP_ERROR_TIMEOUT;
    const std::span in(static_cast<const uint8_t *>(value), count);
    if (mcu)
        s->chip_.mcu_write_block(address, in);
    else
        s->chip_.spi_write_block(static_cast<uint8_t>(address), in);
    s->log(true, mcu, address, in.data(), count);
    return 0;
}

int SimDevice::bridge(morvel_evb_io_handle_t d, int command, uint32_t addr, uint8_t *data,
                      uint16_t len) {
    auto *s = reinterpret_cast<SimDevice *>(d);
    s->bridge_commands.push_back({command, addr, len});
    if (s->bridge_result != 0) return s->bridge_result;
    if (command == ATMEL_DONGLE_FW_FLASH_START_OF_FILE) s->flash_.bridge_start_of_file(addr);
    if (command == ATMEL_DONGLE_FW_FLASH_WRITE) s->flash_.bridge_write(addr, {data, len});
    if (command == ATMEL_DONGLE_FW_FLASH_READ) s->flash_.bridge_read(addr, {data, len});
    return 0;
}

run_options ToolFlash::options(bool quiet, bool bridge) {
    run_options run;
    run.quiet = quiet ? 1 : 0;
    run.accel_op = bridge ? 1 : 0;
    return run;
}

ToolFlash::ToolFlash(SimDevice &dev, bool quiet, bool bridge)
    : run_(options(quiet, bridge)), flash_(dev.zelp(), run_, dev.board_calls()) {}

void ToolFlash::erase(uint32_t address, uint32_t count) {
    flash_.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_erase(f, address, count, failure);
    });
}

void ToolFlash::program(uint32_t address, std::span<const uint8_t> data) {
    flash_.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_program(f, address, data.data(),
                                           static_cast<uint32_t>(data.size()), failure);
    });
}

void ToolFlash::read(uint32_t address, std::span<uint8_t> buf) {
    flash_.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_read(f, address, buf.data(), static_cast<uint32_t>(buf.size()),
                                        failure);
    });
}

int write_step(SimDevice &dev, run_options &run) {
    run_flash flash(dev.zelp(), run, dev.board_calls());
    return run_write_step(flash, run);
}

int read_step(SimDevice &dev, run_options &run) {
    run_flash flash(dev.zelp(), run, dev.board_calls());
    return run_read_step(flash, run);
}

} // namespace ztest
