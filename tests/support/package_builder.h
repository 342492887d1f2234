// Builds package byte streams (header, records, checksum) and replays them through the package
// reader in chunks, recording every item the reader delivers. Free of test-framework code so the
// fuzzer's seed generator can use it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "morvel_packager/morvel_package.h"

namespace ztest {

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
// Header, a 20-byte firmware version text, a 220-byte firmware image and the checksum: 280 bytes.
Bytes small_firmware_package();
// A valid package with a record of every kind the reader parses: version texts, board and
// network settings, values of several pieces, posterior items, sections and record sequences.
Bytes every_kind_package();
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

// Posterior parameters of version 4, 5 or 6 with S states and C classes; fields are numbered.
Bytes posterior_value(int version, uint32_t states, uint32_t classes);

// Posterior collection (tag 52).
struct CollectionHandler {
    uint32_t num_classes;
    uint32_t num_states;
    uint32_t ph_type;
};
Bytes posterior_collection(std::span<const CollectionHandler> handlers);

// Network metadata (tag 64).
struct MetadataNetwork {
    uint32_t num_layers;
    uint32_t is_nn_cached;
};
Bytes nn_metadata(std::span<const MetadataNetwork> networks);

// One item the reader handed over: an announced value, a complete value, piece, record or
// section. Only complete deliveries are kept, so the list does not depend on chunking.
struct Delivery {
    uint32_t tag;
    uint32_t length;
    int mode;
    int value_mode;
    uint32_t partially_read_length;
    Bytes item;

    bool operator==(const Delivery &) const = default;
};

struct FeedResult {
    int result = 0;        // the first nonzero step result, else 0
    bool done = false;     // the reader reached PACKAGE_MODE_DONE
    bool stalled = false;  // a step neither consumed a byte nor moved on
    uint32_t offset = 0;   // package bytes consumed
    uint32_t calc_crc = 0; // the reader's CRC register at the end
    uint8_t is_multisegment = 0;
    std::vector<Delivery> deliveries;
};

// Feeds `package` to a fresh reader in chunks of `chunk` bytes (0: whole), each chunk in a buffer
// of exactly its size so that a read past its end is caught by the sanitizers.
// `observer` sees the state after every step that succeeded.
using StepObserver = std::function<void(const morvel_pkg_parser_state_t &)>;
FeedResult feed_package(std::span<const uint8_t> package, size_t chunk, int collect_log = 0,
                        const StepObserver &observer = {});

} // namespace ztest
