#include "package_check.h"

#include <memory>
#include <span>
#include <vector>

namespace mvpkg {

package_verdict check_package_file(const char *path, size_t chunk, int collect_log, size_t limit) {
    // The parser state is large; it lives on the heap rather than the caller's stack.
    auto state = std::make_unique<morvel_pkg_parser_state_t>();
    morvel_pkg_parser_state_t &p = *state;
    morvel_pkg_parser_init(&p);
    morvel_pkg_parser_reset(&p);
    package_verdict v;
    bool decided = false;
    size_t pos = 0;
    std::vector<uint8_t> buffer;
    v.read = read_input_pieces(
        path, chunk == 0 ? max_piece : chunk, limit, [&](std::span<const uint8_t> piece) {
            buffer.assign(piece.begin(), piece.end());
            morvel_pkg_preprocess_chunk(&p, buffer.data(), static_cast<int>(piece.size()), 0);
            morvel_pkg_parser_reset(&p);
            while (p.ptr < p.open_ram_end && p.mode != PACKAGE_MODE_DONE) {
                const int result = morvel_pkg_parse_chunk(&p, collect_log);
                if (result != MORVEL_PACKAGE_ERROR_NONE) {
                    v.result = result;
                    v.offset = static_cast<uint32_t>(pos + (p.ptr - p.open_ram_begin));
                    decided = true;
                    return false;
                }
            }
            pos += piece.size();
            if (p.mode == PACKAGE_MODE_DONE) {
                v.result = MORVEL_PACKAGE_ERROR_NONE;
                decided = true;
                return false;
            }
            return true;
        });
    v.crc = p.calc_crc;
    // The file ended inside a record: the value or field that was being read stays open.
    if (!decided) v.offset = static_cast<uint32_t>(pos);
    return v;
}

} // namespace mvpkg
