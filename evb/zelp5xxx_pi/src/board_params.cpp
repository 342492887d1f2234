// Board parameters in a port name, "NAME,param=value,...": the I/O layer takes its own here, once,
// so every port (a serial device, a COM port, a simulated board) accepts them alike.
#include <charconv>
#include <string_view>

#include "byte_port.h"
#include "io_internal.h"

namespace zio {

namespace {

// A window of this many answers stays well inside what a serial driver buffers for the reader.
constexpr int kMaxPipeline = 256;

bool parse_pipeline(std::string_view value, int &depth, std::string &error) {
    int n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < 1 ||
        n > kMaxPipeline) {
        error = "pipeline needs a count from 1 to " + std::to_string(kMaxPipeline) + ": " +
                std::string(value);
        return false;
    }
    depth = n;
    return true;
}

} // namespace

bool is_sim_port_name(const std::string &name) {
    const std::string_view view = name;
    return view.starts_with(kSimPortName) &&
           (view.size() == kSimPortName.size() || view[kSimPortName.size()] == ':');
}

bool parse_board_params(const std::string &name, BoardParams &params, std::string &error) {
    const std::string_view all = name;
    size_t at = all.find(',');
    params.port = std::string(all.substr(0, at));
    const bool port_takes_params = is_sim_port_name(params.port);
    while (at != std::string_view::npos) {
        const size_t next = all.find(',', at + 1);
        const std::string_view param = all.substr(at + 1, next - at - 1);
        at = next;
        if (param.starts_with("pipeline=")) {
            if (!parse_pipeline(param.substr(9), params.pipeline, error)) return false;
        } else if (port_takes_params) {
            params.port += ",";
            params.port += param;
        } else {
            error = "unknown board parameter: " + std::string(param);
            return false;
        }
    }
    return true;
}

} // namespace zio
