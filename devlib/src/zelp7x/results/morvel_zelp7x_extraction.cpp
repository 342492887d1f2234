// Data out of the chip: tank audio and sensor samples from their rings, network features and
// static features from their fixed areas. The ring arithmetic is in zelp7x_ring.h; this file reads
// the producer, the planned pieces and keeps the host's positions.
#include <algorithm>
#include <array>

#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"
#include "zelp7x/results/zelp7x_ring.h"

namespace {

using namespace zelp7x;

enum class Source { tank, features, refused, static_features, sensor };

// Indexed by morvel_zelp_extract_type_e.
constexpr std::array<Source, MORVEL_ZELP_EXTRACT_TYPE_LAST + 1> source_of_type = {
    Source::tank,            // INPUT
    Source::features,        // FEATURES
    Source::refused,         // 2
    Source::static_features, // FEATURE_STATIC
    Source::refused,         // INPUT_ANNOTATED
    Source::sensor,          // RAW_ACCEL
};

struct Ring {
    uint32_t base;
    uint32_t size;
    uint32_t producer_address;
    uint32_t producer_mask;
    uint32_t *host; // the host's read position, kept in the device record
};

// The tank's producer is the firmware's tankptr, or without firmware the tank pointer register.
Ring tank_ring(morvel_zelp7x_device_s &z) {
    if (z.fw_state_addr == 0)
        return {z.tank_address, z.tank_size, ZELP7X_MCU_TANKPTR, ZELP7X_TANKPTR_POSITION_M,
                &z.tankptr_last};
    return {z.tank_address, z.tank_size, z.fw_state_addr + ZELP7X_FW_STATE_TANKPTR, ~0u,
            &z.tankptr_last};
}

Ring sensor_ring(morvel_zelp7x_device_s &z) {
    return {z.fw_state_addr + ZELP7X_FW_STATE_SENSOR_RAW_SAMPLES, ZELP7X_FW_SENSOR_RAW_SIZE,
            z.fw_state_addr + ZELP7X_FW_STATE_SENSOR_RAW_PRODUCER, ~0u, &z.accelptr_last};
}

int extract_ring(morvel_zelp_device_s *zelp, const Ring &r, int from, uint8_t *data,
                 unsigned int *lenp) {
    uint32_t producer = 0;
    int s = read_mcu(zelp, r.producer_address, &producer);
    if (s != 0) return s;
    const ring::Positions at{r.size, producer & r.producer_mask, *r.host,
                             record(zelp).tankptr_match};
    const ring::Span span = ring::plan(from, at, *lenp, data != nullptr);
    if (span.error != 0) return span.error;
    if (data != nullptr) {
        uint8_t *to = data;
        for (const ring::Piece &p : ring::pieces(r.size, span.start, span.len)) {
            s = morvel_zelp7x_read_block(zelp, MCU, r.base + p.offset, to, p.count);
            if (s != 0) return s;
            to += p.count;
        }
    }
    *r.host = ring::next_host(r.size, span.start, span.len);
    *lenp = span.avail;
    return MORVEL_ZELP_ERROR_NONE;
}

// A fixed area is read from its start; all of it is always available.
int extract_area(morvel_zelp_device_s *zelp, uint32_t base, uint32_t size, uint8_t *data,
                 unsigned int *lenp) {
    const unsigned int len = std::min(*lenp, size);
    if (data != nullptr) {
        const int s = morvel_zelp7x_read_block(zelp, MCU, base, data, len);
        if (s != 0) return s;
    }
    *lenp = size;
    return MORVEL_ZELP_ERROR_NONE;
}

bool valid_from(int from) {
    return from >= MORVEL_ZELP_EXTRACT_FROM_MATCH && from <= MORVEL_ZELP_EXTRACT_FROM_NEWEST;
}

} // namespace

extern "C" {

int morvel_zelp7x_extract_data(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                               unsigned int *lenp) {
    if (lenp == nullptr || type < 0 || type > MORVEL_ZELP_EXTRACT_TYPE_LAST || !valid_from(from) ||
        *lenp % 4 != 0)
        return MORVEL_ZELP_ERROR_ARG;
    morvel_zelp7x_device_s &z = record(zelp);
    switch (source_of_type[static_cast<size_t>(type)]) {
    case Source::tank:
        return extract_ring(zelp, tank_ring(z), from, data, lenp);
    case Source::sensor:
        if (z.fw_state_addr == 0) return MORVEL_ZELP_ERROR_UNINIT;
        // Sensor samples carry no match position.
        if (from == MORVEL_ZELP_EXTRACT_FROM_MATCH) return MORVEL_ZELP_ERROR_ARG;
        return extract_ring(zelp, sensor_ring(z), from, data, lenp);
    case Source::features:
        return extract_area(zelp, ZELP7X_MCU_FEATURE_INPUTS, ZELP7X_FEATURE_INPUTS_SIZE, data,
                            lenp);
    case Source::static_features:
        return extract_area(zelp, ZELP7X_MCU_STATIC_FEATURES, ZELP7X_STATIC_FEATURES_SIZE, data,
                            lenp);
    case Source::refused:
        break;
    }
    return MORVEL_ZELP_ERROR_ARG;
}

} // extern "C"
