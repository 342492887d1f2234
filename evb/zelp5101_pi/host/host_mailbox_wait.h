// zelp7x_host's mailbox wait. The library reads a mailbox request's outcome as soon as the wait
// returns, and the firmware's answers come in only through the poll operation, so the wait polls
// until the request has ended. The wait learns which device a board is before the library is
// started on it; a process may drive several boards at once (the Python package does).
#pragma once

#include <chrono>

#include "morvel_devlib/morvel_zelp.h"

// Starts, and stops, taking `zelp`'s answers in; its integration record names its board.
void watch_mailbox_of(morvel_zelp_device_s *zelp);
void stop_watching_mailbox_of(morvel_zelp_device_s *zelp);
int zelp7x_host_mbwait(morvel_zelp_handle_t d);

// Whether a firmware runs and answers: a NOP request, which only a running firmware completes,
// given at most `bound` for its answer. `answers` false when none came in time (or the request
// failed); the status is a transport failure's, else success.
int probe_firmware(morvel_zelp_device_s *zelp, std::chrono::milliseconds bound, bool &answers);
