// Posterior tables on the chip model: the layout a structure change writes, what cannot be laid
// out, flag groups, both action encodings, and single records read and changed.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "morvel-firmware/zelp7x_posterior.h"
#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "support/chip/chip_host.h"
#include "support/chip/zelp7x_transfers.h"

using namespace ztest;

namespace {

constexpr uint32_t AREA = 0x20003000;
constexpr uint32_t NA = 0xFFFFFFFF;
#define FLAG(name) constexpr uint32_t name = MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_##name
FLAG(STATES);
FLAG(CLASSES);
FLAG(PH_TYPE);
FLAG(THRESHOLD);
FLAG(WINDOW);
FLAG(TIMEOUT);
FLAG(TIMEOUT_ACTION_V2);
FLAG(ADAPTIVE);
FLAG(ENABLE);
FLAG(ACTION);
FLAG(ACTION_V2);
FLAG(SM_QUEUE_SIZE);
#undef FLAG
constexpr uint32_t STRUCTURE = STATES | CLASSES | PH_TYPE;
constexpr uint32_t MATCH = MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH;
constexpr uint32_t STATE = MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE;
constexpr uint32_t STAY = MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STAY;

Transfer words_at(uint32_t offset, std::initializer_list<uint32_t> words) {
    Transfer t{1, AREA + offset, true, {}};
    for (uint32_t w : words)
        for (uint8_t b : le32(w)) t.data.push_back(b);
    return t;
}

struct Posterior : ::testing::Test {
    zsim::Chip chip;
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = nullptr;
    morvel_zelp7x_posterior_config_s c{};

