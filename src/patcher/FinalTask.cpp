#include "patcher/FinalTask.h"

#include "download/MainWindowLoad.h"
#include "environment/AppState.h"
#include "environment/PatchVersion.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "environment/UpdateLog.h"
#include "patcher/CompanyConnections.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/ScriptSteps.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/files/WindowsPath.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

#include <cstdio>
#include <cstdlib>
#include <set>

namespace pelvar {

using namespace scriptsteps;

namespace {

std::string isoDate(const datetext::LocalDateTime& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year % 10000, d.month % 100, d.day % 100);
    return text;
}

std::string dayMonthYear(const datetext::LocalDateTime& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", d.day % 100, d.month % 100, d.year % 10000);
    return text;
}

// An entry's date field; today when it holds no date.
datetext::LocalDateTime entryDate(const std::string& field,
                                  const datetext::LocalDateTime& today = datetext::now()) {
    return datetext::coerce(text::trim(field)).value_or(today);
}

std::string entryField(const std::string& entry, std::size_t index) {
    const auto pieces = text::splitAll(entry, ':');
    return index < pieces.size() ? pieces[index] : std::string();
}

// One showroom row of a company: a replication database and its installed version.
struct Showroom {
    std::string compCode;
    std::string dbName;
    std::string connectionString;
    std::string swInstall;
};

// The patch's application-database script for this kind of company: the first "DBA"
// (file companies) or "DBS" file of its script folder, by name; empty when it has none.
std::string patchScriptName(const PatchRun& run, const std::string& patchName, bool fileCompany) {
    std::string base = fileNameOf(patchName);
    if (const auto dot = base.rfind('.'); dot != std::string::npos) {
        base.resize(dot);
    }
    std::string patchFolder;
    for (const auto& folder : run.PatchFolders) {
        if (text::equalsIgnoringCase(folder, base)) {
            patchFolder = folder;
        }
    }
    const std::string scripts = scriptFolder(run, patchFolder.empty() ? base : patchFolder);
    if (scripts.empty()) {
        return {};
    }
    for (const auto& file : folderFiles(scripts)) {
        if (hasKind(file, fileCompany ? "DBA" : "DBS")) {
            return fileNameOf(file);
        }
    }
    return {};
}

void logOpenFailure(AppState& state, const RunTimeError& e, const std::string& dbName) {
    LogWrite(state, "Database: " + text::upper(dbName) + " Could not updated due to Error No: " +
                        e.numberText() + " And description: " + e.description());
    state.Summary.companiesSkipped.push_back(dbName +
                                             " (patch level not recorded): " + e.description());
}

// The patch version of an entry when its row is to be recorded: a patch already recorded as
// the installed level is not recorded twice (the level is read before each row).
std::string versionToRecord(const AppState& state, const std::string& entry) {
    const bool headOffice = state.edition == Edition::Ho;
    const std::string version = patchVersionOfFile(entryField(entry, 0), headOffice);
    const int selector = headOffice ? keysel::Enterprise : keysel::Pos;
    if (version.empty() || ReadSetting(state.services.registry, "PatchVer", selector) == version) {
        return {};
    }
    return version;
}

// (company code, patch version) of the rows VAPatchDtls holds: columns 1 and 3, as the rows are
// written. A final task that was killed after some rows and runs again does not add them twice.
// A table that cannot be read gives nothing; the insert then reports the error.
std::set<std::pair<std::string, std::string>> recordedPatches(DatabaseConnection& db) {
    std::set<std::pair<std::string, std::string>> recorded;
    try {
        const auto rows = db.query("SELECT * FROM VAPatchDtls");
        for (const auto& row : rows.rows) {
            if (row.size() >= 3 && row[0] && row[2]) {
                recorded.emplace(text::trim(*row[0]), text::trim(*row[2]));
            }
        }
    } catch (const RunTimeError&) {
    }
    return recorded;
}

bool alreadyReplicated(DatabaseConnection& db, const std::string& compCode,
                       const std::string& version) {
    try {
        return !db.query("SELECT PatchVer FROM ReplVaPatchDtls WHERE CompCode=? AND PatchVer=?",
                         {compCode, version})
                    .empty();
    } catch (const RunTimeError&) {
        return false;
    }
}

// The rows of one company; its showroom rows are gathered for the replication pass.
void recordCompany(PatchRun& run, const Recordset& companies, std::size_t r,
                   const std::string& productVersion, std::vector<Showroom>& showrooms) {
    AppState& state = run.state;
    const bool headOffice = state.edition == Edition::Ho;
    const bool fileCompany = text::trim(companies.text(r, "DbType")) == "VSPMSACCESSDB";
    std::unique_ptr<DatabaseConnection> db;
    try {
        db = DatabaseConnection::open(companydb::recordConnection(companies, r),
                                      state.services.database,
                                      text::trim(companies.text(r, "DbProvider")));
    } catch (const RunTimeError& e) {
        // A company that cannot be opened keeps its old level; the others are still recorded.
        logOpenFailure(state, e, companies.text(r, "DbName"));
        return;
    }
    const auto today = datetext::now();
    auto businessDate = today;
    if (!headOffice) {
        const auto sys = db->query("SELECT Dt FROM SysParam WHERE ParamCode='PELVARSysDt'");
        if (!sys.empty()) {
            businessDate = datetext::parse(sys.text(0, "Dt")).value_or(today);
        }
    }
    std::string lookups;
    const auto lookup =
        db->query("SELECT Code,Number FROM GenLookup WHERE RecID=101 Order by Code ASC");
    for (std::size_t i = 0; i < lookup.size(); ++i) {
        lookups += (i ? "#" : "") + lookup.text(i, "Number");
    }
    const auto recorded = recordedPatches(*db);
    for (const auto& entry : state.UpdateEntries) {
        PatchRow row;
        row.patchVersion = versionToRecord(state, entry);
        if (row.patchVersion.empty() ||
            recorded.count({text::trim(companies.text(r, "CompCode")), row.patchVersion})) {
            continue;
        }
        row.compCode = companies.text(r, "CompCode");
        row.companyName = companies.text(r, "Nm");
        row.patchDate = entryField(entry, 1);
        row.today = today;
        row.businessDate = businessDate;
        row.productVersion = productVersion;
        row.lookupNumbers = lookups;
        row.scriptName = patchScriptName(run, entryField(entry, 0), fileCompany);
        insertPatchRow(*db, row);
    }
    if (headOffice) {
        const auto rooms = db->query(companydb::ShowroomQuery);
        for (std::size_t i = 0; i < rooms.size(); ++i) {
            showrooms.push_back({companies.text(r, "CompCode"), rooms.text(i, "DbName"),
                                 companydb::replicationConnection(rooms, i, false),
                                 rooms.text(i, "SwInstall")});
        }
    }
}

void recordReplication(PatchRun& run, const Showroom& room, const std::string& nodeId) {
    AppState& state = run.state;
    LogWrite(state, "Inserting ReplVapatchDtls for Replication Database " + room.dbName);
    std::unique_ptr<DatabaseConnection> db;
    try {
        db = DatabaseConnection::open(room.connectionString, state.services.database);
    } catch (const RunTimeError& e) {
        logOpenFailure(state, e, room.dbName);
        return;
    }
    for (const auto& entry : state.UpdateEntries) {
        const std::string version = versionToRecord(state, entry);
        if (version.empty() || alreadyReplicated(*db, room.compCode, version)) {
            continue;
        }
        db->execute("INSERT INTO ReplVaPatchDtls (CompCode,PatchVer,PatchDt,AppliedDt,SwInstall,"
                    "NodeId) VALUES(?,?,?,?,?,?)",
                    {room.compCode, version, isoDate(entryDate(entryField(entry, 1))),
                     isoDate(datetext::now()), text::trim(room.swInstall), nodeId});
    }
    LogWrite(state,
             "Inserting ReplVapatchDtls for Replication Database " + room.dbName + " updated");
}

void writeVersionRecords(PatchRun& run) {
    AppState& state = run.state;
    if (state.UpdateEntries.empty()) {
        return;
    }
    const bool headOffice = state.edition == Edition::Ho;
    const int selector = headOffice ? keysel::Enterprise : keysel::Pos;
    const std::string& newest = state.UpdateEntries.back();
    const std::string lastUpdated = dayMonthYear(entryDate(entryField(newest, 1)));
    const std::string patchVersion = patchVersionOfFile(entryField(newest, 0), headOffice);
    const std::string engineVersion = text::trim(EngineVersion);
    const int editionIndex = headOffice ? 2 : 1;
    for (auto [key, value] : {std::pair<std::string, std::string>{"PATCHVER", patchVersion},
                              {"PATCHENGINEVER", engineVersion},
                              {"LASTUPDATED", lastUpdated}}) {
        ReWritePelvarDatFileInfo(state.services.paths, key, value, editionIndex);
    }
    // The registry's PatchVer goes last: a run that finds it at this patch skips the patch, so
    // a run killed before it repeats the whole record instead of leaving half of it.
    RegistryStore& registry = state.services.registry;
    WriteSetting(registry, "LastUpdated", lastUpdated, selector);
    WriteSetting(registry, "PatchEngineVer", engineVersion, selector);
    if (headOffice) {
        WriteSetting(registry, "HODownLoadPath",
                     windowsForm(state.services.paths, state.DownloadFolder), keysel::LiveUpdate);
    }
    WriteSetting(registry, "PatchVer", patchVersion, selector);
}

} // namespace

