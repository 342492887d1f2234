// The clients of a served pseudo-terminal, as the server sees them: when they come and go, and
// the exclusive hold (TIOCEXCL) they take.
//
// A USB serial device's tty goes with its last close, and the exclusive flag with it. A
// pseudo-terminal's client side lives as long as its master, so the flag would outlive the
// client and lock every later client out but root's; TIOCNXCL on the master clears only the
// master's own flag. So the server keeps a descriptor of the client side open, from before any
// client came, and clears the flag through it. Holding that side open hides the master's
// hang-up, so the clients' opens and closes are watched with inotify instead, which reports
// killed clients' closes too.
//
// A server only learns of a close after it happened, and the next client may already be trying
// to open; clearing the flag only then would lose to it now and then. So the flag is cleared as
// soon as a client's bytes arrive: the hold keeps a second client out until the first has
// started talking. The tools also take an advisory lock, which binds for the whole session.
#pragma once

#include <memory>
#include <string>

namespace zsim {

class PtyClients {
  public:
    // Null with the reason in `error` when the client side at `path` cannot be held or watched.
    static std::unique_ptr<PtyClients> watch(const std::string &path, std::string &error);
    PtyClients(int held, int watch) : held_(held), watch_(watch) {}
    ~PtyClients();
    PtyClients(const PtyClients &) = delete;
    PtyClients &operator=(const PtyClients &) = delete;

    // Readable when clients came or went.
    int fd() const { return watch_; }

    struct Change {
        bool came = false;    // a client opened the terminal
        bool left = false;    // the last client closed the terminal
        bool present = false; // a client has it open now (perhaps a new one after `left`)
    };
    // Takes what happened since the last call.
    Change take_changes();

    // Clears the exclusive hold a client took.
    void release_exclusive() const;
    // Drops answers sent to a departed client that it never read.
    void discard_unread() const;

  private:
    int held_;
    int watch_;
    int open_ = 0;
};

} // namespace zsim
