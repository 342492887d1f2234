/* A host program in plain C over the host library: it loads a package into the chip, waits for
 * the firmware's next match and saves the audio that ends at it as a WAV file.
 *
 *   match_wav PORT PACKAGE OUT.wav
 *
 * PORT is what zelp7x_host takes with -s: a board simulator daemon's link (whose board makes
 * matches with --match-every), "sim:,match-every=MS" for a simulated board inside this process,
 * or the serial device of a real bridge. Everything the program says is one line on standard
 * error, its own words before each. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_devlib/morvel_zelp_wav.h"
#include "morvel_host/morvel_zelp7x_host.h"

#define CHUNK 1024
#define MATCH_WAIT_MS 10000

/* What opening the board has to say (which bridge it took, why one was refused). */
static void say(const char *line, void *user) {
    (void)user;
    fprintf(stderr, "match_wav: %s\n", line);
}

static int fail(const char *step, int status) {
    fprintf(stderr, "match_wav: %s failed: %s\n", step, morvel_zelp_error_name(status));
    return 1;
}

static int cannot(const char *what, const char *name, int error) {
    fprintf(stderr, "match_wav: cannot %s %s: %s\n", what, name, strerror(error));
    return 1;
}

/* The samples as WAV keeps them, behind the header for them. */
static int write_wav(const char *name, uint8_t *samples, uint32_t size, unsigned int bits) {
    morvel_zelp_wav_header_s header;
    uint8_t head[MORVEL_ZELP_WAV_HEADER_SIZE];
    FILE *f;
    int ok;
    if (morvel_zelp_wav_header(&header, MORVEL_ZELP_AUDIO_SAMPLE_RATE, 1, bits, size) != 0)
        return fail("wav header", MORVEL_ZELP_ERROR_ARG);
    morvel_zelp_wav_encode(&header, head);
    morvel_zelp_wav_samples(samples, size, bits);
    f = fopen(name, "wb");
    if (f == NULL) return cannot("write", name, errno);
    ok = fwrite(head, 1, sizeof head, f) == sizeof head && fwrite(samples, 1, size, f) == size;
    if (fclose(f) != 0) ok = 0;
    if (!ok) {
        const int error = errno;
        remove(name);
        return cannot("write", name, error);
    }
    return 0;
}

/* Takes the matches the ring still holds: they were made before the wait, and their audio is
 * gone. */
static int take_old_matches(morvel_zelp7x_host_s *host) {
    int matched = 1, status = 0;
    while (status == 0 && matched) status = morvel_zelp7x_host_next_match(host, 0, &matched, NULL);
    return status;
}

/* Loads the package, waits for a match and takes the audio ending at it. */
static int run(morvel_zelp7x_host_s *host, const char *package, const char *out) {
    morvel_zelp7x_host_input_s input = {MORVEL_ZELP7X_HOST_INPUT_READ, 0};
    morvel_zelp7x_host_match_s match = {0};
    uint32_t room, taken = 0;
    unsigned int bits = 16;
    uint8_t *audio;
    int matched = 0, status;

    status = morvel_zelp7x_host_load_file(host, package, CHUNK, NULL, &input);
    if (input.result != MORVEL_ZELP7X_HOST_INPUT_READ)
        return cannot("read", package, input.system_error);
    if (status != 0) return fail("load", status);
    status = morvel_zelp7x_host_watch_matches(host);
    if (status == 0) status = take_old_matches(host);
    if (status == 0) status = morvel_zelp7x_host_next_match(host, MATCH_WAIT_MS, &matched, &match);
    if (status != 0) return fail("match", status);
    if (!matched) {
        fprintf(stderr, "match_wav: no match within %d ms\n", MATCH_WAIT_MS);
        return 1;
    }
    room = morvel_zelp7x_host_extract_room(host, MORVEL_ZELP_EXTRACT_TYPE_INPUT,
                                           MORVEL_ZELP_EXTRACT_FROM_MATCH);
    audio = malloc(room > 0 ? room : 1);
    if (audio == NULL) return fail("extract", MORVEL_ZELP_ERROR_NOMEM);
    status = morvel_zelp7x_host_tank(host, &bits, NULL);
    if (status == 0)
        status =
            morvel_zelp7x_host_extract(host, MORVEL_ZELP_EXTRACT_TYPE_INPUT,
                                       MORVEL_ZELP_EXTRACT_FROM_MATCH, audio, room, &taken, NULL);
    if (status != 0) {
        free(audio);
        return fail("extract", status);
    }
    status = write_wav(out, audio, taken, bits);
    free(audio);
    if (status == 0)
        printf("%s: %u samples ending at a match of class %u\n", out, taken / (bits / 8),
               match.class_index);
    return status;
}

int main(int argc, char **argv) {
    morvel_zelp7x_board_options_s options;
    morvel_zelp7x_host_s *host = NULL;
    int status;

    if (argc != 4) {
        fprintf(stderr, "usage: match_wav PORT PACKAGE OUT.wav\n");
        return 2;
    }
    morvel_zelp7x_host_options_init(&options);
    options.port = argv[1];
    options.message = say;
    status = morvel_zelp7x_host_open(&options, &host, NULL);
    if (status != 0) return fail("open", status);
    status = run(host, argv[2], argv[3]);
    morvel_zelp7x_host_close(host);
    return status;
}
