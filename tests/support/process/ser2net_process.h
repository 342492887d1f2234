// Debian's ser2net in front of serial devices, for the tests and benchmarks of network ports: each
// device on a loopback TCP port of its own with telnet's COM port option (RFC 2217), one client at
// a time, configured as the README tells a lab to configure it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ztest {

// The configuration (ser2net's YAML) that serves device k on TCP port `ports[k]` of `address`.
std::string ser2net_config(const std::vector<std::string> &devices,
                           const std::vector<uint16_t> &ports,
                           const std::string &address = "127.0.0.1");

// A loopback TCP port nobody listens on now.
uint16_t free_tcp_port();

// The ser2net program: on the search path, else Debian's /usr/sbin/ser2net; empty when neither.
std::string ser2net_program();

// ser2net running in the foreground with its configuration and its log in `dir`, stopped with
// the object.
class Ser2netProcess {
  public:
    Ser2netProcess(std::vector<std::string> devices, std::filesystem::path dir);
    ~Ser2netProcess();
    Ser2netProcess(const Ser2netProcess &) = delete;
    Ser2netProcess &operator=(const Ser2netProcess &) = delete;

    // Serving every device.
    bool running() const { return pid_ > 0; }
    // What a tool takes with -s for device k: "rfc2217://127.0.0.1:PORT".
    std::string port_name(size_t k) const;
    uint16_t tcp_port(size_t k) const { return ports_.at(k); }
    pid_t pid() const { return pid_; }
    // Ends it with SIGKILL, as a crash or a pulled cable would, and waits until it is gone.
    void kill();
    // Starts it again on the same ports; false when it did not come up.
    bool restart();
    // Collects ser2net's exit status once something else ended it; true when it is gone.
    bool reap();
    // Waits until ser2net holds none of the devices open: it closes a device some milliseconds
    // after its client has gone, and on the way resets the terminal, which would disturb another
    // program that has just opened the same device. False when it still holds one after a second.
    bool wait_devices_closed() const;

  private:
    bool start();

    std::vector<std::string> devices_;
    std::filesystem::path dir_;
    std::vector<uint16_t> ports_;
    pid_t pid_ = -1;
};

} // namespace ztest
