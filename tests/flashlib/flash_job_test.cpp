// The flash job: a table of option sets, each planned and run on a board, with every step's
// report and what the flash holds afterwards; the rows that need no fault of the flash run on the
// board daemon too. Then what a table cannot show: the ID read before the plan, a plan shared by
// boards in several threads, a report callback that calls its board, and random images written
// only where they changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/flash_job_trace.h"
#include "support/board/sim_device.h"
#include "support/process/temp_files.h"
#include "support/process/tool_process.h"
#include "zelp_linux_io.h"

namespace {

using bytes = std::vector<uint8_t>;
using ztest::JobAsk;
using ztest::SimDevice;

constexpr uint32_t sector = 4096;

const bytes abc = {'a', 'b', 'c'};
const bytes six = {1, 2, 3, 4, 5, 6};
const bytes image = ztest::pseudo_random_bytes(5 * sector, 1);
bytes changed(bytes b) {
    b[2 * sector + 1] = static_cast<uint8_t>(~b[2 * sector + 1]);
    return b;
}

// Seven bytes written at 0x2001 over `flash`, with the bytes either side as they were.
bytes odd_image_over(const bytes &flash, uint32_t at) {
    bytes b(flash.begin() + at, flash.begin() + at + 12);
    std::ranges::copy(ztest::pseudo_random_bytes(7, 7), b.begin() + 1);
    return b;
}

// The images the table names.
const std::map<std::string, bytes> images = {
    {"abc", abc},
    {"six", six},
    {"seven", ztest::pseudo_random_bytes(7, 7)},
    {"b100", ztest::pseudo_random_bytes(100, 2)},
    {"b60", ztest::pseudo_random_bytes(60, 2)}, // the first 60 of b100
    {"k1000", ztest::pseudo_random_bytes(1000, 3)},
    {"x42", bytes(16, 0x42)},
    {"ones256", bytes(0x100, 1)},
    {"ones512", bytes(0x200, 1)},
    {"zero16", bytes(16, 0)},
    {"empty", {}},
    {"image", image},
    {"changed", changed(image)},
};

// A job as zelp7x_flash's options spell it (--skip-unchanged as -S), with "id=4M" for a 4 MiB
// flash's ID read before the plan.
JobAsk ask_of(const std::string &options) {
    const std::pair<const char *, bool JobAsk::*> flags[] = {
        {"-e", &JobAsk::erase},  {"-E", &JobAsk::erase_chip},    {"-3", &JobAsk::three_byte},
        {"-A", &JobAsk::dongle}, {"-R", &JobAsk::checksum},      {"-r", &JobAsk::read},
        {"-Q", &JobAsk::bridge}, {"-S", &JobAsk::skip_unchanged}};
    JobAsk ask;
    std::istringstream in(options);
    for (std::string o, value; in >> o;) {
        for (const auto &[name, field] : flags)
            if (o == name) ask.*field = true;
        if (o == "id=4M") ask.identity = {0xEF, 0x4016, 4u << 20};
        if (o == "-a" || o == "-c" || o == "-w" || o == "-v") in >> value;
        if (o == "-a") ask.address = static_cast<uint32_t>(std::stoul(value, nullptr, 0));
        if (o == "-c") ask.count = std::stoll(value, nullptr, 0);
        if (o == "-w") ask.write = images.at(value);
        if (o == "-v") ask.verify = images.at(value);
    }
    return ask;
}

// The in-process flash a row names: a fault, or an ID whose capacity code is not known.
zsim::FlashConfig flash_of(const std::string &name) {
    zsim::FlashConfig c;
    c.absent = name == "absent";
    c.all_ones = name == "all-ones";
    c.stuck_busy = name == "stuck-busy";
    if (name == "flip-bit=0x1005") c.flip_bit_at = 0x1005;
    if (name == "id=ef4020") {
        c.jedec_id = {0xEF, 0x40, 0x20};
        c.id_given = true;
    }
    return c;
}

// The reports as the table gives them, where '#' stands for any run of hex digits.
bool same(const std::string &want, const std::string &got) {
    std::string pattern;
    for (char c : want)
        pattern += c == '#' ? std::string("[0-9a-f]+")
                   : std::isalnum(static_cast<unsigned char>(c)) || c == ' '
                       ? std::string(1, c)
                       : std::string("\\") + c;
    return std::regex_match(got, std::regex(pattern));
}

struct JobCase {
    const char *name;
    const char *options;
    std::string reports;                                // the run's report lines, joined by " | "
    std::vector<std::pair<uint32_t, bytes>> holds = {}; // flash bytes the run leaves
    bytes before = {};                                  // what the flash held at 0
    bool on_daemon = false;
    const char *flash = ""; // the in-process flash: flash_of
};

const std::string id4m = "id ef 4016 4194304 | ";
const std::string past = " does not fit the 4194304-byte flash";
const std::string off_boundary = "note warning: Atmel dongle image at 0x%s does not start on a 1 "
                                 "MiB boundary; its descriptor goes to 0x%s, outside the span "
                                 "that -e erases | ";

std::string note(const char *at, const char *descriptor) {
    std::string s = off_boundary;
    s.replace(s.find("%s"), 2, at);
    s.replace(s.find("%s"), 2, descriptor);
    return s;
}

const std::vector<JobCase> &job_cases() {
    static const std::vector<JobCase> cases = {
        // Steps, counts, encodings and layouts.
        {"erase, write, verify",
         "-e -w abc -v abc",
         "id ef 4016 4194304 | erase 4 | write 3 of 4 sum 16556 | read 3 of 4 sum 16556",
         {{0, {0x61, 0x62, 0x63, 0xFF}}},
         bytes(8, 0),
         true},
        {"16 bytes without -c or a file", "-R", id4m + "read 16 of 16 sum #"},
        {"-c beyond the file", "-c 500 -e -w b100", id4m + "erase 100 | write 100 of 100 sum #"},
        {"the shorter file", "-e -w b100 -v b60",
         id4m + "erase 60 | write 60 of 60 sum # | read 60 of 60 sum #"},
        {"-c below both files", "-c 40 -e -w b60 -v b100",
         id4m + "erase 40 | write 40 of 40 sum # | read 40 of 40 sum #"},
        {"an empty image", "-w empty", id4m + "write 0 of 0 sum 0"},
        {"3-byte encoding",
         "-a 0x100 -e -3 -w six -v six",
         id4m + "erase 8 | write 6 of 8 sum 2058 | read 6 of 8 sum 2058",
         {{0x100, {0xFF, 1, 2, 3, 0xFF, 4, 5, 6}}},
         {},
         true},
        {"3-byte read of -c 10", "-c 10 -3 -R", id4m + "read 10 of 16 sum #"},
        {"a count the job cannot hold", "-c 0x7FFFFFFF -R",
         "plan failed: flash byte count value out of range: 2147483647"},
        {"a 3-byte count the job cannot hold", "-c 1700000000 -3 -R",
         "plan failed: flash byte count value out of range: 1700000000"},
        {"dongle image",
         "-e -A -w k1000",
         id4m + "erase 1048576 | write 1000 of 1000 sum #",
         {{0, images.at("k1000")},
          {0xFFFF4, {0xFF, 0xFF, 0xFF, 0xFF, 0xE8, 3, 0, 0, 0xD8, 0xC7, 0xB6, 0xA5}}},
         {},
         true},
        {"3-byte dongle image",
         "-a 0x100000 -3 -A -w six",
         id4m + "write 6 of 8 sum 2058",
         {{0x1FFFF8, {0, 8, 0, 0, 0, 0xD8, 0xC7, 0xB6}}}},
        {"dongle image off a 1 MiB boundary",
         "-a 0x1000 -A -w six",
         note("1000", "1ffff8") + id4m + "write 6 of 8 sum 2058",
         {{0x1FFFF8, {8, 0, 0, 0, 0xD8, 0xC7, 0xB6, 0xA5}}}},
        {"dongle image too long", "-c 0xFFFF5 -A -R",
         "plan failed: data length 0xffff8 too long for Atmel file"},
        // Ranges: the flash's size once the ID names it, else the 3-byte addresses.
        {"data past the flash", "-a 0x3FFF01 -e -w ones256",
         id4m + "id failed: flash range 0x3fff01 to 0x400001" + past},
        {"data past the flash the host has identified", "-a 0x3FFF01 -w ones256 id=4M",
         "plan failed: flash range 0x3fff01 to 0x400001" + past},
        {"data that ends at the end",
         "-a 0x3FFF00 -w ones256",
         id4m + "write 256 of 256 sum #",
         {{0x3FFFFC, {1, 1, 1, 1}}}},
        {"a dongle descriptor past the flash", "-a 0x300001 -e -A -w zero16",
         note("300001", "4ffff8") + id4m + "id failed: flash range 0x4ffff8 to 0x500000" + past},
        {"an erase span past the flash", "-a 0x3FF000 -c 16 -e -A",
         note("3ff000", "4ffff8") + id4m + "id failed: flash range 0x3ff000 to 0x4ff000" + past},
        {"beyond 3-byte addresses", "-a 0xFFFF00 -w ones512",
         "plan failed: flash data at 0xffff00, 512 bytes, goes beyond the 16 MiB that 3-byte "
         "flash addresses reach"},
        {"a size code not known",
         "-a 0x3FFF00 -w ones512",
         "id ef 4020 0 | write 512 of 512 sum #",
         {},
         {},
         false,
         "id=ef4020"},
        // The chip, the bridge path, what differs, and a flash that does not answer.
        {"chip erase",
         "-E",
         id4m + "chip-erase 4194304",
         {{0, bytes(8, 0xFF)}, {0x3FFFF8, bytes(8, 0xFF)}},
         bytes(64, 0x5A)},
        {"bridge path",
         "-Q -e -E -w image -v image",
         "write 20480 of 20480 sum # | read 20480 of 20480 sum #",
         {{0, image}},
         bytes(2 * sector, 0),
         true},
        {"a byte that differs",
         "-a 0x1000 -e -w x42 -v x42",
         id4m + "erase 16 | write 16 of 16 sum # | differs at 5: 43 != 42 | read 16 of 16 sum # "
                "differ 1 first 0x1005 | read failed: 1 miscomparing bytes",
         {},
         {},
         false,
         "flip-bit=0x1005"},
        {"no flash",
         "-R",
         "id 00 0000 0 | id failed: no flash populated (vendor id == 0)",
         {},
         {},
         false,
         "absent"},
        {"nothing answers",
         "-e",
         "id ff ffff 0 | id failed: no flash answering (vendor id == 0xff)",
         {},
         {},
         false,
         "all-ones"},
        {"a flash that stays busy",
         "-c 16 -e",
         id4m + "erase failed: flash wait expired after # MS",
         {},
         {},
         false,
         "stuck-busy"},
        // Writing only what changed: one sector of five, the erase left to the write.
        {"changed only",
         "-S -e -w changed -v changed",
         id4m + "write 20480 of 20480 sum # changed 1/5 erased 1 pages 16 | read 20480 of 20480 "
                "sum #",
         {{0, changed(image)}},
         image,
         true},
        {"changed only, an odd image off a multiple of 4",
         "-a 0x2001 -S -w seven",
         id4m + "write 7 of 8 sum # changed 1/1 erased # pages #",
         {{0x2000, odd_image_over(image, 0x2000)}},
         image,
         true},
        {"changed only through the bridge",
         "-Q -S -w changed",
         "write 20480 of 20480 sum # changed 1/5 erased 1 pages 16",
         {{0, changed(image)}},
         image},
    };
    return cases;
}

// A board for the table: the simulated chip in this process, or a board the daemon serves,
// opened as the tools open it.
class TableBoard {
  public:
    TableBoard(const JobCase &c, bool on_daemon) {
        if (!on_daemon) {
            dev_ = std::make_unique<SimDevice>(flash_of(c.flash));
            std::ranges::copy(c.before, dev_->flash().cells().begin());
            flash_ = dev_->session();
            return;
        }
        bytes contents(4u << 20, 0xFF);
        std::ranges::copy(c.before, contents.begin());
        ztest::write_bytes(dir_.path() / "flash.bin", contents);
        daemon_ = std::make_unique<ztest::BoardDaemon>(ZELP_BOARD_SIM_BIN, dir_.path(),
                                                       dir_.path() / "flash.bin");
        morvel_zelp7x_flash_board_options_s o;
        morvel_zelp7x_flash_board_options_init(&o);
        const std::string port = daemon_->port();
        o.port = port.c_str();
        o.read_id = 0;
        EXPECT_EQ(morvel_zelp7x_flash_board_open_with(&o, &board_, nullptr), 0);
        morvel_zelp7x_flash_board_session(board_, &flash_);
    }
    ~TableBoard() { morvel_zelp7x_flash_board_close(board_); }
    TableBoard(const TableBoard &) = delete;
    TableBoard &operator=(const TableBoard &) = delete;

