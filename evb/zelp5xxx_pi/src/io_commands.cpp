// The bridge's own commands: its SPI clocks, the state value and the flash block commands.
#include <array>
#include <mutex>
#include <vector>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;

using Packet6 = std::array<uint8_t, 6>;
using Packet8 = std::array<uint8_t, 8>;

uint8_t byte_of(uint32_t value, int index) {
    return static_cast<uint8_t>(value >> (8 * index));
}

// Speeds, flash addresses and the start-of-file value go most significant byte first.
Packet6 big_endian_packet(uint8_t command, uint32_t value) {
    return {ZELP_IO_PACKET_START, command,           byte_of(value, 3),
            byte_of(value, 2),    byte_of(value, 1), byte_of(value, 0)};
}

// The state value goes least significant byte first.
Packet6 little_endian_packet(uint8_t command, uint32_t value) {
    return {ZELP_IO_PACKET_START, command,           byte_of(value, 0),
            byte_of(value, 1),    byte_of(value, 2), byte_of(value, 3)};
}

Packet8 flash_header(uint8_t command, uint32_t addr, uint16_t len) {
    return {ZELP_IO_PACKET_START, command,          byte_of(addr, 3), byte_of(addr, 2),
            byte_of(addr, 1),     byte_of(addr, 0), byte_of(len, 1),  byte_of(len, 0)};
}

bool ready(morvel_evb_io_handle_t d) {
    return d && d->spifd;
}

// Sends one whole packet in one call; the number of bytes the call moved.
int send_packet(zelp_win32_io_state_s &state, std::span<const uint8_t> packet) {
    return serial_write(state, packet);
}

// Takes a whole answer within the answer bound (later, for a pipelined flash read). A bridge that
// stays silent or sends too little fails the command instead of hanging the caller.
bool receive_answer(zelp_win32_io_state_s &state, std::span<uint8_t> answer) {
    return zio::take_answer(state, answer, zio::AnswerKind::bridge_command) ==
           MORVEL_ZELP_ERROR_NONE;
}

int set_speed(morvel_evb_io_handle_t d, uint8_t command, uint32_t speed, const char *error) {
    if (speed == 0) return kOk;
    if (!ready(d)) return kFailed;
    std::lock_guard lock(d->serial_mutex);
    const Packet6 packet = big_endian_packet(command, speed);
    if (send_packet(*d, packet) != static_cast<int>(packet.size())) {
        d->report.error(error);
        return kFailed;
    }
    return kOk;
}

// Sends a speed of 0, which asks for the current one; the answer is 4 bytes, big-endian.
// `write_error` is followed by the number of bytes written when `counted`.
int query_speed(morvel_evb_io_handle_t d, uint8_t command, uint32_t *speed, const char *write_error,
                bool counted) {
    if (!speed) return kOk;
    if (!ready(d)) return kFailed;
    std::lock_guard lock(d->serial_mutex);
    zio::begin_packet(*d);
    const Packet6 packet = big_endian_packet(command, 0);
    const int sent = send_packet(*d, packet);
    if (sent != static_cast<int>(packet.size())) {
        d->report.error(counted ? write_error + std::to_string(sent) : write_error);
        return kFailed;
    }
    std::array<uint8_t, 4> answer{};
    if (!receive_answer(*d, answer)) return kFailed;
    *speed = uint32_t(answer[0]) << 24 | uint32_t(answer[1]) << 16 | uint32_t(answer[2]) << 8 |
             uint32_t(answer[3]);
    return kOk;
}

int flash_write(zelp_win32_io_state_s &state, uint32_t addr, const uint8_t *data, uint16_t len) {
    std::vector<uint8_t> packet(sizeof(Packet8) + len);
    const Packet8 header = flash_header(ATMEL_DONGLE_FW_FLASH_WRITE, addr, len);
    std::copy(header.begin(), header.end(), packet.begin());
    if (len) std::copy(data, data + len, packet.begin() + sizeof(Packet8));
    if (send_packet(state, packet) != static_cast<int>(packet.size())) {
        state.report.error_out("Error sending FLASH Write cmd");
        return kFailed;
    }
    return kOk;
}

