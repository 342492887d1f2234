// Builds test packages with the package writer and replays them through the package
// reader in chunks, recording every item the reader delivers. Free of test-framework code so the
// fuzzer's seed generator can use it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "morvel_packager/morvel_package.h"
#include "package_writer.h"

namespace ztest {

// The package writer's pieces, under the names the tests use.
using mvpkg::Bytes;
using mvpkg::ByteWriter;
using mvpkg::header_record;
using mvpkg::network_config_v2;
using mvpkg::network_config_v3;
using mvpkg::NetworkConfig;
using mvpkg::PackageBuilder;
using mvpkg::packed_params_size;
using mvpkg::pattern;

// Header, a 20-byte firmware version text, a 220-byte firmware image and the checksum: 280 bytes.
Bytes small_firmware_package();
// A valid package with a record of every kind the reader parses: version texts, board and
// network settings, values of several pieces, posterior items, sections and record sequences.
Bytes every_kind_package();
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
