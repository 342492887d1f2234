// The simulated SPI NOR flash: command set, busy and write-enable rules, faults, the bridge's
// block access, the image file and the option parser.
#include <gtest/gtest.h>

#include <vector>

#include "devices/flash_options.h"
#include "devices/spi_flash.h"
#include "support/process/temp_files.h"

namespace {

using zsim::FlashConfig;
using zsim::SpiFlash;

// One chip-select cycle: sends `out`, then `reads` zero bytes; returns every byte clocked in.
std::vector<uint8_t> xfer(SpiFlash &f, std::vector<uint8_t> out, size_t reads = 0) {
    out.resize(out.size() + reads, 0);
    std::vector<uint8_t> in;
    f.select();
    for (uint8_t b : out) in.push_back(f.exchange(b));
    f.deselect();
    return in;
}

void write_enable(SpiFlash &f) {
    xfer(f, {0x06});
}

uint8_t status(SpiFlash &f) {
    return xfer(f, {0x05}, 1)[1];
}

void wait_ready(SpiFlash &f) {
    for (int i = 0; i < 1000 && (status(f) & 1); ++i) {
    }
}

void program(SpiFlash &f, uint32_t a, std::vector<uint8_t> data) {
    write_enable(f);
    std::vector<uint8_t> cmd = {0x02, uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
    cmd.insert(cmd.end(), data.begin(), data.end());
    xfer(f, cmd);
    wait_ready(f);
}

void erase(SpiFlash &f, uint8_t opcode, uint32_t a) {
    write_enable(f);
    xfer(f, {opcode, uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)});
    wait_ready(f);
}

std::vector<uint8_t> read(SpiFlash &f, uint32_t a, size_t n) {
    auto in = xfer(f, {0x03, uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)}, n);
    return {in.begin() + 4, in.end()};
}

