// A pseudo-terminal that carries one simulated board's bridge byte stream. Clients open the
// terminal's path as they would a USB serial device; one client at a time, any number in turn.
#pragma once

#include <csignal>
#include <memory>
#include <string>

#include "board.h"
#include "link/usb_link.h"

namespace zsim {

class PtyServer {
  public:
    // Null with the reason in `error` when no pseudo-terminal can be had.
    static std::unique_ptr<PtyServer> open(std::string &error);
    // Takes the master side `master` of the terminal at `path`.
    PtyServer(int master, std::string path) : master_(master), path_(std::move(path)) {}
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // The path clients open.
    const std::string &path() const { return path_; }

    // Carries bytes between the terminal and the board until `stop` becomes nonzero, timed as
    // the board's link options say. When a client closes the terminal the board forgets any
    // half-received packet and answers still on their way, and saves its flash.
    void serve(Board &board, const volatile std::sig_atomic_t &stop);
    // The same over a link the caller holds, e.g. to read what crossed it.
    void serve(UsbLink &link, const volatile std::sig_atomic_t &stop);

  private:
    void send(const std::vector<uint8_t> &bytes);

    int master_;
    std::string path_;
};

} // namespace zsim
