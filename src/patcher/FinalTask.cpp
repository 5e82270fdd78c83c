#include "patcher/FinalTask.h"

#include "download/MainWindowLoad.h"
#include "environment/AppState.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/ScriptSteps.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

std::string companyConnectionString(const Recordset& rows, std::size_t r) {
    const auto t = [&](const char* column) { return rows.text(r, column); };
    if (text::trim(t("DbType")) == "VSPMSACCESSDB") {
        return "Data Source=" + t("DbPath") + "/" + t("DbName") +
               ";Jet OLEDB:Database Password=" + t("DbPassWd");
    }
    return "UID=" + t("DbUserName") + ";Persist Security Info=True;PWD=" + t("DbPassWd") +
           ";Database=" + t("DbName") + ";Server=" + t("DBServer");
}

std::string replicationConnectionString(const Recordset& rows, std::size_t r) {
    const auto t = [&](const char* column) { return rows.text(r, column); };
    return "Provider=" + t("DbProvider") + ";Persist Security Info=True;SERVER=" + t("DBServer") +
           ";UID=" + t("DbUserName") + ";PWD=" + t("DbPassWd") + ";DATABASE=" + t("DbName");
}

// The patch's application-database script for this kind of company: the first "DBA"
// (file companies) or "DBS" file of its script folder, by name; empty when it has none.
std::string patchScriptName(const PatchRun& run, const std::string& patchName, bool fileCompany) {
    std::string base = fileNameOf(patchName);
    if (const auto dot = base.rfind('.'); dot != std::string::npos) {
        base.resize(dot);
    }
    std::string patchFolder;
    for (const auto& folder : runPatches(run)) {
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
    const bool headOffice = state.EditionFlag == 1;
    const std::string version = PatchVersionOf(entryField(entry, 0), headOffice);
    const int selector = headOffice ? keysel::Enterprise : keysel::Pos;
    if (version.empty() || ReadSetting(state.services.registry, "PatchVer", selector) == version) {
        return {};
    }
    return version;
}

// The rows of one company; its showroom rows are gathered for the replication pass.
void recordCompany(PatchRun& run, const Recordset& companies, std::size_t r,
                   const std::string& productVersion, std::vector<Showroom>& showrooms) {
    AppState& state = run.state;
    const bool headOffice = state.EditionFlag == 1;
    const bool fileCompany = text::trim(companies.text(r, "DbType")) == "VSPMSACCESSDB";
    std::unique_ptr<DatabaseConnection> db;
    try {
        db =
            DatabaseConnection::open(companyConnectionString(companies, r), state.services.database,
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
    for (const auto& entry : state.UpdateEntries) {
        PatchRow row;
        row.patchVersion = versionToRecord(state, entry);
        if (row.patchVersion.empty()) {
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
        row.flag1 = run.RowFlag1;
        row.flag2 = run.RowFlag2;
        row.flag3 = run.RowFlag3;
        db->execute(PatchRowStatement(row, state.DatabaseType == "ACCESS"));
    }
    if (headOffice) {
        const auto rooms =
            db->query("SELECT * FROM Showroommaster where dbname is not null and dbname <>''");
        for (std::size_t i = 0; i < rooms.size(); ++i) {
            showrooms.push_back({companies.text(r, "CompCode"), rooms.text(i, "DbName"),
                                 replicationConnectionString(rooms, i),
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
        if (version.empty()) {
            continue;
        }
        db->execute("INSERT INTO ReplVaPatchDtls (CompCode,PatchVer,PatchDt,AppliedDt,SwInstall,"
                    "NodeId) VALUES(" +
                    sqlQuote(room.compCode) + "," + sqlQuote(version) + ",'" +
                    isoDate(entryDate(entryField(entry, 1))) + "','" + isoDate(datetext::now()) +
                    "'," + sqlQuote(text::trim(room.swInstall)) + "," + sqlQuote(nodeId) + ")");
    }
    LogWrite(state,
             "Inserting ReplVapatchDtls for Replication Database " + room.dbName + " updated");
}

void writeVersionRecords(PatchRun& run) {
    AppState& state = run.state;
    if (state.UpdateEntries.empty()) {
        return;
    }
    const bool headOffice = state.EditionFlag == 1;
    const int selector = headOffice ? keysel::Enterprise : keysel::Pos;
    const std::string& newest = state.UpdateEntries.back();
    const std::string lastUpdated = dayMonthYear(entryDate(entryField(newest, 1)));
    const std::string patchVersion = PatchVersionOf(entryField(newest, 0), headOffice);
    const std::string engineVersion = text::trim(EngineVersion);
    RegistryStore& registry = state.services.registry;
    WriteSetting(registry, "LastUpdated", lastUpdated, selector);
    WriteSetting(registry, "PatchVer", patchVersion, selector);
    WriteSetting(registry, "PatchEngineVer", engineVersion, selector);
    if (headOffice) {
        WriteSetting(registry, "HODownLoadPath", state.DownloadFolder, keysel::LiveUpdate);
    }
    const int editionIndex = headOffice ? 2 : 1;
    for (auto [key, value] : {std::pair<std::string, std::string>{"PATCHVER", patchVersion},
                              {"PATCHENGINEVER", engineVersion},
                              {"LASTUPDATED", lastUpdated}}) {
        ReWritePelvarDatFileInfo(state.services.paths, key, value, editionIndex);
    }
}

} // namespace

std::string PatchVersionOf(const std::string& patchFile, bool headOffice) {
    std::string base = fileNameOf(text::trim(patchFile));
    if (const auto dot = base.rfind('.'); dot != std::string::npos) {
        base.resize(dot);
    }
    const std::size_t prefix = headOffice ? 3 : 4;
    return base.size() <= prefix ? std::string() : text::replaceAll(base.substr(prefix), "_", ".");
}

std::string VersionNumberText(const std::string& version) {
    // The same "###0.0" as GenUpdate.dat's version field.
    return patchfiles::versionNumberText(version);
}

std::string PatchRowStatement(const PatchRow& row, bool accessProduct) {
    std::string dates;
    if (accessProduct) {
        // A field that is no date would give no date at all: today stands in for it.
        const std::string patchDate = datetext::coerce(text::trim(row.patchDate))
                                          ? row.patchDate
                                          : datetext::shortDate(row.today);
        dates = "Cdate('" + text::replaceAll(patchDate, "'", "''") + "'),CDate('" +
                datetext::shortDate(row.today) + "'),CDate('" +
                datetext::shortDate(row.businessDate) + "')";
    } else {
        dates = "'" + isoDate(entryDate(row.patchDate, row.today)) + "','" + isoDate(row.today) +
                "','" + isoDate(row.businessDate) + "'";
    }
    const auto flag = [](bool b) { return b ? std::string("1") : std::string("0"); };
    return "INSERT INTO VAPatchDtls VALUES(" + sqlQuote(row.compCode) + "," +
           sqlQuote(row.companyName) + "," + sqlQuote(row.patchVersion) + "," + dates + "," +
           sqlQuote(row.productVersion) + "," + sqlQuote(row.lookupNumbers) + "," +
           sqlQuote(row.scriptName) + ",'','',''," + flag(row.flag1) + "," + flag(row.flag2) + "," +
           flag(row.flag3) + ")";
}

void PerformFinalTask(PatchRun& run) {
    AppState& state = run.state;
    try {
        LogWrite(state, "Performing Final Task....");
        LogWrite(state, "Updating Updates Information to Security Database....");
        std::string nodeId = ReadSetting(state.services.registry, "NodeId", keysel::NodeInfo);
        if (nodeId.empty()) {
            nodeId = "N/A";
        }
        // The product version record: the edition's "ProductVer" registry value.
        const std::string productVersion = VersionNumberText(
            ReadSetting(state.services.registry, "ProductVer",
                        state.EditionFlag == 1 ? keysel::Enterprise : keysel::Pos));
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
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
    }
}

} // namespace pelvar
