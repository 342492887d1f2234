// The host library's calls on a loaded in-process simulated chip: every call a session is already
// in is refused, every argument it cannot take safely is refused before anything crosses the
// link, unreadable inputs say why, and the names hosts give map to the library's values.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "io_state.h"
#include "morvel_host/morvel_zelp7x_host.h"
#include "sample_package.h"
#include "support/process/temp_files.h"

namespace {

using Call = std::function<int(morvel_zelp7x_host_s *)>;

struct Named {
    const char *what;
    Call call;
};

// One of every call on a session, each with arguments it takes.
std::vector<Named> every_call() {
    static uint8_t buffer[1 << 16];
    static const uint32_t state = 0;
    static morvel_zelp7x_host_info_s info;
    static morvel_zelp7x_posterior_config_s tables;
    static morvel_zelp7x_status_s status;
    static morvel_zelp7x_host_pin_state_s pins;
    static unsigned int stored, bits;
    static uint32_t taken;
    static int matched;
    const auto sound = [](uint8_t *, size_t, void *) { return 0; };
    return {
        {"load", [](auto *h) { return morvel_zelp7x_host_load(h, buffer, 4, 4, nullptr); }},
        {"load_file",
         [](auto *h) { return morvel_zelp7x_host_load_file(h, "/", 4, nullptr, nullptr); }},
        {"info", [](auto *h) { return morvel_zelp7x_host_info(h, &info); }},
        {"labels", [](auto *h) { return morvel_zelp7x_host_labels(h, buffer, 8, &stored); }},
        {"posterior",
         [](auto *h) { return morvel_zelp7x_host_posterior(h, &state, nullptr, &tables); }},
        {"watch", [](auto *h) { return morvel_zelp7x_host_watch_matches(h); }},
        {"next_match",
         [](auto *h) { return morvel_zelp7x_host_next_match(h, 0, &matched, nullptr); }},
        {"tank", [](auto *h) { return morvel_zelp7x_host_tank(h, &bits, nullptr); }},
        {"extract",
         [](auto *h) {
             return morvel_zelp7x_host_extract(h, MORVEL_ZELP_EXTRACT_TYPE_FEATURES,
                                               MORVEL_ZELP_EXTRACT_FROM_NEWEST, buffer, 8, &taken,
                                               nullptr);
         }},
        {"record",
         [sound](auto *h) {
             return morvel_zelp7x_host_record(h, MORVEL_ZELP_EXTRACT_FROM_NEWEST, 0, sound, nullptr,
                                              nullptr);
         }},
        {"send",
         [](auto *h) {
             return morvel_zelp7x_host_send_file(h, "/", MORVEL_ZELP_SEND_DATA_TYPE_STREAMING, 0,
                                                 nullptr, nullptr);
         }},
        {"gpio", [](auto *h) { return morvel_zelp7x_host_gpio(h, nullptr, &pins); }},
        {"serial",
         [](auto *h) { return morvel_zelp7x_host_serial(h, 0, 0x19, buffer, 1, buffer, 1); }},
        {"status", [](auto *h) { return morvel_zelp7x_host_status(h, 0, &status); }},
        {"dump",
         [](auto *h) {
             return morvel_zelp7x_host_dump(h, MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE, buffer,
                                            sizeof buffer, nullptr);
         }},
    };
}

class HostLib : public testing::Test {
  protected:
    void SetUp() override {
        morvel_zelp7x_board_options_s o;
        morvel_zelp7x_host_options_init(&o);
        o.port = "sim:,clock=held,match-every=10";
        ASSERT_EQ(morvel_zelp7x_host_open(&o, &host, nullptr), 0);
        const mvpkg::Bytes package = mvpkg::sample_package(mvpkg::SamplePart::all);
        ASSERT_EQ(morvel_zelp7x_host_load(host, package.data(), package.size(), 1024, nullptr), 0);
    }
    void TearDown() override { morvel_zelp7x_host_close(host); }

    zsim::Board &board() {
        return *zio::sim_board(morvel_zelp7x_board_io(morvel_zelp7x_host_board(host)));
    }
    size_t packets() { return board().bridge().packets().size(); }

