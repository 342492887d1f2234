// Model of the USB bridge firmware: reads the host's byte stream, carries register transfers into
// the chip, answers the clock queries and runs its own flash block commands against the flash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "chip/chip.h"
#include "devices/spi_flash.h"

namespace zsim {

// One packet as the bridge took it, for tests.
struct BridgePacket {
    uint8_t command = 0;
    uint32_t address = 0;        // register, memory or flash address
    uint32_t value = 0;          // byte count, clock, state or start-of-file value
    std::vector<uint8_t> data;   // bytes that followed the header
    std::vector<uint8_t> answer; // bytes sent back, after any injected fault

    bool operator==(const BridgePacket &) const = default;
};

class Bridge {
  public:
    static constexpr uint32_t kDefaultSpiSpeed = 1000000;

    Bridge(Chip &chip, SpiFlash &flash);

    // Takes bytes from the host, in pieces of any size; returns what the bridge sends back.
    std::vector<uint8_t> receive(std::span<const uint8_t> bytes);

    // A new client: a packet half received from the last one is forgotten.
    void reset_link() { pending_.clear(); }
    // How many bytes, taken from the front of `next`, would finish the packet the bridge holds
    // half of: 0 when it holds none, more than next.size() when `next` cannot finish it.
    size_t bytes_to_finish(std::span<const uint8_t> next) const;

    uint32_t spi_speed() const { return spi_speed_; }
    uint32_t sample_spi_speed() const { return sample_spi_speed_; }
    uint32_t state() const { return state_; }

    // The first kPacketLogLimit packets since the last clear, kept for tests; a long-running board
    // counts the rest without keeping them.
    static constexpr size_t kPacketLogLimit = 1u << 16;
    const std::vector<BridgePacket> &packets() const { return packets_; }
    void clear_packets() { packets_.clear(); }
    // Every packet taken since the bridge started.
    uint64_t packet_count() const { return packet_count_; }
    // Bytes that arrived outside any packet or with a command the bridge does not know.
    size_t stray_bytes() const { return stray_bytes_; }

    // Faults. Each packet that has an answer consumes one count of the first fault that applies.
    void drop_answers(unsigned count) { drop_answers_ = count; }
    void shorten_answers(unsigned count, size_t missing) {
        shorten_answers_ = count;
        missing_bytes_ = missing;
    }
    // The answer of number `n`, counted from 1 since the bridge started, is dropped, or sent
    // without its last byte (0: none).
    void drop_answer_at(uint64_t n) { drop_answer_at_ = n; }
    void shorten_answer_at(uint64_t n) { shorten_answer_at_ = n; }
    // A silent bridge swallows every byte and does nothing with it.
    void set_silent(bool silent) { silent_ = silent; }

    // A command's header: its size, where its payload length sits and what carries it out.
    // The handler fills the packet's fields and its answer from the header bytes and data.
    using Handler = void (Bridge::*)(std::span<const uint8_t> header, BridgePacket &p);
    struct Command {
        uint8_t code;
        uint8_t header_size;
        int8_t length_at; // offset of a 16-bit big-endian data length, -1 when no data follows
        Handler handler;
    };

  private:
    void take(uint8_t byte, std::vector<uint8_t> &out);
    // The whole size of a packet of `command` that begins with `packet`.
    static size_t expected_size(const Command &command, std::span<const uint8_t> packet);
    void run(const Command &command, std::vector<uint8_t> &out);
    std::vector<uint8_t> apply_faults(std::vector<uint8_t> answer);

    void mcu_read(std::span<const uint8_t> header, BridgePacket &p);
    void mcu_write(std::span<const uint8_t> header, BridgePacket &p);
    void spi_read(std::span<const uint8_t> header, BridgePacket &p);
    void spi_write(std::span<const uint8_t> header, BridgePacket &p);
    static void speed_command(std::span<const uint8_t> header, BridgePacket &p, uint32_t &speed);
    void spi_speed_command(std::span<const uint8_t> header, BridgePacket &p);
    void sample_speed_command(std::span<const uint8_t> header, BridgePacket &p);
    void state_command(std::span<const uint8_t> header, BridgePacket &p);
    void flash_write(std::span<const uint8_t> header, BridgePacket &p);
    void flash_read(std::span<const uint8_t> header, BridgePacket &p);
    void flash_start_of_file(std::span<const uint8_t> header, BridgePacket &p);

    static const Command *find_command(uint8_t code);

    Chip &chip_;
    SpiFlash &flash_;
    std::vector<uint8_t> pending_;
    std::vector<BridgePacket> packets_;
    uint64_t packet_count_ = 0;
    size_t stray_bytes_ = 0;
    uint32_t spi_speed_ = kDefaultSpiSpeed;
    uint32_t sample_spi_speed_ = kDefaultSpiSpeed;
    uint32_t state_ = 0;
    unsigned drop_answers_ = 0;
    unsigned shorten_answers_ = 0;
    size_t missing_bytes_ = 0;
    uint64_t answer_count_ = 0;
    uint64_t drop_answer_at_ = 0;
    uint64_t shorten_answer_at_ = 0;
    bool silent_ = false;
};

} // namespace zsim
