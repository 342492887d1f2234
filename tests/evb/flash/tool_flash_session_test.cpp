// The flash library's session seams: every call bounded by the flash's capacity (which the board
// open reads and a host may set), one call at a time on a session, and the ID read after a run
// that was cut off. Each runs on the simulated device in this process and, where a board is
// opened, on the board daemon as well.
#include <gtest/gtest.h>

#include <bit>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chip/mspi.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/sim_device.h"
#include "support/process/temp_files.h"
#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;
using ztest::SimDevice;

constexpr uint32_t k64 = 64 * 1024;
constexpr const char *beyond = " goes beyond the 16 MiB that 3-byte flash addresses reach";

// A part of `size` bytes whose ID says so, as --size makes it.
zsim::FlashConfig flash_of(size_t size) {
    zsim::FlashConfig c;
    c.size = size;
    c.jedec_id[2] = static_cast<uint8_t>(std::countr_zero(size));
    return c;
}

// One library call on a range, with what it must answer: an empty message means it goes ahead.
struct RangeCase {
    const char *name;
    uint32_t capacity; // the session's; 0: not known
    std::function<int(morvel_zelp7x_flash_s *, morvel_zelp7x_flash_failure_s *)> call;
    std::string message;
};

std::vector<RangeCase> range_cases() {
    static const bytes data(70000, 0x5A);
    static const morvel_zelp7x_flash_piece_s late_piece = {0xFFFC, data.data(), 8};
    static const morvel_zelp7x_flash_piece_s overlapping = {0xC, data.data(), 8};
    const auto program = [](uint32_t a, uint32_t n) {
        return [a, n](auto *f, auto *failure) {
            return morvel_zelp7x_flash_program(f, a, data.data(), n, failure);
        };
    };
    const auto write = [](uint32_t a, uint32_t n, morvel_zelp7x_flash_write_options_s o) {
        return [a, n, o](auto *f, auto *failure) {
            return morvel_zelp7x_flash_write(f, a, data.data(), n, &o, nullptr, failure);
        };
    };
    const auto read = [](uint32_t a, uint32_t n) {
        return [a, n](auto *f, auto *failure) {
            static bytes buf(64);
            return morvel_zelp7x_flash_read(f, a, buf.data(), n, failure);
        };
    };
    const auto does_not_fit = [](const char *range) {
        return std::string("flash range ") + range + " does not fit the 65536-byte flash";
    };
    return {
        // Without a capacity, what 3-byte addresses reach: nothing lands at address 0 or is
        // silently dropped.
        {"program across 16 MiB", 0, program(0x00FFFF00, 512),
         std::string("flash program at 0xffff00, 512 bytes,") + beyond},
        {"program far past 16 MiB", 0, program(0xFFFFFF00, 512),
         std::string("flash program at 0xffffff00, 512 bytes,") + beyond},
        {"program up to 16 MiB", 0, program(0x00FFFF00, 256), ""},
        // With one, the flash's end.
        {"write past the end", k64, write(0xF000, 70000, {}), does_not_fit("0xf000 to 0x20170")},
        {"changed-only write past the end", k64, write(0xF000, 70000, {1, 0, nullptr, 0}),
         does_not_fit("0xf000 to 0x20170")},
        {"erase span past the end", k64, write(0, 16, {1, 0x10004, nullptr, 0}),
         does_not_fit("0x0 to 0x10004")},
        {"piece past the end", k64, write(0, 16, {1, 0, &late_piece, 1}),
         does_not_fit("0xfffc to 0x10004")},
        {"pieces that overlap", k64, write(0, 16, {1, 0, &overlapping, 1}),
         "flash write pieces overlap"},
        {"program past the end", k64, program(0xFF00, 512), does_not_fit("0xff00 to 0x10100")},
        {"erase past the end", k64,
         [](auto *f, auto *failure) {
             return morvel_zelp7x_flash_erase(f, 0xF000, 0x1001, failure);
         },
         does_not_fit("0xf000 to 0x10001")},
        {"read past the end", k64, read(0xFFFC, 8), does_not_fit("0xfffc to 0x10004")},
        {"verify at the end", k64,
         [](auto *f, auto *failure) {
             morvel_zelp7x_flash_verify_s v{};
             return morvel_zelp7x_flash_verify(f, 0x10000, data.data(), 4, &v, failure);
         },
         does_not_fit("0x10000 to 0x10004")},
        {"read that ends at the end", k64, read(0xFFC0, 64), ""},
        {"write that ends at the end", k64, write(0xFF00, 256, {1, 0, nullptr, 0}), ""},
    };
}

