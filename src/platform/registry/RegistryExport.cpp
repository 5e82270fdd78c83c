#include "platform/registry/RegistryExport.h"

#include "platform/text/Text.h"

namespace pelvar::regfile {
namespace {

constexpr std::string_view UnicodeHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view Regedit4Header = "REGEDIT4";
constexpr std::string_view Hive = "HKEY_LOCAL_MACHINE";

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

void appendUnit(std::string& out, char16_t unit) {
    out += char(unit & 0xFF);
    out += char(unit >> 8);
}

// One code point of UTF-8 at `i`; nothing when the bytes there are not well-formed.
std::optional<char32_t> decodeUtf8(std::string_view s, std::size_t& i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t length = 0;
    char32_t cp = 0;
    if (c < 0x80) {
        ++i;
        return c;
    } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
        length = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
        length = 4;
        cp = c & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + length > s.size()) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Over-long forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    i += length;
    return cp;
}

// The text between the quotes of a string in an export, with \\ and \" unescaped; `rest`
// receives what follows the closing quote. Nothing when the quote is not closed.
std::optional<std::string> quoted(std::string_view s, std::string_view& rest) {
    if (s.empty() || s.front() != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (s[i] == '"') {
            rest = s.substr(i + 1);
            return out;
        } else {
            out += s[i];
        }
    }
    return std::nullopt;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// Logical lines: a line ending in "\" continues on the next (long hex values are wrapped so).
std::vector<std::pair<std::size_t, std::string>> logicalLines(std::string_view text) {
    std::vector<std::pair<std::size_t, std::string>> out;
    std::size_t number = 0;
    bool continuing = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = trimmed(text.substr(start, end - start));
        ++number;
        // A string value always ends in its closing quote, so a final "\" is a continuation.
        const bool continues = !line.empty() && line.back() == '\\';
        if (continues) {
            line.remove_suffix(1);
        }
        if (continuing && !out.empty()) {
            out.back().second += line;
        } else {
            out.emplace_back(number, std::string(line));
        }
        continuing = continues;
        if (end == text.size()) {
            break;
        }
        start = end + 1;
    }
    return out;
}

} // namespace

std::string utf8ToUtf16le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        if (auto decoded = decodeUtf8(utf8, i)) {
            cp = *decoded;
        } else {
            cp = static_cast<unsigned char>(utf8[i++]);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendUnit(out, char16_t(0xD800 + (cp >> 10)));
            appendUnit(out, char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            appendUnit(out, char16_t(cp));
        }
    }
    return out;
}

std::string utf16leToUtf8(std::string_view utf16) {
    std::string out;
    const auto unit = [&](std::size_t k) {
        return char16_t(static_cast<unsigned char>(utf16[k]) |
                        (static_cast<unsigned char>(utf16[k + 1]) << 8));
    };
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < utf16.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (unit(i + 2) - 0xDC00));
            i += 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

Parsed parse(std::string_view bytes) {
    Parsed parsed;
    std::string text;
    if (bytes.starts_with("\xFF\xFE")) {
        text = utf16leToUtf8(bytes.substr(2));
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        text = std::string(bytes.substr(3));
    } else {
        text = std::string(bytes);
    }
    const auto lines = logicalLines(text);
    std::size_t at = 0;
    while (at < lines.size() && lines[at].second.empty()) {
        ++at;
    }
    if (at == lines.size() ||
        (lines[at].second != UnicodeHeader && lines[at].second != Regedit4Header)) {
        parsed.error = "not a registry export (the first line is neither \"" +
                       std::string(UnicodeHeader) + "\" nor \"" + std::string(Regedit4Header) +
                       "\")";
        return parsed;
    }
    std::optional<std::string> key; // nothing: values here are not taken
    for (++at; at < lines.size(); ++at) {
        const auto& [number, line] = lines[at];
        const std::string where = "line " + std::to_string(number) + ": ";
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            key.reset();
            if (line.back() != ']' || line.size() < 3) {
                parsed.notes.push_back(where + "not a key: " + line);
                continue;
            }
            std::string path = line.substr(1, line.size() - 2);
            if (path.front() == '-') {
                parsed.notes.push_back(where + "deleting a whole key is not supported: " + line);
                continue;
            }
            const auto parts = splitKeyPath(path);
            const auto hive = text::splitAll(path, '\\').front();
            if ((!text::equalsIgnoringCase(hive, Hive) &&
                 !text::equalsIgnoringCase(hive, "HKLM")) ||
                parts.empty()) {
                parsed.notes.push_back(where +
                                       "only keys under HKEY_LOCAL_MACHINE are taken: " + line);
                continue;
            }
            std::string joined;
            for (const auto& part : parts) {
                joined += (joined.empty() ? "" : "\\") + part;
            }
            key = joined;
            continue;
        }
        std::string_view rest;
        std::optional<std::string> name;
        if (line.front() == '@') {
            rest = std::string_view(line).substr(1);
        } else {
            name = quoted(line, rest);
        }
        rest = trimmed(rest);
        if (!name || rest.empty() || rest.front() != '=') {
            parsed.notes.push_back(
                where +
                (line.front() == '@' ? "default values are not supported: " : "not a value: ") +
                line);
            continue;
        }
        if (!key) {
            continue; // under a key that was left out; noted there
        }
        rest = trimmed(rest.substr(1));
        if (rest == "-") {
            parsed.entries.push_back({*key, *name, std::nullopt});
            continue;
        }
        std::string_view after;
        auto value = quoted(rest, after);
        if (!value || !trimmed(after).empty()) {
            parsed.notes.push_back(where + "only string values are taken: " + line);
            continue;
        }
        parsed.entries.push_back({*key, *name, *value});
    }
    return parsed;
}

