// Register and memory map of the zelp7x chip, as far as the driver uses it. Every address the
// driver puts on the bus is named here once; driver files name registers only through these.
//
// Scheme: ZELP7X_SPI_<NAME> for the byte-wide SPI register space (mcu = 0),
//         ZELP7X_MCU_<NAME> for 32-bit words of the MCU space (mcu = 1),
//         ZELP7X_<AREA>_SIZE for the sizes of fixed memory areas.
#pragma once

#include <cstdint>

#include "morvel-firmware/zelp7x_smap.h"

// ---- SPI register space (one byte each) ------------------------------------------------------

inline constexpr uint32_t ZELP7X_SPI_DEVICE_TYPE = 0x00; // chip device type code
inline constexpr uint32_t ZELP7X_SPI_INTSTS = 0x02;      // interrupt status, write back to clear
inline constexpr uint32_t ZELP7X_SPI_INTCTL = 0x03;      // interrupt enables, bit n for cause n
inline constexpr uint32_t ZELP7X_SPI_CTL = 0x04;         // chip control byte
inline constexpr uint32_t ZELP7X_SPI_CTL2 = 0x05;
inline constexpr uint32_t ZELP7X_SPI_MATCH = 0x10;      // match summary
inline constexpr uint32_t ZELP7X_SPI_INDATA = 0x20;     // sample input port, streams at one address
inline constexpr uint32_t ZELP7X_SPI_MBIN = 0x30;       // host-to-MCU mailbox byte
inline constexpr uint32_t ZELP7X_SPI_MBIN_RESP = 0x31;  // MCU-to-host mailbox byte
inline constexpr uint32_t ZELP7X_SPI_MBOUT = 0x32;      // boot loader's request byte
inline constexpr uint32_t ZELP7X_SPI_MBOUT_RESP = 0x33; // host's answer to mbout
inline constexpr uint32_t ZELP7X_SPI_MADDR = 0x40;      // 0x40-0x43: slow-read MCU address, LE
inline constexpr uint32_t ZELP7X_SPI_MDATA = 0x44;      // 0x44-0x47: slow-read MCU word, LE

// Bits of intsts (and of intctl, which enables the same causes).
inline constexpr uint8_t ZELP7X_INTSTS_MAILBOX_IN = 0x02;
inline constexpr uint8_t ZELP7X_INTSTS_MAILBOX_OUT = 0x04;
inline constexpr uint8_t ZELP7X_INTSTS_FEATURE = 0x10;
inline constexpr uint8_t ZELP7X_INTSTS_WATER_MARK = 0x40;
inline constexpr uint8_t ZELP7X_INTSTS_CLEAR_ALL = 0x7F;

// Bits of ctl.
inline constexpr uint8_t ZELP7X_CTL_EXT_CLOCK = 0x04; // core runs on the external clock
inline constexpr uint8_t ZELP7X_CTL_NO_FW = 0x08;     // no firmware to resume while set

// ---- MCU space (32-bit little-endian words) --------------------------------------------------

inline constexpr uint32_t ZELP7X_MCU_BOOT_ROM = 0x00000000;     // reads 0 on a secured chip
inline constexpr uint32_t ZELP7X_MCU_FW_RAM = 0x1FFFC000;       // firmware images go here
inline constexpr uint32_t ZELP7X_MCU_FW_POINTERS = 0x1FFFC0C0;  // firmware pointer table
inline constexpr uint32_t ZELP7X_MCU_TANK_DEFAULT = 0x20001000; // default tank address

// Host configuration area: kept by the host in chip RAM across restarts.
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG = 0x20017000;
inline constexpr uint32_t ZELP7X_HOST_CONFIG_SIZE = 3072;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_INPUT_CLOCK = 0x20017000;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_VALID = 0x20017004;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_LABELS_LEN = 0x20017008;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_LABELS = 0x2001700C;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_FWVER_LEN = 0x2001780C;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_FWVER = 0x20017810;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_PARAMVER_LEN = 0x20017890;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_PARAMVER = 0x20017894;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_PKGVER_LEN = 0x20017914;
inline constexpr uint32_t ZELP7X_MCU_HOST_CONFIG_PKGVER = 0x20017918;
// A valid mask with any of these bits set is uninitialised memory, not a mask.
inline constexpr uint32_t ZELP7X_HOST_CONFIG_VALID_GARBAGE = 0xFFF00000;

