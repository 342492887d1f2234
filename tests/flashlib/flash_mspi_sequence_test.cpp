// The register accesses behind each flash command, in order: the flash sees only what the MSPI
// registers shift out, so one access too many, too few or out of order changes what it does.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "flash_ops.h"
#include "support/board/sim_device.h"

namespace {

using ztest::SimDevice;
using Trace = std::vector<std::string>;

// "ctl 0x10e" / "tx 0x9f000000" for writes, "rx" for receive reads, "spi[0x00]" for SPI space.
std::string text_of(const ztest::RegisterAccess &a) {
    char buf[40];
    if (a.mcu == 0) {
        std::snprintf(buf, sizeof buf, "spi[0x%02x]%s", a.address, a.write ? " write" : "");
        return buf;
    }
    const char *name = a.address == 0x40009014   ? "ctl"
                       : a.address == 0x40009018 ? "tx"
                       : a.address == 0x4000901C ? "rx"
                                                 : "?";
    if (!a.write) return std::string(name) + (a.address == 0x4000901C ? "" : " read");
    std::snprintf(buf, sizeof buf, "%s 0x%x", name, a.value);
    return buf;
}

Trace trace_of(SimDevice &dev) {
    Trace t;
    for (const auto &a : dev.register_log) t.push_back(text_of(a));
    dev.register_log.clear();
    return t;
}

const Trace write_enable = {"ctl 0x101", "tx 0x6", "ctl 0x102", "ctl 0x100"};
const Trace status_read = {"ctl 0x101", "tx 0x500", "ctl 0x106", "ctl 0x100", "rx"};

Trace join(std::initializer_list<Trace> parts) {
    Trace all;
    for (const Trace &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A command followed by a busy wait: the fixed prefix, then nothing but whole status reads.
void expect_command_then_wait(const Trace &got, const Trace &command) {
    ASSERT_GE(got.size(), command.size() + status_read.size());
    EXPECT_EQ(Trace(got.begin(), got.begin() + static_cast<long>(command.size())), command);
    const size_t rest = got.size() - command.size();
    ASSERT_EQ(rest % status_read.size(), 0u) << "a partial status read";
    for (size_t i = command.size(); i < got.size(); i += status_read.size())
        EXPECT_EQ(Trace(got.begin() + static_cast<long>(i),
                        got.begin() + static_cast<long>(i + status_read.size())),
                  status_read)
            << "at access " << i;
}

// The flash library's operations on `dev` over one path.
class LibraryOn {
  public:
    explicit LibraryOn(SimDevice &dev, bool bridge = false)
        : f_(dev.session(bridge ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI)),
          s_(f_) {}
    const zflash::session &operator*() const { return s_; }

  private:
    morvel_zelp7x_flash_s f_;
    zflash::session s_;
};

TEST(ToolMspiSequence, ShortCommandsAreEnableTransmitTransferIdleAndARead) {
    SimDevice dev;
    const LibraryOn lib(dev);
    uint8_t mfg = 0;
    uint16_t id = 0;
    zflash::read_id(*lib, &mfg, &id);
    EXPECT_EQ(trace_of(dev), (Trace{"ctl 0x101", "tx 0x9f000000", "ctl 0x10e", "ctl 0x100", "rx"}));
    EXPECT_EQ(zflash::read_status(*lib), 0);
    EXPECT_EQ(trace_of(dev), status_read);
    zflash::write_enable(*lib);
    EXPECT_EQ(trace_of(dev), write_enable);
}

TEST(ToolMspiSequence, ErasesAreWriteEnableCommandAndStatusPolls) {
    SimDevice dev;
    const LibraryOn lib(dev);
    zflash::erase_with(*lib, FLASH_ERASE_4K, 0x3000);
    expect_command_then_wait(
        trace_of(dev),
        join({write_enable, {"ctl 0x101", "tx 0x20003000", "ctl 0x10e", "ctl 0x100"}}));
    zflash::erase_with(*lib, FLASH_ERASE_64K, 0x10000);
    expect_command_then_wait(
        trace_of(dev),
        join({write_enable, {"ctl 0x101", "tx 0xd8010000", "ctl 0x10e", "ctl 0x100"}}));
    zflash::erase_chip(*lib);
    expect_command_then_wait(
        trace_of(dev), join({write_enable, {"ctl 0x101", "tx 0x60", "ctl 0x102", "ctl 0x100"}}));
}

TEST(ToolMspiSequence, PageProgramSendsEachWordWithUpdateTransmitTransfer) {
    SimDevice dev;
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    zflash::program_piece(*LibraryOn(dev), 0x100, data);
    expect_command_then_wait(
        trace_of(dev),
        join({write_enable,
              {"ctl 0x101", "tx 0x2000100", "ctl 0x10e", "ctl 0x103", "tx 0x1020304", "ctl 0x10e",
               "ctl 0x103", "tx 0x5060708", "ctl 0x10e", "ctl 0x100"}}));
}

TEST(ToolMspiSequence, ReadIsOneCommandWithUpdateTransferReceivePerWord) {
    SimDevice dev;
    uint8_t buf[8] = {};
    zflash::read_range(*LibraryOn(dev), 0x40, buf);
    EXPECT_EQ(trace_of(dev),
              (Trace{"ctl 0x101", "tx 0x3000040", "ctl 0x10e", "ctl 0x103", "ctl 0x10e", "rx",
                     "ctl 0x103", "ctl 0x10e", "rx", "ctl 0x100"}));
}

TEST(ToolMspiSequence, BridgePathOnlyFramesItsCommandsOnTheMspi) {
    SimDevice dev;
    uint8_t buf[4] = {};
    const LibraryOn lib(dev, true);
    zflash::read_range(*lib, 0, buf);
    EXPECT_EQ(trace_of(dev), (Trace{"ctl 0x101", "ctl 0x100"}));
    zflash::program_piece(*lib, 0, buf);
    EXPECT_EQ(trace_of(dev), (Trace{"ctl 0x101", "spi[0x00]", "ctl 0x100"}))
        << "no write enable and no busy wait; one register read paces the bridge";
}

} // namespace