TEST(SimFlash, AnswersItsJedecIdAndNothingWhenAbsent) {
    SpiFlash f;
    EXPECT_EQ(xfer(f, {0x9F}, 3), (std::vector<uint8_t>{0xFF, 0xEF, 0x40, 0x16}));
    FlashConfig c;
    c.jedec_id = {0xC2, 0x20, 0x17};
    SpiFlash other(c);
    EXPECT_EQ(xfer(other, {0x9F}, 3), (std::vector<uint8_t>{0xFF, 0xC2, 0x20, 0x17}));
    c.absent = true;
    SpiFlash none(c);
    EXPECT_EQ(xfer(none, {0x9F}, 3), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(status(none), 0);
    c.absent = false;
    c.all_ones = true;
    SpiFlash floating(c);
    EXPECT_EQ(xfer(floating, {0x9F}, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SimFlash, ProgramNeedsWriteEnableClearsOnlyBitsAndWrapsInItsPage) {
    SpiFlash f;
    xfer(f, {0x02, 0, 0, 0x10, 0x00});
    EXPECT_EQ(f.contents()[0x10], 0xFF) << "no write enable: ignored";

    program(f, 0x10, {0xF0, 0x0F});
    EXPECT_FALSE(f.write_enabled()) << "the latch clears itself after a program";
    program(f, 0x10, {0x3C, 0xFF});
    EXPECT_EQ(read(f, 0x10, 2), (std::vector<uint8_t>{0x30, 0x0F}));

    program(f, 0x1FE, {1, 2, 3, 4});
    EXPECT_EQ(read(f, 0x1FE, 2), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(read(f, 0x100, 2), (std::vector<uint8_t>{3, 4})) << "wraps to the page start";
    EXPECT_EQ(f.contents()[0x200], 0xFF);
}

TEST(SimFlash, ErasesNeedWriteEnableAndAWholeAddressAndClearTheirAlignedSpan) {
    SpiFlash f;
    auto cells = f.cells();
    std::fill(cells.begin(), cells.end(), uint8_t{0});

    xfer(f, {0x20, 0, 0x10, 0});
    EXPECT_EQ(cells[0x1000], 0) << "no write enable: ignored";
    write_enable(f);
    xfer(f, {0x20, 0, 0x10});
    EXPECT_EQ(f.stats().sector_erases, 0u) << "an incomplete address is ignored";
    EXPECT_TRUE(f.write_enabled()) << "and keeps the latch";

    erase(f, 0x20, 0x1234);
    EXPECT_EQ(cells[0x0FFF], 0);
    EXPECT_EQ(cells[0x1000], 0xFF);
    EXPECT_EQ(cells[0x1FFF], 0xFF);
    EXPECT_EQ(cells[0x2000], 0);

    erase(f, 0xD8, 0x2ABCD);
    EXPECT_EQ(cells[0x1FFFF], 0);
    EXPECT_EQ(cells[0x20000], 0xFF);
    EXPECT_EQ(cells[0x2FFFF], 0xFF);
    EXPECT_EQ(cells[0x30000], 0);
    EXPECT_EQ(f.stats().erase_log, (std::vector<uint32_t>{0x1000, 0x20000}));

    write_enable(f);
    xfer(f, {0x60});
    wait_ready(f);
    EXPECT_TRUE(std::all_of(cells.begin(), cells.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(SimFlash, BusyCountsStatusPollsAndIgnoresOtherCommandsMeanwhile) {
    FlashConfig c;
    c.page_program_polls = 3;
    SpiFlash f(c);
    write_enable(f);
    EXPECT_EQ(status(f), 0x02) << "write-enable latch";
    xfer(f, {0x02, 0, 0, 0, 0x00});
    EXPECT_EQ(status(f), 0x01);
    write_enable(f);
    xfer(f, {0x02, 0, 0, 4, 0x00}); // dropped: the flash is busy
    EXPECT_EQ(status(f), 0x01);
    EXPECT_EQ(status(f), 0x01);
    EXPECT_EQ(status(f), 0x00);
    EXPECT_EQ(f.contents()[0], 0x00);
    EXPECT_EQ(f.contents()[4], 0xFF);
    EXPECT_GE(f.stats().ignored, 2u);

    // A host that leaves in the middle of the wait takes no polls with it: the next one finds
    // the operation over, as a real part would have finished it meanwhile.
    write_enable(f);
    xfer(f, {0x20, 0, 0x10, 0});
    EXPECT_EQ(status(f), 0x01);
    EXPECT_EQ(xfer(f, {0x9F}, 1)[1], 0xFF) << "a busy flash answers no ID";
    f.host_left();
    EXPECT_EQ(status(f), 0x00);
    EXPECT_EQ(xfer(f, {0x9F}, 1)[1], 0xEF);
}

TEST(SimFlash, StuckBusyNeverClearsAfterAModifyingCommand) {
    FlashConfig c;
    c.stuck_busy = true;
    SpiFlash f(c);
    EXPECT_EQ(status(f) & 1, 0);
    write_enable(f);
    xfer(f, {0x02, 0, 0, 0, 0x00});
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(status(f) & 1, 1);
    f.host_left();
    EXPECT_EQ(status(f) & 1, 1) << "a departed host does not mend a stuck part";
    f.bridge_write(0x100, std::vector<uint8_t>{0});
    EXPECT_EQ(f.contents()[0x100], 0xFF);
}

TEST(SimFlash, FlippedBitShowsOnEveryReadButNotInTheCells) {
    FlashConfig c;
    c.flip_bit_at = 0x21;
    SpiFlash f(c);
    EXPECT_EQ(read(f, 0x20, 3), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF}));
    std::vector<uint8_t> out(3);
    f.bridge_read(0x20, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xFE, 0xFF}));
    EXPECT_EQ(f.contents()[0x21], 0xFF);
}

TEST(SimFlash, BridgeStartOfFileErasesEachSectorOnceBeforeItsFirstWrite) {
    SpiFlash f;
    auto cells = f.cells();
    std::fill(cells.begin(), cells.end(), uint8_t{0x00});

    f.bridge_write(0x10, std::vector<uint8_t>{0xAA});
    EXPECT_EQ(cells[0x10], 0x00) << "not armed: a plain program";

    f.bridge_start_of_file(0x1800);
    f.bridge_write(0xFFE, std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78});
    f.bridge_write(0x1002, std::vector<uint8_t>{0x9A});
    EXPECT_EQ(cells[0xFFD], 0xFF);
    EXPECT_EQ(cells[0xFFE], 0x12);
    EXPECT_EQ(cells[0x1001], 0x78);
    EXPECT_EQ(cells[0x1002], 0x9A) << "second write into the sector does not erase it";
    EXPECT_EQ(cells[0x2000], 0x00);
    EXPECT_EQ(f.stats().sector_erases, 2u);

    std::vector<uint8_t> back(4);
    f.bridge_read(0xFFE, back);
    EXPECT_EQ(back, (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78}));
}

TEST(SimFlash, ImageFileIsCreatedErasedAndHoldsEveryChangeAcrossInstances) {
    const ztest::TempDir dir("sim_flash_test_image");
    const auto path = dir.path() / "flash.bin";
    FlashConfig c;
    c.size = 64u << 10;
    c.image_path = path.string();
    {
        SpiFlash f(c);
        EXPECT_TRUE(f.image_error().empty());
        program(f, 0x100, {1, 2, 3, 4});
        // On disk already, while the flash is still alive and without save().
        const std::vector<uint8_t> disk = ztest::read_bytes(path);
        ASSERT_EQ(disk.size(), c.size);
        EXPECT_EQ(disk[0xFF], 0xFF);
        EXPECT_EQ(disk[0x100], 1);
        EXPECT_EQ(disk[0x103], 4);
    }
    SpiFlash again(c);
    EXPECT_EQ(read(again, 0x100, 4), (std::vector<uint8_t>{1, 2, 3, 4}));

    c.image_path = (dir.path() / "no-such-dir" / "x.bin").string();
    SpiFlash fallback(c);
    EXPECT_FALSE(fallback.image_error().empty());
    program(fallback, 0, {0});
    EXPECT_EQ(fallback.contents()[0], 0);
}

TEST(SimFlashOptions, AcceptsEachOptionAndRejectsBadValues) {
    FlashConfig c;
    std::string e;
    EXPECT_TRUE(zsim::parse_flash_option("size", "1M", c, e));
    EXPECT_EQ(c.size, 1u << 20);
    EXPECT_EQ(c.jedec_id[2], 0x14) << "the capacity byte follows the size";
    EXPECT_TRUE(zsim::parse_flash_option("size", "0x10000", c, e));
    EXPECT_EQ(c.size, 0x10000u);
    EXPECT_TRUE(zsim::parse_flash_option("id", "c22017", c, e));
    EXPECT_TRUE(zsim::parse_flash_option("size", "8M", c, e));
    EXPECT_EQ(c.jedec_id, (std::array<uint8_t, 3>{0xC2, 0x20, 0x17})) << "an explicit id wins";
    EXPECT_TRUE(zsim::parse_flash_option("image", "/tmp/x.bin", c, e));
    EXPECT_EQ(c.image_path, "/tmp/x.bin");
    EXPECT_TRUE(zsim::parse_flash_option("timing", "real", c, e));
    EXPECT_TRUE(c.real_time);
    EXPECT_TRUE(zsim::parse_flash_option("fault", "absent", c, e));
    EXPECT_TRUE(c.absent);
    EXPECT_TRUE(zsim::parse_flash_option("fault", "all-ones", c, e));
    EXPECT_TRUE(c.all_ones);
    EXPECT_TRUE(zsim::parse_flash_option("stuck-busy", "", c, e));
    EXPECT_TRUE(c.stuck_busy);
    EXPECT_TRUE(zsim::parse_flash_option("fault", "flip-bit=0x1234", c, e));
    EXPECT_EQ(c.flip_bit_at, 0x1234);
    EXPECT_TRUE(zsim::parse_flash_option("flip-bit", "100", c, e));
    EXPECT_EQ(c.flip_bit_at, 100);

    const std::pair<const char *, const char *> bad[] = {
        {"size", "3M"},     {"size", "32M"},
        {"size", "4K"},     {"size", ""},
        {"size", "1Mx"},    {"id", "EF40"},
        {"id", "EF40GG"},   {"timing", "fast"},
        {"fault", "smoke"}, {"flip-bit", "0x1000000"},
        {"image", ""},      {"absent", "yes"},
        {"colour", "red"},
    };
    for (const auto &[name, value] : bad) {
        e.clear();
        EXPECT_FALSE(zsim::parse_flash_option(name, value, c, e)) << name << "=" << value;
        EXPECT_FALSE(e.empty()) << name;
    }
}

} // namespace
