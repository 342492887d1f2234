// Writes 60-zelp7x.rules to the file named on the command line, at build time.
#include <cstdio>

#include "udev_rules.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelp7x_udev_rules FILE\n");
        return 2;
    }
    std::FILE *out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const std::string text = zelp_udev_rules();
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