int flash_read(zelp_win32_io_state_s &state, uint32_t addr, uint8_t *data, uint16_t len) {
    zio::begin_packet(state);
    const Packet8 header = flash_header(ATMEL_DONGLE_FW_FLASH_READ, addr, len);
    if (send_packet(state, header) != static_cast<int>(header.size())) {
        state.report.error_out("Error sending FLASH Read cmd");
        return kFailed;
    }
    return receive_answer(state, {data, len}) ? kOk : kFailed;
}

int flash_start_of_file(zelp_win32_io_state_s &state, uint32_t value) {
    const Packet6 packet = big_endian_packet(ATMEL_DONGLE_FW_FLASH_START_OF_FILE, value);
    if (send_packet(state, packet) != static_cast<int>(packet.size())) {
        state.report.error_out("Error sending FLASH SOF cmd");
        return kFailed;
    }
    return kOk;
}

bool is_flash_command(int command) {
    return command == ATMEL_DONGLE_FW_FLASH_WRITE || command == ATMEL_DONGLE_FW_FLASH_READ ||
           command == ATMEL_DONGLE_FW_FLASH_START_OF_FILE;
}

} // namespace

extern "C" {

int zelp_win32_io_usb_serial_set_spi_speed(morvel_evb_io_handle_t d, int spi_speed) {
    return set_speed(d, eSPI_SPEED, static_cast<uint32_t>(spi_speed), "Error setting SPI Speed");
}

int zelp_win32_io_usb_serial_get_spi_speed(morvel_evb_io_handle_t d, uint32_t *spi_speed) {
    return query_speed(d, eSPI_SPEED, spi_speed, "Error getting SPI Speed", false);
}

int zelp_win32_io_usb_serial_set_spi_sample_reg_speed(morvel_evb_io_handle_t d,
                                                      uint32_t spi_speed) {
    return set_speed(d, eSAMPLE_SPI_SPEED, spi_speed, "Error setting SPI Speed (SPI Sample reg)");
}

int zelp_win32_io_usb_serial_get_spi_sample_reg_speed(morvel_evb_io_handle_t d,
                                                      uint32_t *spi_speed) {
    return query_speed(d, eSAMPLE_SPI_SPEED, spi_speed,
                       "Error during write to get SPI Speed (SPI Sample reg.) n=", true);
}

int zelp_win32_io_usb_serial_zelp_state(morvel_evb_io_handle_t d, uint32_t zelp_state) {
    if (!ready(d)) return kFailed;
    std::lock_guard lock(d->serial_mutex);
    const Packet6 packet = little_endian_packet(eZELP_STATE, zelp_state);
    if (send_packet(*d, packet) != static_cast<int>(packet.size())) {
        d->report.error("Error setting ZELP State");
        return kFailed;
    }
    return kOk;
}

int zelp_linux_io_usb_serial_flash_rw_command(morvel_evb_io_handle_t d, int command, uint32_t addr,
                                              uint8_t *data, uint16_t len) {
    if (!d) return kFailed;
    std::lock_guard lock(d->serial_mutex);
    // The block size is checked before the command code: any code with too big a block is refused.
    if (len > ZELP_IO_FLASH_BLOCK_MAX) {
        d->report.error_out("Error: Buffer too big");
        return kFailed;
    }
    if (!is_flash_command(command)) return kOk;
    if (!ready(d)) return kFailed;
    if (command == ATMEL_DONGLE_FW_FLASH_START_OF_FILE) return flash_start_of_file(*d, addr);
    if (len > 0 && !data) return kFailed;
    if (command == ATMEL_DONGLE_FW_FLASH_WRITE) return flash_write(*d, addr, data, len);
    return flash_read(*d, addr, data, len);
}

} // extern "C"