    bool ready() const { return dev_ || board_ != nullptr; }
    morvel_zelp7x_flash_s *session() { return &flash_; }
    SimDevice *device() { return dev_.get(); }
    bytes holds(uint32_t address, size_t n) {
        morvel_zelp7x_flash_s f = flash_;
        f.path = MORVEL_ZELP7X_FLASH_PATH_MSPI;
        bytes got((n + 3) / 4 * 4);
        EXPECT_EQ(morvel_zelp7x_flash_read(&f, address, got.data(),
                                           static_cast<uint32_t>(got.size()), nullptr),
                  0);
        got.resize(n);
        return got;
    }

  private:
    ztest::TempDir dir_{"flash_job"};
    std::unique_ptr<SimDevice> dev_;
    std::unique_ptr<ztest::BoardDaemon> daemon_;
    morvel_zelp7x_flash_board_s *board_ = nullptr;
    morvel_zelp7x_flash_s flash_{};
};

void check_case(const JobCase &c, bool on_daemon) {
    const std::string name = std::string(c.name) + (on_daemon ? " (daemon)" : "");
    TableBoard board(c, on_daemon);
    ASSERT_TRUE(board.ready()) << name;
    const ztest::JobTrace t = ztest::run_job(ask_of(c.options), board.session());
    EXPECT_EQ(t.disorder, "") << name;
    std::string got;
    for (const std::string &line : t.lines) got += (got.empty() ? "" : " | ") + line;
    EXPECT_TRUE(same(c.reports, got)) << name << ":\n  " << got;
    EXPECT_EQ(t.status != 0, got.find(" failed: ") != std::string::npos) << name;
    for (const auto &[address, want] : c.holds)
        EXPECT_EQ(board.holds(address, want.size()), want) << name << " at " << address;
    // A range refused sends no erase or program to the flash.
    if (got.ends_with("flash") && board.device() != nullptr) {
        EXPECT_EQ(board.device()->flash().stats().page_programs, 0u) << name;
        EXPECT_TRUE(board.device()->flash().stats().erase_log.empty()) << name;
    }
}

TEST(FlashJob, EveryOptionSetReportsItsStepsAndLeavesTheFlashAsItMust) {
    for (const JobCase &c : job_cases()) check_case(c, false);
}

TEST(FlashJob, OnTheDaemonTheSameRowsReportTheSame) {
    for (const JobCase &c : job_cases())
        if (c.on_daemon) check_case(c, true);
}

TEST(FlashJob, ThePlanSaysWhatARunTakes) {
    SimDevice dev;
    const ztest::JobTrace t =
        ztest::run_job({.address = 0x1000,
                        .count = 10,
                        .erase = true,
                        .three_byte = true,
                        .dongle = true,
                        .write = abc},
                       &*std::make_unique<morvel_zelp7x_flash_s>(dev.session()));
    EXPECT_EQ(t.info.count, 3u);
    EXPECT_EQ(t.info.encoded_count, 4u);
    EXPECT_EQ(t.info.erase_count, 0x100000u);
    EXPECT_EQ(t.info.checksum, 16556);
    EXPECT_EQ(t.info.descriptor_address, 0x1FFFF8u);
    EXPECT_EQ(t.info.steps, 1u << MORVEL_ZELP7X_FLASH_STEP_ID |
                                1u << MORVEL_ZELP7X_FLASH_STEP_ERASE |
                                1u << MORVEL_ZELP7X_FLASH_STEP_WRITE);
    EXPECT_STREQ(morvel_zelp7x_flash_step_name(MORVEL_ZELP7X_FLASH_STEP_ERASE_CHIP), "chip-erase");
}

// Every length comes back whole through 3-byte encoding and the read's decoding, and so does the
// plain image.
TEST(FlashJob, ImagesOfEveryLengthComeBackWhole) {
    for (bool three_byte : {false, true}) {
        for (size_t n = 0; n <= 40; ++n) {
            SimDevice dev;
            auto f = dev.session();
            const bytes data = ztest::pseudo_random_bytes(n, static_cast<unsigned>(n));
            const ztest::JobTrace t = ztest::run_job(
                {.erase = true, .three_byte = three_byte, .read = true, .write = data}, &f);
            EXPECT_EQ(t.status, 0) << n << t.failure.message;
            EXPECT_EQ(t.data, data) << n << (three_byte ? " -3" : "");
        }
    }
}

// zelp7x_flash reads the ID before its image files: the identity it hands the plan bounds the
// ranges, and the run reads no ID of its own.
TEST(FlashJob, AnIdentityReadBeforeThePlanIsTheRunsOwn) {
    zsim::FlashConfig small;
    small.size = 64 * 1024;
    small.jedec_id[2] = 0x10;
    SimDevice dev(small);
    auto f = dev.session();
    morvel_zelp7x_flash_identity_s id{};
    ASSERT_EQ(morvel_zelp7x_flash_identify(&f, &id, nullptr), 0);
    EXPECT_EQ(id.capacity, 0x10000u);
    EXPECT_EQ(f.capacity, 0x10000u) << "the session learned it";
    const unsigned commands = dev.flash().stats().commands;
    ztest::JobTrace t = ztest::run_job({.write = six, .identity = id}, &f);
    EXPECT_EQ(t.lines, std::vector<std::string>{"write 6 of 8 sum 2058"});
    EXPECT_GT(dev.flash().stats().commands, commands);
    t = ztest::run_job({.address = 0xFFF8, .write = abc, .verify = abc, .identity = id}, &f);
    EXPECT_EQ(t.lines,
              (std::vector<std::string>{"write 3 of 4 sum 16556", "read 3 of 4 sum 16556"}));
    t = ztest::run_job({.address = 0xFFF8, .write = bytes(9, 1), .identity = id}, &f);
    EXPECT_EQ(t.lines, std::vector<std::string>{
                           "plan failed: flash range 0xfff8 to 0x10004 does not fit the "
                           "65536-byte flash"});

    zsim::FlashConfig absent;
    absent.absent = true;
    SimDevice none(absent);
    auto g = none.session();
    morvel_zelp7x_flash_failure_s failure{};
    EXPECT_EQ(morvel_zelp7x_flash_identify(&g, &id, &failure), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(failure.kind, MORVEL_ZELP7X_FLASH_FAILED_CHECK);
    EXPECT_STREQ(failure.message, "no flash populated (vendor id == 0)");
    EXPECT_EQ(id.vendor, 0) << "the ID that failed is still given";
}

// One plan, run on four boards from four threads at once, each board with its own image left.
TEST(FlashJob, OnePlanRunsOnManyBoardsAtOnce) {
    morvel_zelp7x_flash_job_options_s o;
    morvel_zelp7x_flash_job_options_init(&o);
    o.erase = 1;
    const morvel_zelp7x_flash_image_s w{image.data(), image.size()};
    o.write = &w;
    o.verify = &w;
    morvel_zelp7x_flash_job_s *job = nullptr;
    ASSERT_EQ(morvel_zelp7x_flash_job_plan(&o, nullptr, nullptr, &job, nullptr), 0);
    std::vector<std::unique_ptr<SimDevice>> boards;
    std::vector<int> status(4, -1);
    for (int i = 0; i < 4; ++i) boards.push_back(std::make_unique<SimDevice>());
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&, i] {
                auto f = boards[i]->session();
                status[i] = morvel_zelp7x_flash_job_run(job, &f, nullptr, nullptr, nullptr);
            });
    }
    morvel_zelp7x_flash_job_free(job);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(status[i], 0) << i;
        EXPECT_TRUE(std::ranges::equal(boards[i]->flash().contents().first(image.size()), image));
    }
}

