// What this process writes to file descriptors 1 and 2, whoever writes it: stdio, a library that
// writes the descriptors directly, another thread.
#pragma once

#include <cstdio>
#include <string>

#include "support/process/temp_files.h"

namespace ztest {

class FdCapture {
  public:
    struct Output {
        std::string out; // descriptor 1
        std::string err; // descriptor 2
    };

    // Flushes stdio and points both descriptors at files of their own (one capture at a time).
    FdCapture();
    // Puts the descriptors back, if finish has not.
    ~FdCapture();
    FdCapture(const FdCapture &) = delete;
    FdCapture &operator=(const FdCapture &) = delete;

    // Flushes stdio, puts the descriptors back and returns what reached them meanwhile.
    Output finish();

  private:
    struct Redirect {
        int fd;
        int saved = -1;
        std::FILE *file = nullptr;
    };
    void restore();
    static std::string read_all(std::FILE *file);

    TempDir dir_{"fd_capture"};
    Redirect out_{1}, err_{2};
};

} // namespace ztest
