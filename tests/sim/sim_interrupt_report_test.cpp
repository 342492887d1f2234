// The bridge's interrupt report: one report each time the chip's interrupt line rises, sent while
// no host touches the chip, here with the board's clock advanced by hand; and the daemon writing
// it to the node its --hid option names.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "board.h"
#include "link/interrupt_reports.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/process/board_sim_process.h"
#include "support/process/temp_files.h"
#include "support/process/tool_process.h"
#include "zelp_linux_io.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using zsim::Chip;

constexpr uint32_t DNNCTL7 = 0x4000D020;
constexpr uint32_t THREE_CLASSES = 3u << 22; // the network's output count without firmware

struct RecordingSink final : zsim::ReportSink {
    std::shared_ptr<std::vector<Bytes>> reports = std::make_shared<std::vector<Bytes>>();
    bool accepts = true;
    bool send(std::span<const uint8_t> report) override {
        if (accepts) reports->emplace_back(report.begin(), report.end());
        return accepts;
    }
};

Bytes report_of(uint8_t causes) {
    Bytes r(zsim::kInterruptReportSize, 0);
    r[0] = 1;
    r[1] = causes;
    return r;
}

TEST(SimInterruptReport, OneReportEachTimeTheLineRises) {
    zsim::BoardOptions options;
    options.chip.match_every_ms = 100;
    zsim::Board board(options);
    board.chip().mcu_write(DNNCTL7, THREE_CLASSES);
    auto sink = std::make_unique<RecordingSink>();
    const auto reports = sink->reports;
    RecordingSink *const sink_view = sink.get();
    zsim::InterruptReports interrupts(board, std::move(sink));

    // A match with its cause not enabled leaves the line low.
    EXPECT_EQ(interrupts.next_look(), std::chrono::nanoseconds(100ms));
    board.time().advance(100ms);
    EXPECT_EQ(interrupts.next_look(), std::chrono::nanoseconds(0));
    interrupts.look();
    EXPECT_EQ(board.chip().peek_spi(Chip::INTSTS) & Chip::INTSTS_MATCH, Chip::INTSTS_MATCH);
    EXPECT_TRUE(reports->empty());
    // Enabling a cause that is raised already raises the line.
    board.chip().spi_write(Chip::INTCTL, Chip::INTSTS_MATCH);
    interrupts.look();
    EXPECT_EQ(*reports, std::vector<Bytes>{report_of(Chip::INTSTS_MATCH)});
    // While it stays high nothing more is sent, however many matches come.
    board.time().advance(250ms);
    interrupts.look();
    interrupts.look();
    EXPECT_EQ(reports->size(), 1u);
    // Cleared by the host, it rises with the next match alone, without the host looking.
    board.chip().spi_write(Chip::INTSTS, Chip::INTSTS_MATCH);
    interrupts.look();
    EXPECT_EQ(reports->size(), 1u);
    EXPECT_EQ(interrupts.next_look(), std::chrono::nanoseconds(50ms));
    board.time().advance(50ms);
    interrupts.look();
    EXPECT_EQ(reports->size(), 2u);
    EXPECT_EQ(interrupts.sent(), 2u);

    // A report the sink cannot take is counted as lost, not sent again.
    board.chip().spi_write(Chip::INTSTS, Chip::INTSTS_MATCH);
    interrupts.look();
    sink_view->accepts = false;
    board.time().advance(100ms);
    interrupts.look();
    interrupts.look();
    EXPECT_EQ(interrupts.lost(), 1u);
    EXPECT_EQ(reports->size(), 2u);

    // No matches scheduled: nothing to look for.
    zsim::Board quiet;
    EXPECT_FALSE(zsim::InterruptReports(quiet, std::make_unique<RecordingSink>()).next_look());
}

// The daemon looks at the board by itself: a match raises the report while the host only waits.
TEST(SimInterruptReport, DaemonWritesTheReportToItsHidNode) {
    ztest::TempDir dir("sim_hid");
    const std::filesystem::path node = dir.path() / "hidg0";
    std::ofstream(node).close(); // a plain file stands in for the gadget's node
    ztest::BoardSimProcess sim(ZELP_BOARD_SIM_BIN, {"--hid", node.string(), "--match-every", "50"});
    ASSERT_TRUE(sim.running());
    std::string name = sim.link();
    zelp_io_init_args args{};
    args.spidev = name.data();
    morvel_evb_io_handle_t d = nullptr;
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);
    uint32_t classes = THREE_CLASSES;
    ASSERT_EQ(zelp_linux_io_transfer(d, 1, DNNCTL7, &classes, nullptr, 4), MORVEL_ZELP_ERROR_NONE);
    uint8_t clear = 0xFF, enable = Chip::INTSTS_MATCH;
    ASSERT_EQ(zelp_linux_io_transfer(d, 0, Chip::INTSTS, &clear, nullptr, 1), 0);
    ASSERT_EQ(zelp_linux_io_transfer(d, 0, Chip::INTCTL, &enable, nullptr, 1), 0);

    Bytes written;
    for (int i = 0; i < 500 && written.size() < zsim::kInterruptReportSize; ++i) {
        std::this_thread::sleep_for(10ms);
        written = ztest::read_bytes(node);
    }
    EXPECT_EQ(written, report_of(Chip::INTSTS_MATCH));
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(sim.stop(), 0);

    // A node that cannot be opened stops the daemon before it serves anything.
    const ztest::ToolOutcome bad = ztest::run_program(
        ZELP_BOARD_SIM_BIN, {"--hid", (dir.path() / "no/such/hidg0").string()}, dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "zelp7x_board_sim: cannot open " + (dir.path() / "no/such/hidg0").string() +
                           ": No such file or directory\n");
}

} // namespace
