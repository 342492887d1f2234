#include "number_arg.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

bool is_minus(const char *arg) {
    while (std::isspace(static_cast<unsigned char>(*arg))) ++arg;
    return *arg == '-';
}

} // namespace

uint32_t strtoul32(const char *arg, char **end) {
    errno = 0;
    const unsigned long long wide = std::strtoull(arg, end, 0);
    if (errno == ERANGE) return UINT32_MAX;
    // strtoull has already negated a leading minus; undo that to see the magnitude.
    const bool negative = is_minus(arg);
    const unsigned long long magnitude = negative ? 0ULL - wide : wide;
    if (magnitude > UINT32_MAX) {
        errno = ERANGE;
        return UINT32_MAX;
    }
    const auto value = static_cast<uint32_t>(magnitude);
    return negative ? 0U - value : value;
}

int get_int0(const char *arg, const char *value_name, uint32_t *value, int report) {
    char *end = nullptr;
    *value = strtoul32(arg, &end);
    if (*end != '\0' || errno == EINVAL) {
        if (report) std::printf("invalid %s value: %s\n", value_name, arg);
        return 1;
    }
    if (errno == ERANGE) {
        if (report) std::printf("%s value out of range: %s\n", value_name, arg);
        return 1;
    }
    return 0;
}

bool get_int(const char *arg, const char *value_name, int &field) {
    uint32_t value = 0;
    if (get_int0(arg, value_name, &value, 1) != 0) return false;
    field = static_cast<int>(value);
    return true;
}
