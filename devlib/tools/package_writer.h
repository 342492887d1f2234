// Writes package byte streams: the header record, tagged values and the closing checksum record,
// with encoders for the values whose layout the reader checks. Used by the sample package
// program, the tests and the fuzzer's seed generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mvpkg {

using Bytes = std::vector<uint8_t>;

// Little-endian value writer.
class ByteWriter {
  public:
    ByteWriter &u8(uint8_t v) { return little_endian(v, 1); }
    ByteWriter &u16(uint16_t v) { return little_endian(v, 2); }
    ByteWriter &u32(uint32_t v) { return little_endian(v, 4); }
    ByteWriter &bytes(std::span<const uint8_t> b);
    const Bytes &data() const { return out_; }

  private:
    ByteWriter &little_endian(uint32_t v, int size);
    Bytes out_;
};

class PackageBuilder {
  public:
    PackageBuilder();
    // A record whose length field is the value's size; `tag_word` may carry bit 31.
    PackageBuilder &record(uint32_t tag_word, std::span<const uint8_t> value);
    // A record whose length field says `length` whatever the value holds.
    PackageBuilder &record_with_length(uint32_t tag_word, uint32_t length,
                                       std::span<const uint8_t> value);
    // Everything so far plus the checksum record.
    Bytes build() const;
    // Everything so far, without a checksum record.
    const Bytes &body() const { return body_; }

  private:
    Bytes body_;
};

// The 12-byte header record.
Bytes header_record();
// `size` bytes whose values depend on their position and on `seed`.
Bytes pattern(size_t size, uint8_t seed = 0);

// Network configuration values (tags 25 and 26).
struct NetworkConfig {
    uint16_t num_features = 40;
    uint16_t num_static_features = 0;
    uint16_t dnn_frame_size = 10;
    uint8_t num_nodes[4] = {15, 7, 23, 3};
    uint8_t scale_factor[4] = {1, 2, 3, 4};
    uint8_t num_biases[4] = {1, 1, 1, 1};
    uint8_t input_clipping_threshold = 5;
    uint8_t dnn_run_threshold = 6;
    uint8_t quantization_scheme[4] = {0, 1, 0, 1};
    uint8_t out_shift[4] = {1, 2, 3, 4};
};
Bytes network_config_v2(const NetworkConfig &c);
Bytes network_config_v3(const NetworkConfig &c);
// Size of the packed parameters (tag 22) that a configuration asks for.
uint32_t packed_params_size(const NetworkConfig &c);

// Posterior tables of version 6 (tag 69). Actions are the package's: type 0 match, 1 state,
// 2 stay (first encoding) or the type byte of the second, with their argument.
struct PosteriorClass {
    uint32_t window, threshold, backoff, action, arg, queue_size, adaptive;
};
struct PosteriorState {
    uint32_t timeout, timeout_action, timeout_arg;
    std::vector<PosteriorClass> classes; // every state has the same number
};
struct PosteriorTables {
    uint32_t adaptive_frames, adaptive_denominator, adaptive_max_updates;
    uint32_t ph_type;
    std::vector<PosteriorState> states;
};
Bytes posterior_v6(const PosteriorTables &t);

} // namespace mvpkg
