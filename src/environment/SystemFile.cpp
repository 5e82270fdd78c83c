#include "environment/SystemFile.h"

#include "environment/RegistrySettings.h"
#include "platform/base/CrashPoint.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/text/Text.h"

#include <filesystem>
#include <functional>
#include <vector>

namespace pelvar {
namespace {

// A line holds no line break: what follows one would be read as keys of its own (a registry
// value "x\r\nSERVERTYPE=ACCESS" would switch the database type).
std::string firstLineOf(const std::string& value) {
    return value.substr(0, value.find_first_of("\r\n"));
}

using Setter = std::function<void(SystemRecord&, const std::string&)>;

Setter textField(std::string SystemRecord::*field) {
    return [field](SystemRecord& r, const std::string& v) { r.*field = v; };
}
Setter flagField(bool SystemRecord::*field) {
    return [field](SystemRecord& r, const std::string& v) { r.*field = text::upper(v) == "TRUE"; };
}
Setter dateField(std::optional<datetext::LocalDateTime> SystemRecord::*field) {
    return [field](SystemRecord& r, const std::string& v) {
        if (auto date = datetext::parse(v)) {
            r.*field = date;
        }
    };
}

struct KeyRule {
    const char* key;
    Setter set;
    bool headOfficeOnly = false;
};

const std::vector<KeyRule>& keyRules() {
    static const std::vector<KeyRule> rules = {
        {"SERVERTYPE=", textField(&SystemRecord::ServerType)},
        {"SETUPTYPE=", textField(&SystemRecord::SetupType)},
        {"PELVARAPPPATH=", textField(&SystemRecord::PelvarAppPath)},
        {"VSPDBTYP=", textField(&SystemRecord::DbType)},
        {"PROVIDER=", textField(&SystemRecord::Provider)},
        {"SERVERID=", textField(&SystemRecord::ServerId)},
        {"USER-INF1=",
         [](SystemRecord& r, const std::string& v) {
             const auto at = v.find(';');
             r.UserInf1 = at == std::string::npos ? v : v.substr(at + 1);
         }},
        {"USER-INF2=", textField(&SystemRecord::UserInf2)},
        {"VASEC-DB=", textField(&SystemRecord::SecurityDb)},
        {"PASSWORD=", textField(&SystemRecord::Password)},
        {"PRODTYPE=", textField(&SystemRecord::ProdType)},
        {"HELP-KEY=", flagField(&SystemRecord::HelpKey)},
        {"HELPFILE=", textField(&SystemRecord::HelpFile)},
        {"SYSSTATS=", flagField(&SystemRecord::SysStats)},
        {"PRODUCTVER=", textField(&SystemRecord::ProductVer)},
        {"PATCHVER=", textField(&SystemRecord::PatchVer)},
        {"PATCHENGINEVER=", textField(&SystemRecord::PatchEngineVer)},
        {"LASTUPDATED=", dateField(&SystemRecord::LastUpdated)},
        {"COMPUTERNAME=", textField(&SystemRecord::ComputerName)},
        {"IPADDRESS=", textField(&SystemRecord::IpAddress)},
        {"TERMINALNAME=", textField(&SystemRecord::TerminalName)},
        {"NODEID=", textField(&SystemRecord::NodeId)},
        {"NODEPERIORITY=", textField(&SystemRecord::NodePriority)},
        {"PATCHDOWNPATH=", textField(&SystemRecord::PatchDownPath)},
        {"PRODINSTALLDATE=", dateField(&SystemRecord::ProdInstallDate)},
        {"DBINPATH=", textField(&SystemRecord::DbInPath)},
        {"DBOUTPATH=", textField(&SystemRecord::DbOutPath)},
        {"DBSHAREPATH=", textField(&SystemRecord::DbSharePath)},
        {"DBASTINPATH=", textField(&SystemRecord::DbAstInPath)},
        {"DBASTOUTPATH=", textField(&SystemRecord::DbAstOutPath)},
        {"IMP-PATH=", textField(&SystemRecord::ImpPath)},
        {"PELVARHOAST=", textField(&SystemRecord::PelvarHoAst), true},
        {"PELVARHOSERVER=", textField(&SystemRecord::PelvarHoServer), true},
        {"PELVARHOCLIENT=", textField(&SystemRecord::PelvarHoClient), true},
    };
    return rules;
}

// The key part of a line: up to and including its first "=", empty when there is none.
std::string keyPart(const std::string& line) {
    const auto at = line.find('=');
    return at == std::string::npos ? std::string() : line.substr(0, at + 1);
}

void loadRecord(const std::string& path, SystemRecord& record, bool headOffice) {
    for (const auto& line : files::readLines(path)) {
        applySystemFileLine(record, line, headOffice);
    }
}

} // namespace

std::string GetDatFilePath(const SandboxPaths& paths) {
    const std::string root = paths.commonAppData();
    // A fresh sandbox may lack the folder: make it, rather than let callers fall back to a
    // path outside the root.
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    return files::folderExists(root) ? root : std::string();
}

std::string systemFilePath(const SandboxPaths& paths, int editionIndex) {
    const std::string base = GetDatFilePath(paths);
    if (base.empty()) {
        return {};
    }
    const std::string folder = base + "/Orken/Pelvar9/";
    if (editionIndex == 1) {
        return folder + "PelvarPOSSystem.DAT";
    }
    if (editionIndex == 2) {
        return folder + "PelvarHOSystem.DAT";
    }
    return {};
}

void applySystemFileLine(SystemRecord& record, const std::string& line, bool headOffice) {
    if (!line.empty() && line.front() == '*') {
        return;
    }
    const std::string key = keyPart(line);
    if (key.empty()) {
        return;
    }
    const std::string value = line.substr(key.size());
    for (const auto& rule : keyRules()) {
        if (key == rule.key && (headOffice || !rule.headOfficeOnly)) {
            rule.set(record, value);
            return;
        }
    }
}

void LoadPelvarDatFileInfo(SystemFileInfo& info, const SandboxPaths& paths) {
    info.PosFileExists = false;
    info.HoFileExists = false;
    try {
        const std::string pos = systemFilePath(paths, 1);
        if (files::fileExists(pos)) {
            info.PosFileExists = true;
            loadRecord(pos, info.Pos, false);
        }
        const std::string ho = systemFilePath(paths, 2);
        if (files::fileExists(ho)) {
            info.HoFileExists = true;
            loadRecord(ho, info.Ho, true);
        }
    } catch (const RunTimeError&) {
        // The records keep what was read before the failure.
    }
}

void ReWritePelvarDatFileInfo(const SandboxPaths& paths, std::string& key, const std::string& value,
                              int editionIndex) {
    key = text::upper(text::trim(key)) + "=";
    const std::string oneLine = firstLineOf(value);
    const std::string path = systemFilePath(paths, editionIndex);
    if (path.empty() || !files::fileExists(path)) {
        return;
    }
    std::string output;
    bool found = false;
    for (const auto& line : files::readLines(path)) {
        if (line.empty() || line.front() != '*') {
            if (keyPart(line) == key) {
                output += key + oneLine + "\r\n";
                found = true;
                continue;
            }
        }
        output += line + "\r\n";
    }
    if (!found) {
        output += key + oneLine + "\r\n";
    }
    // Written beside, flushed and renamed over: a run killed half way leaves the old file or the
    // new one, never an empty one (it holds the product folder, node and database password).
    crashPoint("system-file:" + key);
    files::replacePrivate(path, output);
}

void CreateSystemFileFromRegistry(SystemFileInfo& info, const SandboxPaths& paths,
                                  const RegistryStore& registry, const std::string& editionIndex) {
    LoadPelvarDatFileInfo(info, paths);
    const std::string root = GetDatFilePath(paths);
    if (root.empty()) {
        return;
    }
    for (const char* folder : {"/Orken", "/Orken/Pelvar9"}) {
        if (!files::folderExists(root + folder)) {
            files::createFolder(root + folder);
        }
    }
    int index = 0;
    int selector = 0;
    if (editionIndex == "1") {
        index = 1;
        selector = 1;
    } else if (editionIndex == "2") {
        index = 2;
        selector = 5;
    } else {
        return;
    }
    const std::string path = systemFilePath(paths, index);
    if (files::fileExists(path)) {
        return;
    }
    // Made whole in memory and written once: a run killed half way must not leave a partial
    // file, which later runs would take as complete.
    std::string output;
    auto put = [&](const char* key, const std::string& value) {
        output += std::string(key) + "=" + firstLineOf(value) + "\r\n";
    };
    auto edition = [&](const char* name) { return ReadSetting(registry, name, selector); };
    put("SERVERTYPE", edition("SERVERTYPE"));
    put("SETUPTYPE", ReadSetting(registry, "SetupType", 3));
    for (const char* name :
         {"PELVARAPPPATH", "VSPDBTYP", "PROVIDER", "SERVERID", "VASEC-DB", "USER-INF1"}) {
        put(name, edition(name));
    }
    const std::string userInf2 = edition("USER-INF2");
    put("USER-INF2", userInf2.empty() ? userInf2 : userInf2.substr(1));
    for (const char* name :
         {"PASSWORD", "IMP-PATH", "PRODTYPE", "HELP-KEY", "HELPFILE", "SYSSTATS"}) {
        put(name, edition(name));
    }
    put("NODEID", ReadSetting(registry, "NODEID", 2));
    put("TERMINALNAME", ReadSetting(registry, "Name", 2));
    put("NODEPERIORITY", ReadSetting(registry, "Priority", 2));
    put("IPADDRESS", ReadSetting(registry, "IPAddress", 2));
    put("COMPUTERNAME", ReadSetting(registry, "ComputerName", 2));
    put("PRODUCTVER", edition("ProductVer"));
    put("PATCHVER", edition("PatchVer"));
    put("PATCHENGINEVER", edition("PatchEngineVer"));
    put("LASTUPDATED", edition("LASTUPDATED"));
    if (index == 2) {
        const std::string hoKey = "Software\\Pelvar\\PelvarHO";
        put("PELVARHOCLIENT", ReadRegString(registry, hoKey, "PelvarHOClient"));
        put("PELVARHOSERVER", ReadRegString(registry, hoKey, "PelvarHOServer"));
        put("PELVARHOAST", ReadRegString(registry, hoKey, "PelvarHOAST"));
    }
    put("PATCHDOWNPATH",
        ReadSetting(registry, index == 2 ? "HODOWNLOADPATH" : "POSDOWNLOADPATH", 6));
    files::replacePrivate(path, output);
    LoadPelvarDatFileInfo(info, paths);
}

} // namespace pelvar
