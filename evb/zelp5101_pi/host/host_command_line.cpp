#include "host_command_line.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "number_arg.h"
#include "unknown_option.h"

namespace {

constexpr const char *usage_head =
    "usage: zelp7x_host [-s DEV] [-t TYPE] [-F FREQ] [-m reset|restart|no-touch|reset-secured] "
    "COMMAND [ARGS]\n";
constexpr const char *usage_options =
    " -s <dev name>      device file -- default first supported USB COM\n"
    " -t <type>          device type -- default read from chip\n"
    " -F <freq>          input clock frequency -- default SPI: 16000000, USB: 32768\n"
    " -m <mode>          library init mode -- default reset for load, restart otherwise\n"
    "commands:\n";
// What the tool takes beyond the lines above; shown by --help.
constexpr const char *usage_extensions =
    "extensions:\n"
    " --help             this help message\n"
    " --version          print the version\n"
    " --list             list the attached supported bridges\n"
    " -s serial=<S>      the supported bridge with USB serial number S\n"
    " -s rfc2217://<host>:<port>\n"
    "                    a bridge that ser2net serves on another machine (telnet, RFC 2217)\n"
    "  extract input ... -o FILE.wav   a WAV file: PCM, one channel, 16 kHz, the tank's sample "
    "width\n"
    "  watch ... --json                one JSON object a match, a line: seconds, class, label,\n"
    "                                  summary, snr, confidence, noise\n";
// Summaries start in one column; a longer synopsis keeps three blanks before its summary.
constexpr int synopsis_column = 30;
constexpr int synopsis_gap = 3;

// Walks the arguments: an option is "-X VALUE" or "-XVALUE"; "-" alone is an operand.
class arg_cursor {
  public:
    arg_cursor(int argc, char **argv) : argc_(argc), argv_(argv) {}
    bool done() const { return i_ >= argc_; }
    std::string_view peek() const { return argv_[i_]; }
    bool at_option() const { return !done() && peek().size() >= 2 && peek()[0] == '-'; }
    const char *take() { return argv_[i_++]; }
    // The value of the option just taken; null when the command line ends.
    const char *value_of(const char *option) {
        if (option[2] != '\0') return option + 2;
        return done() ? nullptr : take();
    }

