// Telnet's framing of a byte stream: data with every IAC byte doubled, commands after an IAC,
// option negotiation and subnegotiations. No sockets here: the network port feeds the decoder
// what it received and sends what the encoder and the negotiation put out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zio::telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kEcho = 1;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// Appends `data` to `wire` with every IAC doubled.
void escape(std::span<const uint8_t> data, std::vector<uint8_t> &wire);

// How much of `data` the first `sent` bytes of its escaped form carry: whole bytes, and whether
// the last of them went out as the first half of a doubled IAC whose second half did not.
struct EscapedPrefix {
    size_t bytes = 0;
    bool half_iac = false;
};
EscapedPrefix escaped_prefix(std::span<const uint8_t> data, size_t sent);

// What the decoder hands on besides data.
class Listener {
  public:
    // A WILL, WONT, DO or DONT for `option`.
    virtual void negotiation(uint8_t verb, uint8_t option) = 0;
    // The bytes between IAC SB and IAC SE, option first, doubled IACs undone.
    virtual void subnegotiation(std::span<const uint8_t> body) = 0;

  protected:
    ~Listener() = default;
};

// Turns received bytes into data and commands. Resumes wherever the previous call stopped, so a
// command may be cut anywhere between two receives.
class Decoder {
  public:
    struct Step {
        size_t consumed = 0; // bytes of `wire` taken
        size_t produced = 0; // data bytes put into `data`
    };
    // Takes bytes from `wire` until it is used up or `data` is full.
    Step decode(std::span<const uint8_t> wire, std::span<uint8_t> data, Listener &listener);

  private:
    enum class State : uint8_t { data, command, option, sub, sub_command };
    // Copies data up to the next IAC; the bulk of the stream goes through here.
    void copy_data(std::span<const uint8_t> wire, std::span<uint8_t> data, Step &step);
    void take_sub_bytes(std::span<const uint8_t> wire, Step &step);

    State state_ = State::data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sub_;
};

// Each side of an option is off, on, or asked to change and waiting for the answer (the "Q method"
// of RFC 1143, which keeps two peers from answering each other's answers for ever).
enum class Q : uint8_t { no, yes, want_no, want_yes };

// Which options this end enables at the peer's DO (here) and lets the peer enable at its WILL
// (there); any other is refused.
struct Acceptance {
    uint8_t option;
    bool here;
    bool there;
};

class Negotiation {
  public:
    explicit Negotiation(std::span<const Acceptance> accepted) : accepted_(accepted) {}

    // Asks to enable `option` on this end (WILL) or the peer's (DO); the request goes into `out`.
    void ask_here(uint8_t option, std::vector<uint8_t> &out);
    void ask_there(uint8_t option, std::vector<uint8_t> &out);
    // A WILL, WONT, DO or DONT from the peer; the answer, when one is due, goes into `out`.
    void receive(uint8_t verb, uint8_t option, std::vector<uint8_t> &out);

    Q here(uint8_t option) const { return here_[option]; }
    Q there(uint8_t option) const { return there_[option]; }

  private:
    const Acceptance *find(uint8_t option) const;

    std::span<const Acceptance> accepted_;
    std::array<Q, 256> here_{};
    std::array<Q, 256> there_{};
};

} // namespace zio::telnet
