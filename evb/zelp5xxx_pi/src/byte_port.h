// The byte stream to the bridge, whatever carries it: a serial device, a pseudo-terminal, a
// network connection to a server of the bridge's port on another machine, or the in-process
// simulated board. The wire format is written once over this interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zio {

using Millis = std::chrono::milliseconds;

class BytePort {
  public:
    virtual ~BytePort() = default;

    // One call each, synchronous for the caller: returns the number of bytes moved, 0 when none
    // could be moved within `limit`, or -1 when the link failed.
    virtual int write(std::span<const uint8_t> bytes, Millis limit) = 0;
    virtual int read(std::span<uint8_t> bytes, Millis limit) = 0;

    // Drops input that arrived but was not read yet.
    virtual void discard_input() = 0;

    // Releases the device. False when the system reported a failure (errno tells which).
    virtual bool close() = 0;
};

// The system's path for the serial device a user named; empty when the name cannot name one on
// this system.
std::string serial_device_path(const std::string &name);

// Why a serial device did not open: the system's text, and whether it was a matter of access
// rights, which the user can mend: then the group that owns the device, when the system says, and
// whether that group may open it.
struct OpenFailure {
    std::string reason;
    bool permission = false;
    std::string group;
    bool group_may_open = false;
};

// A serial device at `path`, exclusive, raw, synchronous. Null when it cannot be opened, with
// the reason in `failure` when one is given. Exclusive holds for every user of the system: a
// device another process holds is refused as "in use by another process".
std::unique_ptr<BytePort> open_serial_port(const std::string &path, OpenFailure *failure = nullptr);

// "sim" or "sim:FILE[,name=value...]": an in-process simulated board. Null with the reason in
// `error` when the options are not usable or the build has no simulated board.
std::unique_ptr<BytePort> open_sim_port(const std::string &name, std::string &error);

constexpr std::string_view kSimPortName = "sim";
bool is_sim_port_name(const std::string &name);

// "rfc2217://HOST:PORT": a bridge's serial port that a server on another machine (ser2net, say)
// offers over TCP with telnet's COM port option (RFC 2217). The connection stands in for the
// local device: exclusive (the server lets one client in), raw, bounded in time, and a purge
// before each packet clears what the server holds from the bridge as well as what arrived here.
bool is_rfc2217_port_name(const std::string &name);
// False with the reason in `error` when the name has no host or no port number from 1 to 65535.
bool check_rfc2217_name(const std::string &name, std::string &error);
// Connects and sets the line up. Null with the reason in `failure` when the connection is refused,
// the server turns the client away (another one holds the port) or does not speak the option.
std::unique_ptr<BytePort> open_rfc2217_port(const std::string &name,
                                            OpenFailure *failure = nullptr);
// The same over a stream already connected (a scripted server, in tests), the set-up bounded by
// `limit`.
std::unique_ptr<BytePort> rfc2217_over(std::unique_ptr<BytePort> stream, Millis limit,
                                       OpenFailure *failure = nullptr);

// A TCP connection to HOST:PORT with Nagle's delay off, as a byte port; it holds no input of its
// own to discard. Null with the system's reason in `reason` when none was made within `limit`.
std::unique_ptr<BytePort> connect_tcp(const std::string &host, const std::string &port,
                                      Millis limit, std::string &reason);

} // namespace zio
