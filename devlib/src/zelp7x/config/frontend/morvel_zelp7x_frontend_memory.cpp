// Power states of the chip's memories: the boot ROM, three RAMs with three-bit power codes, and
// eighteen network memories with an "on" and a "retain" bit each.
#include <array>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_fields.h"

using namespace zelp7x;

namespace {

using State = morvel_zelp7x_config_state_s;

constexpr unsigned REPORTED = MORVEL_ZELP7X_CONFIG_MEMORY_MAX + 1;
constexpr unsigned DNN_MEMORIES =
    MORVEL_ZELP7X_CONFIG_MEMORY_DNN17 - MORVEL_ZELP7X_CONFIG_MEMORY_DNN00 + 1;

// A memory whose power is a three-bit code in one of the power registers.
struct CodedMemory {
    unsigned memory;
    uint32_t State::*reg;
    Field field;
};

constexpr std::array<CodedMemory, 3> CODED{{
    {MORVEL_ZELP7X_CONFIG_MEMORY_RAM, &State::mem, mem::RAM},
    {MORVEL_ZELP7X_CONFIG_MEMORY_BOOTRAM, &State::mem, mem::BOOTRAM},
    {MORVEL_ZELP7X_CONFIG_MEMORY_DNNFEATURE, &State::mem0, mem::DNNFEATURE},
}};

// Power code by power state (NO_CHANGE never reaches the table).
constexpr std::array<uint32_t, 4> CODE_FOR{0, mem::CODE_OFF, mem::CODE_RETAIN, mem::CODE_ON};

const CodedMemory *coded(unsigned memory) {
    for (const CodedMemory &m : CODED)
        if (m.memory == memory) return &m;
    return nullptr;
}

int set_one(unsigned memory, unsigned power, State &st) {
    if (power > MORVEL_ZELP7X_CONFIG_MEMORY_POWER_MAX) return MORVEL_ZELP_ERROR_ARG;
    if (memory == MORVEL_ZELP7X_CONFIG_MEMORY_BOOTROM) {
        // A ROM has nothing to retain.
        if (power == MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN) return MORVEL_ZELP_ERROR_ARG;
        st.mem = mem::BOOTROM_OFF.put(st.mem, power == MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF);
    } else if (const CodedMemory *m = coded(memory)) {
        st.*m->reg = m->field.put(st.*m->reg, CODE_FOR[power]);
    } else {
        const Bit bit{memory - MORVEL_ZELP7X_CONFIG_MEMORY_DNN00};
        st.mem1 = bit.put(st.mem1, power != MORVEL_ZELP7X_CONFIG_MEMORY_POWER_ON);
        st.mem3 = bit.put(st.mem3, power != MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN);
    }
    return MORVEL_ZELP_ERROR_NONE;
}

uint8_t power_from_code(uint32_t code) {
    if (code == mem::CODE_OFF) return MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF;
    if (code == mem::CODE_ON) return MORVEL_ZELP7X_CONFIG_MEMORY_POWER_ON;
    return MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN;
}

uint8_t dnn_power(const State &st, unsigned n) {
    const Bit bit{n};
    if (!bit.get(st.mem1)) return MORVEL_ZELP7X_CONFIG_MEMORY_POWER_ON;
    return bit.get(st.mem3) ? MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF
                            : MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN;
}

} // namespace

extern "C" {

int morvel_zelp7x_config_set_memory_power(morvel_zelp7x_config_s *c,
                                          morvel_zelp7x_config_state_s *st) {
    if ((c->set1 & MORVEL_ZELP7X_CONFIG_SET1_MEMORY_POWER) == 0) return MORVEL_ZELP_ERROR_NONE;
    for (unsigned m = 0; m < REPORTED; ++m) {
        if (c->memory_power[m] == MORVEL_ZELP7X_CONFIG_MEMORY_POWER_NO_CHANGE) continue;
        const int s = set_one(m, c->memory_power[m], *st);
        if (s != 0) return s;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_config_get_memory_power(morvel_zelp7x_config_state_s *st,
                                           morvel_zelp7x_config_s *c) {
    c->memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_BOOTROM] =
        mem::BOOTROM_OFF.get(st->mem) ? MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF
                                      : MORVEL_ZELP7X_CONFIG_MEMORY_POWER_ON;
    for (const CodedMemory &m : CODED)
        c->memory_power[m.memory] = power_from_code(m.field.get(st->*m.reg));
    for (unsigned n = 0; n < DNN_MEMORIES; ++n)
        c->memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_DNN00 + n] = dnn_power(*st, n);
}

} // extern "C"
