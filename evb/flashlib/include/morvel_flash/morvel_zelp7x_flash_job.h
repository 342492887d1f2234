/** @file
 * A flash job: what one zelp7x_flash run does to a board's flash (read the flash's ID, erase a
 * range, erase the chip, write an image in plain or 3-byte encoding or as an Atmel dongle image,
 * read it back, checksum and verify it), planned once from the tool's options and run on as many
 * boards as the host likes.
 *
 * A plan takes the options and the image bytes, derives the counts, lays the image out on the
 * flash and refuses what no run could do (a count it cannot hold, a dongle image that leaves no
 * room for its descriptor, a range past the flash) before any board is touched. A run takes one
 * board's flash session and goes through the steps in their fixed order (ID, erase, chip erase,
 * write, read), telling the host's report callback as each step starts, moves on, finds a byte
 * that differs and ends, with what it found: bytes, milliseconds, checksum, differences, the
 * changed-only write's counts. A host prints what it likes of that; the library prints nothing.
 *
 * The plan is read-only once made: several runs of one job, each on a board of its own, may go
 * at the same time from several threads. */
#ifndef MORVEL_ZELP7X_FLASH_JOB_H
#define MORVEL_ZELP7X_FLASH_JOB_H

#include <stdint.h>

#include "morvel_flash/morvel_zelp7x_flash.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Bytes a host hands to a plan. */
typedef struct morvel_zelp7x_flash_image_s {
    const uint8_t *data; /**< the bytes; the caller's, read during the plan call only */
    uint64_t size;       /**< how many */
} morvel_zelp7x_flash_image_s;

/** What the flash's JEDEC ID says. */
typedef struct morvel_zelp7x_flash_identity_s {
    uint8_t vendor;     /**< the vendor byte */
    uint16_t device_id; /**< memory type, then capacity code */
    uint32_t capacity;  /**< bytes the capacity code stands for; 0 for a code not known */
} morvel_zelp7x_flash_identity_s;

/** What a job asks for, field by field as zelp7x_flash's options give it. Fill it with
 * morvel_zelp7x_flash_job_options_init, then set what the run wants. */
typedef struct morvel_zelp7x_flash_job_options_s {
    uint32_t address; /**< -a: where the data starts on the flash */
    /** -c: data bytes; negative: not given, so the shorter of the images, else 16. An image
     * shorter than the count shortens it. */
    int64_t count;
    int erase;          /**< -e: erase the sectors the data touches (1 MiB with atmel_dongle) */
    int erase_chip;     /**< -E: erase the whole chip */
    int three_byte;     /**< -3: a 0xFF filler before every three data bytes on the flash */
    int atmel_dongle;   /**< -A: the image in a 1 MiB span with an 8-byte descriptor at its end */
    int checksum;       /**< -R: read the data back for its checksum */
    int read;           /**< -r: read the data back for the host (the read step's report has it) */
    int bridge;         /**< -Q: through the bridge's own flash commands; no ID, no erase steps */
    int skip_unchanged; /**< --skip-unchanged: the write sends only what differs */
    /** -w: the image to write; null: no write. */
    const morvel_zelp7x_flash_image_s *write;
    /** -v: the image to compare the data read back with; null: no verify. */
    const morvel_zelp7x_flash_image_s *verify;
    /** The flash's ID when the host has read it already (morvel_zelp7x_flash_identify): the plan
     * bounds the ranges by its capacity and the runs read no ID. Null: each run on the MSPI path
     * reads the ID as its first step. */
    const morvel_zelp7x_flash_identity_s *identity;
} morvel_zelp7x_flash_job_options_s;

/** A planned job: made by morvel_zelp7x_flash_job_plan, ended by morvel_zelp7x_flash_job_free. */
typedef struct morvel_zelp7x_flash_job_s morvel_zelp7x_flash_job_s;

/** The steps of a run, in the order they run. */
typedef enum morvel_zelp7x_flash_step_e {
    MORVEL_ZELP7X_FLASH_STEP_PLAN = 0,       /**< the plan itself (its notes) */
    MORVEL_ZELP7X_FLASH_STEP_ID = 1,         /**< the JEDEC ID, and the checks on it */
    MORVEL_ZELP7X_FLASH_STEP_ERASE = 2,      /**< the sectors under the data (-e) */
    MORVEL_ZELP7X_FLASH_STEP_ERASE_CHIP = 3, /**< the whole chip (-E) */
    MORVEL_ZELP7X_FLASH_STEP_WRITE = 4,      /**< the image and its dongle descriptor (-w) */
    MORVEL_ZELP7X_FLASH_STEP_READ = 5,       /**< read back, checksum, verify (-r, -R, -v) */
} morvel_zelp7x_flash_step_e;

/** How many steps there are, the plan included. */
#define MORVEL_ZELP7X_FLASH_STEP_COUNT 6

