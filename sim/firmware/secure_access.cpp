#include "firmware/secure_access.h"

namespace zsim {

namespace {
constexpr uint32_t RUN = 0x1;
constexpr uint32_t OP_MASK = 0x6;
constexpr uint32_t STATUS_MASK = 0x38;
constexpr uint32_t LEN_MASK = 0x3FF0000;
constexpr uint32_t HEADER_SIZE = 8;

uint32_t word_at(const std::vector<uint8_t> &b, size_t i) {
    return uint32_t(b[i]) | uint32_t(b[i + 1]) << 8 | uint32_t(b[i + 2]) << 16 |
           uint32_t(b[i + 3]) << 24;
}
} // namespace

void SecureAccess::service() {
    const uint32_t control = chip_.mcu_read(block_address);
    if ((control & RUN) == 0) return;
    const Status status = run((control & OP_MASK) >> 1, chip_.mcu_read(block_address + 4),
                              (control & LEN_MASK) >> 16);
    chip_.mcu_write(block_address, (control & ~(RUN | STATUS_MASK)) | status << 3);
}

void SecureAccess::reset() {
    load_open_ = header_read_ = false;
    expected_ = 0;
    loaded_.clear();
    load_lengths_.clear();
}

SecureAccess::Status SecureAccess::run(uint32_t op, uint32_t address, uint32_t len) {
    if (op == load) return take_load(len);
    if (len > data_size) return size;
    // Modelled: no address is refused (ACCESS); nothing says which ones the firmware guards.
    if (op == read) return copy(address, data_address, len);
    if (op == write) return copy(data_address, address, len);
    return unsup;
}

// Whole words: the block's users move multiples of 4.
SecureAccess::Status SecureAccess::copy(uint32_t from, uint32_t to, uint32_t len) {
    for (uint32_t i = 0; i < len; i += 4) chip_.mcu_write(to + i, chip_.mcu_read(from + i));
    return success;
}

SecureAccess::Status SecureAccess::take_load(uint32_t len) {
    load_lengths_.push_back(len);
    if (len == 0) { // opens a load, forgetting any unfinished one
        load_open_ = true;
        header_read_ = false;
        loaded_.clear();
        return more;
    }
    if (!load_open_) return fail;
    if (len > data_size) {
        load_open_ = false;
        return size;
    }
    std::vector<uint8_t> block((len + 3) / 4 * 4);
    chip_.mcu_read_block(data_address, block);
    block.resize(len);
    const Status status = header_read_ ? success : take_header(block);
    if (status != success || loaded_.size() + block.size() > expected_) {
        load_open_ = false;
        return status != success ? status : size;
    }
    loaded_.insert(loaded_.end(), block.begin(), block.end());
    if (loaded_.size() < expected_) return more;
    load_open_ = false;
    return success;
}

// Takes the header off the first block.
SecureAccess::Status SecureAccess::take_header(std::vector<uint8_t> &block) {
    if (block.size() < HEADER_SIZE) return size;
    if (word_at(block, 0) != enciphered_parameters_tag) return unsup;
    expected_ = word_at(block, 4);
    if (expected_ > max_parameters) return size;
    header_read_ = true;
    block.erase(block.begin(), block.begin() + HEADER_SIZE);
    return success;
}

} // namespace zsim
