// The network port's protocol against a scripted server: telnet framing cut at every place,
// negotiation by its table, the set-up ser2net goes through and the ways a server turns a client
// away, and register packets with every byte value, the purge ahead of each, a write cut short
// and a connection that goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <numeric>

#include "byte_port.h"
#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "telnet_codec.h"
#include "zelp_linux_io.h"

using Bytes = std::vector<uint8_t>;
namespace telnet = zio::telnet;

namespace {

constexpr uint8_t IAC = 255, WILL = 251, WONT = 252, DO = 253, DONT = 254, SB = 250, SE = 240;
constexpr uint8_t NOP = 241;

// What ser2net sends a client as it connects (captured from Debian's ser2net 4.3): it offers to
// suppress go-ahead and echo, wants binary both ways and asks for the COM port option.
const Bytes ser2net_greeting = {IAC, WILL, 3,  IAC, DO,  3,    IAC, WILL, 1,  IAC, DONT,
                                1,   IAC,  DO, 0,   IAC, WILL, 0,   IAC,  DO, 44};

// A COM port command or answer: IAC SB 44 code value IAC SE.
Bytes com_port(uint8_t code, uint8_t value) {
    return {IAC, SB, 44, code, value, IAC, SE};
}

Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

// A server played from a script: each read hands out the next chunk (nothing once they are
// used up, or the end of the connection when `closes`); each write is recorded, brings the next
// set of `answers` in and may queue chunks through `on_write`.
struct Script {
    std::deque<Bytes> chunks;
    bool closes = false;
    std::deque<std::deque<Bytes>> answers;
    std::vector<Bytes> writes;
    int write_cap = -1; // when >= 0, a write moves at most this many bytes
    std::function<void(const Bytes &written, Script &)> on_write;
};

class ScriptedServer final : public zio::BytePort {
  public:
    explicit ScriptedServer(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    int write(std::span<const uint8_t> bytes, zio::Millis) override {
        if (s_->closes && s_->chunks.empty()) return -1;
        size_t n = bytes.size();
        if (s_->write_cap >= 0) n = std::min(n, static_cast<size_t>(s_->write_cap));
        s_->writes.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        if (!s_->answers.empty()) {
            s_->chunks.insert(s_->chunks.end(), s_->answers.front().begin(),
                              s_->answers.front().end());
            s_->answers.pop_front();
        }
        if (s_->on_write) s_->on_write(s_->writes.back(), *s_);
        return static_cast<int>(n);
    }
    int read(std::span<uint8_t> bytes, zio::Millis) override {
        if (s_->chunks.empty()) return s_->closes ? -1 : 0;
        Bytes &c = s_->chunks.front();
        const size_t n = std::min(bytes.size(), c.size());
        std::copy_n(c.begin(), n, bytes.begin());
        c.erase(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(n));
        if (c.empty()) s_->chunks.pop_front();
        return static_cast<int>(n);
    }
    void discard_input() override {}
    bool close() override { return true; }

  private:
    std::shared_ptr<Script> s_;
};

// The answers a server gives the line settings, when the client's write carries them.
void answer_line(const Bytes &written, Script &s, uint8_t datasize = 8) {
    const std::pair<uint8_t, uint8_t> settings[] = {{2, 8}, {3, 1}, {5, 1}};
    for (const auto &[code, value] : settings)
        if (std::ranges::search(written, com_port(code, value)).begin() != written.end())
            s.chunks.push_back(com_port(code + 100, code == 2 ? datasize : value));
}

struct Opened {
    std::shared_ptr<Script> script = std::make_shared<Script>();
    std::unique_ptr<zio::BytePort> port;
    zio::OpenFailure failure;
};

// The set-up against `script` as it stands, with a short bound for the servers that never answer.
void open_on(Opened &o) {
    o.port =
        zio::rfc2217_over(std::make_unique<ScriptedServer>(o.script), zio::Millis(50), &o.failure);
}

// A port after the set-up with ser2net's greeting and answers, its writes so far forgotten.
Opened opened() {
    Opened o;
    o.script->chunks.push_back(ser2net_greeting);
    o.script->on_write = [](const Bytes &w, Script &s) { answer_line(w, s); };
    open_on(o);
    o.script->on_write = nullptr;
    o.script->writes.clear();
    return o;
}

// Everything a decoder reports, in order.
struct Recorder : telnet::Listener {
    std::vector<Bytes> events;
    void negotiation(uint8_t verb, uint8_t option) override { events.push_back({verb, option}); }
    void subnegotiation(std::span<const uint8_t> body) override {
        events.push_back(Bytes{SB} + Bytes(body.begin(), body.end()));
    }
};

} // namespace

// Data, doubled IACs, negotiations, a one-byte command and a subnegotiation with a doubled IAC
// inside, received in two pieces cut at every place and taken into buffers of several sizes:
// always the same data and the same commands.
TEST(Rfc2217Codec, AStreamCutAnywhereDecodesTheSame) {
    const Bytes wire = text("ab") + Bytes{IAC, IAC} + text("c") + Bytes{IAC, WILL, 1, IAC, NOP} +
                       text("d") + Bytes{IAC, SB, 44, 107, IAC, IAC, 0, IAC, SE, IAC, DO, 44} +
                       text("e") + Bytes{IAC, IAC};
    const Bytes data = text("ab\xFF"
                            "cde\xFF");
    const std::vector<Bytes> events = {{WILL, 1}, {SB, 44, 107, IAC, 0}, {DO, 44}};
    for (size_t cut = 0; cut <= wire.size(); ++cut)
        for (const size_t room : {1, 2, 64}) {
            SCOPED_TRACE(testing::Message() << "cut at " << cut << ", room " << room);
            telnet::Decoder decoder;
            Recorder recorder;
            Bytes got;
            for (const auto &piece : {std::span(wire).first(cut), std::span(wire).subspan(cut)}) {
                size_t at = 0;
                while (at < piece.size()) {
                    Bytes out(room);
                    const auto step = decoder.decode(piece.subspan(at), out, recorder);
                    got.insert(got.end(), out.begin(), out.begin() + step.produced);
                    at += step.consumed;
                }
            }
            EXPECT_EQ(got, data);
            EXPECT_EQ(recorder.events, events);
        }
}

TEST(Rfc2217Codec, EveryByteValueAndErasedFlashRoundTrip) {
    Bytes data(512 + 600, 0xFF); // every byte value twice, then erased flash
    std::iota(data.begin(), data.begin() + 512, uint8_t{0});
    Bytes wire;
    telnet::escape(data, wire);
    EXPECT_EQ(wire.size(), data.size() + 602);
    telnet::Decoder decoder;
    Recorder recorder;
    Bytes back(data.size());
    const auto step = decoder.decode(wire, back, recorder);
    EXPECT_EQ(step.consumed, wire.size());
    EXPECT_EQ(back, data);
    EXPECT_TRUE(recorder.events.empty());

    // How much of 01 FF 02 a cut-short write carried, by the bytes of 01 FF FF 02 that went.
    const Bytes three = {1, IAC, 2};
    const std::pair<size_t, telnet::EscapedPrefix> cuts[] = {
        {0, {0, false}}, {1, {1, false}}, {2, {2, true}}, {3, {2, false}}, {4, {3, false}}};
    for (const auto &[sent, want] : cuts) {
        const auto got = telnet::escaped_prefix(three, sent);
        EXPECT_EQ(got.bytes, want.bytes) << sent;
        EXPECT_EQ(got.half_iac, want.half_iac) << sent;
    }
}

// The client's side of option negotiation: what it answers a server's word in each state, and
// that it never answers an answer.
TEST(Rfc2217Negotiation, AnswersByTheTable) {
    const telnet::Acceptance accepted[] = {{0, true, true}, {3, true, true}, {44, true, false}};
    struct Row {
        const char *what;
        int asked; // -1 none, else the verb this end sent first (WILL or DO)
        std::vector<Bytes> received;
        Bytes answer;
        telnet::Q here, there;
    };
    using enum telnet::Q;
    const Row rows[] = {
        {"COM port offered", -1, {{DO, 44}}, {IAC, WILL, 44}, yes, no},
        {"COM port asked for and granted", WILL, {{DO, 44}}, {}, yes, no},
        {"COM port asked for and refused", WILL, {{DONT, 44}}, {}, no, no},
        {"binary offered both ways",
         -1,
         {{WILL, 0}, {DO, 0}},
         {IAC, DO, 0, IAC, WILL, 0},
         yes,
         yes},
        {"binary offered twice", -1, {{WILL, 0}, {WILL, 0}}, {IAC, DO, 0}, no, yes},
        {"echo refused both ways", -1, {{WILL, 1}, {DO, 1}}, {IAC, DONT, 1, IAC, WONT, 1}, no, no},
        {"echo's refusal not answered", -1, {{DONT, 1}, {WONT, 1}}, {}, no, no},
        {"the peer's COM port refused", -1, {{WILL, 44}}, {IAC, DONT, 44}, no, no},
        {"an unknown option refused", -1, {{WILL, 24}}, {IAC, DONT, 24}, no, no},
        {"a granted option taken back", WILL, {{DO, 44}, {DONT, 44}}, {IAC, WONT, 44}, no, no},
    };
    for (const Row &r : rows) {
        telnet::Negotiation n(accepted);
        Bytes out;
        const uint8_t option = r.received.front()[1];
        if (r.asked == WILL) n.ask_here(option, out);
        out.clear();
        for (const Bytes &word : r.received) n.receive(word[0], word[1], out);
        EXPECT_EQ(out, r.answer) << r.what;
        EXPECT_EQ(n.here(option), r.here) << r.what;
        EXPECT_EQ(n.there(option), r.there) << r.what;
    }
}

// The set-up byte for byte: the server speaks first; the client asks for the COM port option and
// binary, answers the server's offers and, the option taken, sets the line (8 bits, no parity,
// no flow control), all in one write; the port is ready when every setting is answered.
TEST(Rfc2217Port, SetsTheLineUpAsSer2netAsks) {
    Opened o;
    o.script->chunks.push_back(ser2net_greeting);
    o.script->on_write = [](const Bytes &w, Script &s) { answer_line(w, s); };
    open_on(o);
    ASSERT_TRUE(o.port) << o.failure.reason;
    const std::vector<Bytes> writes = {
        Bytes{IAC, WILL, 44, IAC, WILL, 0, IAC, DO, 0, IAC, DO, 3, IAC, WILL, 3, IAC, DONT, 1} +
            com_port(2, 8) + com_port(3, 1) + com_port(5, 1),
    };
    EXPECT_EQ(o.script->writes, writes);
}

TEST(Rfc2217Port, AServerThatTurnsTheClientAwayIsNamed) {
    struct Row {
        std::deque<Bytes> chunks;
        bool closes;
        uint8_t datasize; // what the server answers the data size setting with
        const char *reason;
    };
    const Row rows[] = {
        {{ser2net_greeting + text("Port already in use\r\n")},
         true,
         8,
         "in use by another process (the server says \"Port already in use\")"},
        {{ser2net_greeting, text("Device open failure: Value or file not found\r\n")},
         true,
         8,
         "the server closed the connection: Device open failure: Value or file not found"},
        {{}, true, 8, "the server closed the connection"},
        {{{IAC, DONT, 44}},
         false,
         8,
         "the server does not offer telnet's COM port option (RFC 2217)"},
        {{}, false, 8, "the server does not answer telnet's COM port option (RFC 2217)"},
        {{ser2net_greeting},
         false,
         7,
         "the server does not set its line to 8 data bits, no parity and no flow control"},
        {{{IAC, DO, 44, IAC, WONT, 0}},
         false,
         8,
         "the server does not agree to binary transmission"},
    };
    for (const Row &r : rows) {
        Opened o;
        o.script->chunks = r.chunks;
        o.script->closes = r.closes;
        // A server that turns the client away answers nothing more.
        const uint8_t datasize = r.datasize;
        if (!r.closes)
            o.script->on_write = [datasize](const Bytes &w, Script &s) {
                answer_line(w, s, datasize);
            };
        open_on(o);
        EXPECT_FALSE(o.port) << r.reason;
        EXPECT_EQ(o.failure.reason, r.reason);
    }
}

// Register packets through the whole wire core: each starts with the purge, in the same write
// as its header; data goes with every IAC doubled, in the pieces the bridge needs; an erased
// flash's answer (all 0xFF), cut in the middle of its doubled IACs and with the server's
// negotiation inside, arrives whole, and the negotiation's answer goes ahead of the next packet.
TEST(Rfc2217Port, PacketsCarryEveryByteValueWithThePurgeAheadOfEach) {
    Opened o = opened();
    ASSERT_TRUE(o.port) << o.failure.reason;
    const std::shared_ptr<Script> script = o.script;
    const morvel_evb_io_handle_t d = zio::io_open_with_port(std::move(o.port));
    const Bytes purge = com_port(12, 1);

    Bytes every(256);
    std::iota(every.begin(), every.end(), uint8_t{0});
    ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x20017000, every.data(), nullptr, 256), 0);
    Bytes first, last;
    telnet::escape(std::span(every).first(252), first);
    telnet::escape(std::span(every).subspan(252), last);
    const std::vector<Bytes> writes = {purge + Bytes{0x3A, 1, 0x00, 0x70, 0x01, 0x20, 1, 0}, first,
                                       last};
    EXPECT_EQ(script->writes, writes);

    script->writes.clear();
    // 51 doubled IACs, a negotiation, 205 more; the first piece ends between two halves.
    script->answers = {
        {com_port(112, 1) + Bytes(101, IAC), Bytes{IAC, IAC, WILL, 1} + Bytes(410, IAC)}, {{0x20}}};
    Bytes erased(256);
    ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x1FFFC000, nullptr, erased.data(), 256), 0);
    EXPECT_EQ(erased, Bytes(256, 0xFF));
    uint8_t type = 0;
    ASSERT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), 0);
    EXPECT_EQ(type, 0x20);
    // The address's 0xFF byte is doubled too: the whole stream is telnet's.
    const std::vector<Bytes> reads = {purge + Bytes{0x3A, 0, 0x00, 0xC0, IAC, IAC, 0x1F, 1, 0},
                                      Bytes{IAC, DONT, 1} + purge + Bytes{0x3A, 2, 0, 0, 1}};
    EXPECT_EQ(script->writes, reads);
    zelp_linux_io_uninit(d);
}

