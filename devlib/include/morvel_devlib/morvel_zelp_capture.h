/** @file
   Continuous capture of a ring that the chip fills at a steady rate (the tank), by repeated
   reads of the bytes not read yet (extractions from UNREAD). Ring positions repeat every ring, so
   the unread count a read sees is the true count less the whole rings the producer wrote since
   the previous read: those bytes were overwritten before anyone read them. The host's clock
   between two reads, at the producer's rate, tells how many rings passed; this record does that
   arithmetic and counts each stretch lost as a gap. It also keeps each read clear of the
   producer: bytes so old that the producer would reach them while the read runs are skipped, and
   bytes it may have reached before the read ended are dropped, both counted as lost, rather than
   passed on half overwritten.

   Per read: morvel_zelp_capture_plan with the unread count (an UNREAD extraction without a buffer
   and no room reports it without moving the read position), skip `skip` bytes (the same without a
   buffer, room `skip`), read at most `take` bytes, then morvel_zelp_capture_done with the count
   read and the time the read ended, which says how many of them, from the first, to drop. */
#ifndef MORVEL_ZELP_CAPTURE_H
#define MORVEL_ZELP_CAPTURE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** One capture's arithmetic. The caller owns it; the calls touch nothing else, so captures of
 * distinct rings may run in distinct threads. */
typedef struct morvel_zelp_capture_s {
    uint32_t ring_size;        /* bytes in the ring */
    uint32_t bytes_per_second; /* the producer's rate */
    int timed;                 /* the producer's place at `last_us` is known */
    uint64_t last_us;          /* host time of the last plan or mark, microseconds */
    uint32_t behind;           /* bytes the last plan left unread */
    uint32_t skip;             /* the last plan's skip */
    int step_lost;             /* the last plan counted a gap */
    uint64_t bytes;            /* bytes read */
    uint64_t lost_bytes;       /* bytes overwritten or skipped before they were read */
    uint32_t gaps;             /* stretches lost */
} morvel_zelp_capture_s;

/** Starts a capture of a ring of `ring_size` bytes that the producer fills at `bytes_per_second`.
   @return MORVEL_ZELP_ERROR_ARG for a ring size or rate of 0 or a ring size that is not a
   multiple of 4 (extractions move in words).
   @threads Touches `c` only; nothing here reads a clock or the chip: the caller passes the
   times. */
int morvel_zelp_capture_init(morvel_zelp_capture_s *c, uint32_t ring_size,
                             uint32_t bytes_per_second);

/** The read position was just put at the producer (a skip to the newest byte) at `now_us`.
   @threads Touches `c` only. */
void morvel_zelp_capture_mark(morvel_zelp_capture_s *c, uint64_t now_us);

/** The ring shows `unread` bytes at host time `now_us`. Returns the bytes lost since the previous
   plan: the whole rings overwritten unread, and the `*skip` bytes to pass over so that the `*take`
   bytes left can be read before the producer comes round to them. A loss counts one gap, except
   on the first read of a capture that was not marked, where the skip drops audio from before the
   capture began.
   @threads Touches `c` only. */
uint64_t morvel_zelp_capture_plan(morvel_zelp_capture_s *c, uint32_t unread, uint64_t now_us,
                                  uint32_t *skip, uint32_t *take);

/** `got` bytes were read after the last plan's skip, the read ending at host time `now_us`.
   @return how many of them, from the first, the producer may have overwritten before the read
   ended (they count as lost, with the plan's loss one gap); the rest are sound.
   @threads Touches `c` only. */
uint32_t morvel_zelp_capture_done(morvel_zelp_capture_s *c, uint32_t got, uint64_t now_us);

#ifdef __cplusplus
}
#endif

#endif
