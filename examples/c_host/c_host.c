/* A host program in plain C: it opens a board through the board I/O layer, starts the device
 * library on it with callbacks of its own and prints what the library found.
 *
 *   c_host [PORT]
 *
 * PORT is what zelp7x_flash takes with -s: "sim" (the default) for a simulated board inside this
 * process, "sim:FILE" to keep its flash in FILE, or the serial device of a real bridge.
 *
 * The board I/O layer's lines come to a callback of this program's, which keeps the first reason
 * the layer gives; a failure is one line of the program's own on standard error, with that
 * reason ("zelp_linux_io_init failed: fail: cannot open /dev/ttyACM7: No such file or
 * directory"). */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_evb_io/zelp_linux_io.h"

static morvel_evb_io_handle_t board_of(morvel_zelp_handle_t d) {
    return (morvel_evb_io_handle_t)d;
}

static void *host_malloc(int size) {
    return size < 0 ? NULL : malloc((size_t)size);
}

static void host_free(void *p) {
    free(p);
}

/* No mailbox requests are made here, so there is never an answer to wait for. */
static int host_mbwait(morvel_zelp_handle_t d) {
    (void)d;
    return 0;
}

/* The chip names its type in SPI register 0. */
static int host_get_type(morvel_zelp_handle_t d, unsigned int *type) {
    uint8_t id = 0;
    int status = zelp_linux_io_transfer(board_of(d), 0, 0x00, NULL, &id, 1);
    *type = id;
    return status;
}

/* One thread, so nothing to lock. */
static int host_sync(morvel_zelp_handle_t d) {
    (void)d;
    return 0;
}

static int host_unsync(morvel_zelp_handle_t d) {
    (void)d;
    return 0;
}

static int host_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                         unsigned int count) {
    /* The board I/O layer counts in int: a count it cannot represent is refused, not wrapped. */
    if (count > (unsigned int)INT_MAX) return MORVEL_ZELP_ERROR_ARG;
    return zelp_linux_io_transfer(board_of(d), mcu, address, out, in, (int)count);
}

/* The first reason the board I/O layer gave, for the failure line. */
typedef struct io_reason_s {
    char text[256];
} io_reason_s;

static void keep_reason(const zelp_io_line_s *line, void *user) {
    io_reason_s *reason = (io_reason_s *)user;
    if (line->kind == ZELP_IO_LINE_REASON && reason->text[0] == '\0')
        snprintf(reason->text, sizeof reason->text, "%s", line->text);
}

static int fail(const char *step, int status, const io_reason_s *reason) {
    char line[128];
    morvel_zelp_error_step_failed(step, status, line, sizeof line);
    if (reason->text[0] != '\0')
        fprintf(stderr, "%s: %s\n", line, reason->text);
    else
        fprintf(stderr, "%s\n", line);
    return 1;
}

int main(int argc, char **argv) {
    char default_port[] = "sim";
    io_reason_s reason = {{0}};
    zelp_io_init_args args = {0};
    morvel_evb_io_handle_t board = NULL;
    morvel_zelp_integration_interfaces_s iif = {0};
    morvel_zelp_device_s *zelp = NULL;
    int status;

    args.spidev = argc > 1 ? argv[1] : default_port;
    args.spi_default_speed = 1000000;
    args.gpio = -1;
    args.report.line = keep_reason;
    args.report.user = &reason;
    status = zelp_linux_io_init(&args, &board);
    if (status != 0) return fail("zelp_linux_io_init", status, &reason);

    iif.d = board;
    iif.malloc = host_malloc;
    iif.free = host_free;
    iif.mbwait = host_mbwait;
    iif.get_type = host_get_type;
    iif.sync = host_sync;
    iif.unsync = host_unsync;
    iif.transfer = host_transfer;
    status = morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET);
    if (status != 0) {
        zelp_linux_io_uninit(board);
        return fail("morvel_zelp_init", status, &reason);
    }

    printf("device type 0x%02x\n", zelp->device_type);
    printf("devlib %s\n", morvel_zelp_devlib_version());

    status = morvel_zelp_uninit(zelp, 1, MORVEL_ZELP_INIT_MODE_NO_TOUCH);
    zelp_linux_io_uninit(board);
    return status == 0 ? 0 : fail("morvel_zelp_uninit", status, &reason);
}
