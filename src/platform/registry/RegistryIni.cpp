#include "platform/registry/RegistryIni.h"

#include "platform/text/Text.h"

#include <algorithm>
#include <cstdio>

namespace pelvar::regini {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendUtf8(std::string& out, unsigned codePoint) {
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

// Splits at "\" and "/" and drops empty pieces, after unescaping each piece.
KeyParts splitNamePath(std::string_view text) {
    KeyParts parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\\' || text[i] == '/') {
            if (i > start) {
                parts.push_back(unescapeName(text.substr(start, i - start)));
            }
            start = i + 1;
        }
    }
    return parts;
}

bool isCommentStart(char c) {
    return c == ';' || c == '#';
}

Line parseLine(std::string_view rawLine, const KeyParts& section) {
    Line line;
    line.raw = std::string(rawLine);
    const std::string_view t = trimBlanks(rawLine);
    if (t.empty() || isCommentStart(t.front())) {
        return line;
    }
    if (t.front() == '[' && t.back() == ']' && t.size() >= 2) {
        line.kind = Line::Kind::Section;
        // "[General]" is QSettings' name for the top level; a key of that name is written
        // escaped ("[%47eneral]").
        const auto inside = t.substr(1, t.size() - 2);
        if (inside != "General") {
            line.key = splitNamePath(inside);
        }
        return line;
    }
    const auto equals = rawLine.find('=');
    if (equals == std::string_view::npos) {
        return line;
    }
    KeyParts parts = splitNamePath(trimBlanks(rawLine.substr(0, equals)));
    if (parts.empty()) {
        return line;
    }
    line.kind = Line::Kind::Value;
    line.name = parts.back();
    parts.pop_back();
    line.key = section;
    line.key.insert(line.key.end(), parts.begin(), parts.end());
    line.value = parseValue(rawLine.substr(equals + 1));
    line.nameTextLength = equals;
    return line;
}

bool isValueLine(const Line& line, const KeyParts& key, const std::string& name) {
    return line.kind == Line::Kind::Value && text::equalsIgnoringCase(line.name, name) &&
           sameKey(line.key, key);
}

std::string sectionHeader(const KeyParts& key) {
    std::string inside;
    for (std::size_t i = 0; i < key.size(); ++i) {
        inside += (i ? "\\" : "") + escapeName(key[i]);
    }
    if (inside == "General") {
        inside = "%47eneral";
    }
    return "[" + inside + "]";
}

} // namespace

bool sameKey(const KeyParts& a, const KeyParts& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](const auto& x, const auto& y) { return text::equalsIgnoringCase(x, y); });
}

std::string escapeName(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool edgeBlank = isBlank(char(c)) && (i == 0 || i + 1 == name.size());
        if (c < 0x20 || c == 0x7F || edgeBlank ||
            std::string_view("%=\\/[];#\"").find(char(c)) != std::string_view::npos) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string unescapeName(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += char(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else if (text[i] == '%' && i + 5 < text.size() && text[i + 1] == 'U' &&
                   std::all_of(text.begin() + i + 2, text.begin() + i + 6,
                               [](char c) { return hexDigit(c) >= 0; })) {
            // QSettings writes characters outside Latin-1 as %UXXXX.
            unsigned cp = 0;
            for (std::size_t k = i + 2; k < i + 6; ++k) {
                cp = cp * 16 + unsigned(hexDigit(text[k]));
            }
            appendUtf8(out, cp);
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> parseValue(std::string_view rhs) {
    const std::string_view t = trimBlanks(rhs);
    if (t.size() >= 2 && t.front() == '"') {
        std::string out;
        std::size_t i = 1;
        for (; i < t.size() && t[i] != '"'; ++i) {
            if (t[i] != '\\' || i + 1 >= t.size()) {
                out += t[i];
                continue;
            }
            const char e = t[++i];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'a':
                out += '\a';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'v':
                out += '\v';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                unsigned cp = 0;
                int digits = 0;
                while (digits < 4 && i + 1 < t.size() && hexDigit(t[i + 1]) >= 0) {
                    cp = cp * 16 + unsigned(hexDigit(t[++i]));
                    ++digits;
                }
                if (digits == 0) {
                    out += "\\x";
                } else {
                    appendUtf8(out, cp);
                }
                break;
            }
            case '\\':
            case '"':
            case '\'':
            case '?':
                out += e;
                break;
            default:
                out += '\\';
                out += e;
            }
        }
        // Only a quote that closes the whole value makes it a quoted value; anything after
        // it means the line was written by hand and is taken literally.
        if (i + 1 == t.size()) {
            return out;
        }
        return std::string(t);
    }
    if (text::startsWith(t, "@")) {
        if (text::startsWith(t, "@@")) {
            return std::string(t.substr(1));
        }
        if (text::startsWith(t, "@String(") && t.back() == ')') {
            return std::string(t.substr(8, t.size() - 9));
        }
        for (const char* type : {"@Invalid(", "@ByteArray(", "@Variant(", "@DateTime(", "@Rect(",
                                 "@Size(", "@Point("}) {
            if (text::startsWith(t, type) && t.back() == ')') {
                return std::nullopt;
            }
        }
    }
    return std::string(t);
}

std::string formatValue(const std::string& value) {
    bool literal = value.empty() || (!isBlank(value.front()) && !isBlank(value.back()) &&
                                     value.front() != '"' && value.front() != '@');
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            literal = false;
        }
    }
    if (literal) {
        return value;
    }
    std::string out = "\"";
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            // Always four digits, so that a following hex digit is not taken in.
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%04X", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

Document Document::parse(std::string_view bytes) {
    Document doc;
    KeyParts section;
    std::size_t start = 0;
    while (start < bytes.size()) {
        auto end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view raw = bytes.substr(start, end - start);
        // All of them: the file is written back with LF only, and must read the same then.
        while (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        Line line = parseLine(raw, section);
        if (line.kind == Line::Kind::Section) {
            section = line.key;
        }
        doc.lines_.push_back(std::move(line));
        start = end + 1;
    }
    return doc;
}

std::string Document::serialize() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

std::optional<std::optional<std::string>> Document::find(const KeyParts& key,
                                                         const std::string& name) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (isValueLine(*it, key, name)) {
            return it->value;
        }
    }
    return std::nullopt;
}

