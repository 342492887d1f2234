// The zelp7x driver record: every slot of the generic driver table.
#include "morvel_devlib/morvel_zelp7x_driver.h"

#include "morvel_devlib/morvel_zelp7x.h"

extern "C" {

const unsigned int morvel_zelp7x_device_types[] = {0x13, 0x14, 0x18, 0x20, 0x22, 0x24, 0x02, 0};

morvel_zelp_driver_s morvel_zelp7x_driver = {
    morvel_zelp7x_device_types,
    morvel_zelp7x_init,
    morvel_zelp7x_uninit,
    morvel_zelp7x_op_size,
    morvel_zelp7x_interrupts,
    morvel_zelp7x_poll,
    morvel_zelp7x_load,
    morvel_zelp7x_get_config,
    morvel_zelp7x_send_data,
    morvel_zelp7x_extract_data,
    morvel_zelp7x_get_match_summary,
    morvel_zelp7x_get_match_binary,
    morvel_zelp7x_get_match_strength,
    morvel_zelp7x_read_block,
    morvel_zelp7x_write_block,
};

morvel_zelp_driver_s *morvel_zelp7x_get_driver(void) {
    return &morvel_zelp7x_driver;
}

} // extern "C"