TEST(FlashSession, EveryCallRefusesARangePastTheFlashBeforeSendingAnything) {
    for (const RangeCase &c : range_cases()) {
        SimDevice dev(flash_of(c.capacity != 0 ? c.capacity : 16u << 20));
        const bytes before(dev.flash().contents().begin(), dev.flash().contents().end());
        auto f = dev.session();
        f.capacity = c.capacity;
        morvel_zelp7x_flash_failure_s failure{};
        const int status = c.call(&f, &failure);
        if (c.message.empty()) {
            EXPECT_EQ(status, 0) << c.name << ": " << failure.message;
            continue;
        }
        EXPECT_EQ(status, MORVEL_ZELP_ERROR_ARG) << c.name;
        EXPECT_EQ(failure.kind, MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT) << c.name;
        EXPECT_EQ(failure.message, c.message) << c.name;
        EXPECT_EQ(dev.accesses, 0u) << c.name << ": nothing sent";
        EXPECT_TRUE(std::ranges::equal(dev.flash().contents(), before)) << c.name;
    }
}

TEST(FlashSession, AnIdThatNamesASizeBoundsTheSessionAHostsOwnWins) {
    SimDevice dev(flash_of(k64));
    auto f = dev.session();
    uint8_t vendor = 0;
    uint16_t id = 0;
    ASSERT_EQ(morvel_zelp7x_flash_read_id(&f, &vendor, &id, nullptr, nullptr), 0);
    EXPECT_EQ(id & 0xFF, 0x10);
    EXPECT_EQ(f.capacity, k64);
    bytes buf(8);
    EXPECT_EQ(morvel_zelp7x_flash_read(&f, 0xFFFC, buf.data(), 8, nullptr), MORVEL_ZELP_ERROR_ARG);

    auto own = dev.session();
    own.capacity = 0x8000; // the host keeps the upper half to itself
    ASSERT_EQ(morvel_zelp7x_flash_read_id(&own, &vendor, &id, nullptr, nullptr), 0);
    EXPECT_EQ(own.capacity, 0x8000u);
}

// A board opened by the library, in this process or on the daemon, with its flash in a file.
struct OpenedBoard {
    fs::path file;
    std::unique_ptr<ztest::BoardDaemon> daemon;
    morvel_zelp7x_flash_board_s *board = nullptr;

    OpenedBoard(const fs::path &dir, bool on_daemon, size_t size, bool read_id = true)
        : file(dir / (on_daemon ? "daemon.bin" : "local.bin")) {
        ztest::write_bytes(file, ztest::pseudo_random_bytes(size, 11));
        std::string port = "sim:" + file.string() + ",size=" + std::to_string(size);
        if (on_daemon) {
            daemon = std::make_unique<ztest::BoardDaemon>(
                ZELP_BOARD_SIM_BIN, dir, file,
                std::vector<std::string>{"--size", std::to_string(size)});
            port = daemon->port();
        }
        morvel_zelp7x_flash_board_options_s o;
        morvel_zelp7x_flash_board_options_init(&o);
        o.port = port.c_str();
        o.read_id = read_id ? 1 : 0;
        morvel_zelp7x_flash_failure_s failure{};
        EXPECT_EQ(morvel_zelp7x_flash_board_open_with(&o, &board, &failure), 0) << failure.message;
    }
    ~OpenedBoard() { morvel_zelp7x_flash_board_close(board); }
    morvel_zelp7x_flash_s session() const {
        morvel_zelp7x_flash_s f;
        morvel_zelp7x_flash_board_session(board, &f);
        return f;
    }
};

