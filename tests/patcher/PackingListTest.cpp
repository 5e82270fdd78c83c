#include "patcher/PackingList.h"

#include "PatchFixture.h"
#include "platform/host/Host.h"

#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

struct LookupRow {
    const char* name;
    std::vector<std::string> folders; // created below the sandbox root
    std::string record;
    std::string file;
    std::string unregLine; // "" with `lines` false: no lines at all
    std::string regLine;
    bool lines;
};

class PackingListLookup : public ::testing::WithParamInterface<LookupRow>, public PatchTest {};

TEST_P(PackingListLookup, WritesTheRegistrationLinesOfTheRecord) {
    const LookupRow& row = GetParam();
    for (const auto& folder : row.folders) {
        std::filesystem::create_directories(root() + "/" + folder);
    }
    const std::string list = dir / "PackingList.ini";
    writeFile(list, packingRecord("Reports\\", "Reports\\", "other.txt", "N") + row.record);
    FindInPackingList(run, list, row.file);

    auto expand = [&](std::string line) {
        return text::replaceAll(text::replaceAll(line, "<root>", root()), "<product>", product());
    };
    if (!row.lines) {
        EXPECT_FALSE(files::fileExists(run.UnregBatch));
        EXPECT_FALSE(files::fileExists(run.RegBatch));
        return;
    }
    EXPECT_EQ(readFile(run.UnregBatch), "@echo off\r\nEcho Please wait! Un-Registering "
                                        "Components...\r\n" +
                                            expand(row.unregLine) + "\r\n");
    EXPECT_EQ(readFile(run.RegBatch),
              "@echo off\r\nEcho Please wait! Registering Components...\r\n" + expand(row.regLine) +
                  "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Records, PackingListLookup,
    ::testing::Values(LookupRow{"OcxUnderDriveC",
                                {"drive_c/WINDOWS/system32", "drive_d/WINDOWS/system32"},
                                packingRecord("WINDOWS\\", "system32\\", "A.OCX", "Y"),
                                "A.OCX",
                                "REGSVR32 <root>/drive_c/WINDOWS/system32/A.OCX /U /S",
                                "REGSVR32 <root>/drive_c/WINDOWS/system32/A.OCX /S",
                                true},
                      LookupRow{"OcxOnlyUnderDriveD",
                                {"drive_d/WINDOWS/system32"},
                                packingRecord("WINDOWS\\", "system32\\", "A.OCX", "Y"),
                                "A.OCX",
                                "REGSVR32 <root>/drive_d/WINDOWS/system32/A.OCX /U /S",
                                "REGSVR32 <root>/drive_d/WINDOWS/system32/A.OCX /S",
                                true},
                      LookupRow{"ExeInTheProductFolder",
                                {},
                                packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y"),
                                "Till.exe",
                                "<product>/Till.exe /UNREGSERVER",
                                "<product>/Till.exe /REGSERVER",
                                true},
                      LookupRow{"FileNameMatchedWithoutCaseAndBlanks",
                                {"drive_c/Shared"},
                                "1-#-Shared\\-#-Shared\\-#-  print.dll  -#- y -GO-",
                                "PRINT.DLL",
                                "REGSVR32 <product>/PRINT.DLL /U /S",
                                "REGSVR32 <product>/PRINT.DLL /S",
                                true},
                      LookupRow{"NotAComponentGivesEmptyLines",
                                {},
                                packingRecord("Pelvar\\", "Pelvar\\", "Readme.txt", "Y"),
                                "Readme.txt",
                                "",
                                "",
                                true},
                      LookupRow{"GoOnTheNextLineLeavesALineBreakInFieldFive",
                                {},
                                "1-#-Pelvar\\-#-Pelvar\\-#-Till.exe-#-Y\r\n-GO-\r\n",
                                "Till.exe",
                                "",
                                "",
                                false},
                      LookupRow{"FieldFiveNotYAddsNothing",
                                {"drive_c/WINDOWS/system32"},
                                packingRecord("WINDOWS\\", "system32\\", "A.OCX", "N") +
                                    packingRecord("WINDOWS\\", "system32\\", "A.OCX", "Y"),
                                "A.OCX",
                                "",
                                "",
                                false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PatchTest, TheHeaderIsWrittenOncePerRun) {
    AddRegistrationLines(run, product() + "/", "One.dll");
    AddRegistrationLines(run, product(), "Two.ocx");
    EXPECT_EQ(lines(run.RegBatch),
              (std::vector<std::string>{"@echo off", "Echo Please wait! Registering Components...",
                                        "REGSVR32 " + product() + "/One.dll /S",
                                        "REGSVR32 " + product() + "/Two.ocx /S"}));
}

TEST_F(PatchTest, AMissingDestinationIsReportedAndAddsNothing) {
    const std::string list = dir / "PackingList.ini";
    writeFile(list, packingRecord("Nowhere\\", "bin\\", "A.dll", "Y"));
    FindInPackingList(run, list, "A.dll");
    EXPECT_TRUE(shown("The Specified Destination folder Nowhere\\bin\\A.dll mentioned in the "
                      "packing list is not available. "));
    EXPECT_FALSE(files::fileExists(run.RegBatch));
}

TEST_F(PatchTest, ARecordWithTooFewFieldsEndsTheRun) {
    const std::string list = dir / "PackingList.ini";
    writeFile(list, "1-#-WINDOWS\\-#-W\\-#-A.dll-GO-" + packingRecord("W\\", "W\\", "A.dll", "Y"));
    EXPECT_THROW(FindInPackingList(run, list, "A.dll"), RunStopped);
    EXPECT_TRUE(shown("The information mentioned in the Packing List is not proper or corrupted. "
                      "Please correct the Packing List.ini and try again."));
    EXPECT_TRUE(state.RunFailed);
}

TEST_F(PatchTest, AFolderClimbingOutOfTheDriveIsNoDestination) {
    std::filesystem::create_directories(root() + "/drive_c/WINDOWS");
    const auto records = parsePackingList(packingRecord("WINDOWS\\", "..\\..\\..\\", "x.dll", "Y"));
    ASSERT_EQ(records.size(), 1U);
    EXPECT_FALSE(destinationOf(run, records[0]).has_value());
}

} // namespace
