#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pelvar {

class RegistryStore;

// Component registrations (REGSVR32, /REGSERVER) as the registry stand-in records them: one
// value per component file under ComponentsKey, named by the file name, holding its path.
namespace components {

inline constexpr const char* ComponentsKey = "Software\\Pelvar\\Registered Components";

// Records the component at `nativePath`; false when the registry cannot be written.
bool recordRegistration(RegistryStore& registry, const std::string& nativePath);
// Forgets the component of that file name; false when it was not recorded.
bool removeRegistration(RegistryStore& registry, const std::string& nativePath);
// Whether a component with this file name (any folder, case ignored) is recorded.
bool isRegistered(const RegistryStore& registry, const std::string& fileName);
// (file name, path) of every recorded component.
std::vector<std::pair<std::string, std::string>> registered(const RegistryStore& registry);

} // namespace components
} // namespace pelvar