  private:
    int argc_;
    char **argv_;
    int i_ = 1;
};

host_parse_outcome bad(const char *what, const char *arg = nullptr) {
    if (arg != nullptr)
        std::fprintf(stderr, "zelp7x_host: %s: %s\n", what, arg);
    else
        std::fprintf(stderr, "zelp7x_host: %s\n", what);
    return host_parse_outcome::usage_error;
}

bool number_of(const char *text, uint32_t &value) {
    return get_int0(text, "", &value, 0) == 0;
}

host_parse_outcome apply_board_option(char letter, const char *value, host_options &o) {
    uint32_t number = 0;
    switch (letter) {
    case 's':
        o.spi_dev = value;
        return host_parse_outcome::run;
    case 't':
        if (!number_of(value, number)) return bad("invalid device type", value);
        o.device_type = static_cast<int>(number);
        return host_parse_outcome::run;
    case 'F':
        // As in the flash tool, a value of 2^31 or more counts as not given.
        if (!number_of(value, number)) return bad("invalid input clock frequency", value);
        o.input_freq = static_cast<int>(number);
        return host_parse_outcome::run;
    default: { // 'm'
        morvel_zelp_init_mode_e mode{};
        if (morvel_zelp7x_host_init_mode_named(value, &mode) != 0)
            return bad("unknown mode", value);
        o.mode = mode;
        return host_parse_outcome::run;
    }
    }
}

// A long option none of `known` is: named whole, with the nearest of them.
host_parse_outcome unknown_long(std::string_view option, std::span<const std::string_view> known) {
    std::fprintf(stderr, "zelp7x_host: %s\n", unknown_long_option(option, known).c_str());
    return host_parse_outcome::usage_error;
}

// The long options before the command, each answered at once.
using answer_name = named_value<host_parse_outcome>;
constexpr std::array answer_options{
    answer_name{"--help", host_parse_outcome::help},
    answer_name{"--version", host_parse_outcome::version},
    answer_name{"--list", host_parse_outcome::list},
};

host_parse_outcome parse_board_options(arg_cursor &args, host_options &o) {
    while (args.at_option()) {
        const char *option = args.take();
        const char letter = option[1];
        if (letter == 'h' && option[2] == '\0') return host_parse_outcome::help;
        if (letter == '-') {
            if (const auto answer = value_named(answer_options, option)) return *answer;
            std::vector<std::string_view> known;
            for (const answer_name &a : answer_options) known.push_back(a.name);
            return unknown_long(option, known);
        }
        if (std::string_view("stFm").find(letter) == std::string_view::npos)
            return bad("unknown option", option);
        const char *value = args.value_of(option);
        if (value == nullptr) return bad("missing value for", option);
        if (const auto outcome = apply_board_option(letter, value, o);
            outcome != host_parse_outcome::run)
            return outcome;
    }
    return host_parse_outcome::run;
}

// "-X..." finds the option with letter X, "--NAME" the one with that long name.
const command_option *find_option(const host_command &command, std::string_view option) {
    const bool long_form = option.starts_with("--");
    for (const command_option &o : command.options) {
        if (long_form ? o.long_name == option.substr(2)
                      : o.long_name.empty() && o.letter == option[1])
            return &o;
    }
    return nullptr;
}

// One option of the command, its value taken as the option's kind asks.
host_parse_outcome take_command_option(arg_cursor &args, const host_command &command,
                                       const char *option, command_args &out) {
    const command_option *wanted = find_option(command, option);
    if (wanted != nullptr && !wanted->long_name.empty()) {
        out.texts[wanted->letter] = "";
        return host_parse_outcome::run;
    }
    if (wanted == nullptr && std::string_view(option).starts_with("--")) {
        std::vector<std::string> names;
        for (const command_option &o : command.options)
            if (!o.long_name.empty()) names.push_back("--" + std::string(o.long_name));
        return unknown_long(option, std::vector<std::string_view>(names.begin(), names.end()));
    }
    if (wanted == nullptr || (wanted->kind == option_kind::flag && option[2] != '\0'))
        return bad("unknown option", option);
    if (wanted->kind == option_kind::flag) {
        out.texts[wanted->letter] = "";
        return host_parse_outcome::run;
    }
    const char *value = args.value_of(option);
    if (value == nullptr) return bad("missing value for", option);
    if (wanted->kind == option_kind::text) {
        out.texts[wanted->letter] = value;
        return host_parse_outcome::run;
    }
    uint32_t number = 0;
    if (!number_of(value, number) || number < wanted->min || number > wanted->max)
        return bad("invalid value", value);
    out.numbers[wanted->letter] = number;
    return host_parse_outcome::run;
}

host_parse_outcome parse_command_args(arg_cursor &args, const host_command &command,
                                      command_args &out) {
    while (!args.done()) {
        if (!args.at_option()) {
            out.operands.emplace_back(args.take());
            continue;
        }
        const auto outcome = take_command_option(args, command, args.take(), out);
        if (outcome != host_parse_outcome::run) return outcome;
    }
    if (out.operands.size() < command.min_operands || out.operands.size() > command.max_operands)
        return bad("wrong number of operands for", command.name.data());
    return host_parse_outcome::run;
}

} // namespace

host_parse_outcome parse_host_command_line(int argc, char **argv, host_options &options) {
    options.device_type = 0;
    arg_cursor args(argc, argv);
    if (const auto outcome = parse_board_options(args, options); outcome != host_parse_outcome::run)
        return outcome;
    if (args.done()) return bad("missing command");
    const char *name = args.take();
    options.command = find_host_command(name);
    if (options.command == nullptr) return bad("unknown command", name);
    const host_command &command = *options.command;
    if (const auto outcome = parse_command_args(args, command, options.args);
        outcome != host_parse_outcome::run)
        return outcome;
    bool usage = false;
    if (command.check != nullptr && !command.check(options.args, usage))
        return usage ? host_parse_outcome::usage_error : host_parse_outcome::refused;
    return host_parse_outcome::run;
}

void print_host_usage(std::FILE *stream, bool extensions) {
    std::fputs(usage_head, stream);
    std::fputs(usage_options, stream);
    for (const host_command &c : host_commands()) {
        const int length = static_cast<int>(c.synopsis.size());
        const int gap =
            length + synopsis_gap > synopsis_column ? synopsis_gap : synopsis_column - length;
        std::fprintf(stream, "  %.*s%*s%.*s\n", length, c.synopsis.data(), gap, "",
                     static_cast<int>(c.summary.size()), c.summary.data());
    }
    if (extensions) std::fputs(usage_extensions, stream);
}
