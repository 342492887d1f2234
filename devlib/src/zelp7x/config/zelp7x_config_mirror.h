// Where each mirrored configuration register lives on the chip, in the order the engine reads
// them, and the order in which changed registers are written back.
#pragma once

#include <array>
#include <cstdint>

#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/zelp7x_registers.h"

namespace zelp7x {

using State = morvel_zelp7x_config_state_s;

struct MirroredRegister {
    uint32_t address;
    uint32_t &(*word)(State &);
};

#define ZELP7X_MIRROR(addr, member)                                                                \
    MirroredRegister {                                                                             \
        addr, [](State &s) -> uint32_t & { return s.member; }                                      \
    }

// Read order of the state reader.
inline constexpr std::array<MirroredRegister, 21> READ_ORDER{{
    ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL0, dnnctl0),   ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL1, dnnctl1),
    ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL3, dnnctl3),   ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL7, dnnctl7),
    ZELP7X_MIRROR(ZELP7X_MCU_SMPLCTL, smplctl),   ZELP7X_MIRROR(ZELP7X_MCU_SMPLMARK, smplmark),
    ZELP7X_MIRROR(ZELP7X_MCU_SMPLSTS, smplsts),   ZELP7X_MIRROR(ZELP7X_MCU_TANK, tank),
    ZELP7X_MIRROR(ZELP7X_MCU_I2SCTL, i2sctl),     ZELP7X_MIRROR(ZELP7X_MCU_PDMCTL, pdmctl),
    ZELP7X_MIRROR(ZELP7X_MCU_PDMCFG0, pdmcfg[0]), ZELP7X_MIRROR(ZELP7X_MCU_PDMCFG1, pdmcfg[1]),
    ZELP7X_MIRROR(ZELP7X_MCU_CLKCTL0, clkctl0),   ZELP7X_MIRROR(ZELP7X_MCU_CLKCTL1, clkctl1),
    ZELP7X_MIRROR(ZELP7X_MCU_CLKCTL2, clkctl2),   ZELP7X_MIRROR(ZELP7X_MCU_FLLCTL1, fllctl1),
    ZELP7X_MIRROR(ZELP7X_MCU_FREQCTL, freqctl),   ZELP7X_MIRROR(ZELP7X_MCU_MEM, mem),
    ZELP7X_MIRROR(ZELP7X_MCU_MEM0, mem0),         ZELP7X_MIRROR(ZELP7X_MCU_MEM1, mem1),
    ZELP7X_MIRROR(ZELP7X_MCU_MEM3, mem3),
}};

// Memory power goes before the pipeline registers, so the memories a new configuration uses are
// powered by the time it runs.
inline constexpr std::array<MirroredRegister, 4> MEMORY_WRITE_ORDER{{
    ZELP7X_MIRROR(ZELP7X_MCU_MEM, mem),
    ZELP7X_MIRROR(ZELP7X_MCU_MEM0, mem0),
    ZELP7X_MIRROR(ZELP7X_MCU_MEM3, mem3),
    ZELP7X_MIRROR(ZELP7X_MCU_MEM1, mem1),
}};

// Pipeline and clock registers; the run bits they carry restart the pipeline in this order.
inline constexpr std::array<MirroredRegister, 14> REGISTER_WRITE_ORDER{{
    ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL0, dnnctl0),
    ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL1, dnnctl1),
    ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL3, dnnctl3),
    ZELP7X_MIRROR(ZELP7X_MCU_DNNCTL7, dnnctl7),
    ZELP7X_MIRROR(ZELP7X_MCU_FREQCTL, freqctl),
    ZELP7X_MIRROR(ZELP7X_MCU_PDMCTL, pdmctl),
    ZELP7X_MIRROR(ZELP7X_MCU_PDMCFG0, pdmcfg[0]),
    ZELP7X_MIRROR(ZELP7X_MCU_PDMCFG1, pdmcfg[1]),
    ZELP7X_MIRROR(ZELP7X_MCU_I2SCTL, i2sctl),
    ZELP7X_MIRROR(ZELP7X_MCU_SMPLCTL, smplctl),
    ZELP7X_MIRROR(ZELP7X_MCU_SMPLMARK, smplmark),
    ZELP7X_MIRROR(ZELP7X_MCU_CLKCTL0, clkctl0),
    ZELP7X_MIRROR(ZELP7X_MCU_CLKCTL1, clkctl1),
    ZELP7X_MIRROR(ZELP7X_MCU_CLKCTL2, clkctl2),
}};

#undef ZELP7X_MIRROR

} // namespace zelp7x
