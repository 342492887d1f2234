#include "options.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "tool_options.h"
#include "unknown_option.h"
#include "usage.h"

namespace {

// getopt reads "--help" as the unknown letter '-' and stays on that argument; any other "--NAME"
// is named whole, with the long option it is nearest to.
parse_outcome apply_long_option(const char *arg) {
    if (std::strcmp(arg, "--help") == 0) {
        usage_with_extensions();
        return parse_outcome::exit_success;
    }
    if (const tool_answer what = tool_answer_named(arg); what != tool_answer::none)
        return answer(what, "zelp7x_flash") == 0 ? parse_outcome::exit_success
                                                 : parse_outcome::exit_failure;
    std::vector<std::string_view> known = run_long_option_names();
    known.push_back("--help");
    known.insert(known.end(), std::begin(tool_answer_names), std::end(tool_answer_names));
    std::fprintf(stderr, "%s\n", unknown_long_option(arg, known).c_str());
    usage_cmd_line();
    return parse_outcome::exit_failure;
}

parse_outcome apply_option(int letter, const char *arg, run_options &run) {
    if (letter == 'h') {
        usage_cmd_line();
        return parse_outcome::exit_success;
    }
    return apply_flash_option(letter, arg, run, usage_cmd_line);
}

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
