// dump fw|agc|ph -o FILE: one of the firmware's state records, whole, into a file.
#include <cstdio>
#include <vector>

#include "host_commands.h"
#include "output_file.h"

bool check_dump(command_args &args, bool &usage) {
    int type = 0;
    if (morvel_zelp7x_host_dump_named(args.operands[0].c_str(), &type, nullptr) != 0)
        return refuse_argument("unknown state record", args.operands[0], usage);
    return require_option(args, 'o', usage);
}

int run_dump(morvel_zelp7x_host_s *host, const command_args &args) {
    int type = 0;
    uint32_t size = 0;
    morvel_zelp7x_host_dump_named(args.operands[0].c_str(), &type, &size);
    std::vector<uint8_t> bytes(size);
    const int s = morvel_zelp7x_host_dump(host, type, bytes.data(), size, nullptr);
    if (s != 0) return s;
    if (const int w = write_output_file(args.texts.at('o'), bytes); w != 0) return w;
    std::fprintf(report_stream(args.texts.at('o')), "%u bytes dumped\n", size);
    return MORVEL_ZELP_ERROR_NONE;
}
