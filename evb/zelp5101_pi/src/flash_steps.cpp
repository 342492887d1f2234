// The write and read steps of a run: encode and program the image, read it back, decode,
// checksum, verify, dump or save, with a summary line for each.
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "atmel_dongle.h"
#include "elapsed.h"
#include "flash_steps.h"
#include "image_file.h"
#include "run_options.h"

namespace {

// A buffer of `n` bytes, or none when memory runs out (reported with `message`).
std::optional<std::vector<uint8_t>> allocate(int n, const char *message) {
    try {
        return std::vector<uint8_t>(static_cast<size_t>(n), 0xFF);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, message, n);
        return std::nullopt;
    }
}

} // namespace

std::string range_problem(const run_options &run, uint64_t address, uint64_t count,
                          const char *what) {
    morvel_zelp7x_flash_failure_s failure;
    if (morvel_zelp7x_flash_check_range(run.flash_size, address, count, what, &failure) == 0)
        return {};
    return std::string(failure.message) + "\n";
}

std::string data_range_problem(const run_options &run) {
    std::string problem = range_problem(run, static_cast<uint32_t>(run.address),
                                        static_cast<uint32_t>(run.encoded_count), "flash data");
    if (problem.empty() && run.atmel_dongle && run.write_file_name)
        problem = range_problem(run, run.dongle_descriptor_address, run.dongle_descriptor.size(),
                                "Atmel dongle descriptor");
    return problem;
}

namespace {

// One check for every range the run touches, its problem printed on standard error.
bool range_fits(const run_options &run, uint64_t address, uint64_t count, const char *what) {
    const std::string problem = range_problem(run, address, count, what);
    if (!problem.empty()) std::fputs(problem.c_str(), stderr);
    return problem.empty();
}

bool data_range_fits(const run_options &run) {
    const std::string problem = data_range_problem(run);
    if (!problem.empty()) std::fputs(problem.c_str(), stderr);
    return problem.empty();
}

void print_summary(uint16_t sum, int count, const char *verb, int ms) {
    std::printf("sum = %05d (0x%04x) %d bytes %s in %d.%03d sec, %d bits/s\n", sum, sum, count,
                verb, ms / 1000, ms % 1000, bit_rate(count, ms));
}

// Hex dump of the data read, 16 bytes a line, each line led by its address.
class hex_dump {
  public:
    hex_dump(bool on, uint32_t address) : on_(on), address_(address) {}
    void put(uint32_t j, uint8_t v) {
        if (!on_) return;
        if (j % 16 == 0) std::printf("0x%06x: ", address_ + j);
        std::printf("%02x ", v);
        open_ = j % 16 != 15;
        if (!open_) std::printf("\n");
    }
    void finish() const {
        if (open_) std::printf("\n");
    }

  private:
    bool on_;
    uint32_t address_;
    bool open_ = false;
};

} // namespace

int check_flash_range(const run_options &run) {
    const auto address = static_cast<uint32_t>(run.address);
    if (run.atmel_dongle && address % ATMEL_DONGLE_PAGE_SIZE != 0)
        std::fprintf(stderr,
                     "warning: Atmel dongle image at 0x%x does not start on a 1 MiB boundary; "
                     "its descriptor goes to 0x%x, outside the span that -e erases\n",
                     address, run.dongle_descriptor_address);
    const bool moves_data =
        run.write_file_name || run.read_file_name || run.verify_file_name || run.checksum_flash;
    if (moves_data && !data_range_fits(run)) return 1;
    if (run.erase_region && !run.accel_op &&
        !range_fits(run, address, static_cast<uint32_t>(run.erase_count), "flash erase"))
        return 1;
    return 0;
}

// The image and, with -A, its descriptor, programmed into flash the run erased.
void program_image(run_flash &flash, const run_options &run, std::span<const uint8_t> encoded) {
    const auto address = static_cast<uint32_t>(run.address);
    if (run.accel_op)
        flash.call([&](auto *f, auto *failure) {
            return morvel_zelp7x_flash_start_of_file(f, static_cast<uint32_t>(encoded.size()),
                                                     failure);
        });
    flash.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_program(f, address, encoded.data(),
                                           static_cast<uint32_t>(encoded.size()), failure);
    });
    if (run.atmel_dongle) {
        flash.call([&](auto *f, auto *failure) {
            return morvel_zelp7x_flash_program(f, run.dongle_descriptor_address,
                                               run.dongle_descriptor.data(),
                                               run.dongle_descriptor.size(), failure);
        });
    }
}

