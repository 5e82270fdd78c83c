#include "platform/text/Text.h"

#include "platform/base/RunTimeError.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace pelvar::text {

std::string trim(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.starts_with(prefix);
}
bool endsWith(std::string_view s, std::string_view suffix) {
    return s.ends_with(suffix);
}
bool contains(std::string_view s, std::string_view part) {
    return s.find(part) != std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
}

std::string left(std::string_view s, std::size_t n) {
    return std::string(s.substr(0, n));
}

std::string right(std::string_view s, std::size_t n) {
    return n >= s.size() ? std::string(s) : std::string(s.substr(s.size() - n));
}

std::string joinText(const std::vector<std::string>& pieces, std::string_view delimiter) {
    std::string joined;
    for (const auto& piece : pieces) {
        if (&piece != &pieces.front()) {
            joined += delimiter;
        }
        joined += piece;
    }
    return joined;
}

std::vector<std::string> splitText(std::string_view s, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (s.empty()) {
        return pieces;
    }
    std::size_t start = 0;
    while (start < s.size()) {
        const auto at = s.find(delimiter, start);
        if (at == std::string_view::npos) {
            pieces.emplace_back(s.substr(start));
            break;
        }
        pieces.emplace_back(s.substr(start, at - start));
        start = at + delimiter.size();
    }
    return pieces;
}

std::vector<std::string> splitAll(std::string_view s, char delimiter) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto at = s.find(delimiter, start);
        if (at == std::string_view::npos) {
            pieces.emplace_back(s.substr(start));
            return pieces;
        }
        pieces.emplace_back(s.substr(start, at - start));
        start = at + 1;
    }
}

KeyValue splitKeyValue(std::string_view line) {
    KeyValue kv;
    const auto first = line.find('=');
    if (first == std::string_view::npos) {
        return kv;
    }
    kv.hasEquals = true;
    kv.key = std::string(line.substr(0, first));
    const auto rest = line.substr(first + 1);
    kv.value = std::string(rest.substr(0, rest.find('=')));
    return kv;
}

bool isNumeric(std::string_view s) {
    const std::string t = trim(s);
    if (t.empty()) {
        return false;
    }
    char* end = nullptr;
    const double value = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || std::isnan(value) || std::isinf(value)) {
        return false;
    }
    // strtod also takes hex floats and "nan"/"inf": only decimal digits count here.
    return std::none_of(t.begin(), t.end(), [](char c) { return c == 'x' || c == 'X'; });
}

long long toInteger(std::string_view s) {
    if (!isNumeric(s)) {
        raise(err::TypeMismatch);
    }
    return std::llround(std::strtod(trim(s).c_str(), nullptr));
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return s;
    }
    std::size_t at = 0;
    while ((at = s.find(from, at)) != std::string::npos) {
        s.replace(at, from.size(), to);
        at += to.size();
    }
    return s;
}

} // namespace pelvar::text
