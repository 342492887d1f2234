// The port name "rfc2217://HOST:PORT": the bridge's serial port served on another machine by a
// telnet COM port server (RFC 2217) such as ser2net. Telnet carries the bytes, with the IAC byte
// doubled both ways; the COM port option sets the line as a local port is set and purges what
// the server holds from the bridge whenever the wire core discards its input.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <string_view>
#include <thread>

#include "byte_port.h"
#include "telnet_codec.h"

namespace zio {

namespace {

using Clock = std::chrono::steady_clock;
using telnet::Q;

constexpr std::string_view kScheme = "rfc2217://";

// Connecting and the server's answers to the set-up are bounded as every answer of the bridge is.
constexpr Millis kSetUpLimit{3000};

// What the client asks of the COM port option; the server answers each command with its code
// plus 100.
constexpr uint8_t kSetDatasize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerCode = 100;
constexpr uint8_t kParityNone = 1;
constexpr uint8_t kNoFlowControl = 1;
// The server's buffer of what came from the bridge and has not gone to the client yet.
constexpr uint8_t kPurgeReceiveBuffer = 1;

struct LineSetting {
    uint8_t command;
    uint8_t value;
};
// The line as a local port is set up (raw): 8 data bits, no parity and no flow control, so every
// byte value passes. The rate stays as the server has it: the bridge's USB serial function has
// none.
constexpr std::array<LineSetting, 3> kLine = {{
    {kSetDatasize, 8},
    {kSetParity, kParityNone},
    {kSetControl, kNoFlowControl},
}};

// Binary both ways (CR and NUL pass as they are), suppress-go-ahead as servers offer it, and the
// COM port option on this end. Echo and everything else are refused: an echo of the requests
// would pass for answers.
constexpr telnet::Acceptance kAccepted[] = {
    {telnet::kBinary, true, true},
    {telnet::kSuppressGoAhead, true, true},
    {telnet::kComPort, true, false},
};

constexpr std::array<uint8_t, 7> kPurge = {telnet::kIac, telnet::kSb,         telnet::kComPort,
                                           kPurgeData,   kPurgeReceiveBuffer, telnet::kIac,
                                           telnet::kSe};

// How long the set-up waits for the server to speak first, and how long it must then be quiet.
constexpr Millis kGreetingWait{500};
constexpr Millis kQuietAfterGreeting{5};

// Received bytes waiting to be decoded; one read takes whatever the connection holds.
constexpr size_t kReceiveBuffer = 16 * 1024;

Millis left_until(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now());
    return std::max(left, Millis(0));
}

void put_setting(std::vector<uint8_t> &out, const LineSetting &s) {
    out.insert(out.end(), {telnet::kIac, telnet::kSb, telnet::kComPort, s.command, s.value,
                           telnet::kIac, telnet::kSe});
}

// ser2net turns a client away while it is still closing the previous client's session, for some
// milliseconds after that client has gone, as it does while another client holds the port. So a
// refusal for a port in use is tried again for a while before it counts.
constexpr Millis kBusyRetryFor{1000};
constexpr Millis kBusyRetryPause{20};

// Why the set-up failed, and whether the server said the port was in use.
struct Refusal {
    std::string reason;
    bool busy = false;
};

// What a server that turns the client away says before it closes the connection, as one line.
Refusal refusal(const std::string &said) {
    if (said.empty()) return {"the server closed the connection"};
    if (said.find("in use") != std::string::npos)
        return {"in use by another process (the server says \"" + said + "\")", true};
    return {"the server closed the connection: " + said};
}

class Rfc2217Port final : public BytePort, telnet::Listener {
  public:
    explicit Rfc2217Port(std::unique_ptr<BytePort> stream)
        : stream_(std::move(stream)), options_(kAccepted), wire_in_(kReceiveBuffer) {}
    ~Rfc2217Port() override { close(); }
    Rfc2217Port(const Rfc2217Port &) = delete;
    Rfc2217Port &operator=(const Rfc2217Port &) = delete;

    // Negotiates the options and sets the line up. False with the reason when the server turns
    // the client away or does not set the line up as asked within `limit`.
    bool start(Millis limit, Refusal &refused) {
        const auto deadline = Clock::now() + limit;
        refused = {};
        options_.ask_here(telnet::kComPort, outbox_);
        options_.ask_here(telnet::kBinary, outbox_);
        options_.ask_there(telnet::kBinary, outbox_);
        std::string said;
        if (!hear_greeting(deadline, said) || !set_line_up(deadline, said, refused)) {
            if (refused.reason.empty()) refused = refusal(said);
            return false;
        }
        return line_as_asked(refused.reason);
    }

