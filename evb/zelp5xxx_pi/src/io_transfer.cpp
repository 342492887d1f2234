// Register transfers: one packet per chip access, header then data.
#include <array>
#include <mutex>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace {

// The header carries the count in 16 bits.
constexpr int kMaxTransferCount = 0xFFFF;

struct Header {
    std::array<uint8_t, 8> bytes{};
    size_t size = 0;
    std::span<const uint8_t> view() const { return {bytes.data(), size}; }
};

uint8_t byte_of(uint32_t value, int index) {
    return static_cast<uint8_t>(value >> (8 * index));
}

// MCU space: address least significant byte first, count most significant byte first.
Header mcu_header(bool write, uint32_t addr, int count) {
    const auto n = static_cast<uint32_t>(count);
    return {{ZELP_IO_PACKET_START, static_cast<uint8_t>(write ? eMCU_WRITE : eMCU_READ),
             byte_of(addr, 0), byte_of(addr, 1), byte_of(addr, 2), byte_of(addr, 3), byte_of(n, 1),
             byte_of(n, 0)},
            8};
}

Header spi_header(bool write, uint32_t addr, int count) {
    const auto n = static_cast<uint32_t>(count);
    return {{ZELP_IO_PACKET_START, static_cast<uint8_t>(write ? eSPI_WRITE : eSPI_READ),
             byte_of(addr, 0), byte_of(n, 1), byte_of(n, 0)},
            5};
}

bool header_fits(int mcu, uint32_t addr, int count) {
    return mcu ? count % 4 == 0 : addr <= 0xFF;
}

void trace_request(const zio::Reporter &report, int mcu, uint32_t addr, void *outp, void *inp,
                   int count) {
    if (!zelp_linux_io_transfer_debug) return;
    report.trace(zio::format("transfer mcu %d, count %d, addr 0x%08x, out %p, in %p", mcu, count,
                             addr, outp, inp));
    if (!outp) return;
    report.trace("    out:");
    if (zelp_linux_io_transfer_debug >= 2) dump_bytes(report, outp, count);
}

} // namespace

extern "C" int zelp_linux_io_transfer(morvel_evb_io_handle_t d, int mcu, uint32_t addr, void *outp,
                                      void *inp, int count) {
    if (outp && inp) return MORVEL_ZELP_ERROR_ARG;
    if (!d || !d->spifd) return MORVEL_ZELP_ERROR_UNINIT;
    // Counts the header cannot carry, and a read with nowhere to put the answer.
    if (count < 0 || count > kMaxTransferCount || (count > 0 && !outp && !inp))
        return MORVEL_ZELP_ERROR_ARG;
    const bool write = outp != nullptr;
    trace_request(d->report, mcu, addr, outp, inp, count);

    std::lock_guard lock(d->serial_mutex);
    // Stale bytes, e.g. the late end of an answer that timed out, must not pass for this answer.
    zio::begin_packet(*d);
    if (!header_fits(mcu, addr, count)) return MORVEL_ZELP_ERROR_ARG;
    const Header header = mcu ? mcu_header(write, addr, count) : spi_header(write, addr, count);
    const int sent = serial_write(*d, header.view());
    if (sent != static_cast<int>(header.size)) {
        d->report.error(zio::format("Problem sending MCU %s cmd n=%d", write ? "out" : "in", sent));
        return MORVEL_ZELP_ERROR_FAIL;
    }

    const auto n = static_cast<size_t>(count);
    if (!write)
        return zio::take_answer(*d, {static_cast<uint8_t *>(inp), n},
                                zio::AnswerKind::register_read);
    if (zio::send_data(*d, {static_cast<const uint8_t *>(outp), n}).failed()) {
        d->report.error(zio::kTransferError, false);
        return MORVEL_ZELP_ERROR_FAIL;
    }
    return MORVEL_ZELP_ERROR_NONE;
}
