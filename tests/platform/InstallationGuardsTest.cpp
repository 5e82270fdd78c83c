#include "TempDir.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/files/LinkGuard.h"
#include "platform/files/ScratchFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace pelvar;
using pelvar::test::TempDir;
using pelvar::test::writeFile;
namespace fs = std::filesystem;

TEST(LinkGuard, RefusesALinkAnywhereBelowTheRootOnly) {
    TempDir dir;
    fs::create_directories(dir / "root/Help");
    fs::create_directories(dir / "outside");
    fs::create_directory_symlink(dir / "outside", dir / "root/Temp3");
    // The root itself may be reached through a link; pieces below it may not.
    fs::create_directory_symlink(dir / "root", dir / "alias");
    EXPECT_NO_THROW(files::refuseLinksBelow(dir / "alias", dir / "alias/Help/new/file.chm"));
    for (const std::string bad : {"root/Temp3", "root/Temp3/x.dll", "root/../outside/x"}) {
        SCOPED_TRACE(bad);
        try {
            files::refuseLinksBelow(dir / "root", dir / bad);
            ADD_FAILURE() << "accepted";
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.number(), err::PathFileAccess);
        }
    }
}

TEST(LastLine, ReadsOnlyTheTailOfALongFile) {
    TempDir dir;
    const std::string big = std::string(1 << 20, 'x') + "\r\nStep8: Started\r\n";
    writeFile(dir / "Process3.log", big);
    EXPECT_EQ(files::readLastLine(dir / "Process3.log", 4096), "Step8: Started");
    writeFile(dir / "long.log", "Step3: Over\r\n" + std::string(8192, 'y'));
    EXPECT_EQ(files::readLastLine(dir / "long.log", 4096), "");
    writeFile(dir / "empty.log", "");
    EXPECT_EQ(files::readLastLine(dir / "empty.log", 4096), "");
}

TEST(StaleScratch, RemovesOnlyOurOlderLeftovers) {
    TempDir dir;
    writeFile(dir / "registry.ini.lutmp.Ab12Cd", "password=secret");
    writeFile(dir / "PLPOS.exe.lutmp.zz99ZZ.part", "half");
    writeFile(dir / "Setup.config", "a product file with a six-letter extension");
    writeFile(dir / "x.lutmp.short", "not ours: no six random characters");
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        fs::last_write_time(entry.path(), now - std::chrono::hours(1));
    }
    writeFile(dir / "fresh.lutmp.Qw34Er", "another run's, still in use");
    fs::last_write_time(dir / "fresh.lutmp.Qw34Er", now + std::chrono::hours(1));
    EXPECT_EQ(scratch::removeStale(dir.path(), now), 2);
    EXPECT_FALSE(fs::exists(dir / "registry.ini.lutmp.Ab12Cd"));
    EXPECT_TRUE(fs::exists(dir / "Setup.config"));
    EXPECT_TRUE(fs::exists(dir / "x.lutmp.short"));
    EXPECT_TRUE(fs::exists(dir / "fresh.lutmp.Qw34Er"));
}

// A patch script may attach a database beside the one it updates, never a file elsewhere.
TEST(FileDatabase, AttachOutsideItsFolderIsRefused) {
    TempDir dir;
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "elsewhere");
    writeFile(dir / "data/Sec.mdb", "");
    auto db = DatabaseConnection::open(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + (dir / "data/Sec.mdb"), {});
    EXPECT_THROW(db->execute("ATTACH DATABASE '" + (dir / "elsewhere/x.db") + "' AS x"),
                 RunTimeError);
    EXPECT_FALSE(fs::exists(dir / "elsewhere/x.db"));
    EXPECT_NO_THROW(db->execute("ATTACH DATABASE '" + (dir / "data/Beside.mdb") + "' AS b"));
    EXPECT_THROW(db->execute("SELECT load_extension('/tmp/x.so')"), RunTimeError);
}
