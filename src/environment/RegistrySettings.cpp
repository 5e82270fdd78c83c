#include "environment/RegistrySettings.h"

#include "platform/registry/RegistryStore.h"

namespace pelvar {
namespace {
constexpr std::size_t MaxValueLength = 255; // a 256-character buffer with its NUL
const char* const FallbackSetupTypeKey = "Software\\Pelvar\\POSSetupType";
} // namespace

std::string selectorKeyPath(int selector) {
    switch (selector) {
    case keysel::Pos:
        return "Software\\Pelvar\\POS";
    case keysel::NodeInfo:
        return "Software\\Pelvar\\NodeInfo";
    case keysel::SetupType:
        return "Software\\Pelvar\\SetupType";
    case keysel::AppPath:
        return "Software\\Pelvar\\APPPATH";
    case keysel::Enterprise:
        return "Software\\Pelvar\\ENTERPRISE";
    case keysel::LiveUpdate:
        return "Software\\Pelvar\\LUInfo";
    default:
        return {};
    }
}

std::string ReadRegString(const RegistryStore& registry, const std::string& subKey,
                          const std::string& name) {
    const auto value = registry.read(subKey, name);
    if (!value || value->size() > MaxValueLength) {
        return {};
    }
    return *value;
}

bool WriteRegString(RegistryStore& registry, const std::string& subKey, const std::string& name,
                    std::string& value) {
    if (value.empty()) {
        value.assign(1, ' '); // (assigning " " trips a false -Wrestrict in GCC 12 at -O2)
    }
    return registry.write(subKey, name, value);
}

std::string ReadSetting(const RegistryStore& registry, const std::string& name, int selector) {
    const std::string key = selectorKeyPath(selector);
    if (key.empty()) {
        return {};
    }
    auto read = [&](const std::string& path) {
        std::string value = ReadRegString(registry, path, name);
        return value == "--Not String--" ? std::string() : value;
    };
    std::string value = read(key);
    if (value.empty() && selector == keysel::SetupType) {
        value = read(FallbackSetupTypeKey);
    }
    return value;
}

bool WriteSetting(RegistryStore& registry, const std::string& name, std::string value,
                  int selector) {
    const std::string key = selectorKeyPath(selector);
    if (key.empty()) {
        return false;
    }
    if (WriteRegString(registry, key, name, value)) {
        return true;
    }
    return selector == keysel::SetupType &&
           WriteRegString(registry, FallbackSetupTypeKey, name, value);
}

} // namespace pelvar
