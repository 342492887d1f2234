// The generic configuration query: device-type name, class count, and the label and version
// strings that the package loader keeps in the chip's host configuration area.
#include <algorithm>
#include <array>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;

namespace {

struct DeviceTypeName {
    unsigned code;
    const char *name;
};

constexpr std::array<DeviceTypeName, 7> DEVICE_TYPE_NAMES{{
    {0x02, "zelp70b0emu"},
    {0x13, "zelp71es:0x13"},
    {0x14, "zelp71es:0x14"},
    {0x18, "zelp70es:0x18"},
    {0x20, "zelp71b0"},
    {0x22, "zelp71b0-sec"},
    {0x24, "zelp70b0"},
}};

// Longer than the whole area: the length word is not to be trusted.
constexpr uint32_t MAX_STORED_LENGTH = ZELP7X_HOST_CONFIG_SIZE - 1;

// One string item of the area: its valid bit, where its length and text live, and the caller's
// buffer and length fields.
struct Item {
    uint32_t valid_bit;
    uint32_t length_address;
    uint32_t text_address;
    char *morvel_zelp_config_s::*buffer;
    unsigned morvel_zelp_config_s::*length;
};

constexpr std::array<Item, 4> ITEMS{{
    {0x1, ZELP7X_MCU_HOST_CONFIG_LABELS_LEN, ZELP7X_MCU_HOST_CONFIG_LABELS,
     &morvel_zelp_config_s::labels, &morvel_zelp_config_s::labels_len},
    {0x2, ZELP7X_MCU_HOST_CONFIG_FWVER_LEN, ZELP7X_MCU_HOST_CONFIG_FWVER,
     &morvel_zelp_config_s::firmware_version, &morvel_zelp_config_s::firmware_version_len},
    {0x4, ZELP7X_MCU_HOST_CONFIG_PARAMVER_LEN, ZELP7X_MCU_HOST_CONFIG_PARAMVER,
     &morvel_zelp_config_s::parameters_version, &morvel_zelp_config_s::parameters_version_len},
    {0x8, ZELP7X_MCU_HOST_CONFIG_PKGVER_LEN, ZELP7X_MCU_HOST_CONFIG_PKGVER,
     &morvel_zelp_config_s::pkg_version, &morvel_zelp_config_s::pkg_version_len},
}};

// Copies as much of the item as the caller's buffer holds. MCU memory moves in whole words and the
// buffer size is a multiple of 4, so the copy is rounded up to a word without leaving the buffer.
int read_item(morvel_zelp_device_s *zelp, const Item &item, unsigned buffer_size,
              morvel_zelp_config_s &config, uint32_t &length) {
    int s = read_word(zelp, item.length_address, length);
    if (s != 0 || length > MAX_STORED_LENGTH) return s;
    const unsigned count = std::min<unsigned>(buffer_size, (length + 3u) & ~3u);
    char *buffer = config.*item.buffer;
    if (buffer != nullptr && count != 0)
        s = read_bytes(zelp, item.text_address,
                       std::span(reinterpret_cast<uint8_t *>(buffer), count));
    config.*item.length = length;
    return s;
}

// Each name ends with a 0 byte; a second 0 byte right after one is padding, not an empty name.
unsigned count_names_in_word(const uint8_t *b) {
    unsigned names = 0;
    for (int i = 0; i < 4; ++i) {
        if (b[i] != 0) continue;
        ++names;
        if (i < 3 && b[i + 1] == 0) break;
    }
    return names;
}

int count_classes(morvel_zelp_device_s *zelp, uint32_t labels_length, unsigned &classes) {
    std::array<uint8_t, ZELP7X_HOST_CONFIG_SIZE> labels{};
    const unsigned bytes = labels_length / 4 * 4;
    const int s = read_bytes(zelp, ZELP7X_MCU_HOST_CONFIG_LABELS, std::span(labels.data(), bytes));
    if (s != 0) return s;
    for (unsigned i = 0; i < bytes; i += 4) classes += count_names_in_word(&labels[i]);
    return s;
}

} // namespace

extern "C" {

const char *morvel_zelp7x_get_config_devtype(unsigned int device_type) {
    for (const DeviceTypeName &d : DEVICE_TYPE_NAMES)
        if (d.code == device_type) return d.name;
    return "unknown";
}

int morvel_zelp7x_get_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config) {
    if (zelp == nullptr || config == nullptr) return MORVEL_ZELP_ERROR_ARG;
    const morvel_zelp7x_device_s &dev = record(zelp);
    config->device_type = morvel_zelp7x_get_config_devtype(zelp->device_type);
    config->classes = dev.classes;
    if (config->labels_len == 0 && config->firmware_version_len == 0 &&
        config->parameters_version_len == 0 && config->pkg_version_len == 0) {
        config->labels_len = dev.labels_len;
        config->firmware_version_len = dev.fwver_len;
        config->parameters_version_len = dev.paramver_len;
        config->pkg_version_len = dev.pkgver_len;
        return MORVEL_ZELP_ERROR_NONE;
    }
    return morvel_zelp7x_access_config(zelp, config, nullptr);
}

int morvel_zelp7x_access_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config,
                                unsigned int *classes) {
    if (zelp == nullptr || config == nullptr) return MORVEL_ZELP_ERROR_ARG;
    uint32_t valid = 0;
    int s = read_word(zelp, ZELP7X_MCU_HOST_CONFIG_VALID, valid);
    if (s != 0) return s;
    if ((valid & ZELP7X_HOST_CONFIG_VALID_GARBAGE) != 0) valid = 0;

    std::array<unsigned, ITEMS.size()> buffer_size{};
    bool sizes_whole_words = true;
    for (size_t i = 0; i < ITEMS.size(); ++i) {
        buffer_size[i] = config->*ITEMS[i].length;
        config->*ITEMS[i].length = 0;
        sizes_whole_words = sizes_whole_words && buffer_size[i] % 4 == 0;
    }
    if (classes != nullptr) *classes = 0;
    if (!sizes_whole_words) return MORVEL_ZELP_ERROR_ARG;

    uint32_t labels_length = 0;
    for (size_t i = 0; i < ITEMS.size(); ++i) {
        if ((valid & ITEMS[i].valid_bit) == 0) continue;
        uint32_t length = 0;
        s = read_item(zelp, ITEMS[i], buffer_size[i], *config, length);
        if (s != 0) return s;
        if (i == 0) labels_length = length;
    }
    if (classes != nullptr && labels_length <= MAX_STORED_LENGTH)
        s = count_classes(zelp, labels_length, *classes);
    return s;
}

} // extern "C"
