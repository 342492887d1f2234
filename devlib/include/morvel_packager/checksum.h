/** @file
 * CRC-32 (ISO 3309 / IEEE 802.3, reflected 0xEDB88320) computed bit by bit, without a table, as
 * the package's checksum record holds it. Every call works on its arguments only: any thread. */
#ifndef MORVEL_PACKAGER_CHECKSUM_H
#define MORVEL_PACKAGER_CHECKSUM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** The CRC-32 of a whole buffer.
 * @anythread */
uint32_t crc32_no_lib(const uint8_t *bytes, size_t len);
/** The register before any byte: 0xFFFFFFFF.
 * @anythread */
uint32_t crc32_no_lib_init(void);
/** Runs bytes through a register, without the final complement.
 * @anythread */
uint32_t crc32_no_lib_update(uint32_t crc, const uint8_t *bytes, size_t len);
/** The CRC-32 value of a register: its complement.
 * @anythread */
uint32_t crc32_no_lib_finalize(uint32_t crc);

#ifdef __cplusplus
}
#endif

#endif