// The run is one call on the board's session: a report callback that calls the board is
// refused, and the run goes on.
TEST(FlashJob, AReportThatCallsItsBoardIsRefused) {
    SimDevice dev;
    auto f = dev.session();
    struct caller {
        morvel_zelp7x_flash_s *flash;
        int refused = 0;
        static void report(const morvel_zelp7x_flash_report_s *r, void *user) {
            auto &c = *static_cast<caller *>(user);
            if (r->event != MORVEL_ZELP7X_FLASH_EVENT_START) return;
            uint8_t buf[4];
            if (morvel_zelp7x_flash_read(c.flash, 0, buf, 4, nullptr) == MORVEL_ZELP_ERROR_BUSY)
                ++c.refused;
        }
    } c{&f};
    morvel_zelp7x_flash_job_options_s o;
    morvel_zelp7x_flash_job_options_init(&o);
    o.checksum = 1;
    morvel_zelp7x_flash_job_s *job = nullptr;
    ASSERT_EQ(morvel_zelp7x_flash_job_plan(&o, nullptr, nullptr, &job, nullptr), 0);
    EXPECT_EQ(morvel_zelp7x_flash_job_run(job, &f, caller::report, &c, nullptr), 0);
    morvel_zelp7x_flash_job_free(job);
    EXPECT_EQ(c.refused, 2) << "at the ID and at the read";
    EXPECT_EQ(f.in_call, 0);
    EXPECT_EQ(f.capacity, 4u << 20) << "the capacity the run's ID named stays with the board";
}

