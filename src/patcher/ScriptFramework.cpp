#include "patcher/ScriptFramework.h"

#include "environment/AppState.h"
#include "patcher/PatchRun.h"
#include "patcher/ScriptStatements.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/registry/RegistryStore.h"
#include "platform/text/DateText.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace pelvar {
namespace {

// The product's script-execution framework. Its job: the menu-script list named by
// P9QScriptFileName holds one script file name per line, relative to the list's folder
// (empty lines and lines starting with "*" or ";" are skipped); each script runs by the
// security scripts' statement rule against P9QConnectionString. What it did goes to
// PLPRFW04.log beside the registered component.
class ClsScriptExecution : public AutomationObject {
  public:
    ClsScriptExecution(std::string logFile, DatabaseConfig database, StatementHooks hooks)
        : logFile_(std::move(logFile)), database_(std::move(database)), hooks_(std::move(hooks)) {}

    void setProperty(const std::string& name, const Value& value) override {
        static const std::map<std::string, bool> known = {
            {"P9QProgType", false},         {"P9QForPvVersion", false},
            {"P9QScriptFileName", false},   {"P9QScriptExecType", true},
            {"P9QConnectionString", false}, {"P9QApplicationPath", false},
            {"P9QDatabasePath", false},     {"P9QSchemaName", false},
            {"P9QOthers", false},           {"P9QCmdLnArgument", false},
            {"P9QRunInEnvironment", false}};
        const auto it = known.find(name);
        if (it == known.end()) {
            throw RunTimeError(438, "Object doesn't support this property or method",
                               framework::ProgId);
        }
        if (it->second != std::holds_alternative<std::int16_t>(value)) {
            raise(err::TypeMismatch, framework::ProgId);
        }
        order_.push_back(name);
        values_[name] = value;
    }

    void call(const std::string& method) override {
        if (method != "P9QStartJob") {
            throw RunTimeError(438, "Object doesn't support this property or method",
                               framework::ProgId);
        }
        startJob();
    }

  private:
    std::string text(const std::string& name) const {
        const auto it = values_.find(name);
        return it == values_.end() ? std::string() : std::get<std::string>(it->second);
    }

    void log(const std::string& line) const {
        files::appendLine(logFile_, datetext::generalDate(datetext::now()) + ": " + line);
    }

    void startJob() {
        std::string properties;
        for (const auto& name : order_) {
            const auto& v = values_.at(name);
            std::string shown = std::holds_alternative<std::int16_t>(v)
                                    ? std::to_string(std::get<std::int16_t>(v))
                                    : std::get<std::string>(v);
            if (name == "P9QConnectionString") {
                shown = maskPasswords(shown);
            }
            properties += (properties.empty() ? "" : "; ") + name + "=" + shown;
        }
        log("Job started: " + properties);

        const std::string list = text("P9QScriptFileName");
        if (!files::fileExists(list)) {
            log("Menu-script list not found: " + list);
            raise(err::FileNotFound, framework::ProgId);
        }
        const std::string folder = std::filesystem::path(list).parent_path().string();
        std::vector<std::string> scripts;
        for (const auto& raw : files::readLines(list)) {
            const std::string name = text::trim(raw);
            if (name.empty() || name.front() == '*' || name.front() == ';') {
                continue;
            }
            if (!isPlainFileName(name)) {
                log("Script name refused: " + name);
                continue;
            }
            scripts.push_back(name);
        }

        std::unique_ptr<DatabaseConnection> db;
        if (!scripts.empty()) {
            try {
                db = DatabaseConnection::open(text("P9QConnectionString"), database_);
            } catch (const RunTimeError& e) {
                log("Connection failed: " + e.description());
                throw;
            }
        }
        int passed = 0;
        int failed = 0;
        for (const auto& name : scripts) {
            const std::string path = files::join(folder, name);
            if (!files::fileExists(path)) {
                log("Script not found: " + name);
                continue;
            }
            const auto read = readStatements(files::readAll(path), StatementRule::Security);
            int scriptFailed = 0;
            for (const auto& statement : read.statements) {
                if (hooks_.ranBefore && hooks_.ranBefore()) {
                    log("Statement passed over in " + name + ": run before the interruption");
                    continue;
                }
                try {
                    db->execute(statement);
                    ++passed;
                } catch (const RunTimeError& e) {
                    ++failed;
                    ++scriptFailed;
                    log("Statement failed in " + name + ": " + e.description());
                }
                if (hooks_.ran) {
                    hooks_.ran();
                }
            }
            if (read.unterminated) {
                log(unterminatedNotice(name));
            }
            log("Script " + name + ": " + std::to_string(read.statements.size()) +
                " statement(s), " + std::to_string(scriptFailed) + " failed");
        }
        log("Job over: " + std::to_string(passed) + " statement(s) passed, " +
            std::to_string(failed) + " failed");
    }

