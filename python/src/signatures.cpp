#include "signatures.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace py = pybind11;

namespace zelp7x_py {

namespace {

constexpr std::string_view text_signature_end = "\n--\n\n";

// Calls `at(i, depth)` for each character of `text` outside quotes, `depth` the brackets open
// around it; gives the first index where `at` says true, or npos.
template <typename F>
size_t find_outside_quotes(std::string_view text, F &&at) {
    int depth = 0;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (c == ')' || c == ']' || c == '}') --depth;
        if (at(i, depth)) return i;
        if (c == '(' || c == '[' || c == '{') ++depth;
    }
    return std::string_view::npos;
}

// The parts of `text` between separators outside brackets and quotes ("a: Tuple[int, int] =
// (1, 2)" stays one part at commas).
std::vector<std::string_view> top_level_parts(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    find_outside_quotes(text, [&](size_t i, int depth) {
        if (text[i] == separator && depth == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
        return false;
    });
    parts.push_back(text.substr(start));
    return parts;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// "kind: str" -> "kind", "start: str = 'newest'" -> "start='newest'", "*args" as it is.
std::string untyped(std::string_view parameter) {
    const std::vector<std::string_view> name_rest = top_level_parts(parameter, ':');
    std::string out(trimmed(name_rest.front()));
    if (name_rest.size() > 1) {
        const std::vector<std::string_view> type_default = top_level_parts(name_rest[1], '=');
        if (type_default.size() > 1) out += "=" + std::string(trimmed(type_default[1]));
    }
    return out;
}

// Where the parenthesis that closes the one at `open` is, or npos.
size_t closing(std::string_view text, size_t open) {
    const size_t at = find_outside_quotes(text.substr(open), [&](size_t i, int depth) {
        return text[open + i] == ')' && depth == 0;
    });
    return at == std::string_view::npos ? at : open + at;
}

// "name(self: T, a: int = 1) -> R\n\nHelp." -> "name(self, a=1)\n--\n\nHelp."; nothing for a
// docstring in another form (an overloaded function's).
std::optional<std::string> with_text_signature(std::string_view name, std::string_view doc) {
    if (doc.size() <= name.size() || doc.substr(0, name.size()) != name || doc[name.size()] != '(')
        return std::nullopt;
    const size_t open = name.size();
    const size_t close = closing(doc, open);
    const size_t line_end = doc.find('\n');
    if (close == std::string_view::npos || close > line_end) return std::nullopt;
    std::string out(name);
    out += '(';
    const std::string_view parameters = doc.substr(open + 1, close - open - 1);
    if (!trimmed(parameters).empty()) {
        const char *separator = "";
        for (const std::string_view p : top_level_parts(parameters, ',')) {
            out += separator + untyped(p);
            separator = ", ";
        }
    }
    out += ')';
    out += text_signature_end;
    std::string_view help = line_end == std::string_view::npos ? "" : doc.substr(line_end);
    while (!help.empty() && help.front() == '\n') help.remove_prefix(1);
    out += help;
    return out;
}

// The builtin function behind a class member: itself, an instance method's or a static method's.
PyObject *function_of(const py::handle &member) {
    PyObject *f = member.ptr();
    if (PyInstanceMethod_Check(f))
        f = PyInstanceMethod_GET_FUNCTION(f);
    else if (py::isinstance(member, py::module_::import("builtins").attr("staticmethod")))
        f = member.attr("__func__").ptr();
    return PyCFunction_Check(f) ? f : nullptr;
}

// pybind11 made the docstring with malloc and frees it with the function, as this one is.
void rewrite(PyObject *function) {
    PyMethodDef *def = reinterpret_cast<PyCFunctionObject *>(function)->m_ml;
    if (def->ml_doc == nullptr) return;
    const std::optional<std::string> doc = with_text_signature(def->ml_name, def->ml_doc);
    if (!doc) return;
    char *copy = static_cast<char *>(std::malloc(doc->size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, doc->c_str(), doc->size() + 1);
    std::free(const_cast<char *>(def->ml_doc));
    def->ml_doc = copy;
}

void rewrite_members(const py::dict &members) {
    for (const auto &item : members)
        if (PyObject *f = function_of(item.second)) rewrite(f);
}

} // namespace

void add_text_signatures(py::module_ &m) {
    const py::dict members = m.attr("__dict__");
    rewrite_members(members);
    for (const auto &item : members)
        if (PyType_Check(item.second.ptr()) && py::hasattr(item.second, "__dict__") &&
            py::str(item.second.attr("__module__")).equal(m.attr("__name__")))
            rewrite_members(py::dict(item.second.attr("__dict__")));
}

} // namespace zelp7x_py
