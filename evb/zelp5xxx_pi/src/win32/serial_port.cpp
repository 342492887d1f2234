// The bridge's serial function as a Windows COM port: exclusive, synchronous, and with time-outs
// so that no read or write outlasts the limit the wire core gives it.
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "byte_port.h"
#include "win32/system_text.h"

namespace zio {

namespace {

// Time-outs are set again only when a call's limit is above the one in force or a step or more
// below it, so packet after packet, whose limits differ by a millisecond or two, costs no system
// call; a call may then end up to one step after its own limit.
constexpr DWORD kLimitStepMs = 100;

DWORD millis(Millis limit) {
    return static_cast<DWORD>(std::clamp<long long>(limit.count(), 1, MAXDWORD / 2));
}

bool close_enough(DWORD current, DWORD wanted) {
    return current >= wanted && current <= wanted + kLimitStepMs;
}

DWORD rounded_up(DWORD wanted) {
    return (wanted + kLimitStepMs - 1) / kLimitStepMs * kLimitStepMs;
}

// Only total time-outs: a read returns when all the bytes asked for are in or its constant has
// passed, a write when all bytes are out or its constant has passed. The wire core always asks
// for exactly the bytes still missing, so one read normally takes a whole answer.
COMMTIMEOUTS timeouts(DWORD read_ms, DWORD write_ms) {
    return {0, 0, read_ms, 0, write_ms};
}

class SerialPort final : public BytePort {
  public:
    explicit SerialPort(HANDLE handle) : handle_(handle) {}
    ~SerialPort() override { close(); }
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    bool set_limits(DWORD read_ms, DWORD write_ms) {
        COMMTIMEOUTS next = timeouts(read_ms, write_ms);
        if (!SetCommTimeouts(handle_, &next)) return false;
        current_ = next;
        return true;
    }

    int write(std::span<const uint8_t> bytes, Millis limit) override {
        const DWORD wanted = millis(limit);
        if (!close_enough(current_.WriteTotalTimeoutConstant, wanted) &&
            !set_limits(current_.ReadTotalTimeoutConstant, rounded_up(wanted)))
            return -1;
        DWORD n = 0;
        const BOOL ok =
            WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
        if (!ok && n == 0) return -1;
        return static_cast<int>(n);
    }

    int read(std::span<uint8_t> bytes, Millis limit) override {
        const DWORD wanted = millis(limit);
        if (!close_enough(current_.ReadTotalTimeoutConstant, wanted) &&
            !set_limits(rounded_up(wanted), current_.WriteTotalTimeoutConstant))
            return -1;
        DWORD n = 0;
        if (!ReadFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr))
            return -1;
        return static_cast<int>(n);
    }

    void discard_input() override { PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR); }

    bool close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        const BOOL ok = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        // The caller reports a failure with perror, which knows errno, not the system's code.
        if (!ok) errno = EIO;
        return ok != 0;
    }

  private:
    HANDLE handle_;
    COMMTIMEOUTS current_{};
};

// Until the first call sets its own: the wire core's usual bounds.
constexpr DWORD kFirstLimitMs = 3000;

} // namespace

// Windows ports are named COM and a number and opened in the device namespace ("\\.\COM12"),
// the only form that reaches ports above COM9.
std::string serial_device_path(const std::string &name) {
    if (name.rfind("COM", 0) != 0) return {};
    return "\\\\.\\" + name;
}

namespace {

void describe_failure(OpenFailure *failure) {
    const DWORD code = GetLastError();
    if (!failure) return;
    // An unshared port another process has open answers ERROR_ACCESS_DENIED (or a sharing
    // violation): on Windows that is the port being held, not a matter of rights.
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
        failure->reason = "in use by another process";
    } else {
        failure->reason = system_text(code);
    }
    SetLastError(code);
}

} // namespace

std::unique_ptr<BytePort> open_serial_port(const std::string &path, OpenFailure *failure) {
    // Not shared, synchronous; the line settings stay as the system keeps them for the port.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        describe_failure(failure);
        return nullptr;
    }
    auto port = std::make_unique<SerialPort>(handle);
    // A port whose calls cannot be bounded would hang the caller on a silent bridge.
    if (!port->set_limits(kFirstLimitMs, kFirstLimitMs)) return nullptr;
    return port;
}

} // namespace zio
