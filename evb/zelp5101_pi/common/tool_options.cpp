#include "tool_options.h"

#include <array>
#include <cstdio>

#include "bridges.h"
#include "number_arg.h"

namespace {

struct number_option {
    int letter;
    const char *value_name; // as zelp7x_flash's messages name it
    const char *name;       // as the others name it
    int board_settings::*field;
};
constexpr std::array number_options{
    number_option{'t', "Device Type", "device type", &board_settings::device_type},
    number_option{'F', "input clock frequency", "input clock frequency",
                  &board_settings::input_freq},
};

const number_option *number_option_of(int letter) {
    for (const number_option &o : number_options)
        if (o.letter == letter) return &o;
    return nullptr;
}

} // namespace

bool is_board_option(int letter) {
    return letter == 's' || number_option_of(letter) != nullptr;
}

bool read_board_option(int letter, const char *arg, board_settings &settings, bool report) {
    if (letter == 's') {
        settings.spi_dev = arg;
        return true;
    }
    const number_option *o = number_option_of(letter);
    uint32_t value = 0;
    if (o == nullptr || get_int0(arg, o->value_name, &value, report ? 1 : 0) != 0) return false;
    settings.*o->field = static_cast<int>(value);
    return true;
}

const char *board_option_name(int letter) {
    const number_option *o = number_option_of(letter);
    return o != nullptr ? o->name : "value";
}

tool_answer tool_answer_named(std::string_view arg) {
    if (arg == tool_answer_names[0]) return tool_answer::version;
    if (arg == tool_answer_names[1]) return tool_answer::list;
    return tool_answer::none;
}

int answer(tool_answer what, const char *tool) {
    if (what == tool_answer::list) return list_bridges();
    std::printf("%s " ZELP_VERSION "\n", tool);
    return 0;
}
