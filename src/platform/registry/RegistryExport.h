#pragma once

#include "platform/registry/RegistryStore.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Windows registry export files (".reg"), the form in which an installation moved from
// Windows brings its settings: "Windows Registry Editor Version 5.00" files in UTF-16LE with a
// byte-order mark, and the older "REGEDIT4" files in the local code page (bytes kept).
// Only string values under HKEY_LOCAL_MACHINE map onto the registry stand-in; everything
// else is reported, not guessed at.
namespace pelvar::regfile {

enum class Format { Unicode, Regedit4 };

struct Entry {
    std::string key; // "Software\Pelvar\POS", without the hive
    std::string name;
    std::optional<std::string> value; // nothing: the file deletes the value ("name"=-)
};

struct Parsed {
    std::optional<std::string> error; // the file is not a registry export at all
    std::vector<Entry> entries;
    std::vector<std::string> notes; // "line N: ..." for each thing that was left out
};

Parsed parse(std::string_view bytes);

struct KeyValues {
    std::string key; // without the hive
    std::vector<std::pair<std::string, std::string>> values;
};

// The export file of these keys; values a string value of an export cannot hold (line
// breaks, NUL) are left out and named in `notes`.
std::string write(const std::vector<KeyValues>& keys, Format format,
                  std::vector<std::string>& notes);

// Text conversions of the Unicode format. Bytes that are not UTF-8 are taken as Latin-1;
// unpaired surrogates become U+FFFD.
std::string utf8ToUtf16le(std::string_view utf8);
std::string utf16leToUtf8(std::string_view utf16);

struct ImportReport {
    int stored = 0;
    int removed = 0;
    std::vector<std::string> notes; // left out of the file, or failed to store
    bool ok() const { return notes.empty(); }
};

// Stores every string value of the parsed file in the registry and removes the deleted ones.
ImportReport import(RegistryStore& registry, const Parsed& parsed);

// The key and every key below it, as an export file.
std::string exportKey(const IniRegistryStore& registry, const std::string& keyPath, Format format,
                      std::vector<std::string>& notes);

} // namespace pelvar::regfile
