// A file a command writes what it took out of the chip into, or standard output for "-", written
// as the bytes come. When it cannot be written the system's reason is said, and a file this
// command created is removed, so that a partial output never passes for a whole one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

class output_file {
  public:
    // Each returns 0, or failure_reported after saying why.
    int open(const std::string &path);
    int write(std::span<const uint8_t> bytes);
    // Back to the first byte, to rewrite what comes first (a header's sizes).
    int rewind();
    // Everything out and the file closed.
    int finish();

    bool to_stdout() const { return out_ == stdout; }
    const std::string &path() const { return path_; }

  private:
    struct closer {
        void operator()(std::FILE *f) const { std::fclose(f); }
    };
    int cannot_write();

    std::string path_;
    std::unique_ptr<std::FILE, closer> owned_;
    std::FILE *out_ = nullptr;
    bool created_ = false;
};

// The whole of `bytes` to `path` as one output file.
int write_output_file(const std::string &path, std::span<const uint8_t> bytes);