class FlashBoard : public testing::TestWithParam<bool> {
  protected:
    ztest::TempDir dir{"flash_session"};
};

TEST_P(FlashBoard, TheOpenReadsTheCapacityAndTheBoardsSessionsKeepToIt) {
    OpenedBoard b(dir.path(), GetParam(), k64);
    ASSERT_NE(b.board, nullptr);
    auto f = b.session();
    EXPECT_EQ(f.capacity, k64);
    EXPECT_EQ(f.zelp, morvel_zelp7x_flash_board_device(b.board));
    const bytes before = ztest::read_bytes(b.file);
    // What flash_host does with a 70000-byte image at 0xF000: refused, the flash untouched.
    const bytes image = ztest::pseudo_random_bytes(70000, 12);
    morvel_zelp7x_flash_write_options_s only_changes{1, 0, nullptr, 0};
    morvel_zelp7x_flash_failure_s failure{};
    EXPECT_EQ(morvel_zelp7x_flash_write(&f, 0xF000, image.data(), 70000, &only_changes, nullptr,
                                        &failure),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_STREQ(failure.message,
                 "flash range 0xf000 to 0x20170 does not fit the 65536-byte flash");
    EXPECT_EQ(morvel_zelp7x_flash_program(&f, 0x00FFFF00, image.data(), 512, &failure),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(ztest::read_bytes(b.file), before);
    // The last 0x1000 bytes fit.
    EXPECT_EQ(morvel_zelp7x_flash_write(&f, 0xF000, image.data(), 0x1000, &only_changes, nullptr,
                                        &failure),
              0)
        << failure.message;
    const bytes after = ztest::read_bytes(b.file);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x1000, after.begin() + 0xF000));
}

TEST_P(FlashBoard, WithoutTheIdReadTheBoardKnowsNoCapacity) {
    OpenedBoard b(dir.path(), GetParam(), k64, false);
    ASSERT_NE(b.board, nullptr);
    EXPECT_EQ(b.session().capacity, 0u);
}

// A progress callback that calls its own session, and a second thread on a session in a call:
// both are refused, and the first call reads what the flash holds.
TEST_P(FlashBoard, ASecondCallOnASessionInACallIsRefusedAndTheFirstReadsRightData) {
    OpenedBoard b(dir.path(), GetParam(), k64);
    ASSERT_NE(b.board, nullptr);
    const bytes want = ztest::read_bytes(b.file);

    struct Nested {
        morvel_zelp7x_flash_s *f;
        std::vector<int> statuses;
        morvel_zelp7x_flash_failure_s failure{};
    } nested;
    auto f = b.session();
    nested.f = &f;
    f.progress = [](const char *, double, void *user) {
        auto &n = *static_cast<Nested *>(user);
        uint8_t vendor = 0;
        uint16_t id = 0;
        n.statuses.push_back(morvel_zelp7x_flash_read_id(n.f, &vendor, &id, nullptr, &n.failure));
    };
    f.progress_user = &nested;
    bytes got(k64);
    ASSERT_EQ(morvel_zelp7x_flash_read(&f, 0, got.data(), k64, nullptr), 0);
    EXPECT_EQ(got, want);
    ASSERT_FALSE(nested.statuses.empty());
    for (int s : nested.statuses) EXPECT_EQ(s, MORVEL_ZELP_ERROR_BUSY);
    EXPECT_STREQ(nested.failure.message, "flash session already in a call");
    EXPECT_EQ(f.in_call, 0) << "the session is free again";

    // The second thread tries while the first is held in its progress callback; the first goes
    // on only once the second has its answer, so the two overlap whatever the machine's speed.
    struct Meet {
        std::mutex m;
        std::condition_variable cv;
        bool first_inside = false, second_done = false;
    } meet;
    auto g = b.session();
    g.progress = [](const char *, double, void *user) {
        auto &m = *static_cast<Meet *>(user);
        std::unique_lock lock(m.m);
        m.first_inside = true;
        m.cv.notify_all();
        m.cv.wait(lock, [&] { return m.second_done; });
    };
    g.progress_user = &meet;
    int first = -1;
    std::thread reader([&] { first = morvel_zelp7x_flash_read(&g, 0, got.data(), k64, nullptr); });
    bytes other(64);
    int second = -1;
    {
        std::unique_lock lock(meet.m);
        meet.cv.wait(lock, [&] { return meet.first_inside; });
        second = morvel_zelp7x_flash_read(&g, 0x100, other.data(), 64, nullptr);
        meet.second_done = true;
        meet.cv.notify_all();
    }
    reader.join();
    EXPECT_EQ(second, MORVEL_ZELP_ERROR_BUSY);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(got, want);
    // Free again: the same call now goes through.
    g.progress = nullptr;
    EXPECT_EQ(morvel_zelp7x_flash_read(&g, 0x100, other.data(), 64, nullptr), 0);
    EXPECT_TRUE(std::equal(other.begin(), other.end(), want.begin() + 0x100));
}

