// Register and memory access of the zelp7x driver: the only code that calls the host's transfer
// callback. Long transfers are cut into pieces the chip and transport accept; MCU reads take the
// slow SPI window while the chip has no input clock; on a secured chip, memory outside the open
// windows is reached through the firmware's secure memory access block.
#include <algorithm>
#include <array>
#include <cstring>

#include "morvel-firmware/zelp7x_smap.h"
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace zelp7x {
namespace {

// The transport moves at most this many bytes per call, and never across a multiple of it.
constexpr uint32_t PIECE = 2048;

constexpr uint64_t ADDRESS_SPACE = uint64_t{1} << 32;

unsigned int unit_size(int mcu) {
    return mcu ? 4u : 1u;
}

unsigned int direct_piece(uint32_t address, unsigned int count) {
    return std::min(count, PIECE - address % PIECE);
}

// indata is a port, not memory: a long write streams through that one address.
bool address_stays(int mcu, uint32_t address) {
    return !mcu && address == ZELP7X_SPI_INDATA;
}

// A range that runs past the top of the 32-bit space would wrap to address 0 on the bus.
bool range_wraps(int mcu, uint32_t address, unsigned int count) {
    return !address_stays(mcu, address) && uint64_t{address} + count > ADDRESS_SPACE;
}

// The slow path reads whole words; a count that is not a multiple of 4 gets its last bytes from
// one more word, copied only as far as the caller's buffer reaches.
int slow_read_piece(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *value,
                    unsigned int count) {
    while (count > 0) {
        uint32_t word = 0;
        const int s = morvel_zelp7x_slow_read(zelp, address, &word);
        if (s != 0) return s;
        std::array<uint8_t, 4> bytes{};
        store_le32(bytes.data(), word);
        const unsigned int n = std::min(count, 4u);
        std::memcpy(value, bytes.data(), n);
        address += 4;
        value += n;
        count -= n;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int read_open_piece(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint8_t *value,
                    unsigned int piece) {
    if (mcu && record(zelp).input_clock_rate == 0)
        return slow_read_piece(zelp, address, value, piece);
    return bus_transfer(zelp, mcu, address, nullptr, value, piece);
}

// Walks a request piece by piece: `piece_of` sizes the next piece, `move` moves it. The address
// stays put for a port that streams; the first failure ends the walk with its code.
template <typename PieceOf, typename Move>
int for_each_piece(uint32_t address, uint8_t *bytes, unsigned int count, bool fixed_address,
                   PieceOf piece_of, Move move) {
    while (count > 0) {
        const unsigned int piece = piece_of(address, count);
        if (const int s = move(address, bytes, piece); s != 0) return s;
        if (!fixed_address) address += piece;
        bytes += piece;
        count -= piece;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int write_direct(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint8_t *bytes,
                 unsigned int count) {
    return for_each_piece(address, bytes, count, address_stays(mcu, address), direct_piece,
                          [zelp, mcu](uint32_t a, uint8_t *b, unsigned int n) {
                              return bus_transfer(zelp, mcu, a, b, nullptr, n);
                          });
}

int read_direct(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint8_t *bytes,
                unsigned int count) {
    return for_each_piece(address, bytes, count, false, direct_piece,
                          [zelp, mcu](uint32_t a, uint8_t *b, unsigned int n) {
                              return read_open_piece(zelp, mcu, a, b, n);
                          });
}

unsigned int secured_piece(uint32_t, unsigned int count) {
    return std::min(count, ZELP7X_FW_SMAP_DATA_SIZE);
}

int transfer_secured(morvel_zelp_device_s *zelp, int read, uint32_t address, uint8_t *bytes,
                     unsigned int count) {
    return for_each_piece(address, bytes, count, false, secured_piece,
                          [zelp, read](uint32_t a, uint8_t *b, unsigned int n) {
                              return morvel_zelp7x_secured_mcu_transfer(zelp, read, a, b, n);
                          });
}

int map_smap_status(int op, uint32_t control) {
    const uint32_t status =
        (control & ZELP7X_FW_SMAP_CONTROL_STATUS_M) >> ZELP7X_FW_SMAP_CONTROL_STATUS_S;
    // Indexed by the STATUS field; LOAD answers SIZE for a package it cannot take.
    constexpr std::array<int, 8> by_status = {
        MORVEL_ZELP_ERROR_NONE,    // SUCCESS
        MORVEL_ZELP_ERROR_FAIL,    // UNSUP
        MORVEL_ZELP_ERROR_FAIL,    // ACCESS
        MORVEL_ZELP_ERROR_FAIL,    // SIZE (not LOAD)
        MORVEL_ZELP_ERROR_PACKAGE, // AES
        MORVEL_ZELP_ERROR_MORE,    // MORE
        MORVEL_ZELP_ERROR_FAIL,    // FAIL
        MORVEL_ZELP_ERROR_FAIL,    // 7
    };
    if (status == ZELP7X_FW_SMAP_STATUS_SIZE && op == ZELP7X_FW_SMAP_OP_LOAD)
        return MORVEL_ZELP_ERROR_PACKAGE;
    return by_status[status];
}

} // namespace

int read_spi(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *value) {
    return morvel_zelp7x_read_block(zelp, SPI, address, value, 1);
}

int write_spi(morvel_zelp_device_s *zelp, uint32_t address, uint8_t value) {
    return morvel_zelp7x_write_block(zelp, SPI, address, &value, 1);
}

int read_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t *value) {
    std::array<uint8_t, 4> bytes{};
    const int s = morvel_zelp7x_read_block(zelp, MCU, address, bytes.data(), 4);
    if (s == 0) *value = load_le32(bytes.data());
    return s;
}

int write_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t value) {
    std::array<uint8_t, 4> bytes{};
    store_le32(bytes.data(), value);
    return morvel_zelp7x_write_block(zelp, MCU, address, bytes.data(), 4);
}

int generic_read_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t *value) {
    std::array<uint8_t, 4> bytes{};
    const int s = morvel_zelp_read(zelp, MCU, address, bytes.data());
    if (s == 0) *value = load_le32(bytes.data());
    return s;
}

int generic_write_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t value) {
    return morvel_zelp_write(zelp, MCU, address, value);
}

} // namespace zelp7x