std::string write(const std::vector<KeyValues>& keys, Format format,
                  std::vector<std::string>& notes) {
    std::string text(format == Format::Unicode ? UnicodeHeader : Regedit4Header);
    text += "\r\n\r\n";
    for (const auto& key : keys) {
        text += "[" + std::string(Hive) + "\\" + key.key + "]\r\n";
        for (const auto& [name, value] : key.values) {
            const bool representable =
                (name + value).find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
            if (!representable) {
                notes.push_back(key.key + "\\" + name +
                                ": a line break or NUL cannot be exported; left out");
                continue;
            }
            text += quote(name) + "=" + quote(value) + "\r\n";
        }
        text += "\r\n";
    }
    if (format == Format::Regedit4) {
        return text;
    }
    return "\xFF\xFE" + utf8ToUtf16le(text);
}

ImportReport import(RegistryStore& registry, const Parsed& parsed) {
    ImportReport report;
    report.notes = parsed.notes;
    for (const auto& entry : parsed.entries) {
        if (!entry.value) {
            if (registry.remove(entry.key, entry.name)) {
                ++report.removed;
            }
            continue;
        }
        if (registry.write(entry.key, entry.name, *entry.value)) {
            ++report.stored;
        } else {
            report.notes.push_back(entry.key + "\\" + entry.name + ": could not be stored");
        }
    }
    return report;
}

namespace {

void collect(const IniRegistryStore& registry, const std::string& keyPath,
             std::vector<KeyValues>& out, std::vector<std::string>& notes, int depth) {
    KeyValues key{keyPath, {}};
    for (const auto& [name, value] : registry.list(keyPath)) {
        if (keyPath.empty()) {
            notes.push_back(name + ": a value outside every key cannot be exported; left out");
        } else if (value) {
            key.values.emplace_back(name, *value);
        } else {
            notes.push_back(keyPath + "\\" + name + ": not a string value; left out");
        }
    }
    if (!key.values.empty()) {
        out.push_back(std::move(key));
    }
    // Keys come from one file of bounded size, so the depth is bounded too; the cap only
    // guards the stack against a file written to be pathological.
    if (depth >= 64) {
        notes.push_back(keyPath + ": keys nested deeper than 64 levels are left out");
        return;
    }
    for (const auto& child : registry.subkeys(keyPath)) {
        collect(registry, keyPath.empty() ? child : keyPath + "\\" + child, out, notes, depth + 1);
    }
}

} // namespace

std::string exportKey(const IniRegistryStore& registry, const std::string& keyPath, Format format,
                      std::vector<std::string>& notes) {
    std::vector<KeyValues> keys;
    std::string joined;
    for (const auto& part : splitKeyPath(keyPath)) {
        joined += (joined.empty() ? "" : "\\") + part;
    }
    collect(registry, joined, keys, notes, 0);
    return write(keys, format, notes);
}

} // namespace pelvar::regfile