// --skip-unchanged: the image up to its last data byte and, with -A, the descriptor, written in
// one pass of the library's changed-only write, which also erases the -e span where it does not
// hold what it must. The filler that rounds the image up to a multiple of 4 is not written: the
// flash keeps its own bytes there.
morvel_zelp7x_flash_write_stats_s write_changed(run_flash &flash, const run_options &run,
                                                std::span<const uint8_t> encoded) {
    const auto image = encoded.first(std::min<size_t>(
        encoded.size(),
        static_cast<size_t>(morvel_zelp7x_flash_encoded_data_size(run.count, run.three_byte))));
    const morvel_zelp7x_flash_piece_s descriptor = {
        run.dongle_descriptor_address, run.dongle_descriptor.data(),
        static_cast<uint32_t>(run.dongle_descriptor.size())};
    morvel_zelp7x_flash_write_options_s options{};
    options.skip_unchanged = 1;
    options.erase_count = run.erase_region ? static_cast<uint32_t>(run.erase_count) : 0;
    if (run.atmel_dongle) {
        options.pieces = &descriptor;
        options.piece_count = 1;
    }
    morvel_zelp7x_flash_write_stats_s stats{};
    flash.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_write(f, static_cast<uint32_t>(run.address), image.data(),
                                         static_cast<uint32_t>(image.size()), &options, &stats,
                                         failure);
    });
    return stats;
}

int run_write_step(run_flash &flash, run_options &run) {
    if (!data_range_fits(run)) return 1;
    auto encoded = allocate(run.encoded_count, "unable to allocate %d byte encoded write buffer\n");
    if (!encoded) return 1;
    const std::vector<uint8_t> none;
    const std::vector<uint8_t> &data = run.write_data ? *run.write_data : none;
    const std::span<const uint8_t> image =
        std::span(data).first(std::min(data.size(), static_cast<size_t>(run.count)));

    uint16_t sum = 0;
    for (uint8_t c : image) sum = bsd_sum(sum, c);
    encode_image(image, run.three_byte != 0, *encoded);

    const stopwatch watch;
    morvel_zelp7x_flash_write_stats_s stats{};
    if (run.skip_unchanged)
        stats = write_changed(flash, run, *encoded);
    else
        program_image(flash, run, *encoded);
    print_summary(sum, static_cast<int>(image.size()), "written", watch.elapsed_ms());
    if (run.skip_unchanged)
        std::printf("skip-unchanged: %u of %u sectors unchanged, %u erased, %u pages programmed\n",
                    stats.sectors_unchanged, stats.sectors, stats.sectors_erased,
                    stats.pages_programmed);

    run.write_data.reset();
    run.encoded_data = std::move(encoded);
    return 0;
}

uint16_t bsd_sum(uint16_t csum, uint8_t c) {
    csum = static_cast<uint16_t>(csum >> 1 | (csum & 1) << 15);
    return static_cast<uint16_t>(csum + c);
}

int run_read_step(run_flash &flash, run_options &run) {
    if (!data_range_fits(run)) return 1;
    if (!run.encoded_data) {
        run.encoded_data =
            allocate(run.encoded_count, "unable to allocate %d byte encoded read buffer\n");
        if (!run.encoded_data) return 1;
    }
    auto read = allocate(run.count, "unable to allocate %d byte read buffer\n");
    if (!read) return 1;
    std::vector<uint8_t> &encoded = *run.encoded_data;
    const bool to_stdout = run.read_file_name && *run.read_file_name == "-";
    const auto address = static_cast<uint32_t>(run.address);

    const stopwatch watch;
    flash.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_read(f, address, encoded.data(),
                                        static_cast<uint32_t>(encoded.size()), failure);
    });
    const int ms = watch.elapsed_ms();

    uint16_t sum = 0;
    int miscompares = 0;
    hex_dump dump(to_stdout && !run.quiet, address);
    const std::vector<uint8_t> *verify = run.verify_data ? &*run.verify_data : nullptr;
    size_t j = 0;
    for (size_t i = 0; i < encoded.size() && j < read->size(); ++i) {
        if (is_filler(i, run.three_byte != 0)) continue;
        const uint8_t v = encoded[i];
        (*read)[j] = v;
        sum = bsd_sum(sum, v);
        if (verify != nullptr && j < verify->size() && (*verify)[j] != v) {
            if (!run.quiet)
                std::printf("0x%06x: read 0x%02x != expected 0x%02x\n",
                            address + static_cast<uint32_t>(j), v, (*verify)[j]);
            ++miscompares;
        }
        dump.put(static_cast<uint32_t>(j), v);
        ++j;
    }

    int short_write = 0;
    if (run.read_file_name && !to_stdout)
        short_write = write_file(run.read_file_name->c_str(), *read);
    dump.finish();
    if (miscompares != 0) std::fprintf(stderr, "%d miscomparing bytes\n", miscompares);
    print_summary(sum, run.count, "read", ms);
    if (miscompares != 0 || short_write != 0) return 1;

    run.encoded_data.reset();
    run.verify_data.reset();
    return 0;
}