// Random images, lengths and addresses, with -3, -e and -A here and there: a changed-only write
// leaves exactly what it must (with -e what a plain -e -w leaves), and a second one sends nothing.
TEST(FlashJob, RandomImagesChangeOnlyWhatTheRunMustAndNothingTheSecondTime) {
    std::mt19937 rng(25);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (unsigned k = 0; k < 48; ++k) {
        const uint32_t align = std::array<uint32_t, 4>{1, 4, 256, sector}[pick(4)];
        JobAsk ask{.skip_unchanged = true};
        ask.address = pick(0x30000) / align * align;
        ask.write =
            ztest::pseudo_random_bytes(pick(4) == 0 ? 1 + pick(8) : pick(3 * sector), 100 + k);
        ask.three_byte = pick(4) == 0;
        ask.erase = pick(2) == 0;
        ask.dongle = pick(8) == 0;
        // Half the dongle images start a span, so the -e span holds their descriptor.
        if (ask.dongle && k % 2 == 0) ask.address = 0;
        const std::string name = "case " + std::to_string(k);
        const auto noise = ztest::pseudo_random_bytes(0x240000, k);
        SimDevice dev, plain;
        std::ranges::copy(noise, dev.flash().cells().begin());
        std::ranges::copy(noise, plain.flash().cells().begin());
        auto f = dev.session();
        ASSERT_EQ(ztest::run_job(ask, &f).status, 0) << name;

        // What the flash must hold: with -e the erase span blank, the image up to its last data
        // byte (the bytes that round it up to 4 keep theirs), the descriptor.
        bytes want = noise;
        if (ask.erase) {
            const uint64_t span =
                ask.dongle ? 0x100000
                           : static_cast<uint64_t>(morvel_zelp7x_flash_encoded_size(
                                 static_cast<int64_t>(ask.write->size()), ask.three_byte));
            const uint64_t from = ask.address / sector * sector;
            const uint64_t to = (ask.address + span + sector - 1) / sector * sector;
            std::fill(want.begin() + static_cast<long>(from), want.begin() + static_cast<long>(to),
                      0xFF);
        }
        bytes encoded(static_cast<size_t>(morvel_zelp7x_flash_encoded_size(
            static_cast<int64_t>(ask.write->size()), ask.three_byte)));
        morvel_zelp7x_flash_encode(ask.write->data(), static_cast<uint32_t>(ask.write->size()),
                                   ask.three_byte, encoded.data(),
                                   static_cast<uint32_t>(encoded.size()));
        const auto n = morvel_zelp7x_flash_encoded_data_size(
            static_cast<int64_t>(ask.write->size()), ask.three_byte);
        std::copy_n(encoded.begin(), n, want.begin() + ask.address);
        if (ask.dongle) {
            const uint32_t at = ((ask.address + 0xFFFFF) & ~0xFFFFFu) + 0xFFFF8;
            const uint32_t shift = ask.three_byte ? 8 : 0;
            const uint32_t words[] = {static_cast<uint32_t>(encoded.size()) << shift,
                                      0xA5B6C7D8u << shift};
            for (int i = 0; i < 8; ++i)
                want[at + i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
        }
        ASSERT_TRUE(std::ranges::equal(dev.flash().contents().first(want.size()), want)) << name;

        // A plain run with -e leaves the same flash (but for a descriptor outside its span; and
        // a plain run's pages start on a multiple of 4).
        if (ask.erase && ask.address % 4 == 0 && (!ask.dongle || ask.address == 0)) {
            JobAsk whole = ask;
            whole.skip_unchanged = false;
            auto p = plain.session();
            ASSERT_EQ(ztest::run_job(whole, &p).status, 0) << name;
            EXPECT_TRUE(std::ranges::equal(plain.flash().contents().first(want.size()), want))
                << name << ": as plain -e -w";
        }

        const zsim::FlashStats before = dev.flash().stats();
        const ztest::JobTrace again = ztest::run_job(ask, &f);
        ASSERT_EQ(again.status, 0) << name;
        if (again.lines.back().find(" changed ") != std::string::npos) {
            EXPECT_TRUE(std::regex_search(again.lines.back(),
                                          std::regex(" changed 0/\\d+ erased 0 pages 0$")))
                << name << ": " << again.lines.back();
        }
        EXPECT_EQ(dev.flash().stats().page_programs, before.page_programs) << name;
        EXPECT_EQ(dev.flash().stats().erase_log, before.erase_log) << name;
    }
}

} // namespace
