#include "support/board/recording_port.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include "io_state.h"
#include "zelp_linux_io.h"

namespace ztest {

std::vector<uint8_t> PortLog::written() const {
    std::vector<uint8_t> all;
    for (const auto &w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
}

int RecordingPort::write(std::span<const uint8_t> bytes, zio::Millis) {
    if (log_->dead) return -1;
    size_t n = bytes.size();
    if (log_->write_cap >= 0) n = std::min(n, static_cast<size_t>(log_->write_cap));
    log_->writes.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    if (!log_->replies.empty()) {
        log_->input.insert(log_->input.end(), log_->replies.front().begin(),
                           log_->replies.front().end());
        log_->replies.pop_front();
    }
    if (log_->on_write) log_->on_write(bytes.first(n), *log_);
    return static_cast<int>(n);
}

int RecordingPort::read(std::span<uint8_t> bytes, zio::Millis) {
    ++log_->reads;
    if (log_->dead) return -1;
    size_t n = std::min(bytes.size(), log_->input.size());
    if (log_->read_cap > 0) n = std::min(n, log_->read_cap);
    std::copy_n(log_->input.begin(), n, bytes.begin());
    log_->input.erase(log_->input.begin(), log_->input.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

void RecordingPort::discard_input() {
    ++log_->purges;
    log_->input.clear();
}

bool RecordingPort::close() {
    log_->closed = true;
    errno = log_->close_error;
    return log_->close_error == 0;
}

RecordedIo::RecordedIo(const zelp_io_report_s &report)
    : log_(std::make_shared<PortLog>()),
      handle_(zio::io_open_with_port(std::make_unique<RecordingPort>(log_), report)) {}

RecordedIo::~RecordedIo() {
    uninit();
}

int RecordedIo::uninit() {
    const int status = zelp_linux_io_uninit(handle_);
    handle_ = nullptr;
    return status;
}

bool RecordedIo::lock_is_free() const {
    bool free = false;
    std::thread other([&] {
        free = handle_->serial_mutex.try_lock();
        if (free) handle_->serial_mutex.unlock();
    });
    other.join();
    return free;
}

std::vector<uint8_t> bytes_of(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

} // namespace ztest
