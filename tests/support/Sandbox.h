#pragma once

#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "TestHost.h"
#include "environment/AppState.h"
#include "platform/files/SandboxPaths.h"
#include "platform/registry/RegistryStore.h"

#include <string>
#include <vector>

namespace pelvar::test {

// A list of texts as the tests spell expected lists.
using Texts = std::vector<std::string>;

// A complete component in a temp folder: sandbox root (registry, common application data),
// AppFolder "app", download folder "downloads", with a scripted prompter and a test host.
class Sandbox {
  public:
    Sandbox();

    std::string root() const { return paths.root; }
    std::string appFolder() const { return paths.appFolder; }
    std::string downloads() const { return dir / "downloads"; }
    std::string logText() const;
    std::vector<std::string> logMessages() const; // log lines without their time stamps

    TempDir dir;
    SandboxPaths paths;
    IniRegistryStore registry;
    ScriptedPrompter prompter;
    TestHost host;
    Services services;
    AppState state;
};

// Runs SQL statements on a SQLite file (created when missing), for building test databases.
void sqlite(const std::string& file, const std::string& statements);

} // namespace pelvar::test
