#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace pelvar {

class RegistryStore;
struct DatabaseConfig;
struct PatchRun;

// An object created by programmatic identifier: properties and methods by name.
class AutomationObject {
  public:
    using Value = std::variant<std::string, std::int16_t>;
    virtual ~AutomationObject() = default;
    // Error 438 for a name the class does not have, 13 for a value of the wrong type.
    virtual void setProperty(const std::string& name, const Value& value) = 0;
    virtual void call(const std::string& method) = 0;
};

namespace framework {
inline constexpr const char* ProgId = "PLPRFW04.ClsScriptExecution";
inline constexpr const char* ComponentFile = "PLPRFW04.dll";
inline constexpr const char* LogFile = "PLPRFW04.log";
inline constexpr std::int64_t ClassNotRegistered = 0x80040154;
inline constexpr std::int64_t CannotCreateObject = 429;
} // namespace framework

// How the framework's statements join the run's statement records: whether the next one ran
// before an interruption (it is then passed over), and that one has just run. Empty: every
// statement runs.
struct StatementHooks {
    std::function<bool()> ranBefore;
    std::function<void()> ran;
};

// Creates one of the project's own classes by its programmatic identifier. Like COM it needs
// the serving component's registration (REGSVR32) to be recorded in the registry: without
// it error 0x80040154 "Class not registered"; an unknown identifier gives error 429.
std::unique_ptr<AutomationObject> CreateObject(const std::string& progId,
                                               const RegistryStore& registry,
                                               const DatabaseConfig& database,
                                               StatementHooks hooks = {});

// Registers the framework (REGSVR32 on ProductAppPath/PLPRFW04.dll, hidden, not awaited),
// waits for the registration (at most PELVAR_FRAMEWORK_WAIT_MS, default 5000 ms), creates
// the framework, sets its eleven properties in order and runs P9QStartJob. Errors reach
// the caller.
void RunScriptFramework(PatchRun& run, const std::string& progType, const std::string& version,
                        const std::string& scriptFile, std::int16_t execType,
                        const std::string& connectionString, const std::string& applicationPath,
                        const std::string& runEnvironment);

} // namespace pelvar
