#include "support/process/temp_files.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

namespace ztest {

namespace fs = std::filesystem;

namespace {

// Concurrent runs of a test keep apart by process id. Under Windows a death test's child runs the
// test again in a process of its own and must find the parent's directory, so there the name
// stays as given: each Windows test run has a wine prefix, and so a temporary directory, of its
// own.
std::string unique_name(const std::string &name) {
#ifdef _WIN32
    return name;
#else
    return name + "_" + std::to_string(::getpid());
#endif
}

} // namespace

TempDir::TempDir(const std::string &name) : path_(fs::temp_directory_path() / unique_name(name)) {
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<uint8_t> read_bytes(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const fs::path &p, const std::vector<uint8_t> &data) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char *>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> pseudo_random_bytes(size_t n, unsigned seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>(seed >> 16);
    }
    return v;
}

} // namespace ztest