// Open RAM (zelp7x_smap.h): boot loader load window, later the secure memory access block.
inline constexpr uint32_t ZELP7X_MCU_OPEN_RAM_END = ZELP7X_OPEN_RAM_BASE + ZELP7X_OPEN_RAM_SIZE;
inline constexpr uint32_t ZELP7X_MCU_SCRATCH0 = 0x20017FF8; // external-clock check words
inline constexpr uint32_t ZELP7X_MCU_SCRATCH1 = 0x20017FFC;

// System control.
inline constexpr uint32_t ZELP7X_MCU_CLKCTL0 = 0x40009004;
inline constexpr uint32_t ZELP7X_MCU_CLKCTL1 = 0x40009008;
inline constexpr uint32_t ZELP7X_MCU_CLKCTL2 = 0x4000900C;
inline constexpr uint32_t ZELP7X_MCU_CHIPCTL = 0x40009010;     // holds the GPIO input enable
inline constexpr uint32_t ZELP7X_MCU_FWLOAD_PREP = 0x40009028; // written 0x91 before a load
inline constexpr uint32_t ZELP7X_FWLOAD_PREP_VALUE = 0x91;
inline constexpr uint32_t ZELP7X_MCU_MEM = 0x40009030;
inline constexpr uint32_t ZELP7X_MCU_ADDRPROTLO0 = 0x40009034;
inline constexpr uint32_t ZELP7X_MCU_ADDRPROTHI0 = 0x40009038;
inline constexpr uint32_t ZELP7X_MCU_ADDRPROTLO1 = 0x4000903C;
inline constexpr uint32_t ZELP7X_MCU_ADDRPROTHI1 = 0x40009040;
inline constexpr uint32_t ZELP7X_MCU_SECURE_BOOT = 0x40009048; // 0x10000 for a secured reset
inline constexpr uint32_t ZELP7X_MCU_FLLCTL0 = 0x40009058;
inline constexpr uint32_t ZELP7X_MCU_FLLCTL1 = 0x4000905C;
inline constexpr uint32_t ZELP7X_MCU_FLLCTL2 = 0x40009060;
inline constexpr uint32_t ZELP7X_MCU_FLLSTS0 = 0x40009068;
inline constexpr uint32_t ZELP7X_MCU_FLLSTS1 = 0x4000906C;

// Audio front end.
inline constexpr uint32_t ZELP7X_MCU_PDMCTL = 0x4000C004;
inline constexpr uint32_t ZELP7X_MCU_PDMCFG0 = 0x4000C008;
inline constexpr uint32_t ZELP7X_MCU_PDMCFG1 = 0x4000C00C;
inline constexpr uint32_t ZELP7X_MCU_FREQCTL = 0x4000C010;
inline constexpr uint32_t ZELP7X_MCU_SMPLCTL = 0x4000C014;
inline constexpr uint32_t ZELP7X_MCU_SMPLMARK = 0x4000C018;
inline constexpr uint32_t ZELP7X_MCU_SMPLSTS = 0x4000C01C;
inline constexpr uint32_t ZELP7X_MCU_FILTER_BIN0 = 0x4000C020; // bin k at + 4*k
inline constexpr uint32_t ZELP7X_MCU_FEATURE_INPUTS = 0x4000C080;
inline constexpr uint32_t ZELP7X_MCU_TANK = 0x4000C0A8;
inline constexpr uint32_t ZELP7X_MCU_TANKADDR = 0x4000C0B0;
inline constexpr uint32_t ZELP7X_MCU_TANKPTR = 0x4000C0B8;
inline constexpr uint32_t ZELP7X_MCU_I2SCTL = 0x4000C0BC;

