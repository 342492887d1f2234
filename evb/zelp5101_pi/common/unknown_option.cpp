#include "unknown_option.h"

#include <algorithm>
#include <vector>

namespace {

// Edits from `a` to `b`: a letter inserted, removed or changed, or two neighbours swapped (the
// commonest slip, "lsit" for "list", counts one).
size_t edit_distance(std::string_view a, std::string_view b) {
    const size_t columns = b.size() + 1;
    std::vector<size_t> d((a.size() + 1) * columns);
    const auto at = [&](size_t i, size_t j) -> size_t & { return d[i * columns + j]; };
    for (size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
    for (size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    }
    return at(a.size(), b.size());
}

// Near enough to have been meant: a slip or two, fewer for a short name.
bool near(size_t distance, std::string_view name) {
    return distance <= std::max<size_t>(1, name.size() / 3);
}

} // namespace

std::string unknown_long_option(std::string_view given, std::span<const std::string_view> known) {
    std::string text = "unknown option: " + std::string(given);
    const std::string_view name = given.substr(0, given.find('='));
    const std::string_view *nearest = nullptr;
    size_t best = 0;
    for (const std::string_view &k : known) {
        const size_t d = edit_distance(name, k);
        if (nearest == nullptr || d < best) {
            nearest = &k;
            best = d;
        }
    }
    if (nearest != nullptr && near(best, name.substr(std::min<size_t>(2, name.size()))))
        text += " (did you mean " + std::string(*nearest) + "?)";
    return text;
}
