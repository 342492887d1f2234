// The simulated chip's boot loader and firmware, driven through the device library the way its
// firmware loaders drive them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "board.h"
#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"
#include "support/board/board_host.h"
#include "support/package_builder.h"

extern "C" int morvel_zelp7x_run_smap_op(morvel_zelp_device_s *zelp, int op, uint32_t address,
                                         unsigned int count);

namespace {

using ztest::board_options;
using ztest::BoardHost;
using ztest::Bytes;
constexpr int MORE = MORVEL_ZELP_ERROR_MORE;

TEST(SimFirmware, StartedImageIsKeptAndTheFirmwareAnswersWithItsPointerTable) {
    BoardHost b;
    EXPECT_EQ(b.spi(0x32), 0x91) << "the boot loader announced itself after the reset";
    const Bytes image = ztest::pattern(5000, 3);
    ASSERT_EQ(b.start_firmware(image), 0);
    EXPECT_TRUE(std::ranges::equal(b.board.firmware().image(), image));
    EXPECT_EQ(b.z().fw_pointers_addr, 0x1FFFC0C0u);
    EXPECT_EQ(b.z().fw_state_addr, 0x20011000u);
    EXPECT_EQ(b.z().fw_posterior_parameters_addr, 0x20011000u + 952);
    EXPECT_EQ(b.z().fw_agc_addr, 0x20011000u + 6644);
    EXPECT_EQ(b.z().fw_posterior_state_addr, 0x20011000u + 6840);
    EXPECT_EQ(b.z().tank_address, 0x20001000u);
    EXPECT_EQ(b.z().tank_max_size, 0x10000u);
    EXPECT_EQ(b.z().match_ring_size, 10u);
    EXPECT_EQ(morvel_zelp7x_mb_nop(b.zelp), 0);
    EXPECT_EQ(morvel_zelp7x_do_mailbox_req(b.zelp, 2), MORVEL_ZELP_ERROR_FAIL)
        << "no serial request waits";

    // A firmware-to-host request reaches the library and the answer reaches the firmware.
    ASSERT_TRUE(b.board.firmware().mailbox().post_request(zsim::FirmwareMailbox::MATCH));
    uint32_t n = 0;
    ASSERT_EQ(morvel_zelp7x_poll(b.zelp, &n, 1), 0);
    EXPECT_EQ(b.z().matches, 1u);
    EXPECT_FALSE(b.board.firmware().mailbox().request_pending());

    // Restart finds the same table at its fixed address.
    morvel_zelp7x_write(b.zelp, 1, 0x20017004, 2);
    morvel_zelp7x_write(b.zelp, 1, 0x2001780C, 4);
    ASSERT_EQ(morvel_zelp7x_init(b.host.device(), MORVEL_ZELP_INIT_MODE_RESTART), 0);
    EXPECT_EQ(b.z().fw_state_addr, 0x20011000u);

    // A reset stops the firmware: its image stays in the RAM, but nothing answers the mailbox.
    ASSERT_EQ(morvel_zelp7x_reset(b.zelp, 0), 0);
    EXPECT_FALSE(b.board.firmware().running());
    EXPECT_TRUE(std::ranges::equal(b.board.firmware().image(), image));
    EXPECT_EQ(morvel_zelp7x_mb_nop(b.zelp), MORVEL_ZELP_ERROR_TIMEOUT);

    BoardHost stuck(",mbout-stuck");
    EXPECT_EQ(stuck.start_firmware(image), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(stuck.spi(0x32), 0x91);
}

Bytes firmware_package(size_t image_size = 5000) {
    const uint8_t version[8] = {'f', 'w', ' ', '1', '.', '2', 0, 0};
    return ztest::PackageBuilder()
        .record(TAG_FIRMWARE_VERSION_STRING_V1, version)
        .record(TAG_FIRMWARE, ztest::pattern(image_size, 9))
        .build();
}

TEST(SimBootLoader, SecuredPackageInAnyWindowStartsTheFirmwareWithTheImage) {
    const Bytes package = firmware_package();
    for (const size_t window : {4, 1024}) {
        BoardHost b(",secured=1");
        ASSERT_EQ(b.z().secured, 1u);
        ASSERT_EQ(b.stream(package, window), 0) << window;
        EXPECT_EQ(b.board.boot_loader().streamed(), package);
        EXPECT_EQ(b.board.boot_loader().bursts(), (package.size() + window - 1) / window);
        uint8_t mbout = 0xFF;
        EXPECT_EQ(morvel_zelp7x_wait_mb(b.zelp, 0x32, 0, &mbout), 0) << "the firmware started";
        ASSERT_EQ(morvel_zelp7x_write(b.zelp, 0, 0x30, 0), 0);
        ASSERT_EQ(b.adopt_firmware(), 0);
        EXPECT_TRUE(std::ranges::equal(b.board.firmware().image(), ztest::pattern(5000, 9)));
        // The windows read through the secure memory access block.
        uint32_t windows[4] = {};
        ASSERT_EQ(morvel_zelp7x_read_block(b.zelp, 1, 0x40009034, windows, 16), 0);
        EXPECT_EQ(windows[0], 0x20017000u);
        EXPECT_EQ(windows[3], 0x20011000u);
        EXPECT_EQ(b.z().fw_state_addr, 0x20011000u);
    }
}

TEST(SimBootLoader, CorruptRefusedOrUnansweredLoadsFailAndStartNothing) {
    const Bytes good = firmware_package();
    Bytes bad_crc = good, bad_header = good;
    bad_crc[100] ^= 1;
    bad_header[8] ^= 1;
    const Bytes too_big = firmware_package(0x4004);
    struct Case {
        const char *port;
        const Bytes &package;
        int expected;
    } cases[] = {
        {",secured", bad_crc, MORVEL_ZELP_ERROR_PACKAGE},
        {",secured", bad_header, MORVEL_ZELP_ERROR_PACKAGE},
        {",secured", too_big, MORVEL_ZELP_ERROR_PACKAGE},
        {",fault=boot-refuses", good, MORVEL_ZELP_ERROR_FAIL},
        {",boot-silent", good, MORVEL_ZELP_ERROR_TIMEOUT},
    };
    for (const Case &c : cases) {
        BoardHost b(c.port);
        EXPECT_EQ(b.stream(c.package, 1024), c.expected) << c.port;
        morvel_zelp7x_write(b.zelp, 0, 0x30, 0);
        EXPECT_EQ(b.spi(0x32), 0x91) << "no firmware runs";
    }
}

TEST(SimBootLoader, TakesTheLibrarysResetFixPackage) {
    BoardHost b;
    ASSERT_EQ(morvel_zelp7x_reset_fix(b.zelp), 0);
    EXPECT_EQ(b.board.boot_loader().streamed(),
              Bytes(zelp7x_reset_fix_v1_mvpkg, zelp7x_reset_fix_v1_mvpkg + 280));
}

// Enciphered parameters as the tag handler hands them over: a 3000-byte value in pieces of
// 2048 and 952, each cut into blocks that fill the block's data area after an 8-byte header.
TEST(SimFirmware, LoadTakesEncipheredParametersBlockByBlock) {
    BoardHost b;
    ASSERT_EQ(b.start_firmware(ztest::pattern(256)), 0);
    const Bytes value = ztest::pattern(3000, 5);
    const auto open_load = [&b](uint32_t length) {
        Bytes header = ztest::ByteWriter().u32(71).u32(length).data();
        ASSERT_EQ(morvel_zelp7x_run_smap_op(b.zelp, 2, 0, 0), MORE);
        morvel_zelp7x_write_block(b.zelp, 1, 0x20017C08, header.data(), 8);
    };
    open_load(3000);
    const struct {
        size_t fill, from, n;
        int expected;
    } blocks[] = {
        {8, 0, 1008, MORE}, {0, 1008, 1016, MORE}, {0, 2024, 24, MORE}, {0, 2048, 952, 0}};
    for (const auto &k : blocks) {
        morvel_zelp7x_write_block(b.zelp, 1, 0x20017C08 + unsigned(k.fill),
                                  const_cast<uint8_t *>(value.data() + k.from), unsigned(k.n));
        EXPECT_EQ(morvel_zelp7x_run_smap_op(b.zelp, 2, 0, unsigned(k.fill + k.n)), k.expected);
    }
    const zsim::SecureAccess &smap = b.board.firmware().secure_access();
    EXPECT_EQ(smap.loaded(), value);
    EXPECT_EQ(smap.load_lengths(), (std::vector<uint32_t>{0, 1016, 1016, 24, 952}));
    EXPECT_EQ(morvel_zelp7x_run_smap_op(b.zelp, 2, 0, 8), MORVEL_ZELP_ERROR_FAIL) << "load closed";
    open_load(294913);
    EXPECT_EQ(morvel_zelp7x_run_smap_op(b.zelp, 2, 0, 8), MORVEL_ZELP_ERROR_PACKAGE) << "too big";
}

TEST(SimBoardOptions, ChipOptionsAndFaults) {
    const zsim::BoardOptions o =
        board_options(",secured,fault=mbout-stuck,boot-silent=1,size=1M,match-every=250");
    EXPECT_TRUE(o.chip.secured && o.chip.mbout_stuck && o.chip.boot_silent);
    EXPECT_FALSE(o.chip.boot_refuses);
    EXPECT_EQ(o.chip.match_every_ms, 250u);
    EXPECT_EQ(o.flash.size, 1u << 20);
    zsim::BoardOptions options;
    std::string error;
    EXPECT_FALSE(zsim::parse_board_option("secured", "2", options, error));
    EXPECT_EQ(error, "secured takes no value");
    EXPECT_FALSE(zsim::parse_board_option("fault", "secured", options, error));
    for (const char *ms : {"0", "86400001", "1s", ""})
        EXPECT_FALSE(zsim::parse_board_option("match-every", ms, options, error)) << ms;
    EXPECT_EQ(zsim::Board(o).chip().mcu_read(0), 0u) << "secured boot ROM word";
}

} // namespace
