// SPI NOR flash model: the JEDEC command subset the tool and the bridge firmware use, a status
// register with busy and write-enable bits, and injectable faults.
#include "devices/spi_flash.h"

#include "devices/flash_image.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace zsim {

namespace {

constexpr uint8_t status_busy = 0x01;
constexpr uint8_t status_wel = 0x02;
constexpr uint32_t sector_size = 4096;
constexpr uint32_t block_size = 65536;
constexpr size_t page_size = 256;

using std::chrono::microseconds;
using std::chrono::milliseconds;

} // namespace

struct SpiFlash::Command {
    uint8_t opcode;
    Kind kind;
    bool has_address; // three address bytes, most significant first, follow the opcode
    Op op;            // the busy operation it starts (program and erase kinds only)
    size_t span;      // bytes an erase clears; 0 for the whole chip
};

namespace {

// How long each modifying operation keeps the busy bit set, in status polls and, for the
// real-time mode, the typical figure of a 4 MiB W25Q-class part.
struct BusyTime {
    unsigned FlashConfig::*polls;
    microseconds typical;
};

constexpr std::array<BusyTime, 4> busy_times = {{
    {&FlashConfig::page_program_polls, microseconds(400)},
    {&FlashConfig::sector_erase_polls, milliseconds(45)},
    {&FlashConfig::block_erase_polls, milliseconds(150)},
    {&FlashConfig::chip_erase_polls, milliseconds(10000)},
}};

} // namespace

const SpiFlash::Command *SpiFlash::find_command(uint8_t opcode) {
    static constexpr std::array<Command, 9> commands = {{
        {0x9F, Kind::read_id, false, Op::program, 0},
        {0x05, Kind::read_status, false, Op::program, 0},
        {0x03, Kind::read, true, Op::program, 0},
        {0x02, Kind::program, true, Op::program, 0},
        {0x06, Kind::write_enable, false, Op::program, 0},
        {0x04, Kind::write_disable, false, Op::program, 0},
        {0x20, Kind::erase, true, Op::sector_erase, sector_size},
        {0xD8, Kind::erase, true, Op::block_erase, block_size},
        {0x60, Kind::erase, false, Op::chip_erase, 0},
    }};
    for (const Command &c : commands)
        if (c.opcode == opcode) return &c;
    return nullptr;
}

SpiFlash::SpiFlash(FlashConfig config) : config_(std::move(config)) {
    // Erase and page arithmetic assume a power-of-two part of at least one 64 KiB block.
    config_.size = std::bit_ceil(std::max<size_t>(config_.size, block_size));
    if (!config_.image_path.empty()) {
        image_ = open_flash_image(config_.image_path, config_.size, image_error_);
        if (!image_)
            std::fprintf(stderr, "flash image %s; the flash is kept in memory only\n",
                         image_error_.c_str());
    }
    if (image_) {
        cells_ = image_->bytes();
    } else {
        ram_.assign(config_.size, 0xFF);
        cells_ = ram_;
    }
}

SpiFlash::~SpiFlash() = default;

void SpiFlash::save() const {
    if (image_) image_->sync();
}

bool SpiFlash::busy() const {
    if (stuck_) return true;
    if (config_.real_time) return std::chrono::steady_clock::now() < busy_until_;
    return busy_polls_left_ > 0;
}

void SpiFlash::start_busy(Op op) {
    const BusyTime &t = busy_times[static_cast<size_t>(op)];
    busy_polls_left_ = config_.*t.polls;
    busy_until_ = std::chrono::steady_clock::now() + t.typical;
    stuck_ = config_.stuck_busy;
}

// The bridge firmware waits for a running operation before it starts its own.
void SpiFlash::settle() {
    busy_polls_left_ = 0;
    if (config_.real_time) std::this_thread::sleep_until(busy_until_);
}

void SpiFlash::host_left() {
    if (!config_.real_time) busy_polls_left_ = 0;
}

uint8_t SpiFlash::status_byte() {
    const bool b = busy();
    if (!config_.real_time && busy_polls_left_ > 0) --busy_polls_left_;
    return static_cast<uint8_t>((b ? status_busy : 0) | (wel_ ? status_wel : 0));
}

uint8_t SpiFlash::read_cell(uint32_t address) const {
    const size_t a = address % cells_.size();
    uint8_t v = cells_[a];
    if (config_.flip_bit_at >= 0 && static_cast<size_t>(config_.flip_bit_at) == a) v ^= 0x01;
    return v;
}

void SpiFlash::select() {
    selected_ = true;
    has_opcode_ = false;
}