/** What a report says. */
typedef enum morvel_zelp7x_flash_event_e {
    /** Something the host should say that stops nothing: `text`. The plan's warning that a dongle
     * image starts off a 1 MiB boundary is one. */
    MORVEL_ZELP7X_FLASH_EVENT_NOTE = 0,
    MORVEL_ZELP7X_FLASH_EVENT_START = 1, /**< the step begins */
    /** A long phase moved on: `phase` ("Erase", "Program", "Read") and `fraction`, 0 to 1. */
    MORVEL_ZELP7X_FLASH_EVENT_PROGRESS = 2,
    /** The read step found a data byte that differs from the verify image: `offset` into the
     * data, `got`, `expected`; `data` holds the data read up to and including it. Reported in
     * data order, after the step's last progress. */
    MORVEL_ZELP7X_FLASH_EVENT_DIFFERENCE = 3,
    MORVEL_ZELP7X_FLASH_EVENT_DONE = 4, /**< the step ended well: its results */
    /** The step failed: `failure`, with the results found before it (the ID that failed a
     * check, the data that differs from the verify image). */
    MORVEL_ZELP7X_FLASH_EVENT_FAILED = 5,
} morvel_zelp7x_flash_event_e;

/** One report of a run (or plan) to the host. Fields a step has no use for are zero. */
typedef struct morvel_zelp7x_flash_report_s {
    morvel_zelp7x_flash_event_e event; /**< what happened */
    morvel_zelp7x_flash_step_e step;   /**< in which step */
    const char *text;                  /**< NOTE: what to say; FAILED: the failure's message */
    const char *phase;                 /**< PROGRESS: the phase's name */
    double fraction;                   /**< PROGRESS: how far, 0 to 1 */
    int milliseconds;                  /**< DONE, FAILED: how long the step took */
    /** DONE: flash bytes the step covered: the ID's 3, the erase span, the flash's capacity for
     * a chip erase, the encoded image written or read. */
    uint64_t bytes;
    /** DONE of the write, and the read's last report: data bytes written or read back. */
    uint32_t data_bytes;
    /** ID step, from its read on: the ID. */
    morvel_zelp7x_flash_identity_s identity;
    int identified;    /**< nonzero when `identity` was read */
    uint16_t checksum; /**< write and read: the BSD sum of the data written or read back */
    /** DONE of a changed-only write: what it sent. */
    morvel_zelp7x_flash_write_stats_s stats;
    /** Read step, DIFFERENCE and its last report: the data read back, decoded (fillers taken
     * out); null before the read. Lives until the callback returns. */
    const uint8_t *data;
    uint32_t offset;           /**< DIFFERENCE: where in the data */
    uint8_t got;               /**< DIFFERENCE: the byte read back */
    uint8_t expected;          /**< DIFFERENCE: the verify image's byte */
    uint32_t differences;      /**< read step's last report: bytes that differ from the image */
    uint32_t first_difference; /**< flash address (address + data offset) of the first one */
    /** FAILED: why; lives until the callback returns. */
    const morvel_zelp7x_flash_failure_s *failure;
} morvel_zelp7x_flash_report_s;

/** Takes a plan's or a run's reports, on the calling thread, during the call. A flash call it
 * makes on the run's session is refused; the report and what it points to live until it
 * returns. */
typedef void (*morvel_zelp7x_flash_report_f)(const morvel_zelp7x_flash_report_s *report,
                                             void *user);

/** What a plan made of the options: the counts and what a run does. */
typedef struct morvel_zelp7x_flash_job_info_s {
    uint32_t count;              /**< data bytes the job writes, reads and verifies */
    uint32_t encoded_count;      /**< flash bytes they take: 3-byte encoded, rounded up to 4 */
    uint32_t erase_count;        /**< bytes from the address the erase step erases */
    uint16_t checksum;           /**< BSD sum of the data written; 0 without a write image */
    uint32_t descriptor_address; /**< where the dongle descriptor goes (with atmel_dongle) */
    uint32_t steps; /**< bit (1 << step) for every step a run takes, the ID on the MSPI path */
} morvel_zelp7x_flash_job_info_s;

/** Puts the defaults in `options` (null is ignored): address 0, no count, no step.
 * @anythread */
void morvel_zelp7x_flash_job_options_init(morvel_zelp7x_flash_job_options_s *options);

