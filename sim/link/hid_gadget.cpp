#include "link/hid_gadget.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zsim {

namespace {

int open_node(const std::string &path) {
    return ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

class HidGadget final : public ReportSink {
  public:
    HidGadget(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~HidGadget() override { close_node(); }
    HidGadget(const HidGadget &) = delete;
    HidGadget &operator=(const HidGadget &) = delete;

    bool send(std::span<const uint8_t> report) override {
        if (fd_ < 0) fd_ = open_node(path_);
        if (fd_ < 0) return false;
        for (;;) {
            const ssize_t n = ::write(fd_, report.data(), report.size());
            if (n == static_cast<ssize_t>(report.size())) return true;
            if (n < 0 && errno == EINTR) continue;
            // Anything but a full queue means the node is gone or broken: open it again next time.
            if (n >= 0 || errno != EAGAIN) close_node();
            return false;
        }
    }

  private:
    void close_node() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::string path_;
    int fd_;
};

} // namespace

std::unique_ptr<ReportSink> open_hid_gadget(const std::string &path, std::string &error) {
    const int fd = open_node(path);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<HidGadget>(path, fd);
}

} // namespace zsim
