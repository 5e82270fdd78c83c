#include "patcher/PatchOrder.h"

#include "platform/text/Text.h"

#include <algorithm>
#include <filesystem>

namespace pelvar {
namespace {

// Missing trailing pieces count as 0, so 9.0.1 equals 9.0.1.0.
int compareVersions(std::vector<long> a, std::vector<long> b) {
    const std::size_t size = std::max(a.size(), b.size());
    a.resize(size, 0);
    b.resize(size, 0);
    return a < b ? -1 : (a == b ? 0 : 1);
}

} // namespace

std::optional<std::vector<long>> versionPieces(const std::string& version) {
    const std::string trimmed = text::trim(version);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    std::vector<long> pieces;
    for (const auto& piece : text::splitAll(trimmed, '.')) {
        if (piece.empty() || piece.size() > 9 ||
            !std::all_of(piece.begin(), piece.end(),
                         [](unsigned char c) { return std::isdigit(c); })) {
            return std::nullopt;
        }
        pieces.push_back(std::stol(piece));
    }
    return pieces;
}

std::optional<std::vector<long>> patchNumberOf(const std::string& archiveName) {
    const std::string stem =
        std::filesystem::path(text::replaceAll(archiveName, "\\", "/")).stem().string();
    const std::string upper = text::upper(stem);
    for (const char* prefix : {"POS_", "HO_"}) {
        if (text::startsWith(upper, prefix)) {
            return versionPieces(
                text::replaceAll(stem.substr(std::string(prefix).size()), "_", "."));
        }
    }
    return std::nullopt;
}

bool patchNumberLess(const std::string& a, const std::string& b) {
    const auto left = patchNumberOf(a);
    const auto right = patchNumberOf(b);
    if (!left || !right) {
        return !left && right.has_value();
    }
    return compareVersions(*left, *right) < 0;
}

bool isNotAboveInstalled(const std::string& archiveName, const std::string& installedVersion) {
    const auto installed = versionPieces(installedVersion);
    const auto patch = patchNumberOf(archiveName);
    return installed && patch && compareVersions(*patch, *installed) <= 0;
}

} // namespace pelvar
