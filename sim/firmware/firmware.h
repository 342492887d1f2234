// The chip firmware as the host sees it. The model does not run the image: starting it brings up
// what a running firmware shows the host, namely a pointer table at a fixed address, a state
// block (match ring, posterior parameter area, gain control and posterior state) in RAM, the
// mailbox with its requests, the secure memory access block and the serial record. The image's
// bytes stay in the firmware RAM as they were written, so a test can compare them. What a running
// firmware produces over time (tank position, matches, sensor samples) comes from the board's
// producer models, which hear of each start through on_start.
//
// Memory a running firmware shows (MCU space):
//   0x1FFFC000  firmware RAM, 16 KiB (modelled size), holding the image
//   0x1FFFC0C0  pointer table: word 0 state block 0x20011000, word 5 tank start 0x20001000,
//               word 6 tank end 0x20011000, other words 0
//   0x20011000  state block, 8584 bytes: +0 tankptr, +4 match ring size (10), +8 match producer,
//               +12 match ring (10 entries: summary, tank position), +100 raw strengths (32
//               bytes), +132 softmax strengths (32 words), +260 winner bits (2 words), +280
//               tank_reset, +284 serial record (16 bytes), +408 m2h_match_skipped, +436 sensor
//               ring producer, +440 sensor ring (512 bytes), +952 posterior parameter area (4096
//               bytes, class count at +0), +6644 gain control state (192 bytes), +6840 posterior
//               state (80 bytes)
//   0x20017000  host configuration area, 3072 bytes: the host's; the firmware leaves it alone
//   0x20017C00  secure memory access block
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "chip/chip.h"
#include "firmware/firmware_mailbox.h"
#include "firmware/secure_access.h"
#include "firmware/serial_record.h"

namespace zsim {

class Firmware : public McuPeripheral {
  public:
    static constexpr uint32_t ram_address = 0x1FFFC000;
    static constexpr uint32_t ram_size = 0x4000;
    static constexpr uint32_t pointer_table_address = 0x1FFFC0C0;
    static constexpr uint32_t pointer_table_words = 8;
    // Modelled placement: the state block right after the default tank, which the firmware
    // keeps as its tank, below the host configuration area.
    static constexpr uint32_t tank_start = 0x20001000;
    static constexpr uint32_t tank_end = 0x20011000;
    static constexpr uint32_t state_address = 0x20011000;
    static constexpr uint32_t state_size = 8584;
    static constexpr uint32_t tankptr_offset = 0;
    static constexpr uint32_t match_ring_size_offset = 4;
    static constexpr uint32_t match_producer_offset = 8;
    static constexpr uint32_t match_ring_offset = 12;
    static constexpr uint32_t match_ring_entries = 10;
    static constexpr uint32_t match_entry_size = 8;
    static constexpr uint32_t raw_strengths_offset = 100;
    static constexpr uint32_t softmax_strengths_offset = 132;
    static constexpr uint32_t winners_offset = 260;
    static constexpr uint32_t winner_bytes = 8;
    static constexpr uint32_t result_classes = 32; // one raw byte, softmax word, winner bit each
    static constexpr uint32_t tank_reset_offset = 280;
    static constexpr uint32_t serial_offset = 284;
    static constexpr uint32_t match_skipped_offset = 408;
    static constexpr uint32_t sensor_producer_offset = 436;
    static constexpr uint32_t sensor_ring_offset = 440;
    static constexpr uint32_t sensor_ring_size = 512;
    static constexpr uint32_t posterior_parameters_address = state_address + 952;
    static constexpr uint32_t posterior_parameters_size = 4096;
    static constexpr uint32_t agc_state_address = state_address + 6644;
    static constexpr uint32_t posterior_state_address = state_address + 6840;
    static constexpr uint32_t host_config_address = 0x20017000;
    static constexpr uint32_t host_config_size = 3072;
    static_assert(posterior_parameters_address + posterior_parameters_size <= agc_state_address);
    static_assert(state_address + state_size <= host_config_address);

    explicit Firmware(Chip &chip);

    bool claims(uint32_t address) const override;
    uint32_t read_word(uint32_t address) override;
    void write_word(uint32_t address, uint32_t value) override;

    // The core starts running the firmware RAM, or stops (halted or reset). The RAM keeps its
    // bytes either way.
    void start();
    void stop() { running_ = false; }
    bool running() const { return running_; }

    // The boot loader's copy of a checked image into the firmware RAM.
    void install(std::span<const uint8_t> image);
    // The firmware RAM up to the last byte written into it.
    std::span<const uint8_t> image() const { return {ram_.data(), image_size_}; }

    // The host wrote mbin while the firmware runs.
    void on_mbin(uint8_t value) { mailbox_.on_mbin(value); }

    FirmwareMailbox &mailbox() { return mailbox_; }
    SecureAccess &secure_access() { return secure_access_; }
    SerialRecord &serial() { return serial_; }

    // Called at the end of each start, the state block cleared.
    std::function<void()> on_start;

    // Fault: the firmware never clears mbout, so the host never sees it start.
    bool keeps_mbout = false;

  private:
    void clear_state_block();
    void open_windows();

    Chip &chip_;
    SecureAccess secure_access_{chip_};
    SerialRecord serial_{chip_, state_address + serial_offset};
    FirmwareMailbox mailbox_;
    std::array<uint8_t, ram_size> ram_{};
    size_t image_size_ = 0;
    bool running_ = false;
};

} // namespace zsim