// A write the server takes only part of, ending between the two halves of a doubled IAC: the
// missing half goes first with the next write, so the server never reads IAC and a data byte as
// a command.
TEST(Rfc2217Port, AWriteCutInsideADoubledIacIsCompletedFirst) {
    Opened o = opened();
    ASSERT_TRUE(o.port) << o.failure.reason;
    o.script->write_cap = 2;
    EXPECT_EQ(o.port->write(Bytes{7, IAC, 8}, zio::Millis(10)), 2);
    o.script->write_cap = -1;
    EXPECT_EQ(o.port->write(Bytes{9}, zio::Millis(10)), 1);
    const std::vector<Bytes> writes = {{7, IAC}, {IAC, 9}};
    EXPECT_EQ(o.script->writes, writes);
}

// The server goes away in the middle of an answer: the transfer fails as on an unplugged bridge,
// and so does the next one, at once.
TEST(Rfc2217Port, ALostConnectionFailsLikeAnUnpluggedBridge) {
    Opened o = opened();
    ASSERT_TRUE(o.port) << o.failure.reason;
    o.script->on_write = [](const Bytes &, Script &s) {
        s.chunks = {{1, 2}};
        s.closes = true;
    };
    const morvel_evb_io_handle_t d = zio::io_open_with_port(std::move(o.port));
    Bytes answer(4);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x1FFFC000, nullptr, answer.data(), 4),
              MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x1FFFC000, nullptr, answer.data(), 4),
              MORVEL_ZELP_ERROR_FAIL);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error during transfer on the Serial/SPI device"
                   "Problem sending MCU in cmd n=0\n");
    zelp_linux_io_uninit(d);
}

