#include <windows.h>

#include "devices/flash_image.h"

namespace zsim {

namespace {

std::string failure(const std::string &path) {
    return path + ": system error " + std::to_string(GetLastError());
}

class MappedFile final : public FlashImage {
  public:
    MappedFile(HANDLE file, HANDLE mapping, uint8_t *data, size_t size)
        : file_(file), mapping_(mapping), data_(data), size_(size) {}
    ~MappedFile() override {
        UnmapViewOfFile(data_);
        CloseHandle(mapping_);
        CloseHandle(file_);
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::span<uint8_t> bytes() override { return {data_, size_}; }
    void sync() const override {
        FlushViewOfFile(data_, size_);
        FlushFileBuffers(file_);
    }

  private:
    HANDLE file_;
    HANDLE mapping_;
    uint8_t *data_;
    size_t size_;
};

} // namespace

std::unique_ptr<FlashImage> open_flash_image(const std::string &path, size_t size,
                                             std::string &error) {
    // Shared for reading and writing, so a running board's flash can be looked at meanwhile.
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = failure(path);
        return nullptr;
    }
    LARGE_INTEGER old{};
    // A mapping larger than the file grows the file to its size.
    const auto wide = static_cast<uint64_t>(size);
    const HANDLE mapping =
        GetFileSizeEx(file, &old)
            ? CreateFileMappingA(file, nullptr, PAGE_READWRITE, static_cast<DWORD>(wide >> 32),
                                 static_cast<DWORD>(wide), nullptr)
            : nullptr;
    void *view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size) : nullptr;
    if (!view) {
        error = failure(path);
        if (mapping) CloseHandle(mapping);
        CloseHandle(file);
        return nullptr;
    }
    auto image = std::make_unique<MappedFile>(file, mapping, static_cast<uint8_t *>(view), size);
    erase_from(*image, static_cast<size_t>(old.QuadPart));
    return image;
}

} // namespace zsim
