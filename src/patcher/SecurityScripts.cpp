#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "patcher/ScriptFramework.h"
#include "patcher/ScriptSteps.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

namespace pelvar {

using namespace scriptsteps;

namespace {

// The step's error trap: the description on a line of its own, and on it goes.
// The one unit of step 5's statement records.
constexpr const char* SecurityUnit = "security";

void logTrapped(AppState& state, const RunTimeError& e) {
    LogWrite(state, e.description());
}

// Gathers the security scripts of the run and writes the Point of Sale collection files.
std::vector<std::string> gatherSecurityScripts(PatchRun& run) {
    AppState& state = run.state;
    const bool server = state.DatabaseType == "SQLSERVER";
    const bool access = state.DatabaseType == "ACCESS";
    const bool pointOfSale = state.edition != Edition::Ho;
    // A step resumed after some of its statements appended its scripts to the collections then.
    const bool collect = pointOfSale && !run.Statements.resumesInside(5);
    const std::string collection = files::join(state.ProductAppPath, "Ini");
    std::vector<std::string> scripts;
    forEachScriptFile(run, [&](const std::string& file, const std::string& name) {
        if ((server && hasKind(name, "MNS")) || (access && hasKind(name, "MNA"))) {
            scripts.push_back(file);
            if (collect) {
                AppendScriptToCollection(file, collection, "SecuritySQL_999.INI");
            }
        } else if (server && text::upper(name) == "SECDBSCRIPTS.INI") {
            if (collect) {
                AppendScriptToCollection(file, collection, "PelvarSecDBExtraScripts.ini");
            }
        } else if (server && pointOfSale && hasKind(name, "P9Q")) {
            if (!files::folderExists(collection)) {
                files::createFolder(collection);
            }
            files::copyFile(file, files::join(collection, name), true);
        }
    });
    return scripts;
}

} // namespace

StepResult RunSecurityScripts(PatchRun& run) {
    AppState& state = run.state;
    LogWrite(state, "Started Security Database updation.");
    state.services.host.processEvents();

    // The wizard's connection, as it opened at load: a database that did not open fails
    // statement by statement.
    const auto scripts = gatherSecurityScripts(run);
    state.Summary.startDatabase("the security database");
    run.Statements.beginStep(5, {SecurityUnit});
    run.Statements.enterUnit(SecurityUnit);
    for (const auto& script : scripts) {
        try {
            executeScriptFile(run, state.SecurityConnection.get(), script, StatementRule::Security,
                              [&](const RunTimeError& e) { logTrapped(state, e); });
        } catch (const RunTimeError& e) {
            logTrapped(state, e);
        }
    }

    for (const auto& patch : run.PatchFolders) {
        const std::string list = findFile(scriptFolder(run, patch), "SECDBSCRIPTS.INI");
        if (list.empty()) {
            continue;
        }
        try {
            LogWrite(state, "Calling Script Execution Framework to execute the Menu scripts.");
            RunScriptFramework(run, "L", "9.13", list, 2, state.SecurityConnectionString, "", "M");
        } catch (const RunTimeError& e) {
            logTrapped(state, e);
        }
    }
    LogWrite(state, "Menu Script execution is over. Please see the logs availble.");
    LogWrite(state, "Security Database updation over.");
    return StepResult::Continue;
}

} // namespace pelvar
