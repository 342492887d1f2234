// The flash's cells kept in a file: the file is mapped shared, so every change is the file's
// content at once, even when the process ends without saving.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zsim {

class FlashImage {
  public:
    virtual ~FlashImage() = default;
    virtual std::span<uint8_t> bytes() = 0;
    // Waits until the cells are on disk.
    virtual void sync() const = 0;
};

// Maps `path` as `size` bytes, creating or growing the file as needed. Null with the reason in
// `error` when the file cannot be used.
std::unique_ptr<FlashImage> open_flash_image(const std::string &path, size_t size,
                                             std::string &error);

// A new or shorter file grows erased: the cells from its former end on read 0xFF.
inline void erase_from(FlashImage &image, size_t old_size) {
    const auto cells = image.bytes();
    const size_t from = old_size < cells.size() ? old_size : cells.size();
    std::fill(cells.begin() + static_cast<std::ptrdiff_t>(from), cells.end(), uint8_t{0xFF});
}

} // namespace zsim
