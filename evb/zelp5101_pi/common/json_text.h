// JSON text for the tools' machine-readable output: strings quoted and escaped so that any label
// the chip holds makes valid JSON.
#pragma once

#include <string>
#include <string_view>

// `text` as a JSON string, quotes included: `"` and `\` escaped, control characters as \uXXXX,
// well-formed UTF-8 kept, and each byte that is not part of one replaced by U+FFFD.
std::string json_string(std::string_view text);