    // Sends what is due ahead of the data, then the data with every IAC doubled.
    int write(std::span<const uint8_t> bytes, Millis limit) override {
        if (failed_) return -1;
        wire_out_.assign(outbox_.begin(), outbox_.end());
        const size_t ahead = outbox_.size();
        outbox_.clear();
        purge_due_ = false;
        telnet::escape(bytes, wire_out_);
        const int sent = stream_->write(wire_out_, limit);
        if (sent < 0) {
            failed_ = true;
            return -1;
        }
        if (static_cast<size_t>(sent) == wire_out_.size()) return static_cast<int>(bytes.size());
        return cut_short(bytes, ahead, static_cast<size_t>(sent));
    }

    int read(std::span<uint8_t> bytes, Millis limit) override {
        if (bytes.empty()) return 0;
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const int n = receive_once(bytes, left_until(deadline));
            if (n != 0 || Clock::now() >= deadline) return n;
        }
    }

    // Drops what arrived (its commands still count) and has the server drop what it holds from
    // the bridge: the purge goes out with the next packet, ahead of it, so no extra round trip.
    void discard_input() override {
        std::array<uint8_t, 512> sink{};
        do {
            while (decode_into(sink) > 0) {
            }
        } while (receive_more(Millis(0)) > 0);
        if (purge_due_) return;
        outbox_.insert(outbox_.end(), kPurge.begin(), kPurge.end());
        purge_due_ = true;
    }

    bool close() override { return stream_->close(); }

  private:
    void negotiation(uint8_t verb, uint8_t option) override {
        options_.receive(verb, option, outbox_);
    }

    void subnegotiation(std::span<const uint8_t> body) override {
        if (body.size() < 3 || body[0] != telnet::kComPort) return;
        for (size_t i = 0; i < kLine.size(); ++i)
            if (body[1] == kLine[i].command + kServerCode) line_answers_[i] = body[2];
    }

    // A server that turns the client away says why right after its greeting and closes; anything
    // the client sent meanwhile would make its end answer with a reset, which takes the unread
    // words with it. So the server speaks first: its greeting, then until it has been quiet a
    // moment. False when it closed the connection.
    bool hear_greeting(Clock::time_point deadline, std::string &said) {
        for (Millis wait = kGreetingWait;; wait = kQuietAfterGreeting) {
            const size_t before = received_;
            if (receive_text(std::min(wait, left_until(deadline)), said) < 0) return false;
            if (received_ == before) return true;
        }
    }

    // Sends what the set-up has to say and takes the answers until every line setting is
    // answered. False when the connection closed (the reason left empty: what the server said
    // gives it) or the server refuses the option or stays silent.
    bool set_line_up(Clock::time_point deadline, std::string &said, Refusal &refused) {
        bool line_asked = false;
        while (!line_answered()) {
            // The option's commands count only once the server has taken the option.
            if (!line_asked && options_.here(telnet::kComPort) == Q::yes) {
                for (const LineSetting &s : kLine) put_setting(outbox_, s);
                line_asked = true;
            }
            if (!outbox_.empty() && write({}, left_until(deadline)) < 0) return false;
            if (options_.here(telnet::kComPort) == Q::no) {
                refused.reason = "the server does not offer telnet's COM port option (RFC 2217)";
                return false;
            }
            const int n = receive_text(left_until(deadline), said);
            if (n < 0) return false;
            if (n == 0 && Clock::now() >= deadline) {
                refused.reason = "the server does not answer telnet's COM port option (RFC 2217)";
                return false;
            }
        }
        return true;
    }

    // One receive during the set-up; the data it brings is kept as text. As receive_once.
    int receive_text(Millis limit, std::string &said) {
        std::array<uint8_t, 128> data{};
        const int n = receive_once(data, limit);
        if (n > 0) keep_text(std::span(data).first(static_cast<size_t>(n)), said);
        return n;
    }

    bool line_answered() const {
        return std::ranges::none_of(line_answers_, [](int a) { return a < 0; });
    }

    bool line_as_asked(std::string &reason) const {
        for (size_t i = 0; i < kLine.size(); ++i)
            if (line_answers_[i] != kLine[i].value) {
                reason = "the server does not set its line to 8 data bits, no parity and no flow "
                         "control";
                return false;
            }
        if (options_.here(telnet::kBinary) == Q::no || options_.there(telnet::kBinary) == Q::no) {
            reason = "the server does not agree to binary transmission";
            return false;
        }
        return true;
    }

    // A write that did not go whole within its limit. What went of a command or of a doubled
    // IAC is completed ahead of the next write, so the server never reads half of one.
    int cut_short(std::span<const uint8_t> bytes, size_t ahead, size_t sent) {
        if (sent < ahead) {
            outbox_.assign(wire_out_.begin() + static_cast<std::ptrdiff_t>(sent),
                           wire_out_.begin() + static_cast<std::ptrdiff_t>(ahead));
            return 0;
        }
        const telnet::EscapedPrefix prefix = telnet::escaped_prefix(bytes, sent - ahead);
        if (prefix.half_iac) outbox_.push_back(telnet::kIac);
        return static_cast<int>(prefix.bytes);
    }

