// Board.extract: the host tool's extraction, its bytes as a NumPy array of the source's samples.
#include <cstring>
#include <vector>

#include "board.h"
#include "extraction.h"

namespace zelp7x_py {

namespace {

// As much as the host tool takes at once: more than any ring or area of the chip holds.
constexpr size_t max_room = size_t{1} << 20;
constexpr unsigned int narrow_tank_bits = 8;

// Audio in the tank's sample width, accelerometer axes as 16-bit words, feature bytes as they are.
py::dtype sample_type(const extract_source &source, const morvel_zelp7x_device_s &z) {
    if (source.type == MORVEL_ZELP_EXTRACT_TYPE_INPUT)
        return py::dtype(z.tank_bits == narrow_tank_bits ? "u1" : "<i2");
    if (source.type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL) return py::dtype("<i2");
    return py::dtype("u1");
}

} // namespace

py::array Board::extract(const std::string &kind, const std::string &start,
                         std::optional<size_t> count) {
    const auto source = extract_source_named(kind);
    if (!source) throw py::value_error("kind must be 'input', 'features', 'static' or 'accel'");
    const auto from = extract_start_named(start);
    if (!from) throw py::value_error("start must be 'match', 'unread', 'oldest' or 'newest'");
    // The sensor ring's samples carry no match position.
    if (source->type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL &&
        *from == MORVEL_ZELP_EXTRACT_FROM_MATCH)
        throw py::value_error("the accelerometer ring has no match position");
    // The tank's width and size as the last configuration left them.
    morvel_zelp7x_device_s z{};
    on_board("extract", [&](host_session &s) {
        z = s.zelp()->d.zelp7x;
        return 0;
    });
    const py::dtype type = sample_type(*source, z);
    const size_t item = static_cast<size_t>(type.itemsize());
    uint32_t room = default_room(*source, *from, z);
    if (count) {
        if (*count > max_room / item) throw py::value_error("count: at most 1 MiB at once");
        if (*count * item % 4 != 0)
            throw py::value_error("count must make a whole number of 4-byte words");
        room = static_cast<uint32_t>(*count * item);
    }
    std::vector<uint8_t> data;
    unsigned int avail = 0;
    on_board("extract", [&](host_session &s) {
        return extract_bytes(s.zelp(), source->type, *from, room, data, avail);
    });
    py::array out(type, static_cast<py::ssize_t>(data.size() / item));
    std::memcpy(out.mutable_data(), data.data(), data.size() / item * item);
    return out;
}

} // namespace zelp7x_py
