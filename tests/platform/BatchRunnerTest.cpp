#include "platform/process/BatchRunner.h"

#include "CommandLine.h"
#include "Servers.h"
#include "TempDir.h"
#include "platform/process/ProgramLauncher.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/registry/RegistryStore.h"

#include <QProcess>
#include <chrono>
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
    writeFile(dir / "Reg_3.bat", "REGSVR32 " + dir.path() +
                                     "/gone.dll /S\r\nDEL *.*\r\n"
                                     "REGSVR32 " +
                                     present + " /S\r\n");
    EXPECT_EQ(batch::runFile(dir / "Reg_3.bat", registry, out, err), 2);
    EXPECT_NE(err.str().find(dir.path() + "/gone.dll: component file not found"),
              std::string::npos);
    EXPECT_NE(err.str().find("unsupported batch line: DEL *.*"), std::string::npos);
    EXPECT_FALSE(components::isRegistered(registry, "gone.dll"));
    EXPECT_TRUE(components::isRegistered(registry, "B.dll"));
}

TEST_F(BatchRunner, AQuotedPathWithBackslashesIsOneComponent) {
    const std::string dll = component("PLPRFW04.dll");
    EXPECT_TRUE(
        batch::runLine("REGSVR32 \"" + dir.path() + "\\PLPRFW04.dll\" /S", registry, out, err));
    EXPECT_EQ(registry.read(components::ComponentsKey, "PLPRFW04.dll"), dll);
}

// The launcher starts batch files and REGSVR32 lines hidden, without waiting, through the
// built runner, in the launcher's sandbox root.
TEST(BatchLauncher, StartsTheRunnerDetachedInTheSandbox) {
    TempDir root;
    writeFile(root / "product/PLPRFW04.dll", "binary");
    writeFile(root / "product/Grid.ocx", "binary");
    writeFile(root / "product/Reg_3.bat",
              "@echo off\r\nREGSVR32 " + root.path() + "/product/Grid.ocx /S\r\n");
    ProgramLauncher launcher(root / "app", root.path());
    ASSERT_TRUE(launcher.start(root / "product/Reg_3.bat", true));
    ASSERT_TRUE(launcher.start("REGSVR32 \"" + root.path() + "/product\\PLPRFW04.dll\" /S", true));
    IniRegistryStore registry(root / "etc/pelvar/registry.ini");
    EXPECT_TRUE(pelvar::test::waitUntil([&] {
        return components::isRegistered(registry, "Grid.ocx") &&
               components::isRegistered(registry, "PLPRFW04.dll");
    }));
}

TEST(BatchLauncher, ARunnerWaitsForTheOneStartedBeforeIt) {
    TempDir root;
    writeFile(root / "Grid.ocx", "binary");
    qint64 earlier = 0;
    ASSERT_TRUE(QProcess::startDetached("sleep", {"2"}, QString(), &earlier));
    const auto start = std::chrono::steady_clock::now();
    const auto run = pelvar::test::runLiveupdate({"--root", root.path(), "run-batch", "--after",
                                                  std::to_string(earlier), "--line",
                                                  "REGSVR32 " + root.path() + "/Grid.ocx /S"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_TRUE(
        components::isRegistered(IniRegistryStore(root / "etc/pelvar/registry.ini"), "Grid.ocx"));
}

} // namespace
