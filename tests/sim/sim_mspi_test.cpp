// The chip's MSPI registers in front of the simulated flash.
#include <gtest/gtest.h>

#include "board.h"
#include "chip/chip.h"
#include "chip/mspi.h"
#include "devices/spi_flash.h"

namespace {

using zsim::Mspi;

struct MspiBench {
    zsim::SpiFlash flash;
    Mspi mspi{flash};
    zsim::Chip chip;
    MspiBench() { chip.attach(mspi); }

    void ctl(uint32_t mode, unsigned bytes = 1) {
        chip.mcu_write(Mspi::control_address, mode | (bytes - 1) << 2 | Mspi::port_enable);
    }
    void transfer(uint32_t word, unsigned bytes) {
        chip.mcu_write(Mspi::transmit_address, word);
        ctl(Mspi::mode_transfer, bytes);
    }
    uint32_t rx() { return chip.mcu_read(Mspi::receive_address); }
};

TEST(SimMspi, ShiftsTheLowBytesOutMostSignificantFirstAndReceivesFirstByteLowest) {
    MspiBench b;
    b.ctl(Mspi::mode_enable);
    b.transfer(0x9F000000, 4);
    b.ctl(Mspi::mode_idle);
    EXPECT_EQ(b.rx(), 0x1640EFFFu);

    b.ctl(Mspi::mode_enable);
    b.transfer(0xAB000500, 2); // only bits 15:0 go out: the status command, then a dummy
    b.ctl(Mspi::mode_idle);
    EXPECT_EQ(b.rx(), 0x00FFu) << "status 0 in bits 15:8";

    b.ctl(Mspi::mode_enable);
    b.transfer(0x06, 1);
    EXPECT_FALSE(b.flash.write_enabled()) << "the flash acts only when the transaction ends";
    b.ctl(Mspi::mode_idle);
    EXPECT_TRUE(b.flash.write_enabled());
    EXPECT_FALSE(b.mspi.selected());
}

TEST(SimMspi, UpdateKeepsOneTransactionAcrossWords) {
    MspiBench b;
    for (size_t i = 0; i < 8; ++i) b.flash.cells()[0x100 + i] = static_cast<uint8_t>(0x10 + i);
    b.ctl(Mspi::mode_enable);
    b.transfer(0x03000100, 4);
    b.ctl(Mspi::mode_update);
    b.ctl(Mspi::mode_transfer, 4);
    EXPECT_EQ(b.rx(), 0x13121110u);
    b.ctl(Mspi::mode_update);
    b.ctl(Mspi::mode_transfer, 4);
    EXPECT_EQ(b.rx(), 0x17161514u);
    b.ctl(Mspi::mode_idle);
    EXPECT_EQ(b.flash.stats().commands, 1u);
    EXPECT_EQ(b.mspi.misuse(), 0u);
}

TEST(SimMspi, ProgramsBytesInTransmitOrder) {
    MspiBench b;
    b.ctl(Mspi::mode_enable);
    b.transfer(0x06, 1);
    b.ctl(Mspi::mode_idle);
    b.ctl(Mspi::mode_enable);
    b.transfer(0x02000040, 4);
    b.ctl(Mspi::mode_update);
    b.transfer(0x61626364, 4);
    b.ctl(Mspi::mode_idle);
    EXPECT_EQ(b.flash.contents()[0x40], 0x61);
    EXPECT_EQ(b.flash.contents()[0x43], 0x64);
}

TEST(SimMspi, MisuseIsCountedAndDoesNotReachTheFlash) {
    MspiBench b;
    b.transfer(0x9F000000, 4); // no transaction open
    EXPECT_EQ(b.rx(), 0xFFFFFFFFu);
    b.ctl(Mspi::mode_enable);
    b.chip.mcu_write(Mspi::control_address, Mspi::mode_update); // enable bit missing
    EXPECT_FALSE(b.mspi.selected());
    EXPECT_EQ(b.mspi.misuse(), 2u);
    EXPECT_EQ(b.flash.stats().commands, 0u);
}

// A run killed in the middle of a read leaves chip select low; the next run's chip reset ends
// that read, so its JEDEC ID comes back whole.
TEST(SimMspi, ChipResetEndsATransactionLeftOpen) {
    zsim::Board board{zsim::BoardOptions{}};
    zsim::Chip &chip = board.chip();
    const auto ctl = [&](uint32_t mode, unsigned bytes = 1) {
        chip.mcu_write(Mspi::control_address, mode | (bytes - 1) << 2 | Mspi::port_enable);
    };
    const auto transfer = [&](uint32_t word, unsigned bytes) {
        chip.mcu_write(Mspi::transmit_address, word);
        ctl(Mspi::mode_transfer, bytes);
    };
    chip.spi_write(zsim::Chip::CTL, 0x03); // the killed run had the core running
    ctl(Mspi::mode_enable);
    transfer(0x03000000, 4); // a read begun and never finished

    chip.spi_write(zsim::Chip::CTL, 0x0A);
    chip.spi_write(zsim::Chip::CTL, 0x03);
    EXPECT_EQ(chip.mcu_read(Mspi::control_address), 0u) << "the controller is in its reset state";

    ctl(Mspi::mode_enable);
    transfer(0x9F000000, 4);
    ctl(Mspi::mode_idle);
    EXPECT_EQ(chip.mcu_read(Mspi::receive_address), 0x1640EFFFu);
}

TEST(SimMspi, ClaimsOnlyItsThreeRegisters) {
    MspiBench b;
    EXPECT_TRUE(b.mspi.claims(0x40009014));
    EXPECT_TRUE(b.mspi.claims(0x4000901C));
    EXPECT_FALSE(b.mspi.claims(0x40009010));
    EXPECT_FALSE(b.mspi.claims(0x40009020));
    b.chip.mcu_write(0x40009020, 7);
    EXPECT_EQ(b.chip.mcu_read(0x40009020), 7u);
}

} // namespace
