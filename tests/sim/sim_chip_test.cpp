// The chip model's SPI registers with behaviour: interrupt status, the slow-read window, the boot
// ROM word, the indata port and the chip side of the mailboxes.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "chip/chip.h"

namespace {

using zsim::Chip;

// Counts its reads, so a test can see how often the window fetched.
class CountingPeripheral : public zsim::McuPeripheral {
  public:
    bool claims(uint32_t address) const override { return address == 0x40009068; }
    uint32_t read_word(uint32_t) override { return ++reads; }
    void write_word(uint32_t, uint32_t) override {}
    uint32_t reads = 0;
};

TEST(SimChip, InterruptStatusClearsExactlyTheBitsWrittenBack) {
    Chip chip;
    chip.chip_post(Chip::MBIN_RESP, 0x09);
    chip.chip_post(Chip::MBOUT, 0x91);
    chip.poke_spi(Chip::INTSTS, chip.peek_spi(Chip::INTSTS) | 0x40);
    EXPECT_EQ(chip.spi_read(Chip::INTSTS), 0x46);
    chip.spi_write(Chip::INTSTS, 0x02);
    EXPECT_EQ(chip.spi_read(Chip::INTSTS), 0x44);
    chip.spi_write(Chip::INTSTS, 0x7F);
    EXPECT_EQ(chip.spi_read(Chip::INTSTS), 0x00);
    chip.spi_write(Chip::INTSTS, 0x00);
    EXPECT_EQ(chip.spi_read(Chip::INTSTS), 0x00);
}

TEST(SimChip, SlowReadWindowFetchesTheWordOnceThePacketIsIn) {
    Chip chip;
    CountingPeripheral fll;
    chip.attach(fll);
    chip.poke_mcu(0x20017000, 0x11223344);
    chip.spi_write_block(Chip::MADDR, std::array<uint8_t, 4>{0x00, 0x70, 0x01, 0x20});
    std::array<uint8_t, 8> window{};
    chip.spi_read_block(Chip::MADDR, window);
    EXPECT_EQ(window, (std::array<uint8_t, 8>{0x00, 0x70, 0x01, 0x20, 0x44, 0x33, 0x22, 0x11}));

    // A 4-byte address packet reads the peripheral once, not once per byte.
    chip.spi_write_block(Chip::MADDR, std::array<uint8_t, 4>{0x68, 0x90, 0x00, 0x40});
    EXPECT_EQ(fll.reads, 1u);
    EXPECT_EQ(chip.peek_spi(Chip::MDATA), 1);
    EXPECT_EQ(chip.slow_reads(), 2);
    // mdata is fetched, never written by the host.
    chip.spi_write(Chip::MDATA, 0xEE);
    EXPECT_EQ(chip.peek_spi(Chip::MDATA), 1);
}

TEST(SimChip, BootRomWordTellsAnOpenChipFromASecuredOne) {
    Chip open;
    Chip secured(0x22, true);
    EXPECT_EQ(open.mcu_read(0), Chip::BOOT_ROM_WORD);
    EXPECT_FALSE(open.secured());
    EXPECT_EQ(secured.mcu_read(0), 0u);
    EXPECT_TRUE(secured.secured());
    EXPECT_EQ(secured.device_type(), 0x22);
}

TEST(SimChip, IndataStreamsAndOtherBlocksAdvance) {
    Chip chip;
    const std::vector<uint8_t> samples = {1, 2, 3, 4, 5};
    chip.spi_write_block(Chip::INDATA, samples);
    EXPECT_EQ(chip.indata(), samples);
    EXPECT_EQ(chip.peek_spi(Chip::INDATA + 1), 0) << "the port does not spill into its neighbours";
    chip.spi_write_block(0x10, std::array<uint8_t, 2>{0xAB, 0xCD});
    EXPECT_EQ(chip.peek_spi(0x10), 0xAB);
    EXPECT_EQ(chip.peek_spi(0x11), 0xCD);
}

TEST(SimChip, ChipSideRegistersIgnoreTheHostAndHooksHearHostWrites) {
    Chip chip(0x20);
    std::vector<std::pair<uint8_t, uint8_t>> heard;
    chip.on_host_write = [&heard](uint8_t a, uint8_t v) { heard.emplace_back(a, v); };
    chip.spi_write(Chip::MBIN_RESP, 0x55);
    chip.spi_write(Chip::MBOUT, 0x55);
    chip.spi_write(0x00, 0x55);
    EXPECT_EQ(chip.peek_spi(Chip::MBIN_RESP), 0);
    EXPECT_EQ(chip.peek_spi(Chip::MBOUT), 0);
    EXPECT_EQ(chip.device_type(), 0x20);
    EXPECT_TRUE(heard.empty());

    chip.spi_write_block(Chip::MBIN, std::array<uint8_t, 1>{0x89});
    chip.spi_write(Chip::MBOUT_RESP, 0x80);
    EXPECT_EQ(heard, (std::vector<std::pair<uint8_t, uint8_t>>{{Chip::MBIN, 0x89},
                                                               {Chip::MBOUT_RESP, 0x80}}));
    chip.chip_post(Chip::MBIN_RESP, 0x81);
    EXPECT_EQ(chip.spi_read(Chip::MBIN_RESP), 0x81);
    EXPECT_EQ(chip.spi_read(Chip::INTSTS), Chip::INTSTS_MAILBOX_IN);
}

} // namespace
