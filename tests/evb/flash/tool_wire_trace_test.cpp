// What a run of the tool with no flash options puts on the wire before its first MSPI access:
// bridge clock and probe, chip reset, input clock, then the configuration read-back, packet by
// packet as the simulated bridge took them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board.h"
#include "io_state.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "run.h"

namespace {

// The bytes the host sent for one packet, as "3A 01 ..." with " -> n" for an n-byte answer. MCU
// transfers (0, 1) carry a 4-byte address, SPI transfers (2, 3) a 1-byte one, both least
// significant byte first and then a big-endian 16-bit count; other commands a big-endian word.
std::string wire_text(const zsim::BridgePacket &p) {
    const bool mcu = p.command <= 1, spi = p.command == 2 || p.command == 3;
    const int address_bytes = mcu ? 4 : spi ? 1 : 0, value_bytes = mcu || spi ? 2 : 4;
    std::vector<uint8_t> bytes = {0x3A, p.command};
    for (int i = 0; i < address_bytes; ++i)
        bytes.push_back(static_cast<uint8_t>(p.address >> (8 * i)));
    for (int i = value_bytes - 1; i >= 0; --i)
        bytes.push_back(static_cast<uint8_t>(p.value >> (8 * i)));
    bytes.insert(bytes.end(), p.data.begin(), p.data.end());
    std::string text;
    char hex[4];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ", b);
        text += hex;
    }
    if (!p.answer.empty()) text += " -> " + std::to_string(p.answer.size());
    return text;
}

// The tool's opening steps on the in-process simulated board; the handles are given back at the
// end, which the tool itself leaves to the process exit.
class StartedTool {
  public:
    StartedTool() {
        run_options run;
        run.spi_dev = "sim";
        board_.reset(open_board(run));
    }
    StartedTool(const StartedTool &) = delete;
    StartedTool &operator=(const StartedTool &) = delete;

    morvel_zelp_device_s *zelp() { return morvel_zelp7x_board_device(board_.get()); }
    zsim::Bridge &bridge() {
        return zio::sim_board(morvel_zelp7x_board_io(board_.get()))->bridge();
    }
    std::vector<std::string> wire() {
        std::vector<std::string> text;
        for (const zsim::BridgePacket &p : bridge().packets()) text.push_back(wire_text(p));
        return text;
    }

  private:
    board_ptr board_;
};

const std::string kFllStatusAddress = "3A 03 40 00 04 68 90 00 40";
const std::string kSlowReadWindow = "3A 02 40 00 08 -> 8";

TEST(ToolWireTrace, StartOfARunIsExactlyClockProbeResetAndInputClock) {
    const std::vector<std::string> wire = StartedTool().wire();
    const std::vector<std::string> opening = {
        // Bridge clock, link probe, device type.
        "3A 09 00 0F 42 40",
        "3A 02 00 00 01 -> 1",
        "3A 02 00 00 01 -> 1",
        // Reset.
        "3A 03 04 00 01 0A",
        "3A 03 03 00 01 00",
        "3A 03 30 00 01 00",
        "3A 03 33 00 01 00",
        "3A 03 02 00 01 7F",
        "3A 03 02 00 01 00",
        "3A 03 04 00 01 03",
        "3A 03 05 00 01 10",
        "3A 03 40 00 04 00 00 00 00",
        kSlowReadWindow,
        "3A 01 00 F0 01 40 00 04 00 00 00 00",
        "3A 01 A8 C0 00 40 00 04 00 80 00 00",
        "3A 01 04 D0 00 40 00 04 01 28 00 00",
        "3A 01 04 70 01 20 00 04 00 00 00 00",
        // Input clock 32768 Hz through the FLL.
        "3A 02 04 00 01 -> 1",
        "3A 01 5C 90 00 40 00 04 A1 C7 10 40",
        "3A 01 60 90 00 40 00 04 10 10 7F 07",
        "3A 01 58 90 00 40 00 04 EF 80 FF 03",
    };
    ASSERT_GE(wire.size(), opening.size());
    for (size_t i = 0; i < opening.size(); ++i) EXPECT_EQ(wire[i], opening[i]) << "packet " << i;

    // The FLL status is polled through the slow-read window until it locks.
    size_t i = opening.size();
    size_t polls = 0;
    while (i + 1 < wire.size() && wire[i] == kFllStatusAddress && wire[i + 1] == kSlowReadWindow) {
        i += 2;
        ++polls;
    }
    EXPECT_GE(polls, 1u);

    const std::vector<std::string> clocks = {
        "3A 01 04 90 00 40 00 04 00 08 C0 00",
        "3A 01 08 90 00 40 00 04 20 04 00 00",
        "3A 01 00 70 01 20 00 04 00 80 00 00",
    };
    ASSERT_GE(wire.size(), i + clocks.size());
    for (const std::string &c : clocks) EXPECT_EQ(wire[i++], c);

    // The register mirror: 21 word reads from dnnctl0 to mem3, then ctl; a chip that holds what
    // was written needs no write-back.
    const std::vector<std::string> mirror(wire.begin() + static_cast<long>(i), wire.end());
    ASSERT_EQ(mirror.size(), 22u);
    EXPECT_EQ(mirror.front(), "3A 00 04 D0 00 40 00 04 -> 4");
    EXPECT_EQ(mirror[20], "3A 00 C4 D0 00 40 00 04 -> 4");
    for (size_t k = 0; k < 21; ++k) EXPECT_EQ(mirror[k].substr(0, 5), "3A 00") << k;
    EXPECT_EQ(mirror.back(), "3A 02 04 00 01 -> 1");
}

TEST(ToolWireTrace, JedecIdIsFiveMspiPacketsOnTheWire) {
    StartedTool tool;
    tool.bridge().clear_packets();
    uint8_t mfg = 0;
    uint16_t id = 0;
    morvel_zelp7x_flash_s f{};
    f.zelp = tool.zelp();
    ASSERT_EQ(morvel_zelp7x_flash_read_id(&f, &mfg, &id, nullptr, nullptr), 0);
    EXPECT_EQ(tool.wire(),
              (std::vector<std::string>{
                  "3A 01 14 90 00 40 00 04 01 01 00 00", // enable
                  "3A 01 18 90 00 40 00 04 00 00 00 9F", // transmit word, little-endian
                  "3A 01 14 90 00 40 00 04 0E 01 00 00", // transfer 4 bytes
                  "3A 01 14 90 00 40 00 04 00 01 00 00", // idle
                  "3A 00 1C 90 00 40 00 04 -> 4",        // receive
              }));
    EXPECT_EQ(mfg, 0xEF);
    EXPECT_EQ(id, 0x4016);
}

} // namespace
