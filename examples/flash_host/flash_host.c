/* A host program in plain C that updates a board's flash through the flash library: it writes an
 * image, sending only the sectors that changed, and verifies it.
 *
 *   flash_host PORT IMAGE [ADDRESS]
 *
 * PORT is what zelp7x_flash takes with -s: "sim" or "sim:FILE,opts" for a simulated board inside
 * this process, or the serial device of a real bridge. ADDRESS defaults to 0.
 *
 * A failure is one line on standard error: the failing step and why. The board I/O layer's own
 * lines are not shown; the reason it gives for a board that does not open comes back in the
 * failure record ("io_init: cannot open /dev/ttyACM7: No such file or directory"). */
#include <stdio.h>
#include <stdlib.h>

#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_flash/morvel_zelp7x_flash.h"

/* The failing step and why: the system's reason when there is one, else what the library says of
 * it, or the error's name when it says nothing. */
static int fail(const morvel_zelp7x_flash_failure_s *failure, int status) {
    const char *why = failure->reason[0] != '\0'    ? failure->reason
                      : failure->message[0] != '\0' ? failure->message
                                                    : morvel_zelp_error_name(status);
    fprintf(stderr, "%s: %s\n", failure->step != NULL ? failure->step : "flash_host", why);
    return 1;
}

/* The board I/O layer's lines stay unsaid: what matters of them is in the failure record. */
static void leave_unsaid(const zelp_io_line_s *line, void *user) {
    (void)line;
    (void)user;
}

/* The whole file in a buffer of its own; NULL when it cannot be read. */
static unsigned char *read_image(const char *name, long *size) {
    unsigned char *data = NULL;
    FILE *f = fopen(name, "rb");
    if (f == NULL) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (*size = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = malloc(*size > 0 ? (size_t)*size : 1);
        if (data != NULL && fread(data, 1, (size_t)*size, f) != (size_t)*size) {
            free(data);
            data = NULL;
        }
    }
    fclose(f);
    return data;
}

int main(int argc, char **argv) {
    morvel_zelp7x_flash_failure_s failure = {0};
    morvel_zelp7x_flash_board_options_s board_options;
    morvel_zelp7x_flash_board_s *board = NULL;
    morvel_zelp7x_flash_s flash = {0};
    morvel_zelp7x_flash_write_options_s options = {0};
    morvel_zelp7x_flash_verify_s verify = {0};
    unsigned long address = 0;
    unsigned char *image;
    long size = 0;
    int status;

    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: flash_host PORT IMAGE [ADDRESS]\n");
        return 2;
    }
    if (argc == 4) address = strtoul(argv[3], NULL, 0);
    image = read_image(argv[2], &size);
    if (image == NULL) {
        perror(argv[2]);
        return 1;
    }

    morvel_zelp7x_flash_board_options_init(&board_options);
    board_options.port = argv[1];
    board_options.io_report.line = leave_unsaid;
    status = morvel_zelp7x_flash_board_open_with(&board_options, &board, &failure);
    if (status == 0) {
        /* The board's device handle and the flash size its open read: a range past the flash's
         * end is refused rather than wrapped onto its start. */
        morvel_zelp7x_flash_board_session(board, &flash);
        options.skip_unchanged = 1;
        status = morvel_zelp7x_flash_write(&flash, (uint32_t)address, image, (uint32_t)size,
                                           &options, NULL, &failure);
    }
    if (status == 0)
        status = morvel_zelp7x_flash_verify(&flash, (uint32_t)address, image, (uint32_t)size,
                                            &verify, &failure);
    morvel_zelp7x_flash_board_close(board);
    free(image);
    if (status != 0) return fail(&failure, status);
    if (verify.differences != 0) {
        fprintf(stderr, "verify: %lu bytes differ, the first at 0x%06lx\n",
                (unsigned long)verify.differences, (unsigned long)verify.first_difference);
        return 1;
    }
    printf("verified %ld bytes\n", size);
    return 0;
}
