// Incremental package reader: walks header, tag, length and value fields across chunks of any
// size, keeping a running CRC-32, and hands each value to the record parser of its tag.
#include "morvel_packager/morvel_package.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <string_view>

#include "morvel_packager/checksum.h"
#include "package/morvel_package_internal.h"
#include "package/value_rules.h"

// Value records are overlaid on the bytes exactly as the package carries them.
static_assert(std::endian::native == std::endian::little, "package records are little-endian");

namespace morvel_pkg {
namespace {

constexpr std::array<uint8_t, MORVEL_PKG_HEADER_SIZE> header_bytes = {
    0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xA1, 0xE5, 0xBD, 0x53};

constexpr uint32_t tag_number_mask = ~MORVEL_PKG_TAG_MULTISEGMENT_FLAG;

bool is_start_mode(int mode) {
    return mode == PACKAGE_MODE_TAG_START || mode == PACKAGE_MODE_LENGTH_START ||
           mode == PACKAGE_MODE_VALUE_START;
}

uint32_t bytes_available(const state &p) {
    if (p.ptr == nullptr || p.open_ram_end == nullptr || p.ptr >= p.open_ram_end) return 0;
    return static_cast<uint32_t>(p.open_ram_end - p.ptr);
}

uint8_t *bytes_of(uint32_t &word) {
    return reinterpret_cast<uint8_t *>(&word);
}

uint32_t load_le32(std::span<const uint8_t, 4> b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

uint32_t consume(state &p, uint8_t *dest, uint32_t size, bool with_crc) {
    return morvel_pkg_read_chunk_data(&p, dest, size, 0, with_crc ? 1 : 0, 1);
}

void accept_header(state &p, std::span<const uint8_t, MORVEL_PKG_HEADER_SIZE> header) {
    p.tag = load_le32(header.subspan<0, 4>());
    p.length = load_le32(header.subspan<4, 4>());
    p.header_val = load_le32(header.subspan<8, 4>());
    p.magic_header_found = 1;
    p.mode = PACKAGE_MODE_TAG_START;
}

// The header is checked where it lies when the chunk holds it whole, and then consumed. A first
// chunk shorter than the header is collected in the scratch area until the header is complete,
// so a short chunk is never read past its end.
int morvel_pkg_parse_header_value(state &p) {
    auto *collected = p.data.scratch;
    const bool fresh = p.mode == PACKAGE_MODE_TAG_START;
    if (fresh && bytes_available(p) >= MORVEL_PKG_HEADER_SIZE) {
        if (!morvel_pkg_check_header_tlv(p.ptr)) return MORVEL_PACKAGE_ERROR_HEADER;
        consume(p, collected, MORVEL_PKG_HEADER_SIZE, true);
    } else {
        consume(p, collected, MORVEL_PKG_HEADER_SIZE, true);
        const uint32_t got = MORVEL_PKG_HEADER_SIZE - p.expected_bytes;
        if (!std::equal(collected, collected + got, header_bytes.begin()))
            return MORVEL_PACKAGE_ERROR_HEADER;
        if (p.expected_bytes != 0) {
            p.mode = PACKAGE_MODE_TAG_CONT;
            return MORVEL_PACKAGE_ERROR_NONE;
        }
    }
    accept_header(p, std::span<const uint8_t, MORVEL_PKG_HEADER_SIZE>(collected, 12));
    return MORVEL_PACKAGE_ERROR_NONE;
}

// Reads the 4-byte tag or length word; false, with the mode at `cont_mode`, while bytes of it are
// still missing.
bool read_framing_word(state &p, uint32_t &word, int cont_mode) {
    static_assert(TAG_SIZE == sizeof word && LENGTH_SIZE == sizeof word);
    consume(p, bytes_of(word), sizeof word, true);
    if (p.expected_bytes == 0) return true;
    p.mode = cont_mode;
    return false;
}

int morvel_pkg_read_tag(state &p) {
    if (p.mode != PACKAGE_MODE_TAG_START && p.mode != PACKAGE_MODE_TAG_CONT)
        return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    if (!read_framing_word(p, p.tag, PACKAGE_MODE_TAG_CONT)) return MORVEL_PACKAGE_ERROR_NONE;
    // Only the whole word carries the flag: a cut tag is decoded once its last byte arrived.
    p.is_multisegment = (p.tag & MORVEL_PKG_TAG_MULTISEGMENT_FLAG) != 0 ? 1 : 0;
    p.tag &= tag_number_mask;
    p.mode = PACKAGE_MODE_LENGTH_START;
    return MORVEL_PACKAGE_ERROR_NONE;
}

int morvel_pkg_read_length(state &p) {
    if (p.mode != PACKAGE_MODE_LENGTH_START && p.mode != PACKAGE_MODE_LENGTH_CONT)
        return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    if (!read_framing_word(p, p.length, PACKAGE_MODE_LENGTH_CONT)) return MORVEL_PACKAGE_ERROR_NONE;
    p.mode = PACKAGE_MODE_VALUE_START;
    p.value_mode = PACKAGE_MODE_NO_PARTIAL_VALUE;
    return MORVEL_PACKAGE_ERROR_NONE;
}

using value_parser = int (*)(state *, int collect_log);

constexpr size_t tag_count = TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1 + 1;

// The parser of each tag, indexed by tag number; a tag no rule names is unknown.
struct value_parser_table {
    std::array<value_parser, tag_count> parser{};
    bool clash = false; // a tag claimed twice, or beyond the table

    constexpr void claim(uint32_t tag, value_parser p) {
        if (tag >= parser.size() || parser[tag] != nullptr)
            clash = true;
        else
            parser[tag] = p;
    }
};

constexpr value_parser_table make_value_parsers() {
    value_parser_table t;
    for (const stored_rule &r : stored_rules) t.claim(r.tag, morvel_pkg_parse_stored_params);
    for (const piece_rule &r : piece_rules)
        t.claim(r.tag, morvel_pkg_parse_partially_stored_params);
    for (const posterior_layout &l : posterior_layouts)
        t.claim(l.tag, morvel_pkg_parse_posterior_params);
    t.claim(TAG_NN_PHP_COLLECTION_V1, morvel_pkg_parse_posterior_params);
    t.claim(TAG_CHECKSUM, [](state *p, int) { return morvel_pkg_parse_checksum_value(*p); });
    t.claim(TAG_ZELP80_B0_DSP_FE_CONFIG_V1,
            [](state *p, int) { return morvel_pkg_parse_dsp_fe_config(p); });
    t.claim(TAG_ZELP80_B0_NN_METADATA,
            [](state *p, int) { return morvel_pkg_parse_nn_metadata(p); });
    t.claim(TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1,
            [](state *p, int) { return morvel_pkg_parse_dsp_flow_collection(p); });
    t.claim(TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1,
            [](state *p, int) { return morvel_pkg_parse_mcu_orchestrator(p); });
    return t;
}

constexpr value_parser_table value_parsers = make_value_parsers();
static_assert(!value_parsers.clash, "every tag has at most one value parser");

int morvel_pkg_read_value(state &p, int collect_log) {
    if (p.mode == PACKAGE_MODE_VALUE_START) {
        p.value_mode = PACKAGE_MODE_NO_PARTIAL_VALUE;
        p.partially_read_length = 0;
    } else if (p.mode != PACKAGE_MODE_VALUE_CONT) {
        return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    } else if (p.expected_bytes == 0 && value_bytes_left(p) == 0) {
        // Nothing of the value is left to read: going on would read the next record.
        return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    }
    const value_parser parser =
        p.tag < value_parsers.parser.size() ? value_parsers.parser[p.tag] : nullptr;
    if (parser == nullptr) return MORVEL_PACKAGE_ERROR_UNKNOWN_TLV;
    const int result = parser(&p, collect_log);
    if (result == MORVEL_PACKAGE_ERROR_NONE && p.mode == PACKAGE_MODE_TAG_START &&
        p.expected_bytes != 0)
        return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    return result;
}

struct error_name {
    int code;
    std::string_view name;
};

constexpr error_name error_names[] = {
    {0, "MORVEL_PACKAGE_ERROR_NONE"},
    {-1, "MORVEL_PACKAGE_ERROR_HEADER"},
    {-2, "MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V1"},
    {-3, "MORVEL_PACKAGE_ERROR_PAD"},
    {-4, "MORVEL_PACKAGE_ERROR_CHECKSUM"},
    {-5, "MORVEL_PACKAGE_ERROR_NN_VERSION_STRING"},
    {-6, "MORVEL_PACKAGE_ERROR_ZELP7X_NN_CONFIG_V1"},
    {-7, "MORVEL_PACKAGE_ERROR_ZELP7X_NN_PARAMETERS_V1"},
    {-8, "MORVEL_PACKAGE_ERROR_FIRMWARE"},
    {-9, "MORVEL_PACKAGE_ERROR_ZELP7X_HW_CONFIG_V1"},
    {-10, "MORVEL_PACKAGE_ERROR_NN_LABELS_V1"},
    {-11, "MORVEL_PACKAGE_ERROR_ZELP7X_HW_CONFIG_V2"},
    {-12, "MORVEL_PACKAGE_ERROR_NN_PARAMETERS_V2"},
    {-13, "MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V1"},
    {-14, "MORVEL_PACKAGE_ERROR_ZELP7X_B0_ENCRYPTED_FIRMWARE"},
    {-15, "MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V2"},
    {-16, "MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V3"},
    {-17, "MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V2"},
    {-18, "MORVEL_PACKAGE_ERROR_NN_VERSION_STRING_V2"},
    {-19, "MORVEL_PACKAGE_ERROR_PACKAGE_VERSION_STRING"},
    {-20, "MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V1"},
    {-21, "MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V1"},
    {-22, "MORVEL_PACKAGE_ERROR_ZELP7X_NN_PARAMETERS_V3"},
    {-23, "MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4"},
    {-24, "MORVEL_PACKAGE_ERROR_NN_LABELS_V2"},
    {-25, "MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V2"},
    {-26, "MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V3"},
    {-27, "MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V2"},
    {-28, "MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V3"},
    {-29, "MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V5"},
    {-30, "MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1"},
    {-31, "MORVEL_PACKAGE_ERROR_NN_METADATA_V1"},
    {-32, "MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V4"},
    {-33, "MORVEL_PACKAGE_ERROR_DSP_FLOW_COLLECTION_V1"},
    {-34, "MORVEL_PACKAGE_ERROR_MCU_ORCHESTRATOR_V1"},
    {-35, "MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V6"},
    {-999, "MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR"},
    {-1000, "MORVEL_PACKAGE_ERROR_UNKNOWN_TLV"},
};

} // namespace

bool read_field(state &p, void *dest, uint32_t size) {
    if (p.mode == PACKAGE_MODE_VALUE_CONT && p.expected_bytes == 0) p.expected_bytes = size;
    p.partially_read_length += consume(p, static_cast<uint8_t *>(dest), size, true);
    return p.expected_bytes == 0;
}

void end_step(state &p, bool item_complete) {
    p.value_mode = item_complete ? PACKAGE_MODE_VALID_PARTIAL_VALUE : PACKAGE_MODE_NO_PARTIAL_VALUE;
    p.mode = value_bytes_left(p) > 0 || p.expected_bytes != 0 ? PACKAGE_MODE_VALUE_CONT
                                                              : PACKAGE_MODE_TAG_START;
}

// The stored checksum has room for exactly CRC_SIZE bytes; any other length is refused before a
// byte of it is read.
int morvel_pkg_parse_checksum_value(state &p) {
    if (p.mode == PACKAGE_MODE_VALUE_START && p.length != CRC_SIZE)
        return MORVEL_PACKAGE_ERROR_CHECKSUM;
    p.partially_read_length += consume(p, bytes_of(p.exp_crc), CRC_SIZE, false);
    if (p.expected_bytes != 0) {
        p.mode = PACKAGE_MODE_VALUE_CONT;
        p.value_mode = PACKAGE_MODE_NO_PARTIAL_VALUE;
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    p.mode = PACKAGE_MODE_DONE;
    p.calc_crc = crc32_no_lib_finalize(p.calc_crc);
    return p.calc_crc == p.exp_crc ? MORVEL_PACKAGE_ERROR_NONE : MORVEL_PACKAGE_ERROR_CHECKSUM;
}

} // namespace morvel_pkg

using morvel_pkg::state;

extern "C" void morvel_pkg_parser_init(state *pstate) {
    if (pstate == nullptr) return;
    pstate->magic_header_found = 0;
    pstate->ptr = pstate->open_ram_begin;
    pstate->calc_crc = crc32_no_lib_init();
    pstate->expected_bytes = 0;
    pstate->mode = PACKAGE_MODE_TAG_START;
    pstate->value_mode = PACKAGE_MODE_NO_PARTIAL_VALUE;
    pstate->partially_read_length = 0;
    pstate->is_current_fw_package = 0;
    pstate->is_current_params_package = 0;
    pstate->is_current_dsp_fw_package = 0;
}

extern "C" void morvel_pkg_parser_reset(state *pstate) {
    if (pstate != nullptr) pstate->ptr = pstate->open_ram_begin;
}

extern "C" void morvel_pkg_preprocess_chunk(state *pstate, uint8_t *chunk, int length, int copy) {
    if (pstate == nullptr) return;
    // A missing chunk or a negative length makes an empty chunk rather than a wild range.
    const auto size = chunk != nullptr && length > 0 ? static_cast<size_t>(length) : 0;
    if (copy == 0) {
        pstate->open_ram_begin = chunk;
    } else if (size > 0 && pstate->open_ram_begin != nullptr) {
        std::memmove(pstate->open_ram_begin, chunk, size);
    }
    pstate->open_ram_end =
        pstate->open_ram_begin != nullptr ? pstate->open_ram_begin + size : nullptr;
}

extern "C" int morvel_pkg_parse_chunk(state *pstate, int collect_log) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    state &p = *pstate;
    if (p.magic_header_found == 0) return morvel_pkg::morvel_pkg_parse_header_value(p);
    switch (p.mode) {
    case PACKAGE_MODE_TAG_START:
        p.partially_read_length = 0;
        return morvel_pkg::morvel_pkg_read_tag(p);
    case PACKAGE_MODE_TAG_CONT:
        return morvel_pkg::morvel_pkg_read_tag(p);
    case PACKAGE_MODE_LENGTH_START:
    case PACKAGE_MODE_LENGTH_CONT:
        return morvel_pkg::morvel_pkg_read_length(p);
    case PACKAGE_MODE_VALUE_START:
    case PACKAGE_MODE_VALUE_CONT:
        return morvel_pkg::morvel_pkg_read_value(p, collect_log);
    default:
        return MORVEL_PACKAGE_ERROR_NONE;
    }
}

extern "C" int morvel_pkg_check_header_tlv(const uint8_t *tlv) {
    if (tlv == nullptr) return 0;
    return std::equal(morvel_pkg::header_bytes.begin(), morvel_pkg::header_bytes.end(), tlv) ? 1
                                                                                             : 0;
}

// The one primitive that consumes package bytes. A field begun in an earlier chunk is completed
// behind the bytes already stored; a field is never taken past the chunk's end.
extern "C" unsigned int morvel_pkg_read_chunk_data(state *pstate, uint8_t *dest,
                                                   uint32_t max_length, int fake, int calc_crc,
                                                   int copy) {
    if (pstate == nullptr) return 0;
    state &p = *pstate;
    uint32_t want = max_length;
    uint32_t offset = 0;
    // A leftover count larger than the field cannot belong to it; the field is then read afresh
    // rather than written in front of dest.
    if (!morvel_pkg::is_start_mode(p.mode) && p.expected_bytes <= max_length) {
        want = p.expected_bytes;
        offset = max_length - want;
    }
    const uint32_t take = std::min(want, morvel_pkg::bytes_available(p));
    p.expected_bytes = want - take;
    if (take == 0) return 0;
    if (calc_crc != 0) p.calc_crc = crc32_no_lib_update(p.calc_crc, p.ptr, take);
    if (fake == 0 && copy != 0 && dest != nullptr) std::memcpy(dest + offset, p.ptr, take);
    p.ptr += take;
    return take;
}

extern "C" const char *morvel_pkg_error_name(int result) {
    for (const auto &entry : morvel_pkg::error_names)
        if (entry.code == result) return entry.name.data();
    return "MORVEL_PACKAGE_ERROR_UNKNOWN";
}
