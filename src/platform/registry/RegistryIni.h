#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of the registry stand-in's INI file. Hand editing is expected, so:
// - "[Software\Pelvar\POS]" opens a key; "Name=value" lines below it are its values
//   (a name may carry more key levels, "Pelvar\POS\Name=" under "[Software]");
// - a value is the text after the first "=", taken literally with the blanks around it
//   trimmed: ";", ",", "=", "#" and "\" are plain characters there;
// - a value written "in double quotes" is unescaped (\\ \" \n \r \t \xHHHH), which keeps
//   blanks at its ends and control characters;
// - "@@text" is the text "@text"; other "@Type(...)" values are not strings;
// - lines that are none of these (comments, stray text) are kept as they are.
// Names compare ignoring ASCII case; special characters in names are written as %XX.
namespace pelvar::regini {

using KeyParts = std::vector<std::string>;

struct Line {
    enum class Kind { Other, Section, Value };
    Kind kind = Kind::Other;
    std::string raw;                  // the line as read, without its line end
    KeyParts key;                     // Section: its key; Value: the key holding the value
    std::string name;                 // Value: the value's name as written (unescaped)
    std::optional<std::string> value; // Value: the text, nothing for a non-string value
    std::size_t nameTextLength = 0;   // Value: how much of `raw` precedes the "="
};

class Document {
  public:
    static Document parse(std::string_view bytes);
    std::string serialize() const;

    // The value (nothing inside for a non-string value); nothing when there is no such value.
    std::optional<std::optional<std::string>> find(const KeyParts& key,
                                                   const std::string& name) const;
    void set(const KeyParts& key, const std::string& name, const std::string& value);
    // False when there was no such value.
    bool remove(const KeyParts& key, const std::string& name);
    // Values of one key, each name once (the last occurrence wins), in first-seen order.
    std::vector<std::pair<std::string, std::optional<std::string>>>
    values(const KeyParts& key) const;
    // Names of the keys directly below `key`, each once, in first-seen order.
    std::vector<std::string> subkeys(const KeyParts& key) const;
    // 1-based numbers and texts of lines that are neither blank, comment, key nor value.
    std::vector<std::pair<std::size_t, std::string>> strayLines() const;

    const std::vector<Line>& lines() const { return lines_; }

  private:
    std::vector<Line> lines_;
};

// A value as the right-hand side of a line: literal when that reads back the same,
// otherwise in double quotes with escapes.
std::string formatValue(const std::string& value);
// A value's right-hand side as read (see above).
std::optional<std::string> parseValue(std::string_view text);
// A key or value name with the characters the syntax uses escaped as %XX.
std::string escapeName(const std::string& name);
std::string unescapeName(std::string_view text);

bool sameKey(const KeyParts& a, const KeyParts& b);

} // namespace pelvar::regini
