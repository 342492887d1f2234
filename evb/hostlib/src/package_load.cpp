#include "package_load.h"

#include <algorithm>
#include <vector>

int load_package(morvel_zelp_device_s *zelp, std::span<const uint8_t> package, size_t chunk,
                 size_t &loaded) {
    loaded = 0;
    int s = morvel_zelp_load(zelp, nullptr, 0);
    if (s != MORVEL_ZELP_ERROR_MORE) return s;
    // Each piece in a buffer of its own size, as a host that reads a file piece by piece has it.
    std::vector<uint8_t> piece;
    while (loaded < package.size() && s == MORVEL_ZELP_ERROR_MORE) {
        const size_t n = std::min(chunk, package.size() - loaded);
        piece.assign(package.begin() + static_cast<std::ptrdiff_t>(loaded),
                     package.begin() + static_cast<std::ptrdiff_t>(loaded + n));
        s = morvel_zelp_load(zelp, piece.data(), static_cast<int>(n));
        loaded += n;
    }
    return s;
}

int load_package_file(morvel_zelp_device_s *zelp, const char *path, size_t chunk, size_t &loaded,
                      mvpkg::input_read &read) {
    loaded = 0;
    int s = morvel_zelp_load(zelp, nullptr, 0);
    if (s != MORVEL_ZELP_ERROR_MORE) return s;
    std::vector<uint8_t> piece;
    read = mvpkg::read_input_pieces(
        path, chunk, mvpkg::input_limit, [&](std::span<const uint8_t> bytes) {
            piece.assign(bytes.begin(), bytes.end());
            s = morvel_zelp_load(zelp, piece.data(), static_cast<int>(piece.size()));
            loaded += piece.size();
            return s == MORVEL_ZELP_ERROR_MORE;
        });
    return s;
}
