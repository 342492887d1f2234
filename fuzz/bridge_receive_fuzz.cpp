// Feeds arbitrary bytes into the simulated bridge of a board, cut into arbitrary pieces. The first
// two input bytes shape the board and pick the cuts; the rest is the host's byte stream.
//
// The same stream is also fed whole into a twin board. The bridge reassembles packets byte by
// byte, so where the stream is cut must change nothing: the answers, the packets taken, the
// stray bytes and the bridge's settings must all agree. Every answer byte must also belong to a
// logged packet, in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "board.h"

namespace {

[[noreturn]] void finding() {
    std::abort();
}

zsim::BoardOptions board_options(uint8_t shape) {
    zsim::BoardOptions options;
    options.device_type = static_cast<uint8_t>(0x20 + (shape & 0x0F));
    options.flash.size = 64u << 10; // the smallest part keeps each run cheap
    options.flash.absent = (shape & 0x10) != 0;
    options.flash.stuck_busy = (shape & 0x20) != 0;
    return options;
}

void inject_faults(zsim::Bridge &bridge, uint8_t shape) {
    if (shape & 0x40) bridge.drop_answers(2);
    if (shape & 0x80) bridge.shorten_answers(3, shape & 0x07);
}

// Piece sizes from a small generator: mostly short pieces, now and then a long one, so both the
// byte-at-a-time path and whole packets in one piece are exercised.
class Cuts {
  public:
    explicit Cuts(uint8_t seed) : state_(seed * 2654435761u + 1) {}
    size_t next() {
        state_ = state_ * 1103515245u + 12345u;
        const uint32_t r = state_ >> 16;
        return (r & 7) == 0 ? 1 + (r >> 3) % 700 : 1 + (r >> 3) % 9;
    }

  private:
    uint32_t state_;
};

std::vector<uint8_t> feed_in_pieces(zsim::Board &board, std::span<const uint8_t> stream,
                                    uint8_t seed) {
    std::vector<uint8_t> answers;
    Cuts cuts(seed);
    for (size_t pos = 0; pos < stream.size();) {
        const size_t n = std::min(cuts.next(), stream.size() - pos);
        // An exact-size copy, so a read past the piece is caught.
        const std::vector<uint8_t> piece(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                                         stream.begin() + static_cast<std::ptrdiff_t>(pos + n));
        const std::vector<uint8_t> out = board.receive(piece);
        answers.insert(answers.end(), out.begin(), out.end());
        pos += n;
    }
    return answers;
}

void check_answers_come_from_packets(const zsim::Bridge &bridge,
                                     const std::vector<uint8_t> &answers) {
    if (bridge.packet_count() > bridge.packets().size()) return; // the log was cut short
    std::vector<uint8_t> logged;
    for (const zsim::BridgePacket &p : bridge.packets())
        logged.insert(logged.end(), p.answer.begin(), p.answer.end());
    if (logged != answers) finding();
}

void check_twins_agree(const zsim::Bridge &x, const zsim::Bridge &y) {
    if (x.packet_count() != y.packet_count() || x.stray_bytes() != y.stray_bytes()) finding();
    if (x.packets() != y.packets()) finding();
    if (x.spi_speed() != y.spi_speed() || x.sample_spi_speed() != y.sample_spi_speed() ||
        x.state() != y.state())
        finding();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint8_t shape = data[0];
    const uint8_t seed = data[1];
    const std::span<const uint8_t> stream(data + 2, size - 2);

    zsim::Board cut(board_options(shape));
    zsim::Board whole(board_options(shape));
    inject_faults(cut.bridge(), shape);
    inject_faults(whole.bridge(), shape);

    const std::vector<uint8_t> cut_answers = feed_in_pieces(cut, stream, seed);
    const std::vector<uint8_t> whole_answers = whole.receive(stream);

    if (cut_answers != whole_answers) finding();
    check_twins_agree(cut.bridge(), whole.bridge());
    check_answers_come_from_packets(cut.bridge(), cut_answers);
    return 0;
}
