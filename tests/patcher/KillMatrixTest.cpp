#include "DatabaseRows.h"
#include "Env.h"
#include "Installation.h"
#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace pelvar;
using namespace pelvar::test;
namespace fs = std::filesystem;

namespace {

// A Point of Sale installation (file security database, one file company) with two patches in
// its download folder, each replacing a program file and running a security and a company
// script.
class KilledInstallation : public Installation {
  public:
    KilledInstallation() {
        writeFile(product() + "/Prog4.dll", "installed 4");
        writeFile(product() + "/Prog5.dll", "installed 5");
        securityDatabase(keysel::Pos, "9.0.1.03",
                         "CREATE TABLE Menu (Src);"
                         "INSERT INTO VaCompany VALUES ('C1', 'First', 'Microsoft.Jet.OLEDB.4.0', "
                         "'VSPMSACCESSDB', '" +
                             dir.path() + "', 'first.db', '', '', '');");
        sqlite(dir / "first.db", "CREATE TABLE Items (Nm);"
                                 "CREATE TABLE VAPatchDtls (CompCode, CompName, PatchVer, PatchDt, "
                                 "AppliedDt, BusinessDt, ProductVer, LookupNos, ScriptName, Rem1, "
                                 "Rem2, Rem3, Flag1, Flag2, Flag3);"
                                 "CREATE TABLE GenLookup (RecID, Code, Number);"
                                 "CREATE TABLE SysParam (ParamCode, Dt);");
        for (const std::string n : {"4", "5"}) {
            patch("POS_9_0_1_0" + n + ".zip",
                  {{"PackingList.ini", "1-#-PRODUCT\\-#-PRODUCT\\-#-Prog" + n + ".dll-#-N-GO-\r\n"},
                   {"Prog" + n + ".dll", "new " + n},
                   {"Script/app.DBA", "INSERT INTO Items (Nm) VALUES ('a" + n +
                                          "')\r\n-GO-\r\nINSERT INTO Items (Nm) VALUES ('b" + n +
                                          "')\r\n-GO-\r\n"},
                   {"Script/sec.MNA", "INSERT INTO Menu (Src) VALUES ('m" + n + "')\r\n-GO-\r\n"}});
        }
        information("POSHTTP", {"POS_9_0_1_05.zip:12/03/2026:9.0.1.05",
                                "POS_9_0_1_04.zip:12/01/2026:9.0.1.04"});
    }

    // Everything a run leaves that a user would notice, with this sandbox's folder written
    // "<dir>" so that two installations compare.
    std::map<std::string, std::string> endState() const {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(product())) {
            const std::string name = fs::relative(entry.path(), product()).generic_string();
            if (!entry.is_regular_file() || text::endsWith(name, ".log") ||
                text::endsWith(name, ".lock")) {
                continue;
            }
            std::string value;
            if (text::endsWith(text::upper(name), ".ZIP")) {
                for (const auto& [entryName, bytes] : zipContents(entry.path())) {
                    value += entryName + "=" + bytes + ";";
                }
            } else {
                value = readFile(entry.path());
            }
            found["file " + name] = value;
        }
        for (const char* value : {"PatchVer", "LastUpdated", "PatchEngineVer"}) {
            found[std::string("registry ") + value] = ReadSetting(registry, value, keysel::Pos);
        }
        found["system file"] = readFile(systemFilePath(paths, 1));
        found["security Menu"] =
            text::joinText(sqliteRows(dir / "security.db", "SELECT Src FROM Menu"), "\n");
        for (const char* table : {"Items", "VAPatchDtls"}) {
            found[std::string("company ") + table] = text::joinText(
                sqliteRows(dir / "first.db", std::string("SELECT * FROM ") + table), "\n");
        }
        for (auto& [what, value] : found) {
            value = text::replaceAll(value, dir.path(), "<dir>");
        }
        return found;
    }
};

struct KillPoint {
    const char* name;
    std::string point;   // "<product>" stands for the product folder
    const char* differs; // why the end state is allowed to differ (documented); empty: equal
};

class KillMatrix : public testing::TestWithParam<KillPoint> {
  protected:
    static void SetUpTestSuite() {
        noWait = std::make_unique<ScopedEnv>("PELVAR_FRAMEWORK_WAIT_MS", "0");
        KilledInstallation reference;
        const CliRun run = reference.apply("POS");
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        expected = std::make_unique<std::map<std::string, std::string>>(reference.endState());
    }
    static void TearDownTestSuite() {
        expected.reset();
        noWait.reset();
    }
    static inline std::unique_ptr<ScopedEnv> noWait;
    static inline std::unique_ptr<std::map<std::string, std::string>> expected;
};

