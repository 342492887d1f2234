// status [-c]: the mailbox counters of this run and the match reports the firmware had to skip;
// -c clears them after the report.
#include <cstdio>

#include "host_commands.h"

namespace {

void print_direction(const char *name, uint32_t req, uint32_t rsp, uint32_t unexpected,
                     uint32_t error) {
    std::printf("%s requests %u, responses %u, unexpected %u, errors %u\n", name, req, rsp,
                unexpected, error);
}

} // namespace

int run_status(morvel_zelp7x_host_s *host, const command_args &args) {
    morvel_zelp7x_status_s st{};
    const int s = morvel_zelp7x_host_status(host, args.has('c'), &st);
    if (s != 0) return s;
    print_direction("h2m", st.h2m_mailbox_req, st.h2m_mailbox_rsp, st.h2m_mailbox_unexpected,
                    st.h2m_mailbox_error);
    print_direction("m2h", st.m2h_mailbox_req, st.m2h_mailbox_rsp, st.m2h_mailbox_unexpected,
                    st.m2h_mailbox_error);
    std::printf("missed frames %u\n", st.missed_frames);
    return MORVEL_ZELP_ERROR_NONE;
}
