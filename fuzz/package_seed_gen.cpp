// Writes a seed corpus for the package reader fuzzer: valid packages of every record kind, a whole
// sample package that loads and starts its firmware, and packages at the size limits, each behind
// the two bytes that choose the fuzzer's chunk size.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sample_package.h"
#include "support/package_builder.h"

namespace {

using ztest::Bytes;
using ztest::PackageBuilder;

void write_seed(const std::filesystem::path &dir, const std::string &name, const Bytes &package,
                uint16_t chunk_word) {
    Bytes seed = {static_cast<uint8_t>(chunk_word), static_cast<uint8_t>(chunk_word >> 8)};
    seed.insert(seed.end(), package.begin(), package.end());
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(seed.data()),
               static_cast<std::streamsize>(seed.size()));
}

Bytes one_record(uint32_t tag, const Bytes &value) {
    return PackageBuilder().record(tag, value).build();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: package_seed_gen DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const ztest::CollectionHandler handlers[] = {{2, 2, 1}};
    const ztest::MetadataNetwork networks[] = {{2, 1}, {1, 0}};
    const ztest::NetworkConfig config;
    const std::pair<std::string, Bytes> packages[] = {
        {"small", ztest::small_firmware_package()},
        {"sample", mvpkg::sample_package(mvpkg::SamplePart::all)},
        {"every_kind", ztest::every_kind_package()},
        {"posterior_v4", one_record(TAG_NN_PH_PARAMETERS_V4, ztest::posterior_value(4, 2, 3))},
        {"posterior_v5", one_record(TAG_NN_PH_PARAMETERS_V5, ztest::posterior_value(5, 2, 2))},
        {"posterior_v6", one_record(TAG_NN_PH_PARAMETERS_V6, ztest::posterior_value(6, 1, 2))},
        {"collection", one_record(TAG_NN_PHP_COLLECTION_V1, ztest::posterior_collection(handlers))},
        {"metadata", one_record(TAG_ZELP80_B0_NN_METADATA, ztest::nn_metadata(networks))},
        {"network",
         PackageBuilder()
             .record(TAG_ZELP7X_B0_NN_CONFIG_V2, ztest::network_config_v2(config))
             .record(TAG_ZELP7X_NN_PARAMETERS_V3, ztest::pattern(ztest::packed_params_size(config)))
             .build()},
        {"labels", one_record(TAG_NN_LABELS_V1, Bytes{'a', 0, 'b', 0})},
        {"flows", PackageBuilder()
                      .record(TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1, ztest::pattern(16))
                      .record(TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1, ztest::pattern(32))
                      .record(TAG_ZELP80_B0_DSP_FE_CONFIG_V1, ztest::pattern(68))
                      .build()},
    };
    for (const auto &[name, package] : packages)
        for (const uint16_t chunk_word : {0x0000, 0x0002, 0x8006, 0x07FF})
            write_seed(dir, name + "_" + std::to_string(chunk_word), package, chunk_word);
    return 0;
}
