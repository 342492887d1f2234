// Model of the SPI NOR flash on the chip's MSPI port, and the block access the bridge firmware
// has to it for its own flash commands.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zsim {

class FlashImage;

struct FlashConfig {
    size_t size = 4u << 20;
    std::array<uint8_t, 3> jedec_id = {0xEF, 0x40, 0x16};
    bool id_given = false; // an explicit id keeps its capacity byte whatever the size
    // Busy time: counted in status reads (deterministic) or in wall-clock time with typical
    // datasheet figures.
    bool real_time = false;
    unsigned page_program_polls = 2;
    unsigned sector_erase_polls = 8;
    unsigned block_erase_polls = 32;
    unsigned chip_erase_polls = 128;
    // Faults.
    bool absent = false;     // nothing on the bus: every byte reads 0
    bool all_ones = false;   // nothing answers and the pulled-up data line reads every byte 0xFF
    bool stuck_busy = false; // the busy bit never clears
    long flip_bit_at = -1;   // byte address whose bit 0 reads inverted, -1 for none
    std::string image_path;  // contents kept in this file across runs when set
};

// What the flash has been asked to do, for tests and benchmarks.
struct FlashStats {
    unsigned commands = 0; // transactions with at least a command byte
    unsigned page_programs = 0;
    unsigned sector_erases = 0;
    unsigned block_erases = 0;
    unsigned chip_erases = 0;
    unsigned status_polls = 0;
    unsigned ignored = 0; // commands dropped: busy, no write enable, or an incomplete address
    std::vector<uint32_t> erase_log; // address of every sector or block erase, in order
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
    // commands). start_of_file announces a run of writes of `total` bytes: from then on each
    // 4 KiB sector is erased before the first write into it, so an image can be programmed
    // through the bridge without a separate erase.
    void bridge_start_of_file(uint32_t total);
    void bridge_read(uint32_t address, std::span<uint8_t> out);
    void bridge_write(uint32_t address, std::span<const uint8_t> data);

    // The host went away, and a new one takes at least a process start to come: a real part
    // finishes any program or erase meanwhile on its own clock. Busy time counted in status
    // polls would otherwise wait for polls that the departed host never sends, and the flash
    // would answer nothing but its status to every later host. With real timing the clock
    // already decides; a stuck-busy flash stays busy.
    void host_left();

    // The cells as they are, for tests and inspection.
    std::span<const uint8_t> contents() const { return cells_; }
    std::span<uint8_t> cells() { return cells_; }
    bool busy() const;
    bool write_enabled() const { return wel_; }
    const FlashStats &stats() const { return stats_; }

    // Why image_path could not be used (the flash then keeps its cells in memory); empty when
    // it is in use or none was given.
    const std::string &image_error() const { return image_error_; }

    // Makes sure the cells are on disk in image_path, if one is set. The image is a shared
    // mapping of the file, so every change reaches the file as it happens, even when the
    // process ends without calling this.
    void save() const;

  private:
    enum class Kind : uint8_t {
        unknown,
        read_id,
        read_status,
        read,
        program,
        write_enable,
        write_disable,
        erase,
    };
    enum class Op : uint8_t { program, sector_erase, block_erase, chip_erase };
    struct Command;
    struct Transaction {
        const Command *command = nullptr;
        unsigned address_bytes = 0;
        uint32_t address = 0;
        unsigned data_bytes = 0; // bytes after the command and its address
        std::array<uint8_t, 256> page{};
    };

    static const Command *find_command(uint8_t opcode);
    uint8_t status_byte();
    uint8_t read_cell(uint32_t address) const;
    uint8_t respond(uint8_t mosi);
    void finish_transaction();
    void program_page();
    void erase(uint32_t address, size_t span);
    void start_busy(Op op);
    void settle();

    FlashConfig config_;
    std::unique_ptr<FlashImage> image_;
    std::vector<uint8_t> ram_;
    std::span<uint8_t> cells_;
    std::string image_error_;
    bool wel_ = false;
    bool selected_ = false;
    bool has_opcode_ = false;
    Transaction tx_;
    // Busy: status polls still to answer busy, or the wall-clock end of the operation.
    unsigned busy_polls_left_ = 0;
    std::chrono::steady_clock::time_point busy_until_{};
    bool stuck_ = false;
    // Sectors already erased since the last start-of-file; empty when not armed.
    std::vector<bool> sof_erased_;
    FlashStats stats_;
};

} // namespace zsim
