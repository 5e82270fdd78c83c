#include "platform/process/ProgramLauncher.h"

#include "Servers.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

// The hand-over starts "<component folder>\PelvarPU.exe". Installed, the component's folder
// holds only settings: the patcher is the one beside the running programs. One placed in the
// component's folder still comes first.
TEST(ProgramLauncher, FindsThePatcherInTheComponentFolderElseBesideThisProgram) {
    pelvar::test::TempDir app;
    const pelvar::ProgramLauncher launcher(app.path());
    const std::string handOver = app.path() + "\\PelvarPU.exe";
    EXPECT_EQ(launcher.resolve(handOver).front(), pelvar::test::binaryDir() + "/PelvarPU");
    pelvar::test::writeFile(app / "PelvarPU", "");
    EXPECT_EQ(launcher.resolve(handOver).front(), app / "PelvarPU");
}

} // namespace