    // Decodes what is buffered, or else what one read brings within `limit`: the data bytes
    // produced (0 as well when only commands came, or nothing), -1 when the connection is gone.
    int receive_once(std::span<uint8_t> data, Millis limit) {
        if (in_begin_ == in_end_ && receive_more(limit) < 0) return -1;
        return static_cast<int>(decode_into(data));
    }

    size_t decode_into(std::span<uint8_t> data) {
        const std::span<const uint8_t> wire(wire_in_.data() + in_begin_, in_end_ - in_begin_);
        const telnet::Decoder::Step step = decoder_.decode(wire, data, *this);
        in_begin_ += step.consumed;
        return step.produced;
    }

    // One read into the emptied buffer: bytes received, 0 when none came, -1 when gone.
    int receive_more(Millis limit) {
        if (failed_) return -1;
        in_begin_ = in_end_ = 0;
        const int n = stream_->read(wire_in_, limit);
        if (n < 0) failed_ = true;
        if (n > 0) {
            in_end_ = static_cast<size_t>(n);
            received_ += in_end_;
        }
        return n;
    }

    // The printable part of data the server sent during the set-up, the text of a refusal.
    static void keep_text(std::span<const uint8_t> data, std::string &said) {
        constexpr size_t kMaxText = 200;
        for (const uint8_t c : data) {
            if (said.size() >= kMaxText) return;
            const bool blank = c == ' ' || c == '\r' || c == '\n' || c == '\t';
            if (blank && !said.empty() && said.back() != ' ') said += ' ';
            if (c > ' ' && c < 0x7F) said += static_cast<char>(c);
        }
        if (!said.empty() && said.back() == ' ') said.pop_back();
    }

    std::unique_ptr<BytePort> stream_;
    telnet::Decoder decoder_;
    telnet::Negotiation options_;
    // Commands due ahead of the next data: answers to the server's negotiation, the purge, the
    // second half of a doubled IAC that a cut-short write left.
    std::vector<uint8_t> outbox_;
    bool purge_due_ = false;
    std::vector<uint8_t> wire_out_;
    std::vector<uint8_t> wire_in_;
    size_t in_begin_ = 0;
    size_t in_end_ = 0;
    std::array<int, kLine.size()> line_answers_{-1, -1, -1};
    size_t received_ = 0; // bytes received since the connection was made
    bool failed_ = false;
};

struct NetAddress {
    std::string host;
    std::string port;
};

// HOST:PORT after the scheme; a numeric IPv6 host goes in brackets ("[::1]:4001").
std::optional<NetAddress> parse_address(std::string_view name) {
    if (!name.starts_with(kScheme)) return std::nullopt;
    const std::string_view rest = name.substr(kScheme.size());
    NetAddress a;
    std::string_view port;
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || rest.substr(close + 1, 1) != ":")
            return std::nullopt;
        a.host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const size_t colon = rest.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        a.host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (a.host.empty() || ec != std::errc() || end != port.data() + port.size() || number < 1 ||
        number > 65535)
        return std::nullopt;
    a.port = port;
    return a;
}

} // namespace

bool is_rfc2217_port_name(const std::string &name) {
    return name.starts_with(kScheme);
}

bool check_rfc2217_name(const std::string &name, std::string &error) {
    if (parse_address(name)) return true;
    error = "a network port is rfc2217://HOST:PORT, PORT from 1 to 65535: " + name;
    return false;
}

std::unique_ptr<BytePort> rfc2217_over(std::unique_ptr<BytePort> stream, Millis limit,
                                       OpenFailure *failure) {
    auto port = std::make_unique<Rfc2217Port>(std::move(stream));
    Refusal refused;
    if (port->start(limit, refused)) return port;
    if (failure) failure->reason = refused.reason;
    return nullptr;
}

std::unique_ptr<BytePort> open_rfc2217_port(const std::string &name, OpenFailure *failure) {
    const std::optional<NetAddress> address = parse_address(name);
    Refusal refused{"not a network port name"};
    const auto give_up = Clock::now() + kBusyRetryFor;
    while (address) {
        auto stream = connect_tcp(address->host, address->port, kSetUpLimit, refused.reason);
        if (!stream) break;
        auto port = std::make_unique<Rfc2217Port>(std::move(stream));
        if (port->start(kSetUpLimit, refused)) return port;
        if (!refused.busy || Clock::now() >= give_up) break;
        port.reset();
        std::this_thread::sleep_for(kBusyRetryPause);
    }
    if (failure) failure->reason = refused.reason;
    return nullptr;
}

} // namespace zio
