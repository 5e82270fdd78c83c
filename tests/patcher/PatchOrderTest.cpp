#include "patcher/PatchOrder.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace pelvar;

// The last patch of a run is the one recorded as installed, whatever file listed it first.
TEST(PatchOrder, NewestPatchComesLastAcrossFilesAndPieces) {
    std::vector<std::string> names = {"POS_9_0_1_04.zip", "POS_9_0_1_03.zip", "NewLiveUpdate.zip",
                                      "POS_9_0_2_01.ZIP", "POS_9_0_1_10.zip"};
    std::stable_sort(names.begin(), names.end(), patchNumberLess);
    EXPECT_EQ(names,
              (std::vector<std::string>{"NewLiveUpdate.zip", "POS_9_0_1_03.zip", "POS_9_0_1_04.zip",
                                        "POS_9_0_1_10.zip", "POS_9_0_2_01.ZIP"}));
}

struct InstalledCase {
    const char* name;
    const char* archive;
    const char* installed;
    bool skipped;
};

class AlreadyInstalled : public testing::TestWithParam<InstalledCase> {};

TEST_P(AlreadyInstalled, OnlyNewerPatchesRunAgain) {
    EXPECT_EQ(isNotAboveInstalled(GetParam().archive, GetParam().installed), GetParam().skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AlreadyInstalled,
    testing::Values(InstalledCase{"Equal", "POS_9_0_1_04.zip", "9.0.1.04", true},
                    InstalledCase{"Older", "POS_9_0_1_03.zip", "9.0.1.04", true},
                    InstalledCase{"NewerLastPiece", "POS_9_0_1_05.zip", "9.0.1.04", false},
                    InstalledCase{"NewerMinorPiece", "HO_9_1_0_01.ZIP", "9.0.1.40", false},
                    InstalledCase{"NothingInstalled", "POS_9_0_1_01.zip", "", false},
                    InstalledCase{"InstalledNotNumeric", "POS_9_0_1_01.zip", "N/A", false},
                    InstalledCase{"ShorterInstalledText", "POS_9_0_1_00.zip", "9.0.1", true},
                    InstalledCase{"NoPatchNumber", "NewLiveUpdate.zip", "9.0.1.04", false}),
    [](const auto& row) { return std::string(row.param.name); });
