// Telnet framing: the IAC byte doubled in data both ways, commands taken out of the stream, and
// option negotiation by table.
#include "telnet_codec.h"

#include <algorithm>
#include <cstring>

namespace zio::telnet {

namespace {

// A subnegotiation longer than this (a server's signature text, say) is cut; the ones that matter
// here are a few bytes.
constexpr size_t kMaxSubnegotiation = 256;

} // namespace

void escape(std::span<const uint8_t> data, std::vector<uint8_t> &wire) {
    wire.reserve(wire.size() + data.size() + data.size() / 16 + 2);
    auto at = data.begin();
    while (at != data.end()) {
        const auto iac = std::find(at, data.end(), kIac);
        wire.insert(wire.end(), at, iac);
        if (iac == data.end()) break;
        wire.insert(wire.end(), {kIac, kIac});
        at = iac + 1;
    }
}

EscapedPrefix escaped_prefix(std::span<const uint8_t> data, size_t sent) {
    EscapedPrefix prefix;
    size_t at = 0;
    for (const uint8_t b : data) {
        const size_t width = b == kIac ? 2 : 1;
        if (at + width > sent) {
            prefix.half_iac = b == kIac && at + 1 == sent;
            if (prefix.half_iac) ++prefix.bytes;
            break;
        }
        at += width;
        ++prefix.bytes;
    }
    return prefix;
}

// ---------------------------------------------------------------------------------------------

// Erased flash reads 0xFF, so whole answers arrive as doubled IACs: those pairs are taken here in
// a tight loop, and runs without an IAC are copied whole; only a command leaves the data state.
void Decoder::copy_data(std::span<const uint8_t> wire, std::span<uint8_t> data, Step &step) {
    const uint8_t *in = wire.data() + step.consumed;
    const uint8_t *const in_end = wire.data() + wire.size();
    uint8_t *out = data.data() + step.produced;
    uint8_t *const out_end = data.data() + data.size();
    while (out < out_end && in < in_end) {
        while (out < out_end && in_end - in >= 2 && in[0] == kIac && in[1] == kIac) {
            *out++ = kIac;
            in += 2;
        }
        const auto n = static_cast<size_t>(std::min(out_end - out, in_end - in));
        const auto *iac = static_cast<const uint8_t *>(std::memchr(in, kIac, n));
        const size_t run = iac ? static_cast<size_t>(iac - in) : n;
        std::memcpy(out, in, run);
        in += run;
        out += run;
        if (!iac) break;
        if (in_end - in >= 2 && in[1] == kIac) continue; // a doubled IAC: the loop takes it
        ++in;
        state_ = State::command;
        break;
    }
    step.consumed = static_cast<size_t>(in - wire.data());
    step.produced = static_cast<size_t>(out - data.data());
}

void Decoder::take_sub_bytes(std::span<const uint8_t> wire, Step &step) {
    const auto begin = wire.begin() + static_cast<std::ptrdiff_t>(step.consumed);
    const auto iac = std::find(begin, wire.end(), kIac);
    const size_t room = kMaxSubnegotiation - std::min(kMaxSubnegotiation, sub_.size());
    sub_.insert(sub_.end(), begin, begin + std::min<std::ptrdiff_t>(iac - begin, room));
    step.consumed += static_cast<size_t>(iac - begin);
    if (iac != wire.end()) {
        ++step.consumed;
        state_ = State::sub_command;
    }
}

namespace {

// Where the byte after an IAC leads. IAC itself is a data byte; NOP, GA, DM and the other
// one-byte commands mean nothing to a byte stream and are dropped.
constexpr uint8_t kToData = 0, kToOption = 1, kToSub = 2;
constexpr std::array<uint8_t, 256> kAfterIac = [] {
    std::array<uint8_t, 256> t{};
    t.fill(kToData);
    for (const uint8_t verb : {kWill, kWont, kDo, kDont}) t[verb] = kToOption;
    t[kSb] = kToSub;
    return t;
}();

} // namespace

Decoder::Step Decoder::decode(std::span<const uint8_t> wire, std::span<uint8_t> data,
                              Listener &listener) {
    constexpr State kNext[] = {State::data, State::option, State::sub};
    Step step;
    while (step.consumed < wire.size()) {
        const uint8_t b = wire[step.consumed];
        switch (state_) {
        case State::data:
            if (step.produced == data.size()) return step;
            copy_data(wire, data, step);
            break;
        case State::command:
            if (b == kIac) {
                if (step.produced == data.size()) return step;
                data[step.produced++] = kIac;
            }
            verb_ = b;
            state_ = kNext[kAfterIac[b]];
            ++step.consumed;
            break;
        case State::option:
            state_ = State::data;
            ++step.consumed;
            listener.negotiation(verb_, b);
            break;
        case State::sub:
            take_sub_bytes(wire, step);
            break;
        case State::sub_command:
            ++step.consumed;
            if (b == kIac) {
                if (sub_.size() < kMaxSubnegotiation) sub_.push_back(kIac);
                state_ = State::sub;
            } else if (b == kSe) {
                state_ = State::data;
                listener.subnegotiation(sub_);
                sub_.clear();
            } else {
                // Any other command ends the subnegotiation unfinished and counts by itself.
                sub_.clear();
                verb_ = b;
                state_ = kNext[kAfterIac[b]];
            }
            break;
        }
    }
    return step;
}

// ---------------------------------------------------------------------------------------------

namespace {

enum class Answer : uint8_t { none, agree, refuse };
struct Move {
    Q next;
    Answer answer;
};

// What the peer's word does to one side of an option: [the peer says on][the side's state][this
// end accepts the option]. Only an off side that the peer asks to turn on is answered by policy;
// answers to this end's own requests are taken without a word, so no answer is ever answered.
constexpr Move kMoves[2][4][2] = {
    {
        // WONT or DONT
        {{Q::no, Answer::none}, {Q::no, Answer::none}},     // no
        {{Q::no, Answer::refuse}, {Q::no, Answer::refuse}}, // yes: acknowledged
        {{Q::no, Answer::none}, {Q::no, Answer::none}},     // want_no: granted
        {{Q::no, Answer::none}, {Q::no, Answer::none}},     // want_yes: refused
    },
    {
        // WILL or DO
        {{Q::no, Answer::refuse}, {Q::yes, Answer::agree}}, // no
        {{Q::yes, Answer::none}, {Q::yes, Answer::none}},   // yes
        {{Q::no, Answer::none}, {Q::no, Answer::none}},     // want_no: the peer's error
        {{Q::yes, Answer::none}, {Q::yes, Answer::none}},   // want_yes: granted
    },
};

void put(std::vector<uint8_t> &out, uint8_t verb, uint8_t option) {
    out.insert(out.end(), {kIac, verb, option});
}

} // namespace

const Acceptance *Negotiation::find(uint8_t option) const {
    const auto it = std::ranges::find(accepted_, option, &Acceptance::option);
    return it == accepted_.end() ? nullptr : &*it;
}

void Negotiation::ask_here(uint8_t option, std::vector<uint8_t> &out) {
    if (here_[option] != Q::no) return;
    here_[option] = Q::want_yes;
    put(out, kWill, option);
}

void Negotiation::ask_there(uint8_t option, std::vector<uint8_t> &out) {
    if (there_[option] != Q::no) return;
    there_[option] = Q::want_yes;
    put(out, kDo, option);
}

void Negotiation::receive(uint8_t verb, uint8_t option, std::vector<uint8_t> &out) {
    // WILL and WONT are about the peer's side, DO and DONT about this end's.
    const bool about_peer = verb == kWill || verb == kWont;
    const bool on = verb == kWill || verb == kDo;
    if (!about_peer && verb != kDo && verb != kDont) return;
    const Acceptance *a = find(option);
    const bool accepts = a != nullptr && (about_peer ? a->there : a->here);
    Q &side = about_peer ? there_[option] : here_[option];
    const Move move = kMoves[on][static_cast<size_t>(side)][accepts];
    side = move.next;
    if (move.answer == Answer::agree) put(out, about_peer ? kDo : kWill, option);
    if (move.answer == Answer::refuse) put(out, about_peer ? kDont : kWont, option);
}

} // namespace zio::telnet
