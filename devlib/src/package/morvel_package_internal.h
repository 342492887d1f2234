// Helpers shared by the package reader, the value record parsers and their printouts.
#pragma once

#include <cstdint>

#include "morvel_packager/morvel_package.h"

namespace morvel_pkg {

// Size of the packed network parameters (tag 22) that network configuration `m` asks for.
uint32_t packed_params_size(const morvel_fc_params_metadata_t &m);

using state = morvel_pkg_parser_state_t;

// Value bytes not yet consumed.
inline uint32_t value_bytes_left(const state &p) {
    return p.length > p.partially_read_length ? p.length - p.partially_read_length : 0;
}

// A fresh field of `size` bytes must lie inside the value: a lying length must never make a parser
// read the next record's bytes. A field already begun was checked when it started.
inline bool field_fits(const state &p, uint32_t size) {
    return p.expected_bytes != 0 || size <= value_bytes_left(p);
}

// The fields of a network configuration value (tags 25 and 26), whichever layout carries them.
struct fc_fields {
    unsigned num_features, num_static_features, dnn_frame_size;
    unsigned input_clipping_threshold, dnn_run_threshold;
    const uint8_t *quantization_scheme, *num_nodes, *num_biases, *scale_factor, *out_shift;
};

template <typename Config>
fc_fields fc_fields_from(const Config &v) {
    return {v.num_features,      v.num_static_features,
            v.dnn_frame_size,    v.input_clipping_threshold,
            v.dnn_run_threshold, v.quantization_scheme,
            v.num_nodes,         v.num_biases,
            v.scale_factor,      v.out_shift};
}

// Layout 3 moves the two thresholds to the front; the fields are the same.
inline fc_fields fc_fields_of(const morvel_pkg_parser_data_t &d, bool layout_v3) {
    return layout_v3 ? fc_fields_from(d.fc_params_v3) : fc_fields_from(d.fc_params_v2);
}

// Reads a value field of `size` bytes, or the rest of one cut by an earlier chunk's end, into
// dest with CRC and counts it in partially_read_length. True when the field is complete.
bool read_field(state &p, void *dest, uint32_t size);

// Sets mode and value_mode after a step: the value continues while bytes remain.
void end_step(state &p, bool item_complete);

// The checksum record's value; ends the package.
int morvel_pkg_parse_checksum_value(state &p);

// Posterior printouts; `version` is 4, 5 or 6.
void print_posterior_head(const state &p, int version);
void print_posterior_class(const state &p, int version, uint32_t class_number);
void print_posterior_state(const state &p, int version, uint32_t state_number);
// Piece value printouts.
void print_piece_value_start(const state &p);
void print_labels(const state &p);

} // namespace morvel_pkg