// Network port names: host and port, a numeric IPv6 host in brackets; board parameters follow as
// after any port.
TEST(Rfc2217Port, NamesNeedAHostAndAPortNumber) {
    const std::pair<const char *, bool> names[] = {
        {"rfc2217://rack1:4001", true},   {"rfc2217://10.0.0.7:65535", true},
        {"rfc2217://[::1]:4001", true},   {"rfc2217://rack1", false},
        {"rfc2217://:4001", false},       {"rfc2217://rack1:0", false},
        {"rfc2217://rack1:65536", false}, {"rfc2217://rack1:40x", false},
        {"rfc2217://::1:4001", false},    {"rfc2217://[::1]4001", false},
    };
    for (const auto &[name, good] : names) {
        std::string error;
        EXPECT_EQ(zio::check_rfc2217_name(name, error), good) << name;
        EXPECT_EQ(error.empty(), good) << name << ": " << error;
    }
    zio::BoardParams params;
    std::string error;
    ASSERT_TRUE(zio::parse_board_params("rfc2217://rack1:4001,pipeline=64", params, error));
    EXPECT_EQ(params.port, "rfc2217://rack1:4001");
    EXPECT_EQ(params.pipeline, 64);
    EXPECT_FALSE(zio::parse_board_params("rfc2217://rack1:4001,latency=9", params, error));
}
