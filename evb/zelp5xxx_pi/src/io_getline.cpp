// A line reader for C libraries without POSIX getline. Where the C library has one (glibc, musl,
// the BSDs), that one is used and only read_line is built.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "io_internal.h"

namespace zio {

namespace {
constexpr size_t kFirstBuffer = 128;

// Grows by a quarter, at least to the first buffer's size.
bool grow(char **lineptr, size_t *n) {
    size_t size = *n + *n / 4;
    if (size < kFirstBuffer) size = kFirstBuffer;
    char *bigger = static_cast<char *>(std::realloc(*lineptr, size));
    if (!bigger) return false;
    *lineptr = bigger;
    *n = size;
    return true;
}
} // namespace

long long read_line(char **lineptr, size_t *n, FILE *stream) {
    if (!lineptr || !n || !stream) {
        errno = EINVAL;
        return -1;
    }
    int c = std::fgetc(stream);
    if (c == EOF) return -1;
    if (!*lineptr) {
        *lineptr = static_cast<char *>(std::malloc(kFirstBuffer));
        if (!*lineptr) return -1;
        *n = kFirstBuffer;
    }
    size_t pos = 0;
    for (; c != EOF; c = std::fgetc(stream)) {
        if (pos + 1 >= *n && !grow(lineptr, n)) return -1;
        (*lineptr)[pos++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    (*lineptr)[pos] = '\0';
    return static_cast<long long>(pos);
}

} // namespace zio

#if defined(_WIN32)
extern "C" long long getline(char **lineptr, size_t *n, FILE *stream) {
    return zio::read_line(lineptr, n, stream);
}
#endif
