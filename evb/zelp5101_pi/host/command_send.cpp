// send FILE [-o OFFSET]: a file streamed through the chip's sample input port, or with -o
// written into static feature memory at OFFSET.
#include <cstdio>
#include <span>
#include <vector>

#include "host_commands.h"

namespace {

// The file goes to the library in pieces of this size, each as it is read.
constexpr size_t send_piece = 64 * 1024;

} // namespace

bool check_send(command_args &args, bool &) {
    return read_operand_files(args);
}

int run_send(host_session &session, const command_args &args) {
    const int type = args.has('o') ? MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC
                                   : MORVEL_ZELP_SEND_DATA_TYPE_STREAMING;
    const auto offset = args.number('o', 0);
    int s = 0;
    size_t sent = 0;
    std::vector<uint8_t> piece; // the library's call takes writable bytes
    const auto read = mvpkg::read_input_pieces(
        args.operands[0].c_str(), send_piece, mvpkg::input_limit,
        [&](std::span<const uint8_t> bytes) {
            piece.assign(bytes.begin(), bytes.end());
            // Static feature memory takes each piece where the one before it ended.
            const auto at = type == MORVEL_ZELP_SEND_DATA_TYPE_STREAMING
                                ? offset
                                : static_cast<uint32_t>(offset + sent);
            s = morvel_zelp_send_data(session.zelp(), piece.data(),
                                      static_cast<unsigned int>(piece.size()), type, at);
            if (s == 0) sent += piece.size();
            return s == 0;
        });
    if (read.failed()) {
        report_unreadable(args.operands[0], read);
        return failure_reported;
    }
    if (s != 0) return s;
    std::printf("%zu bytes sent\n", sent);
    return MORVEL_ZELP_ERROR_NONE;
}
