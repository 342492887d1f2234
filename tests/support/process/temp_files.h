// Temporary directories and whole-file reads and writes for tests that keep files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ztest {

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
  public:
    explicit TempDir(const std::string &name);
    ~TempDir();
    const std::filesystem::path &path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::vector<uint8_t> read_bytes(const std::filesystem::path &p);
void write_bytes(const std::filesystem::path &p, const std::vector<uint8_t> &data);
// `n` bytes of a linear congruential sequence from `seed`: an image no two seeds share.
std::vector<uint8_t> pseudo_random_bytes(size_t n, unsigned seed);

} // namespace ztest
