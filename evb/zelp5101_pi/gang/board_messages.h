// What the board I/O layer prints while a board runs, kept with that board.
//
// The layer prints its failures on standard error as it meets them, some without a newline
// ("Error during transfer on the Serial/SPI device"); with each board in a thread of its own the
// pieces of several boards would run together on one line, and no one could tell whose they
// were. While the boards run, standard error is a stream that hands each write to the board of
// the thread that makes it; a thread that runs no board writes through to standard error as
// before. The stream is unbuffered, so every write reaches it in the thread that made it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class board_messages {
  public:
    // From here until the object goes, standard error is sorted by thread.
    board_messages();
    ~board_messages();
    board_messages(const board_messages &) = delete;
    board_messages &operator=(const board_messages &) = delete;

    // In a board's thread: each write the thread makes on standard error goes to `writes`, until
    // the object goes.
    class capture {
      public:
        explicit capture(std::vector<std::string> &writes);
        ~capture();
        capture(const capture &) = delete;
        capture &operator=(const capture &) = delete;

      private:
        std::vector<std::string> *previous_;
    };

  private:
    std::FILE *terminal_;
};

// The captured writes as lines: a write is a message of its own, ended by its newline or not;
// empty lines are left out.
std::vector<std::string> message_lines(const std::vector<std::string> &writes);
