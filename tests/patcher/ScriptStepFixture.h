#pragma once

#include "DatabaseRows.h"
#include "Env.h"
#include "Installation.h"
#include "environment/Connections.h"
#include "patcher/PatchRun.h"
#include "platform/files/Files.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace pelvar::test {

// A product folder with unpacked patches, a SQLite security database and a run over them.
class ScriptStepFixture : public testing::Test, public Installation {
  protected:
    ScriptStepFixture() : run(state) {
        state.ProductAppPath = product();
        run.PatchRoot = product();
        run.PatchFolder = product() + "/PatchTemp";
        state.DatabaseType = "ACCESS";
        sqlite(security(), "CREATE TABLE VaCompany (CompCode TEXT, Nm TEXT, DbProvider TEXT, "
                           "DbType TEXT, DbPath TEXT, DbName TEXT, DbPassWd TEXT, DbUserName TEXT, "
                           "DBServer TEXT);");
        state.SecurityConnectionString =
            "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source='" +
            security() + "';Jet OLEDB:Database Password= 'Zq9-sec' ";
    }

    std::string security() const { return dir / "security.db"; }

    void addScript(const std::string& patch, const std::string& name, const std::string& body) {
        writeFile(run.PatchFolder + "/" + patch + "/Script/" + name, body);
        auto& patches = run.PatchFolders;
        if (std::find(patches.begin(), patches.end(), patch) == patches.end()) {
            patches.push_back(patch);
        }
    }

    // A SQLite company database with the tables the steps touch.
    std::string addFileCompany(const std::string& code, const std::string& name,
                               const std::string& file) {
        sqlite(dir / file, "CREATE TABLE Items (Id INTEGER, Nm TEXT);"
                           "CREATE TABLE VAPatchDtls (CompCode, CompName, PatchVer, PatchDt, "
                           "AppliedDt, BusinessDt, ProductVer, LookupNos, ScriptName, Rem1, "
                           "Rem2, Rem3, Flag1, Flag2, Flag3);"
                           "CREATE TABLE GenLookup (RecID INTEGER, Code TEXT, Number TEXT);"
                           "CREATE TABLE SysParam (ParamCode TEXT, Dt TEXT);");
        sqlite(security(), "INSERT INTO VaCompany VALUES ('" + code + "', '" + name +
                               "', 'Microsoft.Jet.OLEDB.4.0', 'VSPMSACCESSDB', '" + dir.path() +
                               "', '" + file + "', 'Zq9-comp', '', '');");
        return dir / file;
    }

    void openSecurity() { ASSERT_TRUE(OpenSecurityDatabase(state)) << logText(); }

    ScopedEnv noWait{"PELVAR_FRAMEWORK_WAIT_MS", "0"};
    PatchRun run;
};

} // namespace pelvar::test
