// Writes that touch only what changed: each kind of sector through the flash library on both
// paths, with the commands the flash saw, and a piece written with the data in one pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/board/sim_device.h"
#include "support/process/temp_files.h"
#include "zelp_linux_io.h"

namespace {

using bytes = std::vector<uint8_t>;
using ztest::SimDevice;

constexpr uint32_t sector = 4096;

// One sector case: what the flash holds in the four sectors 0x0000 to 0x4000, the data written
// at `address`, the span `erase_count` asks to erase, and what the write must send.
struct SectorCase {
    const char *name;
    bytes before;
    uint32_t address;
    bytes data;
    uint32_t erase_count;
    morvel_zelp7x_flash_write_stats_s stats;
    unsigned sector_erases, block_erases, page_programs;
};

std::vector<SectorCase> sector_cases() {
    bytes old = ztest::pseudo_random_bytes(4 * sector, 1);
    old[sector + 10] = 0xF0;
    old[sector + 700] = 0x81;
    old[2 * sector + 5] = 0x00;
    bytes cleared = old; // the same bytes with bits cleared in pages 0 and 2 of sector 1
    cleared[sector + 10] = 0x30;
    cleared[sector + 700] = 0x01;
    bytes gains = old; // sector 2 gains bits, so it must be erased
    gains[2 * sector + 5] = 0x81;
    bytes blank_tail = old; // sector 3 already blank
    std::fill(blank_tail.begin() + 3 * sector, blank_tail.end(), 0xFF);
    const auto part = [](const bytes &b, size_t from, size_t n) {
        return bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
    };
    // A write of bytes 0x1100 to 0x2F00 that must erase sector 2: its pages outside the data hold
    // old bytes and are programmed back; every page of sector 2 holds data, so 16 are programmed.
    return {
        {"unchanged", old, sector, part(old, sector, 2 * sector), 0, {2, 2, 0, 0}, 0, 0, 0},
        {"bits only", old, sector, part(cleared, sector, 2 * sector), 0, {2, 1, 0, 2}, 0, 0, 2},
        {"gains bits", old, 0x1100, part(gains, 0x1100, 0x1E00), 0, {2, 1, 1, 16}, 1, 0, 16},
        {"erase span, blank tail",
         blank_tail,
         0,
         part(blank_tail, 0, sector),
         4 * sector,
         {1, 1, 2, 0},
         2,
         0,
         0},
    };
}

TEST(FlashSkipUnchanged, EachSectorIsLeftProgrammedOrErasedAsItNeeds) {
    for (const SectorCase &c : sector_cases()) {
        SimDevice dev;
        std::ranges::copy(c.before, dev.flash().cells().begin());
        auto f = dev.session();
        morvel_zelp7x_flash_write_options_s options{1, c.erase_count, nullptr, 0};
        morvel_zelp7x_flash_write_stats_s stats{};
        ASSERT_EQ(morvel_zelp7x_flash_write(&f, c.address, c.data.data(),
                                            static_cast<uint32_t>(c.data.size()), &options, &stats,
                                            nullptr),
                  0)
            << c.name;
        EXPECT_EQ(stats.sectors, c.stats.sectors) << c.name;
        EXPECT_EQ(stats.sectors_unchanged, c.stats.sectors_unchanged) << c.name;
        EXPECT_EQ(stats.sectors_erased, c.stats.sectors_erased) << c.name;
        EXPECT_EQ(stats.pages_programmed, c.stats.pages_programmed) << c.name;
        EXPECT_EQ(dev.flash().stats().sector_erases, c.sector_erases) << c.name;
        EXPECT_EQ(dev.flash().stats().block_erases, c.block_erases) << c.name;
        EXPECT_EQ(dev.flash().stats().page_programs, c.page_programs) << c.name;

        // The data landed, the erase span outside it is blank, and nothing else changed.
        bytes want = c.before;
        const uint32_t erase_end = std::min<uint32_t>(c.address + c.erase_count, 4 * sector);
        for (uint32_t a =
                 (c.address + static_cast<uint32_t>(c.data.size()) + sector - 1) / sector * sector;
             a < erase_end; ++a)
            want[a] = 0xFF;
        std::ranges::copy(c.data, want.begin() + c.address);
        const auto got = dev.flash().contents().first(want.size());
        EXPECT_TRUE(std::ranges::equal(got, want)) << c.name;
    }
}

// A piece beside the data, on each way of writing: a plain write erases the sectors both touch
// and programs both; a changed-only one (either path) keeps every other byte. Either way a second
// changed-only write finds nothing to do.
TEST(FlashSkipUnchanged, APieceIsWrittenWithTheDataInOnePass) {
    const bytes data = ztest::pseudo_random_bytes(100, 20), piece = {1, 2, 3, 4, 5, 6, 7, 8};
    const morvel_zelp7x_flash_piece_s more = {0x5FF8, piece.data(), 8};
    struct Way {
        int skip_unchanged;
        morvel_zelp7x_flash_path_e path;
    };
    for (const Way way :
         {Way{0, MORVEL_ZELP7X_FLASH_PATH_MSPI}, Way{1, MORVEL_ZELP7X_FLASH_PATH_MSPI},
          Way{1, MORVEL_ZELP7X_FLASH_PATH_BRIDGE}}) {
        SimDevice dev;
        const bytes noise = ztest::pseudo_random_bytes(8 * sector, 21);
        std::ranges::copy(noise, dev.flash().cells().begin());
        bytes want = noise;
        if (way.skip_unchanged == 0) {
            std::fill_n(want.begin() + sector, sector, 0xFF);
            std::fill_n(want.begin() + 5 * sector, sector, 0xFF);
        }
        std::ranges::copy(data, want.begin() + 0x1010);
        std::ranges::copy(piece, want.begin() + 0x5FF8);
        auto f = dev.session(way.path);
        morvel_zelp7x_flash_write_options_s options{way.skip_unchanged, 0, &more, 1};
        morvel_zelp7x_flash_write_stats_s stats{};
        ASSERT_EQ(
            morvel_zelp7x_flash_write(&f, 0x1010, data.data(), 100, &options, &stats, nullptr), 0);
        EXPECT_TRUE(std::ranges::equal(dev.flash().contents().first(want.size()), want))
            << way.skip_unchanged << way.path;
        if (way.skip_unchanged) {
            EXPECT_EQ(stats.sectors, 2u);
        }
        options.skip_unchanged = 1;
        ASSERT_EQ(
            morvel_zelp7x_flash_write(&f, 0x1010, data.data(), 100, &options, &stats, nullptr), 0);
        EXPECT_EQ(stats.sectors_unchanged, 2u) << way.skip_unchanged << way.path;
    }
}

TEST(FlashSkipUnchanged, ThroughTheBridgeOnlyChangedSectorsAreSentWhole) {
    SimDevice dev;
    const bytes old = ztest::pseudo_random_bytes(3 * sector, 2);
    std::ranges::copy(old, dev.flash().cells().begin());
    bytes data = old;
    data[sector + 3] ^= 0x5A; // sector 1 changes; sectors 0 and 2 stay
    auto f = dev.session(MORVEL_ZELP7X_FLASH_PATH_BRIDGE);
    morvel_zelp7x_flash_write_options_s options{1, 0, nullptr, 0};
    morvel_zelp7x_flash_write_stats_s stats{};
    ASSERT_EQ(morvel_zelp7x_flash_write(&f, 0, data.data(), static_cast<uint32_t>(data.size()),
                                        &options, &stats, nullptr),
              0);
    EXPECT_EQ(stats.sectors_unchanged, 2u);
    EXPECT_EQ(stats.sectors_erased, 1u);
    EXPECT_EQ(stats.pages_programmed, 16u);
    std::vector<uint32_t> writes;
    for (const auto &c : dev.bridge_commands)
        if (c.command == ATMEL_DONGLE_FW_FLASH_WRITE) writes.push_back(c.address);
    ASSERT_EQ(writes.size(), 16u);
    EXPECT_EQ(writes.front(), sector);
    EXPECT_EQ(writes.back(), 2 * sector - 256);
    EXPECT_TRUE(std::ranges::equal(dev.flash().contents().first(data.size()), data));
}

} // namespace