/** Plans a job, with every check zelp7x_flash makes before it touches a flash: the count (the
 * images clip it, 16 without any), the flash bytes it takes (with -3 a filler per three data
 * bytes), the dongle layout (at most 0xFFFF4 flash bytes, a 1 MiB erase span, the descriptor at
 * the end of the span), and every range the run moves data in, erases or writes the descriptor
 * to, bounded by the identity's capacity or else by the 16 MiB of 3-byte flash addresses. The
 * image is encoded and checksummed here, once for every run.
 * @param options what to do; nothing is kept of it or of the images it points to.
 * @param report may be null; gets the plan's notes (step PLAN), such as "warning: Atmel dongle
 *   image at 0x1000 does not start on a 1 MiB boundary; its descriptor goes to 0x1ffff8, outside
 *   the span that -e erases".
 * @param user passed to `report`.
 * @param job receives the job.
 * @param failure filled on failure, cleared on success; may be null. Kinds: OPTION ("flash byte
 *   count value out of range: N"), CHECK ("data length 0x%x too long for Atmel file", "flash
 *   range ... does not fit the N-byte flash", "flash data at 0x..., N bytes, goes beyond the 16
 *   MiB that 3-byte flash addresses reach"), ARGUMENT (MORVEL_ZELP_ERROR_NOMEM: "unable to
 *   allocate N byte encoded write buffer").
 * @return 0 with the job in `*job`, else the failure's code and `*job` null.
 * @ownership The job is the caller's until morvel_zelp7x_flash_job_free.
 * @threads Any thread.
 * @never Prints, exits, or touches a board. */
int morvel_zelp7x_flash_job_plan(const morvel_zelp7x_flash_job_options_s *options,
                                 morvel_zelp7x_flash_report_f report, void *user,
                                 morvel_zelp7x_flash_job_s **job,
                                 morvel_zelp7x_flash_failure_s *failure);

/** Fills `info` with what the plan made (zeroes for a null job; a null `info` is ignored).
 * @anythread */
void morvel_zelp7x_flash_job_info(const morvel_zelp7x_flash_job_s *job,
                                  morvel_zelp7x_flash_job_info_s *info);

/** Runs the job on one board: the steps in order, each told to `report` as it starts, moves on
 * and ends. The ID step (MSPI path, without an identity in the plan) refuses a board whose flash
 * answers vendor 0 ("no flash populated (vendor id == 0)") or 0xFF ("no flash answering (vendor
 * id == 0xff)") and bounds the job's ranges by the capacity it learned. The erase steps are left
 * out on the bridge path, and the erase is left to the write when that writes only what changed.
 * The write programs the encoded image into flash the erase left blank (on the bridge path after
 * a start-of-file command with its size) and then the dongle descriptor, or, changed-only, writes
 * both in one pass of morvel_zelp7x_flash_write, erasing the erase span where it does not already
 * hold what it must. The read step reads the encoded image back, takes the fillers out, sums the
 * data, reports every byte that differs from the verify image in order, and fails when any does
 * ("N miscomparing bytes", kind VERIFY) after reporting what it read.
 * @param job the plan; only read, so several runs may share it.
 * @param flash the board's session: its device handle, board calls and capacity; its path and
 *   progress are the job's for the run. Held for the whole run, as one call.
 * @param report may be null; gets every event of the run.
 * @param user passed to `report`.
 * @param failure filled on failure, cleared on success; may be null.
 * @return 0, or the failing step's code: the flash library's calls' codes and kinds, CHECK
 *   (MORVEL_ZELP_ERROR_FAIL or _ARG) for the job's own checks, VERIFY (MORVEL_ZELP_ERROR_FAIL).
 * @threads One run at a time per board; runs of one job on distinct boards in parallel.
 * @never Prints, exits, or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_job_run(const morvel_zelp7x_flash_job_s *job, morvel_zelp7x_flash_s *flash,
                                morvel_zelp7x_flash_report_f report, void *user,
                                morvel_zelp7x_flash_failure_s *failure);

/** The ID step on its own, for a host that reads the ID before it has its images (zelp7x_flash
 * reads its image files after it): reads the JEDEC ID, learns the session's capacity from it, and
 * refuses a board without a flash that answers, as a run's ID step does. Put the identity in the
 * options of the plan, and the runs read no ID.
 * @param flash the board's session.
 * @param identity receives the ID, also when it fails the check.
 * @param failure filled on failure, cleared on success; may be null.
 * @return 0, the read's code, or MORVEL_ZELP_ERROR_FAIL (kind CHECK) for vendor 0 or 0xFF.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits, or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_identify(morvel_zelp7x_flash_s *flash,
                                 morvel_zelp7x_flash_identity_s *identity,
                                 morvel_zelp7x_flash_failure_s *failure);

/** Frees a job; null is ignored.
 * @threads No run of the job may be going on. */
void morvel_zelp7x_flash_job_free(morvel_zelp7x_flash_job_s *job);

/** A step's name: "plan", "id", "erase", "chip-erase", "write", "read"; "?" for any other value.
 * @anythread */
const char *morvel_zelp7x_flash_step_name(morvel_zelp7x_flash_step_e step);

#ifdef __cplusplus
}
#endif

#endif
