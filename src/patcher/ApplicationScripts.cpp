#include "patcher/ApplicationScripts.h"

#include "environment/AppState.h"
#include "environment/Connections.h"
#include "environment/UpdateLog.h"
#include "patcher/CompanyConnections.h"
#include "patcher/PatchRun.h"
#include "patcher/ScriptFramework.h"
#include "patcher/ScriptSteps.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

namespace pelvar {

using namespace scriptsteps;

namespace {

constexpr const char* NoSchema = ".DBO.";

// The step's error trap: the generic provider failure names the company's database.
void logTrapped(AppState& state, const RunTimeError& e, const std::string& dbName) {
    if (e.numberText() == "-2147467259") {
        LogWrite(state, "Database: " + text::upper(dbName) +
                            " Could not updated due to Error No: -2147467259 And description: " +
                            e.description());
    } else {
        LogWrite(state, e.description());
    }
}

// A company in step 6's statement records: its row in VaCompany and its database, so that a
// changed company list is noticed.
std::string statementUnit(const Recordset& companies, std::size_t r) {
    return std::to_string(r) + ":" + text::trim(companies.text(r, "DbName"));
}

// Gathers DBS, DBA and RBS scripts into the run's lists; collection files for Point of Sale.
void gatherApplicationScripts(PatchRun& run) {
    AppState& state = run.state;
    const bool pointOfSale = state.edition != Edition::Ho;
    // A step resumed after some of its statements appended its scripts to the collections then.
    const bool collect = pointOfSale && !run.Statements.resumesInside(6);
    const std::string collection = files::join(state.ProductAppPath, "Ini");
    forEachScriptFile(run, [&](const std::string& file, const std::string& name) {
        if (hasKind(name, "DBS")) {
            run.DbsScriptList.push_back(file);
            if (collect) {
                AppendScriptToCollection(file, collection, "ApplicationSQL_999.INI");
            }
        } else if (hasKind(name, "DBA")) {
            run.DbaScriptList.push_back(file);
        } else if (hasKind(name, "RBS")) {
            run.RbsScriptList.push_back(file);
        } else if (text::upper(name) == "APPDBSCRIPTS.INI" && collect) {
            AppendScriptToCollection(file, collection, "PelvarAppExtraDBScripts.ini");
        }
    });
}

} // namespace

// Replaces "[DBO]." and then "DBO." (any case) by the schema and "."; the marker ".DBO."
// leaves statements as they are.
std::string RewriteOwnerPrefix(const std::string& statement, const std::string& schema) {
    if (schema == NoSchema) {
        return statement;
    }
    std::string out = statement;
    for (const std::string from : {"[DBO].", "DBO."}) {
        std::string upper = text::upper(out);
        std::string next;
        std::size_t at = 0;
        for (auto hit = upper.find(from); hit != std::string::npos; hit = upper.find(from, at)) {
            next.append(out, at, hit - at).append(schema).append(".");
            at = hit + from.size();
        }
        next.append(out, at, std::string::npos);
        out = std::move(next);
    }
    return out;
}

// Runs a script list on a connection of its own; every error logs its description.
void RunScriptFiles(PatchRun& run, const std::vector<std::string>& scriptList,
                    const std::string& connectionString, const std::string& schema) {
    AppState& state = run.state;
    const auto trap = [&](const RunTimeError& e) { LogWrite(state, e.description()); };
    std::unique_ptr<DatabaseConnection> db;
    try {
        db = DatabaseConnection::open(connectionString, state.services.database);
    } catch (const RunTimeError& e) {
        trap(e);
        return;
    }
    for (const auto& script : scriptList) {
        try {
            executeScriptFile(run, db.get(), script, StatementRule::Application, trap,
                              [&](const std::string& s) { return RewriteOwnerPrefix(s, schema); });
        } catch (const RunTimeError& e) {
            trap(e);
        }
    }
}

namespace {

void updateReplicationDatabases(PatchRun& run, DatabaseConnection& company,
                                const std::string& dbName) {
    AppState& state = run.state;
    Recordset rooms;
    try {
        rooms = company.query(companydb::ShowroomQuery);
    } catch (const RunTimeError& e) {
        logTrapped(state, e, dbName);
        return;
    }
    if (rooms.empty()) {
        return;
    }
    LogWrite(state, "Replication Database updation Started...");
    const std::string scriptName = fileNameOf(run.RbsScriptList.back());
    const std::string piece = text::splitAll(scriptName, '_').front();
    for (std::size_t r = 0; r < rooms.size(); ++r) {
        const auto schemaValue = rooms.value(r, "SchemaName");
        const std::string schema = schemaValue ? text::trim(*schemaValue) : NoSchema;
        const std::string name = text::trim(rooms.text(r, "DbName"));
        if (text::upper(piece) == text::upper(rooms.text(r, "SwInstall"))) {
            LogWrite(state, "Updating Replication Database " + name + " with script file name " +
                                scriptName);
            state.Summary.startDatabase("replication database " + name);
            RunScriptFiles(run, run.RbsScriptList, companydb::replicationConnection(rooms, r, true),
                           schema);
            LogWrite(state, "Replication Database " + name + " updatation completed.");
        } else {
            LogWrite(state, "Replication Database " + name +
                                " is not matching with the script "
                                "version.");
        }
    }
}

void updateCompany(PatchRun& run, const Recordset& companies, std::size_t r,
                   std::unique_ptr<DatabaseConnection>& connection) {
    AppState& state = run.state;
    const bool headOffice = state.edition == Edition::Ho;
    const std::string dbName = companies.text(r, "DbName");
    LogWrite(state, "Started Application Database updation for Pelvar Company: " +
                        companies.text(r, "Nm"));
    state.services.host.processEvents();

    const std::string connectionString = companydb::scriptConnection(companies, r);
    const std::string company = "company " + companies.text(r, "Nm") + " (" + dbName + ")";
    state.Summary.startDatabase(company);
    run.Statements.enterUnit(statementUnit(companies, r));
    connection.reset();
    try {
        connection = DatabaseConnection::open(connectionString, state.services.database,
                                              text::trim(companies.text(r, "DbProvider")));
    } catch (const RunTimeError& e) {
        logTrapped(state, e, dbName);
        state.Summary.companiesSkipped.push_back(company + ": " + e.description());
    }
    if (connection && !(run.DbsScriptList.empty() && run.DbaScriptList.empty())) {
        const bool fileCompany = text::trim(companies.text(r, "DbType")) == "VSPMSACCESSDB";
        for (const auto& script : fileCompany ? run.DbaScriptList : run.DbsScriptList) {
            try {
                executeScriptFile(run, connection.get(), script, StatementRule::Application,
                                  [&](const RunTimeError& e) { logTrapped(state, e, dbName); });
            } catch (const RunTimeError& e) {
                logTrapped(state, e, dbName);
            }
        }
    }
    for (const auto& patch : run.PatchFolders) {
        const std::string list = findFile(scriptFolder(run, patch), "APPDBSCRIPTS.INI");
        if (list.empty()) {
            continue;
        }
        try {
            LogWrite(state, "Calling Script Execution Framework to execute the Menu scripts.");
            RunScriptFramework(run, "L", "9.13", list, 2, connectionString, "",
                               headOffice ? "H" : "P");
        } catch (const RunTimeError& e) {
            logTrapped(state, e, dbName);
        }
    }
    LogWrite(state, "Application Script execution is over. Please see the logs availble.");
    if (headOffice && !run.RbsScriptList.empty() && connection) {
        updateReplicationDatabases(run, *connection, dbName);
    }
}

} // namespace

StepResult RunApplicationScripts(PatchRun& run) {
    AppState& state = run.state;
    run.DbsScriptList.clear();
    run.DbaScriptList.clear();
    run.RbsScriptList.clear();
    state.services.host.processEvents();
    gatherApplicationScripts(run);
    LogWrite(state, "Started Application Database updation...");
    if (!state.SecurityConnection) {
        OpenSecurityDatabase(state);
    }
    if (!state.SecurityConnection) {
        throw RunTimeError(91, "Object variable or With block variable not set");
    }
    const Recordset companies = state.SecurityConnection->query("SELECT * FROM VaCompany");
    std::vector<std::string> units;
    for (std::size_t r = 0; r < companies.size(); ++r) {
        units.push_back(statementUnit(companies, r));
    }
    if (!run.Statements.beginStep(6, units)) {
        LogWrite(state, "The company the interrupted run was updating is not among the companies "
                        "now: every application script runs again.");
    }
    std::unique_ptr<DatabaseConnection> connection;
    for (std::size_t r = 0; r < companies.size(); ++r) {
        try {
            updateCompany(run, companies, r, connection);
        } catch (const RunTimeError& e) {
            logTrapped(state, e, companies.text(r, "DbName"));
        }
    }
    if (!companies.empty()) {
        LogWrite(state, "Application Database updation Over...");
    }
    return StepResult::Continue;
}

} // namespace pelvar