using namespace zelp7x;

extern "C" {

int morvel_zelp7x_op_size(morvel_zelp_device_s *, int mcu, unsigned int *size) {
    if (size == nullptr) return MORVEL_ZELP_ERROR_ARG;
    *size = unit_size(mcu);
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                              unsigned int count) {
    if (count == 0) return MORVEL_ZELP_ERROR_NONE;
    if (value == nullptr || range_wraps(mcu, address, count)) return MORVEL_ZELP_ERROR_ARG;
    auto *bytes = static_cast<uint8_t *>(value);
    if (!mcu || morvel_zelp7x_check_open_mcu(zelp, address, count))
        return write_direct(zelp, mcu, address, bytes, count);
    return transfer_secured(zelp, 0, address, bytes, count);
}

int morvel_zelp7x_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                             unsigned int count) {
    if (count == 0) return MORVEL_ZELP_ERROR_NONE;
    // A read always advances, so the wrap check applies to indata as well.
    if (value == nullptr || uint64_t{address} + count > ADDRESS_SPACE) return MORVEL_ZELP_ERROR_ARG;
    auto *bytes = static_cast<uint8_t *>(value);
    if (!mcu || morvel_zelp7x_check_open_mcu(zelp, address, count))
        return read_direct(zelp, mcu, address, bytes, count);
    return transfer_secured(zelp, 1, address, bytes, count);
}

int morvel_zelp7x_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value) {
    return morvel_zelp7x_read_block(zelp, mcu, address, value, unit_size(mcu));
}

int morvel_zelp7x_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value) {
    std::array<uint8_t, 4> bytes{};
    store_le32(bytes.data(), value);
    return morvel_zelp7x_write_block(zelp, mcu, address, bytes.data(), unit_size(mcu));
}

