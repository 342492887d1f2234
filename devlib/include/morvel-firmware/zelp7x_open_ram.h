/** @file
 * The chip's open RAM: the one stretch of its memory the host may write on any chip, secured or
 * not. The boot loader takes a secured chip's firmware through it as its load window, and a
 * running firmware keeps its secure memory access block there (zelp7x_smap.h). A chip fact;
 * binding. */
#ifndef ZELP7X_OPEN_RAM_H
#define ZELP7X_OPEN_RAM_H

/** Where the open RAM starts in the chip's MCU space. */
#define ZELP7X_OPEN_RAM_BASE 0x20017C00u
/** Its size in bytes. */
#define ZELP7X_OPEN_RAM_SIZE 1024u

#endif
