// zelp7x_host's result commands in the tool's own process, on the in-process simulated board
// after a load, its time held and moved by hand, so that each command's output is exact. (A run
// of the program gets a fresh board of its own, with no firmware to take results from.)
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "board.h"
#include "host_command_line.h"
#include "io_state.h"
#include "json_text.h"
#include "sample_package.h"
#include "support/chip/ramp.h"
#include "support/package_builder.h"
#include "support/process/temp_files.h"

namespace {

// The command line's words; `run` false: a failure the command reports itself.
struct Step {
    std::vector<std::string> words;
    std::string out;
    bool run = true;
};

int run_command(morvel_zelp7x_host_s *host, std::vector<std::string> words) {
    words.insert(words.begin(), "zelp7x_host");
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    host_options options;
    if (parse_host_command_line(static_cast<int>(argv.size()), argv.data(), options) !=
        host_parse_outcome::run)
        return -2;
    return options.command->run(host, options.args);
}

TEST(HostResults, EveryCommandRunsOnTheInProcessBoardAfterALoad) {
    ztest::TempDir dir("host_results");
    const auto file = [&](const char *name) { return (dir.path() / name).string(); };
    const ztest::Bytes features = ztest::pattern(8);
    ztest::write_bytes(file("f.bin"), features);
    morvel_zelp7x_board_options_s options;
    morvel_zelp7x_host_options_init(&options);
    options.port = "sim:,clock=held,match-every=10";
    morvel_zelp7x_host_s *opened = nullptr;
    ASSERT_EQ(morvel_zelp7x_host_open(&options, &opened, nullptr), 0);
    const host_ptr host(opened);
    const mvpkg::Bytes package = mvpkg::sample_package(mvpkg::SamplePart::all);
    ASSERT_EQ(morvel_zelp7x_host_load(opened, package.data(), package.size(), 1024, nullptr), 0);
    // Three matches and 35 ms of samples: 560 in the tank, 14 in the sensor ring.
    zio::sim_board(morvel_zelp7x_board_io(morvel_zelp7x_host_board(opened)))
        ->time()
        .advance(std::chrono::milliseconds(35));
    const std::string zeros = "h2m requests 0, responses 0, unexpected 0, errors 0\n"
                              "m2h requests 0, responses 0, unexpected 0, errors 0\n";
    const Step steps[] = {
        {{"watch", "-n", "3", "-w", "0"},
         "match: summary 0x00c81e00, snr 30, confidence 200, noise 0\n"
         "match: summary 0x00c81e01, snr 30, confidence 200, noise 0\n"
         "match: summary 0x00c81e02, snr 30, confidence 200, noise 0\n"},
        {{"watch", "-w", "0"}, "no match within 0 ms\n", false},
        {{"extract", "input", "-f", "unread", "-o", file("a.raw")},
         "1120 bytes extracted, 1120 available\n"},
        {{"extract", "input", "-f", "unread", "-o", file("b.raw")},
         "0 bytes extracted, 0 available\n"},
        {{"extract", "accel", "-f", "unread", "-o", file("accel.raw")},
         "28 bytes extracted, 28 available\n"},
        {{"extract", "features", "-o", file("features.raw")}, "40 bytes extracted, 40 available\n"},
        {{"send", file("f.bin")}, "8 bytes sent\n"},
        {{"send", file("f.bin"), "-o", "4088"}, "8 bytes sent\n"},
        {{"extract", "static", "-o", file("static.raw")}, "4096 bytes extracted, 4096 available\n"},
        {{"gpio", "-e", "0x03=0x01", "-v", "0x03=0x03"},
         "outputs 0x01, values 0x01, input enable 0\n"},
        {{"serial", "spi0", "1", "-r", "2"}, "ff ff\n"},
        {{"dump", "ph", "-o", file("ph.bin")}, "80 bytes dumped\n"},
        {{"status", "-c"}, "missed frames 2\n"},
        {{"status"}, zeros + "missed frames 0\n"},
    };
    for (const Step &step : steps) {
        testing::internal::CaptureStdout();
        const int s = run_command(opened, step.words);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(s, step.run ? 0 : failure_reported) << step.words[0];
        if (step.words[0] == "status" && step.words.size() > 1)
            EXPECT_TRUE(out.ends_with(step.out)) << out;
        else
            EXPECT_EQ(out, step.out) << step.words[0];
    }
    ztest::expect_ramp(ztest::read_bytes(file("a.raw")), 559);
    ztest::expect_ramp(ztest::read_bytes(file("accel.raw")), 13);
    const auto stored = ztest::read_bytes(file("static.raw"));
    EXPECT_TRUE(std::equal(features.begin(), features.end(), stored.end() - 8));
}

// Labels come from the chip: whatever bytes it holds must still make a valid JSON string.
TEST(HostJson, StringsAreQuotedEscapedAndValidUtf8) {
    const struct {
        std::string_view text, json;
    } cases[] = {
        {"go", "\"go\""},
        {"", "\"\""},
        {"say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\""},
        {"a\nb\tc\x01\x1f\x7f", "\"a\\nb\\tc\\u0001\\u001f\\u007f\""},
        {"gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x8E\xA4",
         "\"gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x8E\xA4\""},
        // A lone continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF.
        {"\x80|\xC3|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80",
         "\"\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|"
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|"
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto &c : cases) EXPECT_EQ(json_string(c.text), c.json) << c.text;
}

} // namespace