// The run every kill point is compared with applies both patches, oldest first, everywhere.
TEST_F(KillMatrix, UninterruptedRunAppliesBothPatchesInOrder) {
    ASSERT_NE(expected, nullptr);
    const auto& state = *expected;
    EXPECT_EQ(state.at("registry PatchVer"), "9.0.1.05");
    EXPECT_EQ(state.at("registry LastUpdated"), "03-12-2026");
    EXPECT_EQ(state.at("registry PatchEngineVer"), "1.5");
    EXPECT_TRUE(text::contains(state.at("system file"), "PATCHVER=9.0.1.05"));
    EXPECT_EQ(state.at("file Prog4.dll"), "new 4");
    EXPECT_EQ(state.at("file Prog5.dll"), "new 5");
    EXPECT_EQ(state.at("security Menu"), "m4\nm5");
    EXPECT_EQ(state.at("company Items"), "a4\nb4\na5\nb5");
    const std::string rows = state.at("company VAPatchDtls");
    EXPECT_TRUE(text::startsWith(rows, "C1|First|9.0.1.04|2026-12-01|")) << rows;
    EXPECT_TRUE(text::contains(rows, "|app.DBA||||0|0|0\nC1|First|9.0.1.05|2026-12-03|")) << rows;
}

// Applying the same download folder again applies nothing twice.
TEST_F(KillMatrix, ASecondApplyChangesNothing) {
    KilledInstallation installation;
    ASSERT_EQ(installation.apply("POS").exitCode, 0);
    installation.apply("POS");
    EXPECT_EQ(installation.endState(), *expected);
}

// Killed in step 8, with the unpacked folders gone before the resume (a cleaned PatchTemp): the
// resume unpacks the interrupted run's patches again from their archives and ends as usual.
TEST_F(KillMatrix, AResumeUnpacksTheInterruptedPatchesAgain) {
    KilledInstallation installation;
    {
        const ScopedEnv crash("LIVEUPDATE_TEST_CRASH_AT", "Step8: Started");
        ASSERT_EQ(installation.apply("POS").exitCode, -1);
    }
    for (const char* folder : {"POS_9_0_1_04", "POS_9_0_1_05"}) {
        fs::remove_all(installation.product() + "/PatchTemp/" + folder);
    }
    installation.apply("POS");
    EXPECT_EQ(installation.endState(), *expected);
}

// A final task that fails shows the error, records nothing and keeps the progress file for the
// next run.
TEST_F(KillMatrix, AFailedFinalTaskKeepsTheProgressFile) {
    KilledInstallation installation;
    sqlite(installation.dir / "first.db", "DROP TABLE VAPatchDtls;");
    const CliRun run = installation.apply("POS");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(text::contains(run.out + run.err,
                               "[Pelvar 9 LiveUpdate] -2147217865 no such table: VAPatchDtls"))
        << run.out << run.err;
    EXPECT_EQ(ReadSetting(installation.registry, "PatchVer", keysel::Pos), "9.0.1.03");
    EXPECT_TRUE(files::fileExists(installation.product() + "/Process3.log"));
}

// kill -9 at the point, then `--yes apply`: the installation ends as an uninterrupted run
// leaves it.
TEST_P(KillMatrix, ResumedRunEndsLikeAnUninterruptedOne) {
    ASSERT_NE(expected, nullptr);
    KilledInstallation installation;
    {
        const ScopedEnv crash(
            "LIVEUPDATE_TEST_CRASH_AT",
            text::replaceAll(GetParam().point, "<product>", installation.product()));
        const CliRun killed = installation.apply("POS");
        ASSERT_EQ(killed.exitCode, -1) << "the run was not interrupted\n" << killed.out;
    }
    installation.apply("POS");
    const auto state = installation.endState();
    if (*GetParam().differs != '\0') {
        GTEST_SKIP() << GetParam().differs;
    }
    for (const auto& [what, value] : *expected) {
        const auto found = state.find(what);
        EXPECT_TRUE(found != state.end() && found->second == value)
            << what << "\nexpected: " << value
            << "\nactual:   " << (found == state.end() ? "(none)" : found->second);
    }
    for (const auto& [what, value] : state) {
        EXPECT_TRUE(expected->count(what)) << "left behind: " << what << " = " << value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, KillMatrix,
    testing::Values(
        KillPoint{"Step3Started", "Step3: Started", ""},
        KillPoint{"InsideBackup", "copied:<product>/Temp3/POS_9_0_1_05/Prog5.dll", ""},
        KillPoint{"SyGlRecord", "bolSYGLPresent:False", ""},
        KillPoint{"Step3Over", "Step3: Over", ""}, KillPoint{"Step4Started", "Step4: Started", ""},
        KillPoint{"Step5Over", "Step5: Over", ""}, KillPoint{"Step6Started", "Step6: Started", ""},
        KillPoint{"InsideSecurityScripts", "Step5Statements:1:security", ""},
        KillPoint{"InsideCompanyScripts", "Step6Statements:3:0:first.db", ""},
        KillPoint{"Step6Over", "Step6: Over", ""}, KillPoint{"Step7Started", "Step7: Started", ""},
        KillPoint{"Step7Over", "Step7: Over", ""}, KillPoint{"Step8Started", "Step8: Started", ""},
        KillPoint{"InsideReplacement", "copied:<product>/Prog4.dll", ""},
        KillPoint{"Step8Over", "Step8: Over", ""}, KillPoint{"Step9Started", "Step9: Started", ""},
        KillPoint{"SystemFileRewrite", "system-file:PATCHVER=", ""}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
