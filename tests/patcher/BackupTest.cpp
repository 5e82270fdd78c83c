#include "patcher/Backup.h"

#include "DatabaseRows.h"
#include "PatchFixture.h"
#include "ZipFiles.h"
#include "patcher/PatchFiles.h"
#include "patcher/StepDriver.h"
#include "patcher/Steps.h"

#include <gtest/gtest.h>
#include <map>

using namespace pelvar;
using namespace pelvar::test;

namespace {

struct SyGlRow {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::string> records;
};

class SyGlDetection : public ::testing::WithParamInterface<SyGlRow>, public PatchTest {};

TEST_P(SyGlDetection, RecordsTheFlagAndTheNames) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& f : GetParam().files) {
        entries.emplace_back(f, "x");
    }
    unpacked("POS_9_0_1_05", entries);
    runSingleStep(run, ResumeStep::Backup);
    // Between the start of step 3 and its end.
    auto expected = GetParam().records;
    expected.insert(expected.begin(), "Step3: Started");
    expected.insert(expected.end(), {"Step3: Over", "Step4: Started"});
    auto recorded = lines(progressFile());
    recorded.resize(std::min(recorded.size(), expected.size()));
    EXPECT_EQ(recorded, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patches, SyGlDetection,
    ::testing::Values(
        SyGlRow{"Both",
                {"POS9005.SY", "pos9005.gl", "Till.txt"},
                {"bolSYGLPresent:True", "strSyFile:POS9005.SY", "strGlFile:pos9005.gl"}},
        SyGlRow{"SyOnly", {"POS9005.SY"}, {"bolSYGLPresent:True", "strSyFile:POS9005.SY"}},
        SyGlRow{"Neither", {"Till.txt"}, {"bolSYGLPresent:False"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PatchTest, StepThreeSavesTheInstalledVersionsOfWhatStepEightReplaces) {
    std::filesystem::create_directories(root() + "/drive_c/Shared/bin");
    writeFile(inProduct("Till.exe"), "old till");
    writeFile(root() + "/drive_c/Shared/bin/print.dll", "old print");
    unpacked("POS_9_0_1_05",
             {{"Till.exe", "new till"},
              {"print.dll", "new print"},
              {"Fresh.txt", "not installed yet"},
              {"PackingList.ini", packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y") +
                                      packingRecord("Shared\\", "bin\\", "print.dll", "Y") +
                                      packingRecord("Pelvar\\", "Pelvar\\", "Fresh.txt", "N")}});
    runSingleStep(run, ResumeStep::Backup);
    const auto saved = zipContents(run.BackupFolder + "/POS_9_0_1_05.Zip");
    // Beside the files, where each one lives, so that they can be put back.
    EXPECT_EQ(saved, (std::map<std::string, std::string>{
                         {"Till.exe", "old till"},
                         {"print.dll", "old print"},
                         {"LiveUpdateBackup.lst",
                          "Till.exe|Y|AppPath\r\nprint.dll|Y|C:\\Shared\\bin\r\n"}}));
    // No temporary archive is left beside the backup.
    EXPECT_EQ(patchfiles::filesIn(run.BackupFolder), std::vector<std::string>{"POS_9_0_1_05.Zip"});
    const std::string today = isoToday(); // YYYY-MM-DD; the folder is named ddmmyy
    EXPECT_EQ(run.BackupFolder, product() + "/Backup/PatchUpdate" + today.substr(8, 2) +
                                    today.substr(5, 2) + today.substr(2, 2));

    // A same-day rerun keeps what was saved first, and its list names the file installed since.
    writeFile(inProduct("Till.exe"), "new till");
    writeFile(inProduct("Fresh.txt"), "fresh");
    BackupPackedFiles(run);
    const auto again = zipContents(run.BackupFolder + "/POS_9_0_1_05.Zip");
    EXPECT_EQ(again.at("Till.exe"), "old till");
    EXPECT_EQ(again.at("LiveUpdateBackup.lst"),
              "Fresh.txt|N|AppPath\r\nTill.exe|Y|AppPath\r\nprint.dll|Y|C:\\Shared\\bin\r\n");
}

TEST_F(PatchTest, ZipFolderLeavesOutTheTemporarySystemParameters) {
    writeFile(dir / "src/a.txt", "a");
    writeFile(dir / "src/tmpSysPara.mdb", "db");
    writeFile(dir / "src/sub/b.txt", "b");
    ASSERT_TRUE(ZipFolder(run, dir / "out.Zip", dir / "src", "*"));
    EXPECT_EQ(zipContents(dir / "out.Zip"),
              (std::map<std::string, std::string>{{"a.txt", "a"}, {"sub/b.txt", "b"}}));
    // A source that cannot be read gives the error box and no archive under the final name.
    EXPECT_FALSE(ZipFolder(run, dir / "missing.Zip", dir / "nowhere", "*"));
    EXPECT_FALSE(files::fileExists(dir / "missing.Zip"));
    EXPECT_EQ(prompter.boxes.size(), 1U);
}

} // namespace
