#include "options.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "bridges.h"
#include "unknown_option.h"
#include "usage.h"

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
    number_option{'F', "input clock frequency", &run_options::input_freq},
};

struct name_option {
    char letter;
    std::optional<std::string> run_options::*field;
};
constexpr std::array name_options{
    name_option{'r', &run_options::read_file_name},
    name_option{'s', &run_options::spi_dev},
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

parse_outcome reject_option(const char *format, int letter, void (*usage)() = usage_cmd_line) {
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

// The long options that answer at once and end the run, each a whole argument.
struct answer_option {
    std::string_view name;
    parse_outcome (*answer)();
};
constexpr std::array answer_options{
    answer_option{"--help",
                  [] {
                      usage_with_extensions();
                      return parse_outcome::exit_success;
                  }},
    answer_option{"--version",
                  [] {
                      print_version();
                      return parse_outcome::exit_success;
                  }},
    answer_option{"--list",
                  [] {
                      return list_bridges() == 0 ? parse_outcome::exit_success
                                                 : parse_outcome::exit_failure;
                  }},
};

// getopt reads "--help" as the unknown letter '-' and stays on that argument; any other "--NAME"
// is named whole, with the long option it is nearest to.
parse_outcome apply_long_option(const char *arg) {
    for (const answer_option &o : answer_options)
        if (o.name == arg) return o.answer();
    std::vector<std::string_view> known = run_long_option_names();
    for (const answer_option &o : answer_options) known.push_back(o.name);
    std::fprintf(stderr, "%s\n", unknown_long_option(arg, known).c_str());
    usage_cmd_line();
    return parse_outcome::exit_failure;
}

parse_outcome apply_option(int letter, const char *arg, run_options &run) {
    if (letter == 'h') {
        usage_cmd_line();
        return parse_outcome::exit_success;
    }
    return apply_flash_option(letter, arg, run, {run.device_type, usage_cmd_line});
}

} // namespace

parse_outcome apply_flash_option(int letter, const char *arg, run_options &run,
                                 const flash_option_context &context) {
    if (const auto *flag = find_option(flag_options, letter)) {
        run.*flag->field = 1;
    } else if (const auto *number = find_option(number_options, letter)) {
        if (!get_int(arg, number->value_name, run.*number->field)) {
            return parse_outcome::exit_failure;
        }
    } else if (const auto *name = find_option(name_options, letter)) {
        run.*name->field = arg;
    } else if (letter == 't') {
        if (!get_int(arg, "Device Type", context.device_type)) return parse_outcome::exit_failure;
    } else if (letter == 'B') {
        return parse_speeds(arg, run, context.usage);
    } else {
        // getopt answers '?' both for an unknown letter and for a missing argument.
        return reject_option("unknown option: %c\n", optopt, context.usage);
    }
    return parse_outcome::run;
}

namespace {

// The long options that shape a run, each a whole argument.
struct run_long_option {
    const char *name;
    int run_options::*field;
};
constexpr std::array run_long_options{
    run_long_option{"--skip-unchanged", &run_options::skip_unchanged},
};

} // namespace

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

namespace {

// getopt knows letters only, so the run's long options are taken out of the arguments before it
// scans them (up to a "--", after which nothing is an option).
std::vector<char *> take_run_long_options(int argc, char **argv, run_options &run) {
    std::vector<char *> rest;
    bool options_end = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && !options_end && apply_run_long_option(argv[i], run)) continue;
        if (std::strcmp(argv[i], "--") == 0) options_end = true;
        rest.push_back(argv[i]);
    }
    rest.push_back(nullptr);
    return rest;
}

} // namespace

parse_outcome parse_options(int argc, char **argv, run_options &run) {
    std::vector<char *> args = take_run_long_options(argc, argv, run);
    argc = static_cast<int>(args.size()) - 1;
    run.device_type = 0;
    opterr = 0;
    optind = 0; // a full restart of getopt's scan, so a second parse starts afresh
    int letter = 0;
    while (true) {
        const int at = optind == 0 ? 1 : optind;
        if ((letter = getopt(argc, args.data(), flash_option_string)) == -1) break;
        // Still on the same argument, so the '-' was its second letter, not the end of "-q-".
        const bool long_option = letter == '?' && optopt == '-' && optind == at && optind < argc;
        const parse_outcome outcome =
            long_option ? apply_long_option(args[optind]) : apply_option(letter, optarg, run);
        if (outcome != parse_outcome::run) return outcome;
    }
    return parse_outcome::run;
}
