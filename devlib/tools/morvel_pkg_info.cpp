// morvel_pkg_info: checks a package file by walking it through the package reader, fed in chunks
// of a chosen size exactly as a loader would, and reports the verdict in one line.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "morvel_packager/morvel_package.h"
#include "package_check.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_package_error = 1;
constexpr int exit_usage = 2;

struct options {
    bool verbose = false;
    size_t chunk = 0; // 0: pieces of the largest size the file reader hands over (1 MiB)
    const char *path = nullptr;
};

void print_usage(std::FILE *stream = stderr) {
    std::fprintf(stream, "usage: morvel_pkg_info [-v] [-c N] FILE\n"
                         "  -v    print the values read\n"
                         "  -c N  feed the reader N bytes at a time (default: 1 MiB)\n");
}

std::optional<size_t> parse_chunk_size(const char *text) {
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-') return std::nullopt;
    if (value == 0 || value > INT_MAX) return std::nullopt; // the reader takes an int length
    return static_cast<size_t>(value);
}

std::optional<options> parse_options(int argc, char **argv) {
    options opts;
    int opt;
    while ((opt = getopt(argc, argv, "vc:")) != -1) {
        if (opt == 'v') {
            opts.verbose = true;
        } else if (opt == 'c') {
            const auto chunk = parse_chunk_size(optarg);
            if (!chunk) return std::nullopt;
            opts.chunk = *chunk;
        } else {
            return std::nullopt;
        }
    }
    if (optind != argc - 1) return std::nullopt;
    opts.path = argv[optind];
    return opts;
}

} // namespace

int main(int argc, char **argv) {
    // The long options, anywhere before a "--".
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            print_usage(stdout);
            return exit_ok;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("morvel_pkg_info %s\n", ZELP_VERSION);
            return exit_ok;
        }
    }
    const auto opts = parse_options(argc, argv);
    if (!opts) {
        print_usage();
        return exit_usage;
    }
    // The reader's verdict decides how far the walk goes, through a file of any length.
    const mvpkg::package_verdict v = mvpkg::check_package_file(
        opts->path, opts->chunk, opts->verbose ? 1 : 0, mvpkg::no_input_limit);
    if (v.read.result == mvpkg::input_read::cannot_open) {
        std::fprintf(stderr, "morvel_pkg_info: cannot read %s\n", opts->path);
        return exit_usage;
    }
    if (v.read.result == mvpkg::input_read::read_error) {
        if (opts->verbose && v.read.bytes > 0) std::printf("\n");
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", opts->path, std::strerror(v.read.error));
        return exit_usage;
    }
    // The log may leave its last line open; the verdict always gets a line of its own.
    if (opts->verbose) std::printf("\n");
    if (v.result != MORVEL_PACKAGE_ERROR_NONE) {
        std::printf("package error %d (%s) at byte %u\n", v.result, morvel_pkg_error_name(v.result),
                    v.offset);
        return exit_package_error;
    }
    std::printf("package ok, crc 0x%08x\n", v.crc);
    return exit_ok;
}
