#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host_commands.h"

int output_file::open(const std::string &path) {
    path_ = path;
    if (path == "-") {
        out_ = stdout;
        return 0;
    }
    std::error_code ec;
    created_ = !std::filesystem::exists(path, ec);
    owned_.reset(std::fopen(path.c_str(), "wb"));
    out_ = owned_.get();
    if (out_ == nullptr) {
        created_ = false;
        return cannot_write();
    }
    return 0;
}

int output_file::write(std::span<const uint8_t> bytes) {
    // fwrite is not given the null of an empty span.
    if (bytes.empty()) return 0;
    return std::fwrite(bytes.data(), 1, bytes.size(), out_) == bytes.size() ? 0 : cannot_write();
}

int output_file::rewind() {
    return std::fseek(out_, 0, SEEK_SET) == 0 ? 0 : cannot_write();
}

int output_file::finish() {
    if (std::fflush(out_) != 0) return cannot_write();
    if (owned_ && std::fclose(owned_.release()) != 0) return cannot_write();
    return 0;
}

int output_file::cannot_write() {
    const int error = errno;
    if (out_ == stdout)
        std::fprintf(stderr, "zelp7x_host: cannot write to standard output: %s\n",
                     std::strerror(error));
    else
        std::fprintf(stderr, "zelp7x_host: cannot write %s: %s\n", path_.c_str(),
                     std::strerror(error));
    owned_.reset();
    if (created_) std::remove(path_.c_str());
    created_ = false;
    return failure_reported;
}

int write_output_file(const std::string &path, std::span<const uint8_t> bytes) {
    output_file file;
    int s = file.open(path);
    if (s == 0) s = file.write(bytes);
    return s == 0 ? file.finish() : s;
}
