#include "input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace mvpkg {

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

// A regular file's length; 0 for anything else, whose length says nothing of what it holds.
uintmax_t regular_length(const char *path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return 0;
    const uintmax_t length = std::filesystem::file_size(path, ec);
    return ec ? 0 : length;
}

} // namespace

input_read read_input_pieces(std::FILE *f, size_t piece, size_t limit, const piece_taker &take) {
    std::vector<uint8_t> buffer(std::clamp<size_t>(piece, 1, max_piece));
    input_read r;
    for (;;) {
        // One byte past the bound is enough to know the input does not fit.
        const size_t room = limit - r.bytes;
        const size_t want = room < buffer.size() ? room + 1 : buffer.size();
        errno = 0;
        const size_t n = std::fread(buffer.data(), 1, want, f);
        if (n == 0 && std::ferror(f)) return {input_read::read_error, errno, r.bytes};
        if (n == 0) return r;
        if (n > room) return {input_read::too_large, EFBIG, r.bytes};
        r.bytes += n;
        if (!take(std::span<const uint8_t>(buffer.data(), n))) {
            r.result = input_read::stopped;
            return r;
        }
        if (n < want && std::ferror(f)) return {input_read::read_error, errno, r.bytes};
    }
}

input_read read_input_pieces(const char *path, size_t piece, size_t limit,
                             const piece_taker &take) {
    errno = 0;
    std::unique_ptr<std::FILE, file_closer> f(std::fopen(path, "rb"));
    if (!f) return {input_read::cannot_open, errno, 0};
    if (regular_length(path) > limit) return {input_read::too_large, EFBIG, 0};
    return read_input_pieces(f.get(), piece, limit, take);
}

input_read read_input_file(const char *path, size_t limit, std::vector<uint8_t> &bytes) {
    bytes.clear();
    return read_input_pieces(path, max_piece, limit, [&](std::span<const uint8_t> piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        return true;
    });
}

std::string input_failure(const std::string &path, const input_read &r) {
    return path + ": " + std::strerror(r.error);
}

} // namespace mvpkg
