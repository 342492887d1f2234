// Sending a file to the chip: streamed through its sample input port, or written into static
// feature memory, a piece at a time as it is read.
#include <span>
#include <vector>

#include "host_record.h"
#include "input_reading.h"

namespace {

// The file goes to the library in pieces of this size, each as it is read.
constexpr size_t send_piece = 64 * 1024;

} // namespace

extern "C" int morvel_zelp7x_host_send_file(morvel_zelp7x_host_s *host, const char *path, int type,
                                            uint32_t offset, size_t *sent,
                                            morvel_zelp7x_host_input_s *input) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (path == nullptr || (type != MORVEL_ZELP_SEND_DATA_TYPE_STREAMING &&
                                type != MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC))
            return MORVEL_ZELP_ERROR_ARG;
        int s = 0;
        size_t done = 0;
        std::vector<uint8_t> piece; // the library's call takes writable bytes
        const auto read = mvpkg::read_input_pieces(
            path, send_piece, mvpkg::input_limit, [&](std::span<const uint8_t> bytes) {
                piece.assign(bytes.begin(), bytes.end());
                // Static feature memory takes each piece where the one before it ended.
                const auto at = type == MORVEL_ZELP_SEND_DATA_TYPE_STREAMING
                                    ? offset
                                    : static_cast<uint32_t>(offset + done);
                s = morvel_zelp_send_data(zelp, piece.data(),
                                          static_cast<unsigned int>(piece.size()), type, at);
                if (s == 0) done += piece.size();
                return s == 0;
            });
        zhost::report_input(read, input);
        if (sent != nullptr) *sent = done;
        return read.failed() ? MORVEL_ZELP_ERROR_FAIL : s;
    });
}
