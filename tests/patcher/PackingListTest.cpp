#include "patcher/PackingList.h"

#include "PatchFixture.h"
#include "platform/host/Host.h"

#include <gtest/gtest.h>

using namespace pelvar;
using namespace pelvar::test;

namespace {

struct LookupRow {
    const char* name;
    const char* folder; // created below the sandbox root, beside drive D's system folder
    std::string record;
    std::string file;
    const char* regLine; // nullptr: no batch files at all
};

class PackingListLookup : public ::testing::WithParamInterface<LookupRow>, public PatchTest {};

TEST_P(PackingListLookup, WritesTheRegistrationLinesOfTheRecord) {
    const LookupRow& row = GetParam();
    std::filesystem::create_directories(root() + "/" + row.folder);
    std::filesystem::create_directories(root() + "/drive_d/WINDOWS/system32");
    const std::string list = dir / "PackingList.ini";
    writeFile(list, packingRecord("Reports\\", "Reports\\", "other.txt", "N") + row.record);
    FindInPackingList(run, list, row.file);
    if (row.regLine == nullptr) {
        EXPECT_FALSE(files::fileExists(run.UnregBatch));
        EXPECT_FALSE(files::fileExists(run.RegBatch));
        return;
    }
    const std::string reg =
        text::replaceAll(text::replaceAll(row.regLine, "<root>", root()), "<product>", product());
    // The un-registering line is the registering one with its switch turned round.
    const std::string unreg = text::endsWith(reg, "/REGSERVER")
                                  ? text::replaceAll(reg, "/REGSERVER", "/UNREGSERVER")
                                  : text::replaceAll(reg, " /S", " /U /S");
    EXPECT_EQ(readFile(run.UnregBatch),
              "@echo off\r\nEcho Please wait! Un-Registering Components...\r\n" + unreg + "\r\n");
    EXPECT_EQ(readFile(run.RegBatch),
              "@echo off\r\nEcho Please wait! Registering Components...\r\n" + reg + "\r\n");
}

const std::string OcxRecord = packingRecord("WINDOWS\\", "system32\\", "A.OCX", "Y");

INSTANTIATE_TEST_SUITE_P(
    Records, PackingListLookup,
    ::testing::Values(LookupRow{"OcxUnderDriveC", "drive_c/WINDOWS/system32", OcxRecord, "A.OCX",
                                "REGSVR32 <root>/drive_c/WINDOWS/system32/A.OCX /S"},
                      LookupRow{"OcxOnlyUnderDriveD", "drive_d", OcxRecord, "A.OCX",
                                "REGSVR32 <root>/drive_d/WINDOWS/system32/A.OCX /S"},
                      LookupRow{"ExeInTheProductFolder", "drive_c",
                                packingRecord("Pelvar\\", "Pelvar\\", "Till.exe", "Y"), "Till.exe",
                                "<product>/Till.exe /REGSERVER"},
                      LookupRow{"FileNameMatchedWithoutCaseAndBlanks", "drive_c/Shared",
                                "1-#-Shared\\-#-Shared\\-#-  print.dll  -#- y -GO-", "PRINT.DLL",
                                "REGSVR32 <product>/PRINT.DLL /S"},
                      LookupRow{"NotAComponentGivesEmptyLines", "drive_c",
                                packingRecord("Pelvar\\", "Pelvar\\", "Readme.txt", "Y"),
                                "Readme.txt", ""},
                      LookupRow{"GoOnTheNextLineLeavesALineBreakInFieldFive", "drive_c",
                                "1-#-Pelvar\\-#-Pelvar\\-#-Till.exe-#-Y\r\n-GO-\r\n", "Till.exe",
                                nullptr},
                      LookupRow{"FieldFiveNotYAddsNothing", "drive_c/WINDOWS/system32",
                                packingRecord("WINDOWS\\", "system32\\", "A.OCX", "N") + OcxRecord,
                                "A.OCX", nullptr}),
    [](const auto& row) { return std::string(row.param.name); });

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
