#include "platform/process/BatchRunner.h"

#include "Servers.h"
#include "TempDir.h"
#include "platform/process/ProgramLauncher.h"
#include "platform/process/RunnerQueue.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/registry/RegistryStore.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace pelvar;
using pelvar::test::TempDir;
using pelvar::test::writeFile;

namespace {

class BatchRunner : public ::testing::Test {
  protected:
    std::string component(const std::string& name) {
        writeFile(dir / name, "binary");
        return dir / name;
    }
    TempDir dir;
    IniRegistryStore registry{dir / "registry.ini"};
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(BatchRunner, RunsEveryLineShapeTheWizardWrites) {
    const std::string ocx = component("A.OCX");
    const std::string exe = component("Till.exe");
    const std::string dll = component("Old.dll");
    ASSERT_TRUE(components::recordRegistration(registry, dll));
    writeFile(dir / "Reg_3.bat", "@echo off\r\nEcho Please wait! Registering Components...\r\n"
                                 "REGSVR32 " +
                                     ocx + " /S\r\n" + exe +
                                     " /REGSERVER\r\n\r\n"
                                     "REGSVR32 " +
                                     dll + " /U /S\r\n");
    EXPECT_EQ(batch::runFile(dir / "Reg_3.bat", registry, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "Please wait! Registering Components...\n");
    EXPECT_TRUE(components::isRegistered(registry, "A.OCX"));
    EXPECT_TRUE(components::isRegistered(registry, "Till.exe"));
    EXPECT_FALSE(components::isRegistered(registry, "Old.dll"));
    EXPECT_EQ(registry.read(components::ComponentsKey, "A.OCX"), ocx);

    writeFile(dir / "Unreg_3.bat", exe + " /UNREGSERVER\r\n");
    EXPECT_EQ(batch::runFile(dir / "Unreg_3.bat", registry, out, err), 0);
    EXPECT_FALSE(components::isRegistered(registry, "Till.exe"));
}

TEST_F(BatchRunner, AMissingComponentIsReportedAndTheRestStillRuns) {
    const std::string present = component("B.dll");
    // Shapes the wizard never writes are refused, not run: a relative path, a missing switch.
    writeFile(dir / "Reg_3.bat", "REGSVR32 " + dir.path() +
                                     "/gone.dll /S\r\nDEL *.*\r\nREGSVR32 B.dll /S\r\n"
                                     "REGSVR32 " +
                                     present + "\r\nREGSVR32 " + present + " /S\r\n");
    EXPECT_EQ(batch::runFile(dir / "Reg_3.bat", registry, out, err), 4);
    EXPECT_NE(err.str().find(dir.path() + "/gone.dll: component file not found"),
              std::string::npos);
    EXPECT_NE(err.str().find("unsupported batch line: DEL *.*"), std::string::npos);
    EXPECT_FALSE(components::isRegistered(registry, "gone.dll"));
    EXPECT_TRUE(components::isRegistered(registry, "B.dll"));
}

// Runners of one folder run in start order, each after the one before it has ended, and a
// wizard run can wait for all of them. The first runner is long, so that a second one not
// held back would register before the first one's last line un-registers.
TEST(BatchLauncher, RunnersOfOneFolderRunInStartOrder) {
    TempDir root;
    const std::string product = root / "product";
    writeFile(root / "product/Grid.ocx", "binary");
    writeFile(root / "product/Other.dll", "binary");
    std::string unreg = "@echo off\r\n";
    for (int i = 0; i < 150; ++i) {
        unreg += "REGSVR32 " + product + "/Other.dll /S\r\n";
    }
    writeFile(root / "product/Unreg_3.bat", unreg + "REGSVR32 " + product + "/Grid.ocx /U /S\r\n");
    auto stillRunning = runners::Ticket::take(product); // a runner of an earlier run
    ASSERT_TRUE(stillRunning);
    ProgramLauncher launcher(root / "app", root.path());
    ASSERT_TRUE(launcher.start(root / "product/Unreg_3.bat", true));
    ASSERT_TRUE(launcher.start("REGSVR32 \"" + product + "\\Grid.ocx\" /S", true));
    EXPECT_FALSE(runners::waitForRunners(product, std::chrono::milliseconds(0)));
    stillRunning.reset();

    ASSERT_TRUE(launcher.waitForRunners(product));
    IniRegistryStore registry(root / "etc/pelvar/registry.ini");
    EXPECT_TRUE(components::isRegistered(registry, "Other.dll"));
    EXPECT_TRUE(components::isRegistered(registry, "Grid.ocx"));
}

// The hand-over starts "<component folder>\PelvarPU.exe". Installed, the component's folder
// holds only settings: the patcher is the one beside the running programs. One placed in the
// component's folder still comes first.
TEST(ProgramLauncher, FindsThePatcherInTheComponentFolderElseBesideThisProgram) {
    TempDir app;
    const ProgramLauncher launcher(app.path());
    const std::string handOver = app.path() + "\\PelvarPU.exe";
    EXPECT_EQ(launcher.resolve(handOver).front(), pelvar::test::binaryDir() + "/PelvarPU");
    writeFile(app / "PelvarPU", "");
    EXPECT_EQ(launcher.resolve(handOver).front(), app / "PelvarPU");
}

} // namespace