    void SetUp() override {
        zelp = host.device();
        zelp->init = 1;
        zelp->d.zelp7x.input_clock_rate = 32768;
        zelp->d.zelp7x.fw_posterior_parameters_addr = AREA;
    }
    int configure(uint32_t set) {
        c.set = set;
        host.transfers.clear();
        return morvel_zelp7x_posterior_config(zelp, &c);
    }
    int lay_out(uint32_t states, uint32_t classes, uint32_t ph_type) {
        c = {};
        c.states = states;
        c.classes = classes;
        c.ph_type = ph_type;
        return configure(STRUCTURE);
    }
    std::vector<Transfer> writes() const { return writes_of(host.transfers); }
};

TEST_F(Posterior, ThreeStatesOfTwoClassesLieAtTheFirmwaresOffsets) {
    ASSERT_EQ(lay_out(3, 2, 7), 0);
    const auto state = [](uint32_t s, uint32_t words) {
        return words_at(24 + 12 * s, {0, 0, words});
    };
    const auto cls = [](uint32_t words, uint32_t c) {
        return words_at(24 + 4 * words, {0, 0xFFFF, 0, 0x80 | c, 1});
    };
    EXPECT_EQ(writes(),
              (std::vector<Transfer>{state(0, 9), cls(9, 0), cls(14, 1), state(1, 19), cls(19, 0),
                                     cls(24, 1), state(2, 39), cls(39, 0), cls(44, 1),
                                     words_at(12, {0}), words_at(16, {0}), words_at(20, {0}),
                                     words_at(8, {7}), words_at(0, {2}), words_at(4, {3})}));
    EXPECT_EQ(c.states, 3u);
    EXPECT_EQ(c.classes, 2u);
    EXPECT_EQ(c.ph_type, 7u);
}

// The area is 4096 bytes: 3 states of 32 classes end at byte 2620, 4 would end at 4552.
TEST_F(Posterior, LayoutsThatCannotBeBuiltWriteNothing) {
    struct Case {
        uint32_t area, states, classes;
        int result;
    };
    const Case cases[] = {
        {AREA, 1, 33, MORVEL_ZELP_ERROR_FAIL}, {0, 1, 1, MORVEL_ZELP_ERROR_FAIL},
        {AREA, 4, 32, MORVEL_ZELP_ERROR_ARG},  {AREA, 340, 0, MORVEL_ZELP_ERROR_ARG},
        {AREA, 3, 32, MORVEL_ZELP_ERROR_NONE}, {AREA, 339, 0, MORVEL_ZELP_ERROR_NONE},
    };
    for (const Case &k : cases) {
        host.transfers.clear();
        zelp->d.zelp7x.fw_posterior_parameters_addr = k.area;
        EXPECT_EQ(morvel_zelp7x_posterior_init(zelp, k.states, k.classes, 0), k.result)
            << k.states << "x" << k.classes;
        if (k.result != 0) {
            EXPECT_TRUE(host.transfers.empty());
        }
    }
}

TEST_F(Posterior, FlagsOfDifferentGroupsDoNotMix) {
    for (uint32_t set : {STATES | THRESHOLD, TIMEOUT | WINDOW, TIMEOUT_ACTION_V2 | ADAPTIVE,
                         PH_TYPE | ENABLE, 0x4000u}) {
        EXPECT_EQ(configure(set), MORVEL_ZELP_ERROR_ARG) << set;
        EXPECT_TRUE(host.transfers.empty());
    }
}

TEST(PosteriorActions, FirstEncodingRefusesWhatItCannotSayAndDecodesWhatItWrites) {
    struct Case {
        int timeout;
        uint32_t type, match, state;
        int result;
        uint32_t word;
    };
    const Case cases[] = {
        {0, STAY, 0, 0, 0, 127},
        {1, STAY, 0, 0, MORVEL_ZELP_ERROR_ARG, 0},
        {0, MATCH, 5, 0, 0, 0x85},
        {0, MATCH, 64, 0, MORVEL_ZELP_ERROR_ARG, 0},
        {1, STATE, 0, 2, 0, 2},
        {1, STATE, 0, 3, MORVEL_ZELP_ERROR_ARG, 0},
        {0, 3, 0, 0, MORVEL_ZELP_ERROR_ARG, 0},
    };
    for (const Case &k : cases) {
        uint32_t word = 0, type = NA, match = NA, state = NA;
        ASSERT_EQ(morvel_zelp7x_posterior_config_encode_action(k.timeout, 3, k.type, k.match,
                                                               k.state, &word),
                  k.result);
        if (k.result != 0) continue;
        EXPECT_EQ(word, k.word);
        morvel_zelp7x_posterior_config_decode_action(word, &type, &match, &state);
        EXPECT_EQ(type, k.type);
        EXPECT_EQ(match, k.match);
        EXPECT_EQ(state, k.state);
    }
}

TEST_F(Posterior, SecondEncodingKeepsTheArgumentsHighBitsAndAQueryWritesNothing) {
    ASSERT_EQ(lay_out(1, 1, 1), 0);
    c = {};
    c.action_type = 3;
    c.action_arg = 0x1234;
    ASSERT_EQ(configure(ACTION_V2), 0);
    EXPECT_EQ(chip.peek_mcu(AREA + 24 + 12 + 12), 0x1203u) << "state 0's classes at word 3";
    EXPECT_EQ(c.action_type, 3u);
    EXPECT_EQ(c.action_arg, 0x1200u);
    EXPECT_EQ(c.action_match, NA);
    EXPECT_EQ(c.action_state, NA);

    c = {};
    ASSERT_EQ(configure(0), 0);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(c.threshold, 0xFFFFu);
    EXPECT_EQ(c.smoothing_queue_size, 1u);
    EXPECT_EQ(c.action_arg, 0x1200u);
    EXPECT_EQ(c.timeout_action_type, 0u);
    EXPECT_EQ(c.states, 1u);
}

TEST_F(Posterior, RecordsAreReadAndChangedOnlyInsideTheArea) {
    ASSERT_EQ(lay_out(2, 1, 0), 0);
    c = {};
    c.state = 1;
    c.threshold = 500;
    c.adaptive_threshold_on = 1;
    c.action_type = STAY;
    ASSERT_EQ(configure(THRESHOLD | ACTION), 0);
    EXPECT_EQ(writes(),
              (std::vector<Transfer>{words_at(24 + 4 * 11, {0, 0x10000 | 500, 0, 127, 1})}));
    EXPECT_EQ(c.adaptive_threshold_on, 1u);
    EXPECT_EQ(c.action_type, STAY);
    EXPECT_EQ(c.timeout_action_type, STATE);

    c.class_index = 1;
    EXPECT_EQ(configure(WINDOW), MORVEL_ZELP_ERROR_ARG);
    c.class_index = 0;
    c.smoothing_queue_size = 13;
    EXPECT_EQ(configure(SM_QUEUE_SIZE), MORVEL_ZELP_ERROR_ARG);
    // A class offset the chip holds that points past the area is not followed.
    chip.poke_mcu(AREA + 24 + 12 + 8, 1100);
    EXPECT_EQ(configure(WINDOW), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_TRUE(writes().empty());

    // Without classes, a state's timeout action of the second encoding needs no class index.
    ASSERT_EQ(lay_out(2, 0, 1), 0);
    c = {};
    c.timeout_action_type = 4;
    ASSERT_EQ(configure(TIMEOUT_ACTION_V2), 0);
    EXPECT_EQ(writes(), (std::vector<Transfer>{words_at(24, {0, 4, 6})}));
}

} // namespace
