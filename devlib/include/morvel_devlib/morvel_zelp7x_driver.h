/** @file
 * The zelp7x driver record, which morvel_zelp_init picks for a zelp7x device type. */
#ifndef MORVEL_ZELP7X_DRIVER_H
#define MORVEL_ZELP7X_DRIVER_H

#include "morvel_devlib/morvel_zelp_driver.h"

#ifdef __cplusplus
extern "C" {
#endif

/** The zelp7x driver's operations. Static data the library never changes; hosts leave it alone. */
extern morvel_zelp_driver_s morvel_zelp7x_driver;
/** The zelp7x device type codes, ended by 0. Constant data. */
extern const unsigned int morvel_zelp7x_device_types[];

/** The zelp7x driver record.
 * @return &morvel_zelp7x_driver.
 * @anythread */
morvel_zelp_driver_s *morvel_zelp7x_get_driver(void);

#ifdef __cplusplus
}
#endif

#endif
