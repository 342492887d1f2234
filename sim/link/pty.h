// A pseudo-terminal that carries one simulated board's bridge byte stream. Clients open the
// terminal's path as they would a USB serial device; one client at a time, any number in turn.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "board.h"
#include "link/interrupt_reports.h"
#include "link/pty_clients.h"
#include "link/usb_link.h"

namespace zsim {

class PtyServer {
  public:
    // Null with the reason in `error` when no pseudo-terminal can be had, or when a non-empty
    // `link` cannot be made to name it.
    static std::unique_ptr<PtyServer> open(std::string &error, const std::string &link = {});
    // Takes the master side `master` of the terminal at `path`, its clients' watch and the link
    // that names it.
    PtyServer(int master, std::string path, std::unique_ptr<PtyClients> clients, std::string link)
        : master_(master), path_(std::move(path)), clients_(std::move(clients)),
          link_(std::move(link)) {}
    // Removes the link while it still names this server's terminal.
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // The path clients open.
    const std::string &path() const { return path_; }

    // Carries bytes between the terminal and the board until `stop` becomes true, timed as
    // the board's link options say. When a client closes the terminal the board takes every
    // packet it wrote, even when the next client has opened the terminal by then, then forgets
    // a packet a killed client left half written and the answers still on their way, and saves
    // its flash; the exclusive hold the client took goes with it.
    // `stop` is an atomic flag, not a volatile one, so another thread or a signal handler may set
    // it while several boards are served from threads of their own.
    // With `reports`, the board is also looked at while no client talks, and each rise of the
    // chip's interrupt line goes out as the bridge's interrupt report.
    void serve(Board &board, const std::atomic<bool> &stop, InterruptReports *reports = nullptr);
    // The same over a link the caller holds, e.g. to read what crossed it.
    void serve(UsbLink &link, const std::atomic<bool> &stop, InterruptReports *reports = nullptr);
    // One turn of serve: the answers that have arrived go out, then the comings and goings of
    // clients and the bytes they wrote up to now are taken in, after a wait for either of at
    // most the next answer's arrival or 100 ms. False when the master failed. A test that turns
    // the server itself orders its clients' steps exactly against the server's.
    bool serve_once(UsbLink &link, InterruptReports *reports = nullptr);

  private:
    void send(const std::vector<uint8_t> &bytes);
    // One read of the clients' bytes, as read(2) answers.
    ssize_t read_input(std::span<uint8_t> into);
    // Takes the client's bytes; false when the master failed.
    bool take_input(UsbLink &link);
    // Every byte the master holds now, not yet given to the bridge.
    std::vector<uint8_t> take_waiting_input();
    void after_clients_changed(UsbLink &link);

    int master_;
    std::string path_;
    std::unique_ptr<PtyClients> clients_;
    std::string link_;
};

} // namespace zsim