int morvel_zelp7x_slow_read(morvel_zelp_device_s *zelp, uint32_t addr, uint32_t *vp) {
    if (vp == nullptr) return MORVEL_ZELP_ERROR_ARG;
    std::array<uint8_t, 4> maddr{};
    store_le32(maddr.data(), addr);
    int s = bus_transfer(zelp, SPI, ZELP7X_SPI_MADDR, maddr.data(), nullptr, 4);
    if (s != 0) return s;
    // maddr and mdata in one read; the word is the second half.
    std::array<uint8_t, 8> window{};
    s = bus_transfer(zelp, SPI, ZELP7X_SPI_MADDR, nullptr, window.data(), 8);
    if (s != 0) return s;
    *vp = load_le32(window.data() + (ZELP7X_SPI_MDATA - ZELP7X_SPI_MADDR));
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_check_open_mcu(morvel_zelp_device_s *zelp, uint32_t address, unsigned int count) {
    const morvel_zelp7x_device_s &z = record(zelp);
    if (!z.secured) return 1;
    // 64-bit end: a range running past 4 GiB must not wrap into a window.
    const uint64_t end = uint64_t{address} + count;
    for (int i = 0; i < 2; ++i)
        if (z.addrprotlo[i] <= address && end <= z.addrprothi[i]) return 1;
    return 0;
}

int morvel_zelp7x_run_smap_op(morvel_zelp_device_s *zelp, int op, uint32_t address,
                              unsigned int count) {
    if (!record(zelp).fw_loaded) return MORVEL_ZELP_ERROR_UNINIT;
    if (count > ZELP7X_FW_SMAP_DATA_SIZE) return MORVEL_ZELP_ERROR_ARG;
    const uint32_t control = (uint32_t{count} << ZELP7X_FW_SMAP_CONTROL_LEN_S) |
                             (uint32_t(op) << ZELP7X_FW_SMAP_CONTROL_OP_S) |
                             ZELP7X_FW_SMAP_CONTROL_RUN_M;
    std::array<uint8_t, ZELP7X_FW_SMAP_CONTROL_SIZE> head{};
    store_le32(head.data(), control);
    store_le32(head.data() + 4, address);
    // The block lives in open RAM; its words go straight to the bus, so the secured path can
    // never recurse into itself, whatever windows the chip reported.
    int s = write_direct(zelp, MCU, ZELP7X_FW_SMAP_BASE, head.data(), head.size());
    if (s != 0) return s;
    s = morvel_zelp7x_do_mailbox_req_no_sync(zelp, MORVEL_ZELP7X_MB_REQUEST_NOP);
    if (s != 0) return s;
    std::array<uint8_t, 4> control_now{};
    s = read_direct(zelp, MCU, ZELP7X_FW_SMAP_BASE, control_now.data(), control_now.size());
    if (s != 0) return s;
    const uint32_t done = load_le32(control_now.data());
    if (done & ZELP7X_FW_SMAP_CONTROL_RUN_M) return MORVEL_ZELP_ERROR_FAIL;
    return map_smap_status(op, done);
}

int morvel_zelp7x_secured_mcu_transfer(morvel_zelp_device_s *zelp, int read, uint32_t address,
                                       void *value, unsigned int count) {
    // Without firmware nothing would carry the request out; fail before the write copy
    // clobbers open RAM, which the boot loader may be using.
    if (!record(zelp).fw_loaded) return MORVEL_ZELP_ERROR_UNINIT;
    if (count > ZELP7X_FW_SMAP_DATA_SIZE) return MORVEL_ZELP_ERROR_ARG;
    if (count > 0 && value == nullptr) return MORVEL_ZELP_ERROR_ARG;
    auto *bytes = static_cast<uint8_t *>(value);
    constexpr uint32_t data_address = ZELP7X_FW_SMAP_BASE + ZELP7X_FW_SMAP_CONTROL_SIZE;
    if (read) {
        const int s = morvel_zelp7x_run_smap_op(zelp, ZELP7X_FW_SMAP_OP_READ, address, count);
        if (s != 0) return s;
        return read_direct(zelp, MCU, data_address, bytes, count);
    }
    const int s = write_direct(zelp, MCU, data_address, bytes, count);
    if (s != 0) return s;
    return morvel_zelp7x_run_smap_op(zelp, ZELP7X_FW_SMAP_OP_WRITE, address, count);
}

int morvel_zelp7x_mbwait(morvel_zelp_device_s *zelp) {
    const int s = zelp->iif.mbwait(zelp->iif.d);
    if (s != 0) return s;
    return record(zelp).mb[ZELP7X_H2M].error;
}

} // extern "C"
