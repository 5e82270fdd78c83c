#include "patcher/BackupList.h"

#include "environment/AppState.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "platform/files/Files.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

namespace pelvar {
namespace {

std::vector<std::pair<std::string, std::string>> roots(const PatchRun& run) {
    // The product folder first: it usually lies below drive C.
    return {{"AppPath", run.PatchRoot},
            {"C:", patchfiles::driveRoot(run, 'C')},
            {"D:", patchfiles::driveRoot(run, 'D')}};
}

fs::path normal(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    return fs::path(p).lexically_normal();
}

// Every piece a plain name: no "..", no drive, no control character, nothing empty.
bool isPlainRelative(const std::string& relative) {
    for (const auto& piece : text::splitAll(relative, '/')) {
        if (!isPlainFileName(piece)) {
            return false;
        }
    }
    return !relative.empty();
}

std::optional<std::string> placeOf(const PatchRun& run, const std::string& folder) {
    const fs::path target = normal(folder);
    for (const auto& [name, root] : roots(run)) {
        if (root.empty()) {
            continue;
        }
        const fs::path relative = target.lexically_relative(normal(root));
        const std::string rel = relative.generic_string();
        if (rel == ".") {
            return name;
        }
        if (!relative.empty() && isPlainRelative(rel)) {
            return name + "\\" + text::replaceAll(rel, "/", "\\");
        }
    }
    return std::nullopt;
}

} // namespace

void BackupList::add(const PatchRun& run, const std::string& entry, const std::string& folder,
                     bool registered) {
    if (const auto place = placeOf(run, folder)) {
        lines_.push_back({entry, registered, *place});
    }
}

void BackupList::writeInto(const std::string& collectionFolder) const {
    std::string body;
    for (const auto& line : lines_) {
        body += line.entry + "|" + (line.registered ? "Y" : "N") + "|" + line.place + "\r\n";
    }
    files::writeAll(files::join(collectionFolder, BackupListName), body);
}

std::optional<std::vector<BackupListLine>> parseBackupList(const std::string& text) {
    std::vector<BackupListLine> lines;
    for (std::string line : text::splitAll(text, '\n')) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        const auto fields = text::splitAll(line, '|');
        if (fields.size() != 3 || !isPlainRelative(fields[0]) ||
            (fields[1] != "Y" && fields[1] != "N")) {
            return std::nullopt;
        }
        lines.push_back({fields[0], fields[1] == "Y", fields[2]});
    }
    return lines;
}

std::optional<std::string> placeFolder(const PatchRun& run, const std::string& place) {
    const std::size_t cut = place.find('\\');
    const std::string head = place.substr(0, cut);
    const std::string rest = cut == std::string::npos
                                 ? std::string()
                                 : text::replaceAll(place.substr(cut + 1), "\\", "/");
    for (const auto& [name, root] : roots(run)) {
        if (head != name || root.empty()) {
            continue;
        }
        if (rest.empty()) {
            return root;
        }
        return isPlainRelative(rest) ? std::optional(files::join(root, rest)) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace pelvar
