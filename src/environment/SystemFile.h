#pragma once

#include "platform/text/DateText.h"

#include <optional>
#include <string>

namespace pelvar {

class RegistryStore;
struct SandboxPaths;

// One edition's installation facts from its product system file.
struct SystemRecord {
    std::string ServerType, SetupType, PelvarAppPath, DbType, Provider, ServerId;
    std::string UserInf1, UserInf2, SecurityDb, Password, ProdType;
    bool HelpKey = false;
    std::string HelpFile;
    bool SysStats = false;
    std::string ProductVer, PatchVer, PatchEngineVer;
    std::optional<datetext::LocalDateTime> LastUpdated;
    std::string ComputerName, IpAddress, TerminalName, NodeId, NodePriority, PatchDownPath;
    std::optional<datetext::LocalDateTime> ProdInstallDate;
    std::string DbInPath, DbOutPath, DbSharePath, DbAstInPath, DbAstOutPath, ImpPath;
    // Head Office file only.
    std::string PelvarHoAst, PelvarHoServer, PelvarHoClient;
};

struct SystemFileInfo {
    SystemRecord Pos;
    SystemRecord Ho;
    bool PosFileExists = false;
    bool HoFileExists = false;
};

// The common application-data folder below the root, created when missing; empty when it
// cannot be made.
std::string GetDatFilePath(const SandboxPaths& paths);
// The system file of edition index 1 (Point of Sale) or 2 (Head Office); empty otherwise and
// when there is no application-data folder.
std::string systemFilePath(const SandboxPaths& paths, int editionIndex);

// Reads both system files that exist; a failure ends the load with what was read so far.
void LoadPelvarDatFileInfo(SystemFileInfo& info, const SandboxPaths& paths);

// Applies one line of the grammar to a record (exposed for the reader's tests).
void applySystemFileLine(SystemRecord& record, const std::string& line, bool headOffice);

// Sets one key in one system file through a work file. `key` receives its stored form
// (upper-cased, trimmed, "=" appended). Errors reach the caller.
void ReWritePelvarDatFileInfo(const SandboxPaths& paths, std::string& key, const std::string& value,
                              int editionIndex);

// Builds a missing system file ("1" or "2") from the registry; an existing one is left alone.
void CreateSystemFileFromRegistry(SystemFileInfo& info, const SandboxPaths& paths,
                                  const RegistryStore& registry, const std::string& editionIndex);

} // namespace pelvar