    std::string logFile_;
    DatabaseConfig database_;
    StatementHooks hooks_;
    std::vector<std::string> order_;
    std::map<std::string, Value> values_;
};

struct ClassEntry {
    const char* progId;
    const char* componentFile;
    std::function<std::unique_ptr<AutomationObject>(const std::string& componentPath,
                                                    const DatabaseConfig&, StatementHooks)>
        make;
};

const std::vector<ClassEntry>& classTable() {
    static const std::vector<ClassEntry> table = {
        {framework::ProgId, framework::ComponentFile,
         [](const std::string& componentPath, const DatabaseConfig& database,
            StatementHooks hooks) {
             const auto folder = std::filesystem::path(componentPath).parent_path().string();
             return std::make_unique<ClsScriptExecution>(files::join(folder, framework::LogFile),
                                                         database, std::move(hooks));
         }},
    };
    return table;
}

int frameworkWaitMs() {
    if (const char* value = std::getenv("PELVAR_FRAMEWORK_WAIT_MS"); value && *value) {
        try {
            return std::clamp(std::stoi(value), 0, 5000);
        } catch (const std::exception&) {
        }
    }
    return 5000;
}

} // namespace

std::unique_ptr<AutomationObject> CreateObject(const std::string& progId,
                                               const RegistryStore& registry,
                                               const DatabaseConfig& database,
                                               StatementHooks hooks) {
    for (const auto& entry : classTable()) {
        if (text::equalsIgnoringCase(progId, entry.progId)) {
            const auto path = registry.read(components::ComponentsKey, entry.componentFile);
            if (!path) {
                throw RunTimeError(framework::ClassNotRegistered, "Class not registered", progId);
            }
            return entry.make(text::replaceAll(*path, "\\", "/"), database, std::move(hooks));
        }
    }
    throw RunTimeError(framework::CannotCreateObject, "ActiveX component can't create object",
                       progId);
}

void RunScriptFramework(PatchRun& run, const std::string& progType, const std::string& version,
                        const std::string& scriptFile, std::int16_t execType,
                        const std::string& connectionString, const std::string& applicationPath,
                        const std::string& runEnvironment) {
    AppState& state = run.state;
    state.services.launcher.start(
        "REGSVR32 \"" + files::join(state.ProductAppPath, framework::ComponentFile) + "\" /S",
        true);
    // The registration runs in its own process: wait for it to be recorded, within the pause.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(frameworkWaitMs());
    while (steady_clock::now() < deadline &&
           !components::isRegistered(state.services.registry, framework::ComponentFile)) {
        state.services.host.processEvents();
        std::this_thread::sleep_for(milliseconds(25));
    }
    auto object = CreateObject(
        framework::ProgId, state.services.registry, state.services.database,
        {[&run] { return run.Statements.ranBefore(); }, [&run] { WriteStatementRecord(run); }});
    object->setProperty("P9QProgType", progType);
    object->setProperty("P9QForPvVersion", version);
    object->setProperty("P9QScriptFileName", scriptFile);
    object->setProperty("P9QScriptExecType", execType);
    object->setProperty("P9QConnectionString", connectionString);
    object->setProperty("P9QApplicationPath", text::trim(applicationPath));
    object->setProperty("P9QDatabasePath", std::string());
    object->setProperty("P9QSchemaName", std::string());
    object->setProperty("P9QOthers", std::string());
    object->setProperty("P9QCmdLnArgument", std::string());
    object->setProperty("P9QRunInEnvironment", runEnvironment);
    object->call("P9QStartJob");
}

} // namespace pelvar
