// send FILE [-o OFFSET]: a file streamed through the chip's sample input port, or with -o
// written into static feature memory at OFFSET.
#include <cstdio>
#include <limits>

#include "host_commands.h"

bool check_send(command_args &args, bool &usage) {
    if (!read_operand_files(args)) return false;
    // A call carries its length as an unsigned int.
    if (args.inputs[0].size() > std::numeric_limits<unsigned int>::max())
        return refuse_argument("file too large", args.operands[0], usage);
    return true;
}

int run_send(host_session &session, const command_args &args) {
    std::vector<uint8_t> data = args.inputs[0]; // the library's call takes writable bytes
    const int type = args.has('o') ? MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC
                                   : MORVEL_ZELP_SEND_DATA_TYPE_STREAMING;
    const int s =
        morvel_zelp_send_data(session.zelp(), data.data(), static_cast<unsigned int>(data.size()),
                              type, args.number('o', 0));
    if (s != 0) return s;
    std::printf("%zu bytes sent\n", data.size());
    return MORVEL_ZELP_ERROR_NONE;
}
