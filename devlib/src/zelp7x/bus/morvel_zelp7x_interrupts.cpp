// Interrupt enables and polling: what the chip signals becomes the library's notifications. Poll
// is also where the firmware's mailbox messages are taken in.
#include <array>

#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using namespace zelp7x;

constexpr uint8_t intctl_mask = 0x7F; // one enable bit per cause 0 to 6
constexpr uint8_t intctl_default =
    MORVEL_ZELP_INTERRUPT_MAILBOX_IN | MORVEL_ZELP_INTERRUPT_WATER_MARK;

struct StatusNotification {
    uint8_t intsts_bit;
    uint32_t notification;
};

// Causes reported straight from intsts.
constexpr std::array<StatusNotification, 3> status_notifications = {{
    {ZELP7X_INTSTS_MAILBOX_OUT, MORVEL_ZELP_NOTIFICATION_MAILBOX_OUT},
    {ZELP7X_INTSTS_FEATURE, MORVEL_ZELP_NOTIFICATION_FEATURE},
    {ZELP7X_INTSTS_WATER_MARK, MORVEL_ZELP_NOTIFICATION_WATER_MARK},
}};

// New match messages from the firmware: fetch its match ring producer index.
int take_new_matches(morvel_zelp_device_s *zelp, int clear, uint32_t &notifications) {
    morvel_zelp7x_device_s &z = record(zelp);
    if (z.matches == z.prev_matches) return MORVEL_ZELP_ERROR_NONE;
    if (clear) z.prev_matches = z.matches;
    const int s =
        read_mcu(zelp, z.fw_state_addr + ZELP7X_FW_STATE_MATCH_PRODUCER, &z.match_producer);
    if (s != 0) return s;
    notifications |= MORVEL_ZELP_NOTIFICATION_DNN;
    return MORVEL_ZELP_ERROR_NONE;
}

int service_mailboxes(morvel_zelp_device_s *zelp, int clear, uint32_t &notifications) {
    int wake = 0;
    int s = morvel_zelp7x_do_mailboxes(zelp, &wake);
    if (s != 0) return s;
    s = take_new_matches(zelp, clear, notifications);
    if (s != 0) return s;
    if (wake) notifications |= MORVEL_ZELP_NOTIFICATION_MAILBOX_IN;
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace

extern "C" {

int morvel_zelp7x_interrupts(morvel_zelp_device_s *zelp, int *causes) {
    if (causes == nullptr) return MORVEL_ZELP_ERROR_ARG;
    const int wanted = *causes;
    if (wanted > MORVEL_ZELP_INTERRUPT_ALL && wanted != MORVEL_ZELP_INTERRUPT_DEFAULT)
        return MORVEL_ZELP_ERROR_ARG;
    uint8_t old = 0;
    int s = read_spi(zelp, ZELP7X_SPI_INTCTL, &old);
    if (s != 0) return s;
    // A negative request only asks which causes are enabled.
    if (wanted >= 0) {
        // SPI_READ_FAILURE has no enable bit in the chip and falls away with the mask.
        const uint8_t enable = wanted == MORVEL_ZELP_INTERRUPT_DEFAULT
                                   ? intctl_default
                                   : static_cast<uint8_t>(wanted & intctl_mask);
        s = write_spi(zelp, ZELP7X_SPI_INTCTL, enable);
        if (s != 0) return s;
    }
    *causes = old & intctl_mask;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_poll(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear) {
    if (notifications == nullptr) return MORVEL_ZELP_ERROR_ARG;
    uint8_t intsts = 0;
    int s = read_spi(zelp, ZELP7X_SPI_INTSTS, &intsts);
    if (s != 0) return s;
    if (clear) {
        // Writing back what was read acknowledges exactly those causes.
        s = write_spi(zelp, ZELP7X_SPI_INTSTS, intsts);
        if (s != 0) return s;
    }
    uint32_t found = 0;
    if (intsts & ZELP7X_INTSTS_MAILBOX_IN) {
        s = service_mailboxes(zelp, clear, found);
        if (s != 0) return s;
    }
    const morvel_zelp7x_device_s &z = record(zelp);
    if (z.match_producer != z.match_consumer) found |= MORVEL_ZELP_NOTIFICATION_MATCH;
    for (const StatusNotification &n : status_notifications)
        if (intsts & n.intsts_bit) found |= n.notification;
    *notifications = found;
    return MORVEL_ZELP_ERROR_NONE;
}

} // extern "C"
