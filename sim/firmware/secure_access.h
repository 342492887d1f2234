// The firmware's secure memory access block in the open RAM: the host writes a control word and
// an address (and for writes and loads the data), sends a mailbox NOP, and the firmware carries
// the operation out and clears RUN with a status.
//
//   +0 control: bit 0 RUN, bits 1-2 OP (0 READ, 1 WRITE, 2 LOAD), bits 3-5 STATUS, bits 16-25 LEN
//   +4 address
//   +8 data, up to 1016 bytes
//
// LOAD takes enciphered network parameters: a LOAD of length 0 opens a load (answered MORE);
// the first block then starts with an 8-byte header, the tag 71 and the value's length, and
// every LOAD hands over LEN bytes of the block's data, answered MORE while bytes of the value
// remain and SUCCESS with the last. Modelled refusals, each closing the load: SIZE for LEN over
// 1016, a first block shorter than the header, a value larger than the network parameter memory
// or bytes past the announced length; UNSUP for a header that is not tag 71; FAIL for a block
// with no load open. The model cannot decipher: it keeps the bytes it was given instead of
// writing network parameters.
#pragma once

#include <cstdint>
#include <vector>

#include "chip/chip.h"

namespace zsim {

class SecureAccess {
  public:
    static constexpr uint32_t block_address = 0x20017C00;
    static constexpr uint32_t data_address = block_address + 8;
    static constexpr uint32_t data_size = 1016;

    enum Op : uint32_t { read = 0, write = 1, load = 2 };
    enum Status : uint32_t {
        success = 0,
        unsup = 1,
        access = 2,
        size = 3,
        aes = 4,
        more = 5,
        fail = 6
    };

    static constexpr uint32_t enciphered_parameters_tag = 71;
    // Modelled: the firmware refuses a value larger than the network parameter memory.
    static constexpr uint32_t max_parameters = 294912;

    explicit SecureAccess(Chip &chip) : chip_(chip) {}

    // Runs the operation waiting in the block, if RUN is set.
    void service();
    // A new firmware knows of no load.
    void reset();

    // The enciphered value bytes taken by LOAD since the last opening LOAD, header excluded.
    const std::vector<uint8_t> &loaded() const { return loaded_; }
    // LEN of every LOAD since the firmware started, in order.
    const std::vector<uint32_t> &load_lengths() const { return load_lengths_; }
    // The value announced by the header has arrived whole.
    bool load_complete() const { return header_read_ && loaded_.size() == expected_; }

  private:
    Status run(uint32_t op, uint32_t address, uint32_t len);
    Status copy(uint32_t from, uint32_t to, uint32_t len);
    Status take_load(uint32_t len);
    Status take_header(std::vector<uint8_t> &block);

    Chip &chip_;
    bool load_open_ = false;
    bool header_read_ = false;
    uint32_t expected_ = 0;
    std::vector<uint8_t> loaded_;
    std::vector<uint32_t> load_lengths_;
};

} // namespace zsim
