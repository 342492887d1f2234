// zelp7x_host's mailbox wait. The library reads a mailbox request's outcome as soon as the wait
// returns, and the firmware's answers come in only through the poll operation, so the wait polls
// until the request has ended. The host drives one device at a time; the wait learns which one
// before the library is started on it.
#pragma once

#include <chrono>

#include "morvel_devlib/morvel_zelp.h"

void watch_mailbox_of(morvel_zelp_device_s *zelp);
int zelp7x_host_mbwait(morvel_zelp_handle_t d);

// Whether a firmware runs and answers: a NOP request, which only a running firmware completes,
// given at most `bound` for its answer. `answers` false when none came in time (or the request
// failed); the status is a transport failure's, else success.
int probe_firmware(morvel_zelp_device_s *zelp, std::chrono::milliseconds bound, bool &answers);
