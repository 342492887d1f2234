#include "link/bridge.h"

#include <algorithm>
#include <array>

namespace zsim {

namespace {

constexpr uint8_t kStart = 0x3A;

uint32_t big_endian(std::span<const uint8_t> b) {
    uint32_t v = 0;
    for (uint8_t x : b) v = v << 8 | x;
    return v;
}

uint32_t little_endian(std::span<const uint8_t> b) {
    uint32_t v = 0;
    for (size_t i = 0; i < b.size(); ++i) v |= uint32_t(b[i]) << (8 * i);
    return v;
}

std::vector<uint8_t> big_endian_bytes(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

} // namespace

// Header layouts: register transfers put the address least significant byte first and the count
// most significant byte first; the bridge's own commands are big-endian except the state value.
const Bridge::Command *Bridge::find_command(uint8_t code) {
    static constexpr std::array<Command, 10> kCommands = {{
        {0, 8, -1, &Bridge::mcu_read},
        {1, 8, 6, &Bridge::mcu_write},
        {2, 5, -1, &Bridge::spi_read},
        {3, 5, 3, &Bridge::spi_write},
        {9, 6, -1, &Bridge::spi_speed_command},
        {10, 6, -1, &Bridge::sample_speed_command},
        {15, 6, -1, &Bridge::state_command},
        {16, 8, 6, &Bridge::flash_write},
        {17, 8, -1, &Bridge::flash_read},
        {19, 6, -1, &Bridge::flash_start_of_file},
    }};
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [code](const Command &c) { return c.code == code; });
    return it == kCommands.end() ? nullptr : &*it;
}

Bridge::Bridge(Chip &chip, SpiFlash &flash) : chip_(chip), flash_(flash) {}

std::vector<uint8_t> Bridge::receive(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    if (silent_) return out;
    for (uint8_t b : bytes) take(b, out);
    return out;
}

size_t Bridge::expected_size(const Command &command, std::span<const uint8_t> packet) {
    if (command.length_at < 0 || packet.size() < command.header_size) return command.header_size;
    const auto at = static_cast<size_t>(command.length_at);
    return command.header_size + big_endian(packet.subspan(at, 2));
}

// The header's count, once `next` has brought it, tells how many data bytes follow. A half packet
// of one byte is the start byte alone: the command byte ends it, as stray bytes when the bridge
// does not know the command.
size_t Bridge::bytes_to_finish(std::span<const uint8_t> next) const {
    if (pending_.empty()) return 0;
    std::vector<uint8_t> packet = pending_;
    packet.insert(packet.end(), next.begin(), next.end());
    const Command *command = packet.size() < 2 ? nullptr : find_command(packet[1]);
    if (!command) return 1;
    return expected_size(*command, packet) - pending_.size();
}

void Bridge::take(uint8_t byte, std::vector<uint8_t> &out) {
    if (pending_.empty() && byte != kStart) {
        ++stray_bytes_; // the bridge waits for the next start byte
        return;
    }
    pending_.push_back(byte);
    if (pending_.size() < 2) return;
    const Command *command = find_command(pending_[1]);
    if (!command) {
        stray_bytes_ += pending_.size();
        pending_.clear();
        return;
    }
    if (pending_.size() == expected_size(*command, pending_)) run(*command, out);
}

void Bridge::run(const Command &command, std::vector<uint8_t> &out) {
    BridgePacket p;
    p.command = command.code;
    const std::span<const uint8_t> header(pending_.data(), command.header_size);
    p.data.assign(pending_.begin() + command.header_size, pending_.end());
    (this->*command.handler)(header, p);
    pending_.clear();
    if (!p.answer.empty()) p.answer = apply_faults(std::move(p.answer));
    out.insert(out.end(), p.answer.begin(), p.answer.end());
    ++packet_count_;
    if (packets_.size() < kPacketLogLimit) packets_.push_back(std::move(p));
}

std::vector<uint8_t> Bridge::apply_faults(std::vector<uint8_t> answer) {
    ++answer_count_;
    if (answer_count_ == drop_answer_at_) return {};
    if (answer_count_ == shorten_answer_at_) answer.pop_back();
    if (drop_answers_ > 0) {
        --drop_answers_;
        return {};
    }
    if (shorten_answers_ > 0) {
        --shorten_answers_;
        answer.resize(answer.size() - std::min(missing_bytes_, answer.size()));
    }
    return answer;
}

void Bridge::mcu_read(std::span<const uint8_t> h, BridgePacket &p) {
    p.address = little_endian(h.subspan(2, 4));
    p.value = big_endian(h.subspan(6, 2));
    p.answer.assign(p.value, 0);
    chip_.mcu_read_block(p.address, p.answer);
}

void Bridge::mcu_write(std::span<const uint8_t> h, BridgePacket &p) {
    p.address = little_endian(h.subspan(2, 4));
    p.value = big_endian(h.subspan(6, 2));
    chip_.mcu_write_block(p.address, p.data);
}

void Bridge::spi_read(std::span<const uint8_t> h, BridgePacket &p) {
    p.address = h[2];
    p.value = big_endian(h.subspan(3, 2));
    p.answer.assign(p.value, 0);
    chip_.spi_read_block(static_cast<uint8_t>(p.address), p.answer);
}

void Bridge::spi_write(std::span<const uint8_t> h, BridgePacket &p) {
    p.address = h[2];
    p.value = big_endian(h.subspan(3, 2));
    chip_.spi_write_block(static_cast<uint8_t>(p.address), p.data);
}

// A clock of 0 asks for the current one.
void Bridge::speed_command(std::span<const uint8_t> h, BridgePacket &p, uint32_t &speed) {
    p.value = big_endian(h.subspan(2, 4));
    if (p.value)
        speed = p.value;
    else
        p.answer = big_endian_bytes(speed);
}

void Bridge::spi_speed_command(std::span<const uint8_t> h, BridgePacket &p) {
    speed_command(h, p, spi_speed_);
}

void Bridge::sample_speed_command(std::span<const uint8_t> h, BridgePacket &p) {
    speed_command(h, p, sample_spi_speed_);
}

void Bridge::state_command(std::span<const uint8_t> h, BridgePacket &p) {
    p.value = little_endian(h.subspan(2, 4));
    state_ = p.value;
}

void Bridge::flash_write(std::span<const uint8_t> h, BridgePacket &p) {
    p.address = big_endian(h.subspan(2, 4));
    p.value = big_endian(h.subspan(6, 2));
    flash_.bridge_write(p.address, p.data);
}

void Bridge::flash_read(std::span<const uint8_t> h, BridgePacket &p) {
    p.address = big_endian(h.subspan(2, 4));
    p.value = big_endian(h.subspan(6, 2));
    p.answer.assign(p.value, 0);
    flash_.bridge_read(p.address, p.answer);
}

void Bridge::flash_start_of_file(std::span<const uint8_t> h, BridgePacket &p) {
    p.value = big_endian(h.subspan(2, 4));
    flash_.bridge_start_of_file(p.value);
}

} // namespace zsim
