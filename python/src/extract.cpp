// Board.extract: the host library's extraction, its bytes as a NumPy array of the source's
// samples; the tank's audio as zelp7x.Audio, which carries its rate.
#include <cstring>
#include <vector>

#include "audio.h"
#include "board.h"

namespace zelp7x_py {

namespace {

// As much as the host tool takes at once: more than any ring or area of the chip holds.
constexpr size_t max_room = MORVEL_ZELP7X_HOST_EXTRACT_MAX;

// Audio in the tank's sample width, accelerometer axes as 16-bit words, feature bytes as they are.
py::dtype sample_type(int type, unsigned int tank_bits) {
    if (type == MORVEL_ZELP_EXTRACT_TYPE_INPUT) return tank_sample_type(tank_bits);
    if (type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL) return py::dtype("<i2");
    return py::dtype("u1");
}

} // namespace

py::object Board::extract(const std::string &kind, const std::string &start,
                          std::optional<size_t> count) {
    int type = 0, from = 0;
    if (morvel_zelp7x_host_extract_type_named(kind.c_str(), &type) != 0)
        throw py::value_error("kind must be 'input', 'features', 'static' or 'accel'");
    if (morvel_zelp7x_host_extract_start_named(start.c_str(), &from) != 0)
        throw py::value_error("start must be 'match', 'unread', 'oldest' or 'newest'");
    // The sensor ring's samples carry no match position.
    if (type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL && from == MORVEL_ZELP_EXTRACT_FROM_MATCH)
        throw py::value_error("the accelerometer ring has no match position");
    // The tank's width and size as the last configuration left them.
    unsigned int bits = 0;
    uint32_t room = 0;
    on_board("extract", [&](morvel_zelp7x_host_s *h) {
        room = morvel_zelp7x_host_extract_room(h, type, from);
        return morvel_zelp7x_host_tank(h, &bits, nullptr);
    });
    const py::dtype dtype = sample_type(type, bits);
    const size_t item = static_cast<size_t>(dtype.itemsize());
    if (count) {
        if (*count > max_room / item) throw py::value_error("count: at most 1 MiB at once");
        if (*count * item % 4 != 0)
            throw py::value_error("count must make a whole number of 4-byte words");
        room = static_cast<uint32_t>(*count * item);
    }
    std::vector<uint8_t> data(room);
    uint32_t taken = 0;
    on_board("extract", [&](morvel_zelp7x_host_s *h) {
        return morvel_zelp7x_host_extract(h, type, from, data.data(), room, &taken, nullptr);
    });
    py::array out(dtype, static_cast<py::ssize_t>(taken / item));
    std::memcpy(out.mutable_data(), data.data(), taken / item * item);
    return type == MORVEL_ZELP_EXTRACT_TYPE_INPUT ? audio_of(std::move(out)) : py::object(out);
}

} // namespace zelp7x_py
