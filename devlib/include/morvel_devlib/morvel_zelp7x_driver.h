/* The zelp7x driver record. */
#ifndef MORVEL_ZELP7X_DRIVER_H
#define MORVEL_ZELP7X_DRIVER_H

#include "morvel_devlib/morvel_zelp_driver.h"

#ifdef __cplusplus
extern "C" {
#endif

extern morvel_zelp_driver_s morvel_zelp7x_driver;
extern const unsigned int morvel_zelp7x_device_types[];

morvel_zelp_driver_s *morvel_zelp7x_get_driver(void);

#ifdef __cplusplus
}
#endif

#endif
