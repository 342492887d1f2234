// Generic device API: handle lifecycle and dispatch to the chosen driver.
#include "morvel_devlib/morvel_zelp.h"

#include "api/host_lock.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"

namespace {

// Device type codes by family. The zelp7x codes are the driver's own list, so init accepts
// exactly the devices the driver claims.
constexpr unsigned int zelp80_first = 0x30;
constexpr unsigned int zelp80_last = 0x3B;

bool initialised(const morvel_zelp_device_s *zelp) {
    return zelp != nullptr && zelp->init != 0;
}

// Runs one driver operation of an initialised handle under the host's lock.
template <typename Op>
int dispatch(morvel_zelp_device_s *zelp, Op &&op) {
    if (!initialised(zelp)) return MORVEL_ZELP_ERROR_UNINIT;
    return devlib::with_host_lock(zelp->iif, [&] { return op(*zelp->driver); });
}

} // namespace

extern "C" {

char *morvel_zelp_devlib_version(void) {
    static char version[] = "v79";
    return version;
}

morvel_zelp_device_type_t morvel_zelp_get_device_family(unsigned int device_id) {
    for (const unsigned int *id = morvel_zelp7x_device_types; *id != 0; ++id)
        if (*id == device_id) return MORVEL_ZELP_7X;
    if (device_id >= zelp80_first && device_id <= zelp80_last) return MORVEL_ZELP_80;
    return MORVEL_ZELP_INV_DEV_ID;
}

morvel_zelp_driver_s *morvel_zelp_get_driver(unsigned int device_type) {
    return morvel_zelp_get_device_family(device_type) == MORVEL_ZELP_7X ? morvel_zelp7x_get_driver()
                                                                        : nullptr;
}

int morvel_zelp_init(morvel_zelp_device_s **zelpp, morvel_zelp_integration_interfaces_s *iif,
                     morvel_zelp_init_mode_e init_mode) {
    if (zelpp == nullptr) return MORVEL_ZELP_ERROR_ARG;
    morvel_zelp_device_s *zelp = *zelpp;
    // Neither a handle nor the host's callbacks: nothing to allocate with or to call.
    if (zelp == nullptr && iif == nullptr) return MORVEL_ZELP_ERROR_ARG;

    bool allocated = false;
    if (zelp == nullptr) {
        zelp = static_cast<morvel_zelp_device_s *>(iif->malloc(sizeof(morvel_zelp_device_s)));
        if (zelp == nullptr) return MORVEL_ZELP_ERROR_NOMEM;
        *zelpp = zelp;
        allocated = true;
    }
    zelp->init = 0;
    if (iif != nullptr) zelp->iif = *iif;
    const morvel_zelp_integration_interfaces_s &hi = zelp->iif;

    int s = hi.get_type(hi.d, &zelp->device_type);
    if (s == 0) {
        zelp->driver = morvel_zelp_get_driver(zelp->device_type);
        if (zelp->driver == nullptr) s = MORVEL_ZELP_ERROR_FAIL;
    }
    if (s == 0) s = devlib::with_host_lock(hi, [&] { return zelp->driver->init(zelp, init_mode); });

    if (s == 0) {
        zelp->init = 1;
    } else if (allocated) {
        hi.free(zelp);
        *zelpp = nullptr;
    }
    return s;
}

int morvel_zelp_uninit(morvel_zelp_device_s *zelp, int free, morvel_zelp_init_mode_e init_mode) {
    if (!initialised(zelp)) return MORVEL_ZELP_ERROR_UNINIT;
    zelp->init = 0;
    const morvel_zelp_integration_interfaces_s iif = zelp->iif;
    const int s =
        devlib::with_host_lock(iif, [&] { return zelp->driver->uninit(zelp, init_mode); });
    if (free != 0) iif.free(zelp);
    return s;
}

int morvel_zelp_op_size(morvel_zelp_device_s *zelp, int mcu, unsigned int *size) {
    if (!initialised(zelp)) return MORVEL_ZELP_ERROR_UNINIT;
    return zelp->driver->op_size(zelp, mcu, size);
}

int morvel_zelp_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                           unsigned int count) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) {
        return drv.read_block(zelp, mcu, address, value, count);
    });
}

int morvel_zelp_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                            unsigned int count) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) {
        return drv.write_block(zelp, mcu, address, value, count);
    });
}

int morvel_zelp_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value) {
    unsigned int size = 0;
    const int s = morvel_zelp_op_size(zelp, mcu, &size);
    if (s != 0) return s;
    return morvel_zelp_read_block(zelp, mcu, address, value, size);
}

int morvel_zelp_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value) {
    unsigned int size = 0;
    const int s = morvel_zelp_op_size(zelp, mcu, &size);
    if (s != 0) return s;
    if (size > sizeof(value)) return MORVEL_ZELP_ERROR_ARG;
    // Least significant byte first, whatever the host's byte order.
    uint8_t bytes[sizeof(value)];
    for (unsigned int i = 0; i < sizeof(value); ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return morvel_zelp_write_block(zelp, mcu, address, bytes, size);
}

int morvel_zelp_interrupts(morvel_zelp_device_s *zelp, int *on) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) { return drv.interrupts(zelp, on); });
}

int morvel_zelp_poll(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear) {
    return dispatch(
        zelp, [&](morvel_zelp_driver_s &drv) { return drv.poll(zelp, notifications, clear); });
}

int morvel_zelp_load(morvel_zelp_device_s *zelp, void *package, int len) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) { return drv.load(zelp, package, len); });
}

int morvel_zelp_get_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) {
        config->device_id = zelp->device_type;
        return drv.get_config(zelp, config);
    });
}

int morvel_zelp_send_data(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                          uint32_t offset) {
    if (initialised(zelp) && len == 0) return MORVEL_ZELP_ERROR_ARG;
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) {
        return drv.send_data(zelp, data, len, type, offset);
    });
}

int morvel_zelp_extract_data(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                             unsigned int *len) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) {
        return drv.extract_data(zelp, type, from, data, len);
    });
}

int morvel_zelp_get_match_summary(morvel_zelp_device_s *zelp, uint32_t *summary) {
    return dispatch(
        zelp, [&](morvel_zelp_driver_s &drv) { return drv.get_match_summary(zelp, summary); });
}

int morvel_zelp_get_match_binary(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len) {
    return dispatch(
        zelp, [&](morvel_zelp_driver_s &drv) { return drv.get_match_binary(zelp, matches, len); });
}

int morvel_zelp_get_match_strength(morvel_zelp_device_s *zelp, uint8_t *strengths, unsigned int len,
                                   int type) {
    return dispatch(zelp, [&](morvel_zelp_driver_s &drv) {
        return drv.get_match_strength(zelp, strengths, len, type);
    });
}

} // extern "C"
