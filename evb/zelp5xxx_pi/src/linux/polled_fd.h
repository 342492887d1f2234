// Calls on a non-blocking descriptor that end within a time limit, so that a device or a peer
// that stops moving bytes never hangs the caller. The serial port and the network stream share
// them.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>

#include "byte_port.h"

namespace zio {

// Waits for `events` on `fd` up to `limit`: 1 ready, 0 timed out, -1 failed or hung up.
int wait_for(int fd, short events, Millis limit);

// Moves all of `bytes` out through `write_call`, waiting for room while the limit allows, as a
// blocking write would. The number moved, or -1 when the descriptor failed before any byte went.
using WriteCall = ssize_t (*)(int fd, const void *bytes, size_t size);
int write_within(int fd, std::span<const uint8_t> bytes, Millis limit, WriteCall write_call);

// Returns as soon as some bytes are there: the number read, 0 when none came within `limit`,
// -1 at end of file or when the descriptor failed. What has arrived is taken before any wait, so
// a limit of 0 takes what is there without a second system call.
int read_within(int fd, std::span<uint8_t> bytes, Millis limit);

} // namespace zio
