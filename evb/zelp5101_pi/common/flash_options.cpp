#include "flash_options.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "number_arg.h"
#include "tool_options.h"

namespace {

struct flag_option {
    char letter;
    int run_options::*field;
};
constexpr std::array flag_options{
    flag_option{'3', &run_options::three_byte},      flag_option{'A', &run_options::atmel_dongle},
    flag_option{'d', &run_options::print_device_id}, flag_option{'e', &run_options::erase_region},
    flag_option{'E', &run_options::erase_chip},      flag_option{'R', &run_options::checksum_flash},
    flag_option{'q', &run_options::quiet},           flag_option{'Q', &run_options::accel_op},
    flag_option{'U', &run_options::spi_split},
};

struct number_option {
    char letter;
    const char *value_name;
    int run_options::*field;
};
constexpr std::array number_options{
    number_option{'a', "flash address", &run_options::address},
    number_option{'b', "SPI read delay bytes", &run_options::spi_read_delay},
    number_option{'c', "flash byte count", &run_options::count},
};

struct name_option {
    char letter;
    std::optional<std::string> run_options::*field;
};
constexpr std::array name_options{
    name_option{'r', &run_options::read_file_name},
    name_option{'v', &run_options::verify_file_name},
    name_option{'w', &run_options::write_file_name},
};

// -B default[:mcuread[:samplewrite]], in that order.
struct speed_field {
    const char *value_name;
    int run_options::*field;
};
constexpr std::array speed_fields{
    speed_field{"SPI default speed", &run_options::spi_default_speed},
    speed_field{"SPI mcu read speed", &run_options::spi_mcu_read_speed},
    speed_field{"SPI sample write speed", &run_options::spi_sample_write_speed},
};

template <typename Table>
auto find_option(const Table &table, int letter) -> const typename Table::value_type * {
    for (const auto &entry : table) {
        if (entry.letter == letter) return &entry;
    }
    return nullptr;
}

// getopt's optopt before any error: glibc zeroes optopt after each option it accepts, while the
// C library's own starting value, and what other libraries keep, is '?'. Errors end the parse, so
// a -B check only ever follows accepted options.
constexpr int initial_optopt = '?';

parse_outcome reject_option(const char *format, int letter, void (*usage)()) {
    std::fprintf(stderr, format, letter);
    usage();
    return parse_outcome::exit_failure;
}

parse_outcome parse_speeds(const char *arg, run_options &run, void (*usage)()) {
    std::string fields(arg); // strtok writes into what it splits
    char *token = std::strtok(fields.data(), ":");
    if (token == nullptr) {
        // Nothing to parse at all: the default speed is missing, so say that.
        std::printf("invalid %s value: %s\n", speed_fields[0].value_name, arg);
        return parse_outcome::exit_failure;
    }
    for (const speed_field &speed : speed_fields) {
        if (token == nullptr) return parse_outcome::run;
        if (!get_int(token, speed.value_name, run.*speed.field)) {
            return parse_outcome::exit_failure;
        }
        token = std::strtok(nullptr, ":");
    }
    if (token != nullptr)
        return reject_option("SPI speed option error: %c\n", initial_optopt, usage);
    return parse_outcome::run;
}

// The long options that shape a run, each a whole argument.
struct run_long_option {
    const char *name;
    int run_options::*field;
};
constexpr std::array run_long_options{
    run_long_option{"--skip-unchanged", &run_options::skip_unchanged},
};

} // namespace

parse_outcome apply_flash_option(int letter, const char *arg, run_options &run, void (*usage)()) {
    if (const auto *flag = find_option(flag_options, letter)) {
        run.*flag->field = 1;
    } else if (const auto *number = find_option(number_options, letter)) {
        if (!get_int(arg, number->value_name, run.*number->field)) {
            return parse_outcome::exit_failure;
        }
    } else if (const auto *name = find_option(name_options, letter)) {
        run.*name->field = arg;
    } else if (is_board_option(letter)) {
        if (!read_board_option(letter, arg, run, true)) return parse_outcome::exit_failure;
    } else if (letter == 'B') {
        return parse_speeds(arg, run, usage);
    } else {
        // getopt answers '?' both for an unknown letter and for a missing argument.
        return reject_option("unknown option: %c\n", optopt, usage);
    }
    return parse_outcome::run;
}

std::vector<std::string_view> run_long_option_names() {
    std::vector<std::string_view> names;
    for (const run_long_option &o : run_long_options) names.push_back(o.name);
    return names;
}

bool apply_run_long_option(const char *arg, run_options &run) {
    for (const run_long_option &o : run_long_options) {
        if (std::strcmp(arg, o.name) != 0) continue;
        run.*o.field = 1;
        return true;
    }
    return false;
}
