#include "package_writer.h"

#include "package/morvel_package_internal.h"

#include "morvel_packager/checksum.h"
#include "morvel_packager/morvel_package.h"

namespace mvpkg {

ByteWriter &ByteWriter::little_endian(uint32_t v, int size) {
    for (int i = 0; i < size; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

ByteWriter &ByteWriter::bytes(std::span<const uint8_t> b) {
    out_.insert(out_.end(), b.begin(), b.end());
    return *this;
}

Bytes header_record() {
    return ByteWriter().u32(TAG_HEADER).u32(4).u32(MORVEL_PKG_HEADER_MAGIC).data();
}

PackageBuilder::PackageBuilder() : body_(header_record()) {}

PackageBuilder &PackageBuilder::record(uint32_t tag_word, std::span<const uint8_t> value) {
    return record_with_length(tag_word, static_cast<uint32_t>(value.size()), value);
}

PackageBuilder &PackageBuilder::record_with_length(uint32_t tag_word, uint32_t length,
                                                   std::span<const uint8_t> value) {
    const Bytes head = ByteWriter().u32(tag_word).u32(length).data();
    body_.insert(body_.end(), head.begin(), head.end());
    body_.insert(body_.end(), value.begin(), value.end());
    return *this;
}

// The checksum covers every byte before its own value, its tag and length included.
Bytes PackageBuilder::build() const {
    Bytes out = body_;
    const Bytes head = ByteWriter().u32(TAG_CHECKSUM).u32(CRC_SIZE).data();
    out.insert(out.end(), head.begin(), head.end());
    const Bytes crc = ByteWriter().u32(crc32_no_lib(out.data(), out.size())).data();
    out.insert(out.end(), crc.begin(), crc.end());
    return out;
}

Bytes pattern(size_t size, uint8_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return out;
}

Bytes network_config_v2(const NetworkConfig &c) {
    return ByteWriter()
        .u16(c.num_features)
        .u16(c.num_static_features)
        .u16(c.dnn_frame_size)
        .bytes(c.num_nodes)
        .bytes(c.scale_factor)
        .bytes(c.num_biases)
        .u8(c.input_clipping_threshold)
        .u8(c.dnn_run_threshold)
        .bytes(c.quantization_scheme)
        .bytes(c.out_shift)
        .data();
}

Bytes network_config_v3(const NetworkConfig &c) {
    return ByteWriter()
        .u8(c.dnn_run_threshold)
        .u8(c.input_clipping_threshold)
        .u16(c.num_features)
        .u16(c.num_static_features)
        .u16(c.dnn_frame_size)
        .bytes(c.num_nodes)
        .bytes(c.scale_factor)
        .bytes(c.num_biases)
        .bytes(c.quantization_scheme)
        .bytes(c.out_shift)
        .data();
}

uint32_t packed_params_size(const NetworkConfig &c) {
    morvel_fc_params_metadata_t m{};
    m.num_features = c.num_features;
    for (int i = 0; i < 4; ++i) {
        m.num_nodes[i] = c.num_nodes[i];
        m.num_biases[i] = c.num_biases[i];
    }
    return morvel_pkg::packed_params_size(m);
}

namespace {

void state_fields(ByteWriter &w, const PosteriorState &s) {
    w.u32(s.timeout).u32(s.timeout_action).u32(s.timeout_arg);
}

void class_records(ByteWriter &w, const PosteriorState &s) {
    for (const PosteriorClass &c : s.classes)
        w.u32(c.window)
            .u32(c.threshold)
            .u32(c.backoff)
            .u32(c.action)
            .u32(c.arg)
            .u32(c.queue_size)
            .u32(c.adaptive);
}

} // namespace

// The head carries the first state's fields; every later state's record precedes its classes.
Bytes posterior_v6(const PosteriorTables &t) {
    ByteWriter w;
    const auto classes = static_cast<uint32_t>(t.states.empty() ? 0 : t.states[0].classes.size());
    w.u32(t.adaptive_frames).u32(t.adaptive_denominator).u32(t.adaptive_max_updates);
    w.u32(static_cast<uint32_t>(t.states.size())).u32(classes).u32(t.ph_type);
    for (size_t i = 0; i < t.states.size(); ++i) {
        state_fields(w, t.states[i]);
        class_records(w, t.states[i]);
    }
    return w.data();
}

} // namespace mvpkg