INSTANTIATE_TEST_SUITE_P(Boards, FlashBoard, testing::Bool(),
                         [](const auto &info) { return info.param ? "Daemon" : "InProcess"; });

// The MSPI port as a run cut off part-way leaves it: chip select low inside a command, or the
// flash busy with an operation nobody waited for.
void leave_mspi(SimDevice &dev, std::initializer_list<std::pair<uint32_t, unsigned>> words,
                bool deselect) {
    using zsim::Mspi;
    const auto ctl = [&](uint32_t mode, unsigned n) {
        dev.mspi().write_word(Mspi::control_address, mode | (n - 1) << 2 | Mspi::port_enable);
    };
    ctl(Mspi::mode_enable, 1);
    for (const auto &[word, n] : words) {
        dev.mspi().write_word(Mspi::transmit_address, word);
        ctl(Mspi::mode_transfer, n);
        ctl(Mspi::mode_update, 1);
    }
    if (deselect) ctl(Mspi::mode_idle, 1);
}

TEST(FlashSession, AnIdReadAfterACutRunWaitsOutTheFlashAndAsksAgain) {
    struct Case {
        const char *name;
        std::function<void(SimDevice &)> leave;
        uint8_t vendor;
    };
    const Case cases[] = {
        {"inside a page program",
         [](SimDevice &d) {
             leave_mspi(d, {{0x06, 1}}, true);
             leave_mspi(d, {{0x02000100, 4}, {0x11223344, 4}}, false);
         },
         0xEF},
        {"inside a read of erased cells",
         [](SimDevice &d) {
             leave_mspi(d, {{0x03000000, 4}}, false);
         },
         0xEF},
        {"busy with a sector erase",
         [](SimDevice &d) {
             leave_mspi(d, {{0x06, 1}}, true);
             leave_mspi(d, {{0x20001000, 4}}, true);
         },
         0xEF},
        {"a flash that never answers", [](SimDevice &) {}, 0xFF},
    };
    for (const Case &c : cases) {
        zsim::FlashConfig config;
        config.all_ones = c.vendor == 0xFF;
        SimDevice dev(config);
        c.leave(dev);
        auto f = dev.session();
        uint8_t vendor = 0;
        uint16_t id = 0;
        morvel_zelp7x_flash_failure_s failure{};
        ASSERT_EQ(morvel_zelp7x_flash_read_id(&f, &vendor, &id, nullptr, &failure), 0)
            << c.name << ": " << failure.message;
        EXPECT_EQ(vendor, c.vendor) << c.name;
        if (c.vendor == 0xEF) {
            EXPECT_EQ(id, 0x4016) << c.name;
        }
        EXPECT_FALSE(dev.flash().busy()) << c.name;
        EXPECT_FALSE(dev.mspi().selected()) << c.name;
    }
    // A flash that answers at once costs the one ID read it always did: four accesses and the
    // receive word.
    SimDevice dev;
    auto f = dev.session();
    uint8_t vendor = 0;
    uint16_t id = 0;
    ASSERT_EQ(morvel_zelp7x_flash_read_id(&f, &vendor, &id, nullptr, nullptr), 0);
    EXPECT_EQ(dev.accesses, 5u);
}

} // namespace
