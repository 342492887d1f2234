#include "image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

file_ptr open_or_exit(const char *file_name, const char *mode) {
    file_ptr f(std::fopen(file_name, mode));
    if (!f) file_error("opening", file_name);
    return f;
}

// Closing flushes what stdio still buffers, so a failure here can mean lost data.
void close_or_exit(file_ptr f, const char *file_name) {
    if (std::fclose(f.release()) != 0) file_error("closing", file_name);
}

long file_length(std::FILE *f, const char *file_name) {
    if (std::fseek(f, 0, SEEK_END) != 0) file_error("seeking end of", file_name);
    const long len = std::ftell(f);
    if (len < 0) file_error("seeking end of", file_name);
    if (std::fseek(f, 0, SEEK_SET) != 0) file_error("seeking start of", file_name);
    return len;
}

std::vector<uint8_t> allocate_or_exit(long len, const char *file_name) {
    try {
        return std::vector<uint8_t>(static_cast<size_t>(len));
    } catch (const std::bad_alloc &) {
    } catch (const std::length_error &) {
    }
    std::fprintf(stderr, "unable to allocate %d buffer for %s\n", static_cast<int>(len), file_name);
    std::exit(1);
}

size_t stdio_put(const void *data, size_t size, size_t n, std::FILE *f) {
    return std::fwrite(data, size, n, f);
}

} // namespace

std::vector<uint8_t> read_file(const char *file_name) {
    file_ptr f = open_or_exit(file_name, "rb");
    // A directory opens but does not read; its length would be nonsense, so say why first.
    errno = 0;
    if (std::fgetc(f.get()) == EOF && std::ferror(f.get())) {
        std::fprintf(stderr, "%s: %s\n", file_name, std::strerror(errno));
        std::exit(1);
    }
    const long len = file_length(f.get(), file_name);
    std::vector<uint8_t> buf = allocate_or_exit(len, file_name);
    const size_t got = std::fread(buf.data(), 1, buf.size(), f.get());
    if (std::ferror(f.get())) file_error("reading", file_name);
    if (got < buf.size()) {
        std::fprintf(stderr, "short read of %d, expected %d for %s\n", static_cast<int>(got),
                     static_cast<int>(len), file_name);
        std::exit(1);
    }
    close_or_exit(std::move(f), file_name);
    return buf;
}

int write_file(const char *file_name, std::span<const uint8_t> buf, file_put_f put) {
    if (put == nullptr) put = stdio_put;
    file_ptr f = open_or_exit(file_name, "wb");
    const size_t written = put(buf.data(), 1, buf.size(), f.get());
    if (std::ferror(f.get())) file_error("writing", file_name);
    const bool short_write = written < buf.size();
    if (short_write) {
        std::fprintf(stderr, "short write of %d, expected %d for %s\n", static_cast<int>(written),
                     static_cast<int>(buf.size()), file_name);
    }
    close_or_exit(std::move(f), file_name);
    return short_write ? 1 : 0;
}

void file_error(const char *operation, const char *file) {
    const std::string what = std::string("error ") + operation + " " + file;
    std::perror(what.c_str());
    std::exit(1);
}

int64_t encoded_size(int64_t count, bool three_byte) {
    int64_t n = count;
    if (three_byte) n += n / 3;
    return (n + 3) / 4 * 4;
}

void encode_image(std::span<const uint8_t> data, bool three_byte, std::span<uint8_t> flash) {
    std::ranges::fill(flash, 0xFF);
    size_t j = 0;
    for (size_t i = 0; i < flash.size() && j < data.size(); ++i) {
        if (!is_filler(i, three_byte)) flash[i] = data[j++];
    }
}

size_t decode_image(std::span<const uint8_t> flash, bool three_byte, std::span<uint8_t> data) {
    size_t j = 0;
    for (size_t i = 0; i < flash.size() && j < data.size(); ++i) {
        if (!is_filler(i, three_byte)) data[j++] = flash[i];
    }
    return j;
}
