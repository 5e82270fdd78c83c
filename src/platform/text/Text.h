#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers with the rules the system's file formats rely on: blanks are the only
// white space that is trimmed, and comparisons are on bytes.
namespace pelvar::text {

std::string trim(std::string_view s);
std::string upper(std::string_view s);
std::string lower(std::string_view s);
bool startsWith(std::string_view s, std::string_view prefix);
bool endsWith(std::string_view s, std::string_view suffix);
bool contains(std::string_view s, std::string_view part);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// First n characters / last n characters (the whole text when it is shorter).
std::string left(std::string_view s, std::size_t n);
std::string right(std::string_view s, std::size_t n);

// Splits at an exact delimiter: an empty text gives no pieces, a trailing delimiter gives
// no empty last piece, two delimiters in a row give an empty piece between them.
std::vector<std::string> splitText(std::string_view s, std::string_view delimiter);
// The pieces with the delimiter between them: splitText's inverse for pieces without it.
std::string joinText(const std::vector<std::string>& pieces, std::string_view delimiter);

// Every piece between delimiters, keeping empty ones (the plain split of the platform).
std::vector<std::string> splitAll(std::string_view s, char delimiter);

// Key and value of a "key=value" line: key before the first "=", value between the first
// and a second "=". A line without "=" has an empty key and an empty value.
struct KeyValue {
    std::string key;
    std::string value;
    bool hasEquals = false;
};
KeyValue splitKeyValue(std::string_view line);

// Whether the text reads as a number (optional blanks, sign, digits, decimal point, exponent).
bool isNumeric(std::string_view s);

// Integer value of a numeric text; raises error 13 (type mismatch) when it is not numeric.
long long toInteger(std::string_view s);

std::string replaceAll(std::string s, std::string_view from, std::string_view to);

} // namespace pelvar::text