// Neural network.
inline constexpr uint32_t ZELP7X_MCU_DNNCTL0 = 0x4000D004; // dnnctl n at + 4*n, n = 0..8
inline constexpr uint32_t ZELP7X_MCU_DNNCTL1 = 0x4000D008;
inline constexpr uint32_t ZELP7X_MCU_DNNCTL3 = 0x4000D010;
inline constexpr uint32_t ZELP7X_MCU_DNNCTL7 = 0x4000D020;
inline constexpr uint32_t ZELP7X_MCU_DNNCTL8 = 0x4000D024;
// Layer sizes, scale factors and the two words a new filter-bank layout clears (package loading).
inline constexpr uint32_t ZELP7X_MCU_DNNCTL2 = 0x4000D00C;
inline constexpr uint32_t ZELP7X_MCU_DNNCTL4 = 0x4000D014;
inline constexpr uint32_t ZELP7X_MCU_DNNCTL5 = 0x4000D018;
inline constexpr uint32_t ZELP7X_MCU_DNNCTL6 = 0x4000D01C;
inline constexpr uint32_t ZELP7X_MCU_WINNERS = 0x4000D02C;
inline constexpr uint32_t ZELP7X_MCU_STRENGTHS = 0x4000D078;
inline constexpr uint32_t ZELP7X_MCU_MEM0 = 0x4000D0B8;
inline constexpr uint32_t ZELP7X_MCU_MEM1 = 0x4000D0BC;
inline constexpr uint32_t ZELP7X_MCU_MEM3 = 0x4000D0C4;

// GPIO block: 8 pins, bit n is pin n.
inline constexpr uint32_t ZELP7X_MCU_GPIO_VALUES = 0x40011000;           // pin values, read
inline constexpr uint32_t ZELP7X_MCU_GPIO_OUT_ENABLE = 0x40011010;       // a written 1 enables
inline constexpr uint32_t ZELP7X_MCU_GPIO_OUT_ENABLE_CLEAR = 0x40011014; // a written 1 disables
inline constexpr uint32_t ZELP7X_MCU_GPIO_MASKED = 0x40011400;           // + (mask << 2)
inline constexpr uint32_t ZELP7X_CHIPCTL_GPIO_INPUT_ENABLE = 1u << 10;   // bit of CHIPCTL

// Sizes of the result areas the driver reads, and the tank pointer's position field.
inline constexpr uint32_t ZELP7X_FEATURE_INPUTS_SIZE = 40;    // at ZELP7X_MCU_FEATURE_INPUTS
inline constexpr uint32_t ZELP7X_STATIC_FEATURES_SIZE = 4096; // at ZELP7X_MCU_STATIC_FEATURES
inline constexpr uint32_t ZELP7X_WINNERS_SIZE = 8;            // at ZELP7X_MCU_WINNERS
inline constexpr uint32_t ZELP7X_STRENGTHS_SIZE = 64;         // at ZELP7X_MCU_STRENGTHS
inline constexpr uint32_t ZELP7X_TANKPTR_POSITION_M = 0xFFFF; // producer when no firmware runs

inline constexpr uint32_t ZELP7X_MCU_RUN_CTL = 0x4001F000; // written 0 at reset and before a load

inline constexpr uint32_t ZELP7X_MCU_DNN_PARAMS = 0x60000000; // network parameter memory
inline constexpr uint32_t ZELP7X_MCU_STATIC_FEATURES = 0x60061000;

// Values the reset sequence writes.
inline constexpr uint8_t ZELP7X_CTL_RESET_HOLD = 0x0A;
inline constexpr uint8_t ZELP7X_CTL_RESET_RUN = 0x03;
inline constexpr uint8_t ZELP7X_CTL2_RESET = 0x10;
inline constexpr uint32_t ZELP7X_SECURE_BOOT_VALUE = 0x00010000;
inline constexpr uint32_t ZELP7X_TANK_RESET = 0x00008000;
inline constexpr uint32_t ZELP7X_DNNCTL0_RESET = 0x00002801;

// ---- Configuration engine (appended by its owner) --------------------------------------------

// Equalizer gains, four signed bytes per word, ten words.
inline constexpr uint32_t ZELP7X_MCU_FILTER_EQ0 = 0x4000C058;
