#include "support/process/fd_capture.h"

#include <unistd.h>

namespace ztest {

FdCapture::FdCapture() {
    std::fflush(nullptr);
    for (Redirect *r : {&out_, &err_}) {
        // A named file: the C runtime's tmpfile on Windows wants the current drive's root.
        r->file = std::fopen((dir_.path() / std::to_string(r->fd)).string().c_str(), "w+b");
        r->saved = ::dup(r->fd);
        if (r->file != nullptr) ::dup2(fileno(r->file), r->fd);
    }
}

FdCapture::~FdCapture() {
    restore();
    for (Redirect *r : {&out_, &err_})
        if (r->file != nullptr) std::fclose(r->file);
}

void FdCapture::restore() {
    std::fflush(nullptr);
    for (Redirect *r : {&out_, &err_}) {
        if (r->saved < 0) continue;
        ::dup2(r->saved, r->fd);
        ::close(r->saved);
        r->saved = -1;
    }
}

std::string FdCapture::read_all(std::FILE *file) {
    std::string text;
    if (file == nullptr) return text;
    std::rewind(file);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) text.append(buf, n);
    return text;
}

FdCapture::Output FdCapture::finish() {
    restore();
    return {read_all(out_.file), read_all(err_.file)};
}

} // namespace ztest
