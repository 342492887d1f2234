// Stand-ins for the programs on the chip side of the driver: the boot loader's mailbox exchange
// and, once it has handed over, the firmware's secure memory access block. Both hear the host
// through the chip model's write hook, so one object plays both in turn.
#pragma once

#include <cstdint>
#include <vector>

#include "chip/chip.h"

namespace ztest {

class ChipPrograms {
  public:
    enum class Start { boot_loader, firmware };
    explicit ChipPrograms(zsim::Chip &chip, Start start = Start::boot_loader);

    // Boot loader: announces itself, takes LOAD, and answers each burst with the next of
    // `answers` (then 0, image complete), keeping the window it was handed.
    std::vector<uint8_t> answers;
    size_t bursts = 0;
    std::vector<std::vector<uint8_t>> windows;

    // Firmware: carries out READ and WRITE on chip memory; LOAD answers `load_status` and keeps
    // the count and the bytes it was given.
    uint32_t load_status = 5; // MORE
    std::vector<uint32_t> load_counts;
    std::vector<uint8_t> loaded;

  private:
    void boot_request(uint8_t mbin);
    void firmware_request(uint8_t mbin);

    zsim::Chip &chip_;
    bool booting_;
    bool loading_ = false;
    uint8_t mbin_ = 0;
};

} // namespace ztest
