// Applying a package to a zelp7x chip: the handler of each tag, and the texts the loader keeps in
// the chip's host configuration area (labels and versions) so a later host can read them back.
#include <algorithm>
#include <array>

#include "zelp7x/load/zelp7x_package_handlers.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;
using namespace zelp7x::pkg;

namespace {

struct TagHandler {
    uint32_t tag;
    int (*apply)(morvel_zelp_device_s *);
    // The handler rewrites the posterior tables, which the network must not run on half written.
    bool pauses_network = false;
};

constexpr std::array<TagHandler, 17> HANDLERS{{
    {TAG_FIRMWARE_VERSION_STRING_V1, morvel_zelp7x_pkg_parse_version_string_v1_tlv},
    {TAG_NN_VERSION_STRING_V1, morvel_zelp7x_pkg_parse_version_string_v1_tlv},
    {TAG_PACKAGE_VERSION_STRING, morvel_zelp7x_pkg_parse_version_string_v1_tlv},
    {TAG_FIRMWARE, morvel_zelp7x_pkg_parse_firmware_tlv},
    {TAG_NN_LABELS_V1, morvel_zelp7x_pkg_parse_nn_labels_v1_tlv},
    {TAG_ZELP7X_HW_CONFIG_V2, morvel_zelp7x_pkg_parse_hw_config_v2_tlv},
    {TAG_BOARD_CALIBRATION_PARAMS_V1,
     [](morvel_zelp_device_s *z) {
         return morvel_zelp7x_pkg_parse_board_calibration_params_v1_v2_tlv(z, 0);
     }},
    {TAG_BOARD_CALIBRATION_PARAMS_V2,
     [](morvel_zelp_device_s *z) {
         return morvel_zelp7x_pkg_parse_board_calibration_params_v1_v2_tlv(z, 1);
     }},
    {TAG_BOARD_CALIBRATION_PARAMS_V3, morvel_zelp7x_pkg_parse_board_calibration_params_v3_tlv},
    {TAG_BOARD_CALIBRATION_PARAMS_V4, morvel_zelp7x_pkg_parse_board_calibration_params_v4_tlv},
    {TAG_ZELP7X_NN_PARAMETERS_V3, morvel_zelp7x_pkg_parse_nn_params_v3_tlv},
    {TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1, morvel_zelp7x_pkg_parse_nn_params_encrypted_v1_tlv},
    {TAG_ZELP7X_B0_NN_CONFIG_V2,
     [](morvel_zelp_device_s *z) { return morvel_zelp7x_pkg_parse_b0_nn_config_v2_v3_tlv(z, 0); }},
    {TAG_ZELP7X_B0_NN_CONFIG_V3,
     [](morvel_zelp_device_s *z) { return morvel_zelp7x_pkg_parse_b0_nn_config_v2_v3_tlv(z, 1); }},
    {TAG_NN_PH_PARAMETERS_V4, morvel_zelp7x_pkg_parse_ph_params_v4_tlv, true},
    {TAG_NN_PH_PARAMETERS_V5, morvel_zelp7x_pkg_parse_ph_params_v5_tlv, true},
    {TAG_NN_PH_PARAMETERS_V6, morvel_zelp7x_pkg_parse_ph_params_v6_tlv, true},
}};

constexpr uint32_t LABELS_VALID = 0x1;

// Where each version text lives in the host configuration area, and its length in the record.
struct VersionSlot {
    unsigned tag;
    uint32_t valid_bit;
    uint32_t length_address;
    uint32_t text_address;
    unsigned morvel_zelp7x_device_s::*cached_length;
};

constexpr std::array<VersionSlot, 3> VERSION_SLOTS{{
    {TAG_FIRMWARE_VERSION_STRING_V1, 0x2, ZELP7X_MCU_HOST_CONFIG_FWVER_LEN,
     ZELP7X_MCU_HOST_CONFIG_FWVER, &morvel_zelp7x_device_s::fwver_len},
    {TAG_NN_VERSION_STRING_V1, 0x4, ZELP7X_MCU_HOST_CONFIG_PARAMVER_LEN,
     ZELP7X_MCU_HOST_CONFIG_PARAMVER, &morvel_zelp7x_device_s::paramver_len},
    {TAG_PACKAGE_VERSION_STRING, 0x8, ZELP7X_MCU_HOST_CONFIG_PKGVER_LEN,
     ZELP7X_MCU_HOST_CONFIG_PKGVER, &morvel_zelp7x_device_s::pkgver_len},
}};

// Room for each text: the distance from one text to the next item's length word.
constexpr unsigned VERSION_TEXT_SIZE =
    ZELP7X_MCU_HOST_CONFIG_PARAMVER_LEN - ZELP7X_MCU_HOST_CONFIG_FWVER;
static_assert(VERSION_TEXT_SIZE == VERSION_MAX_SIZE);

} // namespace

namespace zelp7x::pkg {

bool pauses_network(uint32_t tag) {
    const auto *h = std::ranges::find(HANDLERS, tag, &TagHandler::tag);
    return h != HANDLERS.end() && h->pauses_network;
}

int mark_host_config_valid(morvel_zelp_device_s *zelp, uint32_t bits) {
    return modify_word(zelp, ZELP7X_MCU_HOST_CONFIG_VALID, [bits](uint32_t valid) {
        if (valid & ZELP7X_HOST_CONFIG_VALID_GARBAGE) valid = 0;
        return valid | bits;
    });
}

} // namespace zelp7x::pkg

extern "C" {

int morvel_zelp7x_parse_tag_values(morvel_zelp_device_s *zelp) {
    if (zelp == nullptr) return MORVEL_ZELP_ERROR_ARG;
    for (const TagHandler &h : HANDLERS)
        if (h.tag == zelp->pstate.tag) return h.apply(zelp);
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_pkg_parse_store_version(morvel_zelp_device_s *zelp, unsigned int tag,
                                          uint8_t *ver, unsigned int len) {
    const auto *slot = std::ranges::find(VERSION_SLOTS, tag, &VersionSlot::tag);
    if (zelp == nullptr || slot == VERSION_SLOTS.end() || len > VERSION_TEXT_SIZE ||
        (ver == nullptr && len != 0))
        return MORVEL_ZELP_ERROR_ARG;
    int s = mark_host_config_valid(zelp, slot->valid_bit);
    if (s == 0) s = write_word(zelp, slot->length_address, len);
    if (s != 0) return s;
    record(zelp).*slot->cached_length = len;
    return write_padded(zelp, slot->text_address, std::span<const uint8_t>(ver, len));
}

int morvel_zelp7x_pkg_parse_version_string_v1_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    if (!complete(p)) return MORVEL_ZELP_ERROR_NONE;
    // The reader keeps texts in the data area as they came; the store only reads them.
    return morvel_zelp7x_pkg_parse_store_version(zelp, p.tag, const_cast<uint8_t *>(p.data.scratch),
                                                 p.length);
}

int morvel_zelp7x_pkg_parse_nn_labels_v1_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    if (announced(p)) {
        int s = mark_host_config_valid(zelp, LABELS_VALID);
        if (s == 0) s = write_word(zelp, ZELP7X_MCU_HOST_CONFIG_LABELS_LEN, p.length);
        if (s == 0) record(zelp).labels_len = p.length;
        return s;
    }
    if (!piece_ready(p)) return MORVEL_ZELP_ERROR_NONE;
    const Piece piece = piece_of(p);
    return write_padded(zelp, ZELP7X_MCU_HOST_CONFIG_LABELS + piece.offset, piece.bytes);
}

} // extern "C"
