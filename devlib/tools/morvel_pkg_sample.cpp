// morvel_pkg_sample: writes a sample package to try a load with, on the simulated board or a real
// one, when no vendor package is at hand.
#include <cstdio>
#include <optional>
#include <string_view>

#include "package_file.h"
#include "sample_package.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

void print_usage() {
    std::fprintf(stderr,
                 "usage: morvel_pkg_sample [-p all|firmware|model] FILE\n"
                 "  -p all       firmware, versions, labels, network and posterior (default)\n"
                 "  -p firmware  the firmware and its version alone\n"
                 "  -p model     everything but the firmware\n");
}

struct options {
    mvpkg::SamplePart part = mvpkg::SamplePart::all;
    const char *path = nullptr;
};

std::optional<options> parse_options(int argc, char **argv) {
    options opts;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-p" && i + 1 < argc) {
            const auto part = mvpkg::sample_part_named(argv[++i]);
            if (!part) return std::nullopt;
            opts.part = *part;
        } else if (!arg.empty() && arg[0] != '-' && opts.path == nullptr) {
            opts.path = argv[i];
        } else {
            return std::nullopt;
        }
    }
    if (opts.path == nullptr) return std::nullopt;
    return opts;
}

} // namespace

int main(int argc, char **argv) {
    const auto opts = parse_options(argc, argv);
    if (!opts) {
        print_usage();
        return exit_usage;
    }
    const mvpkg::Bytes package = mvpkg::sample_package(opts->part);
    if (!mvpkg::write_package_file(opts->path, package)) {
        std::fprintf(stderr, "morvel_pkg_sample: cannot write %s\n", opts->path);
        return exit_failure;
    }
    std::printf("%s: %zu bytes\n", opts->path, package.size());
    return exit_ok;
}
