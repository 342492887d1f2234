#include "firmware/match_source.h"

#include <algorithm>

namespace zsim {

namespace {
constexpr uint32_t state = Firmware::state_address;
constexpr unsigned dnn_outputs_shift = 22;
constexpr uint32_t dnn_outputs_mask = 0x7F;
constexpr uint32_t network_winner_bytes = 8;
constexpr uint32_t network_strength_bytes = 64;

// `bytes` bytes at `address`, all 0 but byte `at`, which holds `value`.
void write_one_hot(Chip &chip, uint32_t address, uint32_t bytes, uint32_t at, uint8_t value) {
    for (uint32_t i = 0; i < bytes; i += 4) {
        const bool here = at >= i && at < i + 4;
        chip.mcu_write(address + i, here ? uint32_t{value} << 8 * (at - i) : 0);
    }
}

// One winning class: its bit alone among the winner bits, the confidence as its strength byte.
void write_results(Chip &chip, uint32_t cls, uint32_t winners, uint32_t winner_bytes,
                   uint32_t strengths, uint32_t strength_bytes) {
    write_one_hot(chip, winners, winner_bytes, cls / 8, static_cast<uint8_t>(1u << cls % 8));
    write_one_hot(chip, strengths, strength_bytes, cls, MatchSource::confidence);
}
} // namespace

void MatchSource::restart(Duration at) {
    origin_ = at;
    made_ = 0;
    next_class_ = 0;
    producer_ = 0;
}

uint64_t MatchSource::due_by(Duration t) const {
    if (period_.count() <= 0 || t <= origin_) return 0;
    const auto total = static_cast<uint64_t>((t - origin_) / period_);
    return total > made_ ? total - made_ : 0;
}

SimClock::Duration MatchSource::next_time() const {
    return origin_ + period_ * static_cast<int64_t>(made_ + 1);
}

void MatchSource::make(uint32_t tank_position) {
    ++made_;
    const uint32_t classes = class_count();
    if (classes == 0) return;
    const uint32_t cls = take_class(classes);
    set_network_results(cls);
    if (firmware_.running()) report(cls, tank_position);
}

void MatchSource::pass_over(uint64_t count) {
    made_ += count;
    const uint32_t classes = class_count();
    if (classes == 0 || count == 0) return;
    if (next_class_ >= classes) next_class_ = 0;
    next_class_ = static_cast<uint32_t>((next_class_ + count) % classes);
    if (!firmware_.running()) return;
    producer_ = static_cast<uint32_t>((producer_ + count) % Firmware::match_ring_entries);
    write_producer();
    post_reports(count);
}

uint32_t MatchSource::class_count() const {
    if (firmware_.running())
        return std::min(chip_.mcu_read(Firmware::posterior_parameters_address),
                        Firmware::result_classes);
    const uint32_t outputs =
        chip_.mcu_read(dnnctl7_address) >> dnn_outputs_shift & dnn_outputs_mask;
    return std::min(outputs, network_classes);
}

uint32_t MatchSource::take_class(uint32_t classes) {
    const uint32_t cls = next_class_ < classes ? next_class_ : 0;
    next_class_ = cls + 1 == classes ? 0 : cls + 1;
    return cls;
}

void MatchSource::set_network_results(uint32_t cls) {
    chip_.chip_post(Chip::MATCH, static_cast<uint8_t>(cls));
    write_results(chip_, cls, winners_address, network_winner_bytes, strengths_address,
                  network_strength_bytes);
}

void MatchSource::report(uint32_t cls, uint32_t tank_position) {
    const uint32_t entry =
        state + Firmware::match_ring_offset + Firmware::match_entry_size * producer_;
    chip_.mcu_write(entry, cls | snr << 8 | confidence << 16);
    chip_.mcu_write(entry + 4, tank_position);
    producer_ = (producer_ + 1) % Firmware::match_ring_entries;
    write_producer();
    write_results(chip_, cls, state + Firmware::winners_offset, Firmware::winner_bytes,
                  state + Firmware::raw_strengths_offset, Firmware::result_classes);
    write_one_hot(chip_, state + Firmware::softmax_strengths_offset, 4 * Firmware::result_classes,
                  4 * cls, confidence);
    post_reports(1);
}

// The first report goes out if the host has answered the last one; the others are skipped.
void MatchSource::post_reports(uint64_t count) {
    const uint64_t skipped =
        count - (firmware_.mailbox().post_request(FirmwareMailbox::MATCH) ? 1 : 0);
    if (skipped == 0) return;
    const uint32_t at = state + Firmware::match_skipped_offset;
    chip_.mcu_write(at, chip_.mcu_read(at) + static_cast<uint32_t>(skipped));
}

void MatchSource::write_producer() {
    chip_.mcu_write(state + Firmware::match_producer_offset, producer_);
}

} // namespace zsim
