// Whole loads of the sample package through the host library's session and load loop into the
// in-process simulated chip: the chip ends the same whatever the piece size, and a secured chip's
// boot loader gets the package up to its checksum record and nothing after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "board.h"
#include "io_state.h"
#include "morvel_host/morvel_zelp7x_host.h"
#include "sample_package.h"

namespace {

using mvpkg::Bytes;
using mvpkg::SamplePart;

// Everything of the chip a load may write: its SPI registers, the firmware's RAM, the RAM the
// firmware and host share, the peripheral registers and the network parameter memory. The open
// RAM is left out: it is the window bytes pass through, and holds whatever passed last.
struct ChipState {
    std::vector<uint8_t> spi, image;
    std::vector<uint32_t> words;
    bool operator==(const ChipState &) const = default;
};

constexpr std::array<std::pair<uint32_t, uint32_t>, 4> kMemory{{{0x20000000, 0x20017C00},
                                                                {0x40009000, 0x4000E000},
                                                                {0x4001F000, 0x40020000},
                                                                {0x60000000, 0x60001000}}};

ChipState state_of(zsim::Board &board) {
    ChipState st;
    for (int a = 0; a < 256; ++a) st.spi.push_back(board.chip().peek_spi(static_cast<uint8_t>(a)));
    const auto image = board.firmware().image();
    st.image.assign(image.begin(), image.end());
    for (const auto &[from, to] : kMemory)
        for (uint32_t a = from; a < to; a += 4) st.words.push_back(board.chip().peek_mcu(a));
    return st;
}

struct Loaded {
    int status = -1;
    ChipState chip;
    Bytes streamed;
};

// A fresh board on port `port`, reset, then `packages` each in pieces of `chunk` bytes.
Loaded load_on_fresh_board(const std::string &port, const std::vector<Bytes> &packages,
                           size_t chunk) {
    morvel_zelp7x_board_options_s options;
    morvel_zelp7x_host_options_init(&options);
    options.port = port.c_str();
    morvel_zelp7x_host_s *host = nullptr;
    Loaded out;
    out.status = morvel_zelp7x_host_open(&options, &host, nullptr);
    if (out.status != 0) return out;
    for (const Bytes &package : packages)
        if (out.status == 0)
            out.status =
                morvel_zelp7x_host_load(host, package.data(), package.size(), chunk, nullptr);
    zsim::Board &board = *zio::sim_board(morvel_zelp7x_board_io(morvel_zelp7x_host_board(host)));
    out.chip = state_of(board);
    out.streamed = board.boot_loader().streamed();
    morvel_zelp7x_host_close(host);
    return out;
}

// Every size from `step` to `last` in steps of `step`, then sizes around the reader's 2048-byte
// pieces and the boot loader's 1024-byte window, and more than a whole package.
std::vector<size_t> chunk_sizes(size_t step, size_t last) {
    std::vector<size_t> sizes;
    for (size_t n = step; n <= last; n += step) sizes.push_back(n);
    for (size_t n : {512, 1020, 1024, 2044, 2048, 2052, 4096, 65536}) sizes.push_back(n);
    return sizes;
}

// Boards whose time stands still, so that samples and features cannot differ between two loads.
constexpr const char *kPlain = "sim:,clock=held";
constexpr const char *kSecured = "sim:,secured,clock=held";

TEST(HostLoad, ChipEndsTheSameWhateverThePieceSize) {
    const std::vector<Bytes> plain = {mvpkg::sample_package(SamplePart::all)};
    const Loaded whole = load_on_fresh_board(kPlain, plain, plain[0].size());
    ASSERT_EQ(whole.status, 0);
    for (size_t chunk : chunk_sizes(1, 256)) {
        const Loaded cut = load_on_fresh_board(kPlain, plain, chunk);
        ASSERT_EQ(cut.status, 0) << chunk;
        ASSERT_TRUE(cut.chip == whole.chip) << "pieces of " << chunk;
    }
    // The secured road takes whole words only; each piece there costs a burst of its own.
    const std::vector<Bytes> secured = {mvpkg::sample_package(SamplePart::firmware),
                                        mvpkg::sample_package(SamplePart::model)};
    const Loaded first = load_on_fresh_board(kSecured, secured, 1024);
    ASSERT_EQ(first.status, 0);
    for (size_t chunk : chunk_sizes(4, 128)) {
        const Loaded cut = load_on_fresh_board(kSecured, secured, chunk);
        ASSERT_EQ(cut.status, 0) << chunk;
        ASSERT_TRUE(cut.chip == first.chip) << "secured, pieces of " << chunk;
    }
}

TEST(HostLoad, SecuredRoadStreamsThePackageUpToItsChecksumRecordOnly) {
    const Bytes firmware = mvpkg::sample_package(SamplePart::firmware);
    Bytes trailing = firmware;
    trailing.resize(firmware.size() + 64, 0xEE);
    for (size_t chunk : {4, 8, 1024, 4096, 8192}) {
        const Loaded l = load_on_fresh_board(kSecured, {trailing}, chunk);
        EXPECT_EQ(l.status, 0) << chunk;
        EXPECT_EQ(l.streamed, firmware) << chunk;
    }
}

} // namespace
