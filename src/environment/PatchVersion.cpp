#include "environment/PatchVersion.h"

#include "platform/text/Text.h"

namespace pelvar {

std::string patchVersionOfName(const std::string& name, bool headOffice) {
    const std::string prefix = headOffice ? "HO_" : "POS_";
    const bool prefixed = text::startsWith(text::upper(name), prefix);
    return text::replaceAll(prefixed ? name.substr(prefix.size()) : name, "_", ".");
}

std::string patchVersionOfFile(const std::string& path, bool headOffice) {
    std::string base = text::trim(path);
    if (const auto slash = base.find_last_of("/\\"); slash != std::string::npos) {
        base.erase(0, slash + 1);
    }
    if (const auto dot = base.rfind('.'); dot != std::string::npos) {
        base.resize(dot);
    }
    return patchVersionOfName(base, headOffice);
}

} // namespace pelvar
