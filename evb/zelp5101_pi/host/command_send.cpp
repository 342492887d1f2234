// send FILE [-o OFFSET]: a file streamed through the chip's sample input port, or with -o
// written into static feature memory at OFFSET.
#include <cstdio>

#include "host_commands.h"

bool check_send(command_args &args, bool &) {
    return read_operand_files(args);
}

int run_send(morvel_zelp7x_host_s *host, const command_args &args) {
    const int type = args.has('o') ? MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC
                                   : MORVEL_ZELP_SEND_DATA_TYPE_STREAMING;
    size_t sent = 0;
    morvel_zelp7x_host_input_s input{};
    const int s = morvel_zelp7x_host_send_file(host, args.operands[0].c_str(), type,
                                               args.number('o', 0), &sent, &input);
    if (input.result != MORVEL_ZELP7X_HOST_INPUT_READ) {
        report_unreadable(args.operands[0], input);
        return failure_reported;
    }
    if (s != 0) return s;
    std::printf("%zu bytes sent\n", sent);
    return MORVEL_ZELP_ERROR_NONE;
}
