// Model of the SPI NOR flash on the chip's MSPI port, and the block access the bridge firmware
// has to it for its own flash commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zsim {

struct FlashConfig {
    size_t size = 4u << 20;
    std::array<uint8_t, 3> jedec_id = {0xEF, 0x40, 0x16};
    // Busy time: counted in status reads (deterministic) or in wall-clock time with typical
    // datasheet figures.
    bool real_time = false;
    unsigned page_program_polls = 2;
    unsigned sector_erase_polls = 8;
    unsigned block_erase_polls = 32;
    unsigned chip_erase_polls = 128;
    // Faults.
    bool absent = false;     // nothing on the bus: every byte reads 0
    bool stuck_busy = false; // the busy bit never clears
    long flip_bit_at = -1;   // byte address whose bit 0 reads inverted, -1 for none
    std::string image_path;  // contents kept in this file across runs when set
};

class SpiFlash {
  public:
    explicit SpiFlash(FlashConfig config = {});
    ~SpiFlash();
    SpiFlash(const SpiFlash &) = delete;
    SpiFlash &operator=(const SpiFlash &) = delete;

    const FlashConfig &config() const { return config_; }

    // The SPI bus: chip select low, one byte exchanged per clocked byte, chip select high.
    // A command acts when chip select goes high.
    void select();
    uint8_t exchange(uint8_t mosi);
    void deselect();

    // The bridge firmware's own block access (its flash read, write and start-of-file
    // commands). start_of_file announces a run of writes of `total` bytes.
    void bridge_start_of_file(uint32_t total);
    void bridge_read(uint32_t address, std::span<uint8_t> out);
    void bridge_write(uint32_t address, std::span<const uint8_t> data);

    // The cells as they are, for tests and inspection.
    std::span<const uint8_t> contents() const { return cells_; }
    std::span<uint8_t> cells() { return cells_; }
    bool busy() const;
    bool write_enabled() const { return wel_; }

    // Writes the cells to image_path, if one is set.
    void save() const;

  private:
    FlashConfig config_;
    std::vector<uint8_t> cells_;
    bool wel_ = false;
    // Command bytes seen since chip select went low, and the read position while reading.
    std::vector<uint8_t> command_;
    bool selected_ = false;
    unsigned busy_polls_left_ = 0;
    std::vector<bool> sof_erased_;
};

} // namespace zsim