uint8_t SpiFlash::exchange(uint8_t mosi) {
    if (!selected_ || config_.absent) return 0x00;
    if (config_.all_ones) return 0xFF;
    if (!has_opcode_) {
        has_opcode_ = true;
        ++stats_.commands;
        tx_ = Transaction{};
        tx_.page.fill(0xFF);
        tx_.command = find_command(mosi);
        // A busy flash answers nothing but its status.
        if (tx_.command != nullptr && tx_.command->kind != Kind::read_status && busy())
            tx_.command = nullptr, ++stats_.ignored;
        return 0xFF;
    }
    if (tx_.command == nullptr) return 0xFF;
    if (tx_.command->has_address && tx_.address_bytes < 3) {
        tx_.address = tx_.address << 8 | mosi;
        ++tx_.address_bytes;
        return 0xFF;
    }
    return respond(mosi);
}

uint8_t SpiFlash::respond(uint8_t mosi) {
    const unsigned k = tx_.data_bytes++;
    switch (tx_.command->kind) {
    case Kind::read_id:
        return config_.jedec_id[k % config_.jedec_id.size()];
    case Kind::read_status:
        ++stats_.status_polls;
        return status_byte();
    case Kind::read:
        return read_cell(tx_.address + k);
    case Kind::program:
        // The page buffer wraps: past 256 bytes the latest ones win.
        tx_.page[(tx_.address + k) % page_size] = mosi;
        return 0xFF;
    default:
        return 0xFF;
    }
}

void SpiFlash::deselect() {
    if (selected_ && has_opcode_ && !config_.absent && !config_.all_ones) finish_transaction();
    selected_ = false;
    has_opcode_ = false;
}

void SpiFlash::finish_transaction() {
    const Command *c = tx_.command;
    if (c == nullptr) return;
    if (c->has_address && tx_.address_bytes < 3) {
        ++stats_.ignored;
        return;
    }
    switch (c->kind) {
    case Kind::write_enable:
        wel_ = true;
        return;
    case Kind::write_disable:
        wel_ = false;
        return;
    case Kind::program:
        if (!wel_ || tx_.data_bytes == 0) break;
        program_page();
        ++stats_.page_programs;
        wel_ = false;
        start_busy(c->op);
        return;
    case Kind::erase:
        if (!wel_) break;
        erase(tx_.address, c->span == 0 ? cells_.size() : c->span);
        if (c->op == Op::chip_erase) ++stats_.chip_erases;
        if (c->op == Op::block_erase) ++stats_.block_erases;
        if (c->op == Op::sector_erase) ++stats_.sector_erases;
        wel_ = false;
        start_busy(c->op);
        return;
    default:
        return;
    }
    ++stats_.ignored;
}

void SpiFlash::program_page() {
    const size_t base = (tx_.address % cells_.size()) & ~(page_size - 1);
    for (size_t i = 0; i < page_size; ++i) cells_[base + i] &= tx_.page[i];
}

void SpiFlash::erase(uint32_t address, size_t span) {
    span = std::min(span, cells_.size());
    const size_t base = (address % cells_.size()) & ~(span - 1);
    if (span < cells_.size()) stats_.erase_log.push_back(static_cast<uint32_t>(base));
    std::fill_n(cells_.begin() + static_cast<std::ptrdiff_t>(base), span, uint8_t{0xFF});
}

void SpiFlash::bridge_start_of_file(uint32_t) {
    sof_erased_.assign(cells_.size() / sector_size, false);
}

void SpiFlash::bridge_read(uint32_t address, std::span<uint8_t> out) {
    if (config_.absent || config_.all_ones) {
        std::fill(out.begin(), out.end(), config_.absent ? uint8_t{0} : uint8_t{0xFF});
        return;
    }
    settle();
    for (size_t i = 0; i < out.size(); ++i) out[i] = read_cell(static_cast<uint32_t>(address + i));
}

void SpiFlash::bridge_write(uint32_t address, std::span<const uint8_t> data) {
    // The bridge waits for a flash that never gets ready in vain, and the data is lost.
    if (config_.absent || config_.all_ones || config_.stuck_busy) return;
    settle();
    for (size_t i = 0; i < data.size(); ++i) {
        const size_t a = (address + i) % cells_.size();
        const size_t sector = a / sector_size;
        if (sector < sof_erased_.size() && !sof_erased_[sector]) {
            erase(static_cast<uint32_t>(sector * sector_size), sector_size);
            ++stats_.sector_erases;
            sof_erased_[sector] = true;
        }
        cells_[a] &= data[i];
    }
}

} // namespace zsim