    morvel_zelp7x_host_s *host = nullptr;
};

// A recording's sound callback, and a second thread while the recording runs, call the session:
// each call is refused, and the recording goes on to its end.
TEST_F(HostLib, ACallOnASessionInACallIsRefused) {
    struct Inside {
        morvel_zelp7x_host_s *host;
        std::vector<std::string> not_refused;
        bool tried = false;
    } inside{host, {}, false};
    const auto sound = [](uint8_t *, size_t, void *user) {
        auto &in = *static_cast<Inside *>(user);
        if (in.tried) return 0;
        in.tried = true;
        for (const Named &c : every_call())
            if (c.call(in.host) != MORVEL_ZELP_ERROR_BUSY) in.not_refused.push_back(c.what);
        std::thread other([&in] {
            if (morvel_zelp7x_host_status(in.host, 0, nullptr) != MORVEL_ZELP_ERROR_BUSY)
                in.not_refused.push_back("status from another thread");
        });
        other.join();
        return 0;
    };
    morvel_zelp7x_host_recording_s totals{};
    EXPECT_EQ(morvel_zelp7x_host_record(host, MORVEL_ZELP_EXTRACT_FROM_UNREAD, 0, sound, &inside,
                                        &totals),
              0);
    EXPECT_TRUE(inside.tried);
    EXPECT_EQ(inside.not_refused, std::vector<std::string>{});
    // Once the recording is over the session takes calls again.
    morvel_zelp7x_status_s st{};
    EXPECT_EQ(morvel_zelp7x_host_status(host, 0, &st), 0);
    for (const Named &c : every_call())
        EXPECT_EQ(c.call(nullptr), MORVEL_ZELP_ERROR_ARG) << c.what << " without a session";
}

TEST_F(HostLib, WhatCannotBeDoneSafelyIsRefusedBeforeTheLinkIsUsed) {
    uint8_t buffer[16] = {};
    uint32_t taken = 0, one = 1;
    morvel_zelp7x_posterior_config_s tables{};
    morvel_zelp7x_host_pin_state_s pins{};
    const morvel_zelp7x_host_pins_s wide{0x100, 0, 0, 0, 0, 0}, enable2{0, 0, 0, 0, 1, 2};
    const auto sound = [](uint8_t *, size_t, void *) { return 0; };
    const Named refused[] = {
        {"chunk 0", [&](auto *h) { return morvel_zelp7x_host_load(h, buffer, 4, 0, nullptr); }},
        {"chunk past int",
         [&](auto *h) {
             return morvel_zelp7x_host_load(h, buffer, 4, size_t{INT_MAX} + 1, nullptr);
         }},
        {"room not a multiple of 4",
         [&](auto *h) {
             return morvel_zelp7x_host_extract(h, MORVEL_ZELP_EXTRACT_TYPE_INPUT,
                                               MORVEL_ZELP_EXTRACT_FROM_NEWEST, buffer, 6, &taken,
                                               nullptr);
         }},
        {"room past 1 MiB",
         [&](auto *h) {
             return morvel_zelp7x_host_extract(h, MORVEL_ZELP_EXTRACT_TYPE_INPUT,
                                               MORVEL_ZELP_EXTRACT_FROM_NEWEST, buffer,
                                               MORVEL_ZELP7X_HOST_EXTRACT_MAX + 4, &taken, nullptr);
         }},
        {"sensor ring from a match",
         [&](auto *h) {
             return morvel_zelp7x_host_extract(h, MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL,
                                               MORVEL_ZELP_EXTRACT_FROM_MATCH, buffer, 8, &taken,
                                               nullptr);
         }},
        {"unknown area",
         [&](auto *h) {
             return morvel_zelp7x_host_extract(h, 2, MORVEL_ZELP_EXTRACT_FROM_NEWEST, buffer, 8,
                                               &taken, nullptr);
         }},
        {"class without a state",
         [&](auto *h) { return morvel_zelp7x_host_posterior(h, nullptr, &one, &tables); }},
        {"pins beyond eight", [&](auto *h) { return morvel_zelp7x_host_gpio(h, &wide, &pins); }},
        {"input enable 2", [&](auto *h) { return morvel_zelp7x_host_gpio(h, &enable2, &pins); }},
        {"serial past 64 KiB",
         [&](auto *h) { return morvel_zelp7x_host_serial(h, 0, 0x19, buffer, 65537, buffer, 0); }},
        {"recording past a day",
         [&](auto *h) {
             return morvel_zelp7x_host_record(h, MORVEL_ZELP_EXTRACT_FROM_NEWEST,
                                              MORVEL_ZELP7X_HOST_RECORD_MAX_MS + 1, sound, nullptr,
                                              nullptr);
         }},
        {"recording from the oldest",
         [&](auto *h) {
             return morvel_zelp7x_host_record(h, MORVEL_ZELP_EXTRACT_FROM_OLDEST, 10, sound,
                                              nullptr, nullptr);
         }},
        {"record too small for its dump",
         [&](auto *h) {
             return morvel_zelp7x_host_dump(h, MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE, buffer,
                                            sizeof buffer, nullptr);
         }},
        {"unknown sending",
         [&](auto *h) { return morvel_zelp7x_host_send_file(h, "/", 9, 0, nullptr, nullptr); }},
    };
    for (const Named &r : refused) {
        const size_t before = packets();
        EXPECT_EQ(r.call(host), MORVEL_ZELP_ERROR_ARG) << r.what;
        EXPECT_EQ(packets(), before) << r.what;
    }
}

TEST_F(HostLib, UnreadableInputsSayWhyAndBadPackagesWhere) {
    const ztest::TempDir dir("hostlib_inputs");
    morvel_zelp7x_host_input_s input{};
    size_t loaded = 1;
    EXPECT_EQ(
        morvel_zelp7x_host_load_file(host, (dir.path() / "none").c_str(), 1024, &loaded, &input),
        MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(input.result, MORVEL_ZELP7X_HOST_INPUT_CANNOT_OPEN);
    EXPECT_EQ(input.system_error, ENOENT);
    EXPECT_EQ(loaded, 0u);
    size_t sent = 1;
    EXPECT_EQ(morvel_zelp7x_host_send_file(host, dir.path().c_str(),
                                           MORVEL_ZELP_SEND_DATA_TYPE_STREAMING, 0, &sent, &input),
              MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(input.result, MORVEL_ZELP7X_HOST_INPUT_READ_ERROR);
    EXPECT_EQ(input.system_error, EISDIR);

    mvpkg::Bytes package = mvpkg::sample_package(mvpkg::SamplePart::all);
    package[100] ^= 0xFF; // inside a record: the checksum no longer holds
    const auto bad = dir.path() / "bad.pkg";
    ztest::write_bytes(bad, package);
    morvel_zelp7x_host_package_check_s check{};
    EXPECT_EQ(morvel_zelp7x_host_check_package(bad.c_str(), &check), MORVEL_ZELP_ERROR_PACKAGE);
    EXPECT_NE(check.result, 0);
    EXPECT_EQ(check.input.result, MORVEL_ZELP7X_HOST_INPUT_READ);
    package[100] ^= 0xFF;
    ztest::write_bytes(bad, package);
    EXPECT_EQ(morvel_zelp7x_host_check_package(bad.c_str(), &check), 0);
}

TEST(HostLibNames, EveryNameMapsToItsValueAndNoOtherNameDoes) {
    int v = -1;
    unsigned int u = 0;
    morvel_zelp_init_mode_e mode{};
    uint32_t size = 0;
    const struct {
        const char *name;
        std::function<int(const char *)> lookup;
        std::function<long()> value;
        long expected;
    } names[] = {
        {"no-touch", [&](auto n) { return morvel_zelp7x_host_init_mode_named(n, &mode); },
         [&] { return static_cast<long>(mode); }, MORVEL_ZELP_INIT_MODE_NO_TOUCH},
        {"static", [&](auto n) { return morvel_zelp7x_host_extract_type_named(n, &v); },
         [&] { return static_cast<long>(v); }, MORVEL_ZELP_EXTRACT_TYPE_FEATURE_STATIC},
        {"oldest", [&](auto n) { return morvel_zelp7x_host_extract_start_named(n, &v); },
         [&] { return static_cast<long>(v); }, MORVEL_ZELP_EXTRACT_FROM_OLDEST},
        {"unread", [&](auto n) { return morvel_zelp7x_host_record_start_named(n, &v); },
         [&] { return static_cast<long>(v); }, MORVEL_ZELP_EXTRACT_FROM_UNREAD},
        {"spi3", [&](auto n) { return morvel_zelp7x_host_serial_interface_named(n, &u); },
         [&] { return static_cast<long>(u); }, MORVEL_ZELP7X_SERIAL_INTERFACE_SPI3},
        {"ph", [&](auto n) { return morvel_zelp7x_host_dump_named(n, &v, &size); },
         [&] { return static_cast<long>(v) << 16 | size; },
         MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE << 16 | 80},
    };
    for (const auto &n : names) {
        EXPECT_EQ(n.lookup(n.name), 0) << n.name;
        EXPECT_EQ(n.value(), n.expected) << n.name;
        for (const char *other : std::initializer_list<const char *>{"", "oldest ", "PH", nullptr})
            EXPECT_EQ(n.lookup(other), MORVEL_ZELP_ERROR_ARG) << n.name;
    }
    // The record starts are the extraction's two that a recording can go on from.
    EXPECT_EQ(morvel_zelp7x_host_record_start_named("match", &v), MORVEL_ZELP_ERROR_ARG);

    morvel_zelp7x_host_match_s m{};
    morvel_zelp7x_host_match_of(0x05c81e82, &m);
    EXPECT_EQ(std::vector({m.class_index, m.snr, m.confidence, m.noise}),
              std::vector<uint32_t>({2, 30, 200, 5}));
    EXPECT_EQ(m.has_position, 0);
}

} // namespace
