/* Package stream reader. */
#ifndef MORVEL_PACKAGE_H
#define MORVEL_PACKAGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Parser state of one package stream. */
typedef struct morvel_pkg_parser_state_s {
    uint32_t reserved; /* the reader fills in its state */
} morvel_pkg_parser_state_t;

#ifdef __cplusplus
}
#endif

#endif
