#include "package_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

namespace mvpkg {

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

} // namespace

piece_read read_package_pieces(const char *path, size_t piece,
                               const std::function<bool(std::span<const uint8_t>)> &take) {
    errno = 0;
    std::unique_ptr<std::FILE, file_closer> f(std::fopen(path, "rb"));
    if (!f) return {piece_read::cannot_open, errno, 0};
    std::vector<uint8_t> buffer(std::clamp<size_t>(piece, 1, max_piece));
    piece_read r{piece_read::done, 0, 0};
    for (;;) {
        errno = 0;
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), f.get());
        if (n == 0 && std::ferror(f.get())) return {piece_read::read_error, errno, r.bytes};
        if (n == 0) return r;
        r.bytes += n;
        if (!take(std::span<const uint8_t>(buffer.data(), n))) {
            r.result = piece_read::stopped;
            return r;
        }
        if (n < buffer.size() && std::ferror(f.get()))
            return {piece_read::read_error, errno, r.bytes};
    }
}

std::optional<std::vector<uint8_t>> read_package_file(const char *path) {
    std::vector<uint8_t> bytes;
    const piece_read r = read_package_pieces(path, max_piece, [&](std::span<const uint8_t> p) {
        bytes.insert(bytes.end(), p.begin(), p.end());
        return true;
    });
    if (r.result != piece_read::done) return std::nullopt;
    return bytes;
}

bool write_package_file(const char *path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace mvpkg
