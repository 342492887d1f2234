#include "image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "input_file.h"
#include "run_failure.h"

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

file_ptr open_or_fail(const char *file_name, const char *mode) {
    file_ptr f(std::fopen(file_name, mode));
    if (!f) file_error("opening", file_name);
    return f;
}

// Closing flushes what stdio still buffers, so a failure here can mean lost data.
void close_or_fail(file_ptr f, const char *file_name) {
    if (std::fclose(f.release()) != 0) file_error("closing", file_name);
}

long file_length(std::FILE *f, const char *file_name) {
    if (std::fseek(f, 0, SEEK_END) != 0) file_error("seeking end of", file_name);
    const long len = std::ftell(f);
    if (len < 0) file_error("seeking end of", file_name);
    if (std::fseek(f, 0, SEEK_SET) != 0) file_error("seeking start of", file_name);
    return len;
}

// Room for the `len` bytes the file says it holds.
std::vector<uint8_t> allocate_or_fail(long len, const char *file_name) {
    std::vector<uint8_t> buf;
    try {
        buf.reserve(static_cast<size_t>(len));
        return buf;
    } catch (const std::bad_alloc &) {
    } catch (const std::length_error &) {
    }
    char text[64];
    std::snprintf(text, sizeof text, "unable to allocate %d buffer for ", static_cast<int>(len));
    fail_message(std::string(text).append(file_name).append("\n"));
}

[[noreturn]] void refuse_input(const char *file_name, const mvpkg::input_read &r) {
    fail_message(mvpkg::input_failure(file_name, r).append("\n"));
}

size_t stdio_put(const void *data, size_t size, size_t n, std::FILE *f) {
    return std::fwrite(data, size, n, f);
}

} // namespace

std::vector<uint8_t> read_file(const char *file_name) {
    file_ptr f = open_or_fail(file_name, "rb");
    // A directory opens but does not read; its length would be nonsense, so say why first.
    errno = 0;
    if (std::fgetc(f.get()) == EOF && std::ferror(f.get()))
        fail_message(std::string(file_name).append(": ").append(std::strerror(errno)).append("\n"));
    const long len = file_length(f.get(), file_name);
    if (static_cast<unsigned long>(len) > mvpkg::input_limit)
        refuse_input(file_name, {mvpkg::input_read::too_large, EFBIG});
    std::vector<uint8_t> buf = allocate_or_fail(len, file_name);
    // Read to the end rather than the length alone: a device such as /dev/zero says 0 and never
    // ends, and is refused at the bound.
    const mvpkg::input_read r = mvpkg::read_input_pieces(
        f.get(), mvpkg::max_piece, mvpkg::input_limit, [&](std::span<const uint8_t> piece) {
            buf.insert(buf.end(), piece.begin(), piece.end());
            return true;
        });
    if (r.result == mvpkg::input_read::read_error) {
        errno = r.error;
        file_error("reading", file_name);
    }
    if (r.failed()) refuse_input(file_name, r);
    if (buf.size() < static_cast<size_t>(len)) {
        char text[64];
        std::snprintf(text, sizeof text, "short read of %d, expected %d for ",
                      static_cast<int>(buf.size()), static_cast<int>(len));
        fail_message(std::string(text).append(file_name).append("\n"));
    }
    close_or_fail(std::move(f), file_name);
    return buf;
}

int write_file(const char *file_name, std::span<const uint8_t> buf, file_put_f put) {
    if (put == nullptr) put = stdio_put;
    file_ptr f = open_or_fail(file_name, "wb");
    const size_t written = put(buf.data(), 1, buf.size(), f.get());
    if (std::ferror(f.get())) file_error("writing", file_name);
    const bool short_write = written < buf.size();
    if (short_write) {
        std::fprintf(stderr, "short write of %d, expected %d for %s\n", static_cast<int>(written),
                     static_cast<int>(buf.size()), file_name);
    }
    close_or_fail(std::move(f), file_name);
    return short_write ? 1 : 0;
}

void file_error(const char *operation, const char *file) {
    // perror's form: "error OPERATION FILE: REASON".
    const char *reason = std::strerror(errno);
    fail_message(std::string("error ")
                     .append(operation)
                     .append(" ")
                     .append(file)
                     .append(": ")
                     .append(reason)
                     .append("\n"));
}

int64_t encoded_size(int64_t count, bool three_byte) {
    return morvel_zelp7x_flash_encoded_size(count, three_byte ? 1 : 0);
}

void encode_image(std::span<const uint8_t> data, bool three_byte, std::span<uint8_t> flash) {
    morvel_zelp7x_flash_encode(data.data(), static_cast<uint32_t>(data.size()), three_byte ? 1 : 0,
                               flash.data(), static_cast<uint32_t>(flash.size()));
}

size_t decode_image(std::span<const uint8_t> flash, bool three_byte, std::span<uint8_t> data) {
    size_t j = 0;
    for (size_t i = 0; i < flash.size() && j < data.size(); ++i) {
        if (!is_filler(i, three_byte)) data[j++] = flash[i];
    }
    return j;
}
