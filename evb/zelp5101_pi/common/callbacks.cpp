#include "callbacks.h"

#include <climits>
#include <cstdlib>

int device_type = 0;

namespace {

morvel_evb_io_handle_t io_of(morvel_zelp_handle_t d) {
    return static_cast<morvel_evb_io_handle_t>(d);
}

} // namespace

void *zelp7x_flash_malloc(int size) {
    if (size < 0) return nullptr;
    return std::malloc(static_cast<size_t>(size));
}

void zelp7x_flash_free(void *p) {
    std::free(p);
}

// The tool never waits for a mailbox answer: a request ends as soon as it is posted.
int zelp7x_flash_mbwait(morvel_zelp_handle_t) {
    return 0;
}

int zelp7x_flash_get_type(morvel_zelp_handle_t d, unsigned int *type) {
    if (device_type != 0) {
        *type = static_cast<unsigned int>(device_type) & 0xFF;
        return 0;
    }
    uint8_t id = 0;
    const int status = zelp_linux_io_transfer(io_of(d), 0, 0x00, nullptr, &id, 1);
    *type = id;
    return status;
}

// Single-threaded: there is nothing to lock.
int zelp7x_flash_sync(morvel_zelp_handle_t) {
    return 0;
}
int zelp7x_flash_unsync(morvel_zelp_handle_t) {
    return 0;
}

int zelp7x_flash_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                          unsigned int count) {
    // The I/O layer counts in int; a count it cannot represent is refused rather than wrapped.
    if (count > static_cast<unsigned int>(INT_MAX)) return MORVEL_ZELP_ERROR_ARG;
    return zelp_linux_io_transfer(io_of(d), mcu, address, out, in, static_cast<int>(count));
}

morvel_zelp_integration_interfaces_s zelp7x_flash_interfaces(morvel_evb_io_handle_t io) {
    morvel_zelp_integration_interfaces_s iif{};
    iif.d = io;
    iif.malloc = zelp7x_flash_malloc;
    iif.free = zelp7x_flash_free;
    iif.mbwait = zelp7x_flash_mbwait;
    iif.get_type = zelp7x_flash_get_type;
    iif.sync = zelp7x_flash_sync;
    iif.unsync = zelp7x_flash_unsync;
    iif.transfer = zelp7x_flash_transfer;
    return iif;
}
