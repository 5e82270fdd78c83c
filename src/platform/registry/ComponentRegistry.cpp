#include "platform/registry/ComponentRegistry.h"

#include "platform/registry/RegistryStore.h"

#include <filesystem>

namespace pelvar::components {
namespace {

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

} // namespace

bool recordRegistration(RegistryStore& registry, const std::string& nativePath) {
    return registry.write(ComponentsKey, fileNameOf(nativePath), nativePath);
}

bool removeRegistration(RegistryStore& registry, const std::string& nativePath) {
    return registry.remove(ComponentsKey, fileNameOf(nativePath));
}

bool isRegistered(const RegistryStore& registry, const std::string& fileName) {
    return registry.read(ComponentsKey, fileNameOf(fileName)).has_value();
}

std::vector<std::pair<std::string, std::string>> registered(const RegistryStore& registry) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [name, value] : registry.list(ComponentsKey)) {
        out.emplace_back(name, value.value_or(""));
    }
    return out;
}

} // namespace pelvar::components
