#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "devices/flash_image.h"

namespace zsim {

namespace {

class MappedFile final : public FlashImage {
  public:
    MappedFile(int fd, uint8_t *data, size_t size) : fd_(fd), data_(data), size_(size) {}
    ~MappedFile() override {
        munmap(data_, size_);
        ::close(fd_);
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::span<uint8_t> bytes() override { return {data_, size_}; }
    void sync() const override { msync(data_, size_, MS_SYNC); }

  private:
    int fd_;
    uint8_t *data_;
    size_t size_;
};

} // namespace

std::unique_ptr<FlashImage> open_flash_image(const std::string &path, size_t size,
                                             std::string &error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    const bool sized = fstat(fd, &st) == 0 && (static_cast<size_t>(st.st_size) >= size ||
                                               ftruncate(fd, static_cast<off_t>(size)) == 0);
    void *p = sized ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : nullptr;
    if (!sized || p == MAP_FAILED) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    auto image = std::make_unique<MappedFile>(fd, static_cast<uint8_t *>(p), size);
    erase_from(*image, static_cast<size_t>(st.st_size));
    return image;
}

} // namespace zsim