void insertPatchRow(DatabaseConnection& db, const PatchRow& row) {
    db.execute("INSERT INTO VAPatchDtls VALUES(?,?,?,?,?,?,?,?,?,'','','',0,0,0)",
               {row.compCode, row.companyName, row.patchVersion,
                isoDate(entryDate(row.patchDate, row.today)), isoDate(row.today),
                isoDate(row.businessDate), row.productVersion, row.lookupNumbers, row.scriptName});
}

StepResult PerformFinalTask(PatchRun& run) {
    AppState& state = run.state;
    LogWrite(state, "Performing Final Task....");
    LogWrite(state, "Updating Updates Information to Security Database....");
    std::string nodeId = ReadSetting(state.services.registry, "NodeId", keysel::NodeInfo);
    if (nodeId.empty()) {
        nodeId = "N/A";
    }
    // The product version record: the edition's "ProductVer" registry value.
    const std::string productVersion = patchfiles::versionNumberText(
        ReadSetting(state.services.registry, "ProductVer",
                    state.edition == Edition::Ho ? keysel::Enterprise : keysel::Pos));
    // Without the security database no level is recorded anywhere: the error box ends the
    // task, and the next run records the patches.
    if (!state.SecurityConnection) {
        raise(err::ConnectionClosed, "Connection");
    }
    std::vector<Showroom> showrooms;
    const Recordset companies = state.SecurityConnection->query("SELECT * FROM VaCompany");
    for (std::size_t r = 0; r < companies.size(); ++r) {
        recordCompany(run, companies, r, productVersion, showrooms);
    }
    LogWrite(state, "ReplVaPatchDtls updation for Replication Database Started...");
    for (const auto& room : showrooms) {
        recordReplication(run, room, nodeId);
    }
    LogWrite(state, "Replication Database updation Over...");
    const std::string regs = files::join(state.ProductAppPath, "REGS.bat");
    if (files::fileExists(regs)) {
        state.services.launcher.start(regs, true);
    }
    LogWrite(state, "Updates Information to Security Database Updated....");
    LogWrite(state, "Updating Registry Value....");
    writeVersionRecords(run);
    LogWrite(state, "Registry Value Updated Successfully....");
    return StepResult::Continue;
}

} // namespace pelvar