void Document::set(const KeyParts& key, const std::string& name, const std::string& value) {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (isValueLine(*it, key, name)) {
            // Keep the name as it was written, blanks and key levels included.
            it->raw = it->raw.substr(0, it->nameTextLength) + "=" + formatValue(value);
            it->value = value;
            return;
        }
    }
    Line line;
    line.kind = Line::Kind::Value;
    line.key = key;
    line.name = name;
    line.value = value;
    line.raw = escapeName(name) + "=" + formatValue(value);
    line.nameTextLength = escapeName(name).size();

    // Below the last value of the key's own section, when there is one.
    std::optional<std::size_t> at;
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::Section) {
            inside = sameKey(lines_[i].key, key);
            if (inside) {
                at = i + 1;
            }
        } else if (inside && lines_[i].kind == Line::Kind::Value) {
            at = i + 1;
        }
    }
    if (at) {
        lines_.insert(lines_.begin() + std::ptrdiff_t(*at), std::move(line));
        return;
    }
    if (!key.empty() || !lines_.empty()) {
        if (!lines_.empty() && !trimBlanks(lines_.back().raw).empty()) {
            lines_.push_back(Line{});
        }
        Line header;
        header.kind = Line::Kind::Section;
        header.key = key;
        header.raw = key.empty() ? "[General]" : sectionHeader(key);
        lines_.push_back(std::move(header));
    }
    lines_.push_back(std::move(line));
}

bool Document::remove(const KeyParts& key, const std::string& name) {
    const auto before = lines_.size();
    std::erase_if(lines_, [&](const Line& line) { return isValueLine(line, key, name); });
    return lines_.size() != before;
}

std::vector<std::pair<std::string, std::optional<std::string>>>
Document::values(const KeyParts& key) const {
    std::vector<std::pair<std::string, std::optional<std::string>>> out;
    for (const auto& line : lines_) {
        if (line.kind != Line::Kind::Value || !sameKey(line.key, key)) {
            continue;
        }
        auto same = std::find_if(out.begin(), out.end(), [&](const auto& entry) {
            return text::equalsIgnoringCase(entry.first, line.name);
        });
        if (same == out.end()) {
            out.emplace_back(line.name, line.value);
        } else {
            same->second = line.value;
        }
    }
    return out;
}

std::vector<std::string> Document::subkeys(const KeyParts& key) const {
    std::vector<std::string> out;
    for (const auto& line : lines_) {
        if (line.kind == Line::Kind::Other || line.key.size() <= key.size() ||
            !sameKey(KeyParts(line.key.begin(), line.key.begin() + std::ptrdiff_t(key.size())),
                     key)) {
            continue;
        }
        const std::string& child = line.key[key.size()];
        if (std::none_of(out.begin(), out.end(),
                         [&](const auto& c) { return text::equalsIgnoringCase(c, child); })) {
            out.push_back(child);
        }
    }
    return out;
}

std::vector<std::pair<std::size_t, std::string>> Document::strayLines() const {
    std::vector<std::pair<std::size_t, std::string>> out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto t = trimBlanks(lines_[i].raw);
        if (lines_[i].kind == Line::Kind::Other && !t.empty() && !isCommentStart(t.front())) {
            out.emplace_back(i + 1, lines_[i].raw);
        }
    }
    return out;
}

} // namespace pelvar::regini
