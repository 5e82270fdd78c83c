#pragma once

#include <string>

namespace pelvar {

class RegistryStore;

// Key selectors of the product's registry keys.
namespace keysel {
constexpr int Pos = 1;
constexpr int NodeInfo = 2;
constexpr int SetupType = 3;
constexpr int AppPath = 4;
constexpr int Enterprise = 5;
constexpr int LiveUpdate = 6;
} // namespace keysel

// The key path a selector addresses (selector 3: the set-up type key); empty for others.
std::string selectorKeyPath(int selector);

// A string value of a key; empty for a missing key or value, a non-string value, or one
// longer than 255 characters.
std::string ReadRegString(const RegistryStore& registry, const std::string& subKey,
                          const std::string& name);
// Stores a string value; an empty value is stored as " " (and `value` receives it).
// True whenever the key could be opened.
bool WriteRegString(RegistryStore& registry, const std::string& subKey, const std::string& name,
                    std::string& value);

// A value by name and key selector; absent values (including "--Not String--") read empty.
std::string ReadSetting(const RegistryStore& registry, const std::string& name, int selector);
bool WriteSetting(RegistryStore& registry, const std::string& name, std::string value,
                  int selector);

} // namespace pelvar
