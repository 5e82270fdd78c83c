// Database steps benchmark:
//   liveupdate-script-bench [STATEMENTS] [COMPANIES] [PATCHES]
// 1. One MNA script of STATEMENTS (10,000) INSERTs separated by "-GO-", run by the security
//    step on a SQLite security database, against `sqlite3 DB < the same statements separated
//    by ";"`; both in autocommit, one update-log line per statement on our side.
// 2. The final task recording PATCHES (10) patches in COMPANIES (50) SQLite companies.
// Last line: "script ratio X" (our time / sqlite3's).
#include "environment/ConsoleComponent.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace pelvar;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void sqliteFile(const std::string& file, const std::string& sql) {
    if (!files::fileExists(file)) {
        files::writeAll(file, ""); // an empty file is an empty SQLite database
    }
    DatabaseConnection::open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file, {})
        ->execute(sql);
}

std::size_t countLines(const std::string& file, const std::string& part) {
    std::size_t n = 0;
    for (const auto& line : files::readLines(file)) {
        n += line.find(part) != std::string::npos;
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int statements = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int companies = argc > 2 ? std::atoi(argv[2]) : 50;
    const int patches = argc > 3 ? std::atoi(argv[3]) : 10;
    char pattern[] = "/tmp/liveupdate-script-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        return 1;
    }
    const std::string dir = pattern;
    const std::string product = dir + "/product";
    std::filesystem::create_directories(product + "/PatchTemp/HO_9_0_1_01/Script");
    std::filesystem::create_directories(dir + "/downloads");

    SandboxPaths paths;
    paths.root = dir;
    paths.appFolder = dir;
    ConsoleComponent component(paths, false);
    AppState& state = component.state();
    state.DownloadFolder = dir + "/downloads";
    state.ProductAppPath = product;
    state.DatabaseType = "ACCESS";
    state.edition = Edition::Ho;

    const std::string security = dir + "/security.db";
    const std::string plain = dir + "/plain.db";
    const char* schema = "CREATE TABLE T (Id INTEGER, Nm TEXT)";
    sqliteFile(security, schema);
    sqliteFile(security, "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, DbPath, "
                         "DbName, DbPassWd, DbUserName, DBServer)");
    sqliteFile(plain, schema);
    std::string script;
    std::string semicolons;
    for (int i = 0; i < statements; ++i) {
        const std::string insert =
            "INSERT INTO T VALUES (" + std::to_string(i) + ", 'row " + std::to_string(i) + "')";
        script += insert + "\r\n-GO-\r\n";
        semicolons += insert + ";\n";
    }
    files::writeAll(product + "/PatchTemp/HO_9_0_1_01/Script/bench.MNA", script);
    files::writeAll(dir + "/plain.sql", semicolons);

    // Ours: the security step (the rest of the chain has nothing to do).
    state.SecurityConnectionString =
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source='" + security + "'";
    state.SecurityConnection = DatabaseConnection::open(state.SecurityConnectionString, {});
    PatchRun run(state);
    run.PatchRoot = product;
    run.PatchFolder = product + "/PatchTemp";
    run.PatchFolders = {"HO_9_0_1_01"};
    auto start = std::chrono::steady_clock::now();
    try {
        RunSecurityScripts(run);
    } catch (const RunStopped&) {
    }
    const double ours = seconds(start);
    const std::size_t logged =
        countLines(state.DownloadFolder + "/PelvarUpdate.log", "Executed SQL statement :");

    start = std::chrono::steady_clock::now();
    const std::string command = "sqlite3 '" + plain + "' < '" + dir + "/plain.sql'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "sqlite3 failed\n");
        return 1;
    }
    const double theirs = seconds(start);

    // The final task over many companies.
    for (int c = 0; c < companies; ++c) {
        const std::string name = "company" + std::to_string(c) + ".db";
        sqliteFile(dir + "/" + name,
                   "CREATE TABLE VAPatchDtls (a, b, c, d, e, f, g, h, i, j, k, l, m, n, o)");
        sqliteFile(dir + "/" + name, "CREATE TABLE GenLookup (RecID, Code, Number)");
        sqliteFile(dir + "/" + name, "CREATE TABLE Showroommaster (DbName)");
        sqliteFile(security, "INSERT INTO VaCompany VALUES ('C" + std::to_string(c) +
                                 "', 'Company', 'Microsoft.Jet.OLEDB.4.0', 'VSPMSACCESSDB', '" +
                                 dir + "', '" + name + "', '', '', '')");
    }
    state.UpdateEntries.clear();
    for (int p = 1; p <= patches; ++p) {
        state.UpdateEntries.push_back("HO_9_0_2_" + std::to_string(p) + ".ZIP:12/01/2026");
    }
    start = std::chrono::steady_clock::now();
    try {
        PerformFinalTask(run);
    } catch (const RunStopped&) {
    }
    const double finalTask = seconds(start);
    std::size_t rows = 0;
    for (int c = 0; c < companies; ++c) {
        rows += DatabaseConnection::open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir +
                                             "/company" + std::to_string(c) + ".db",
                                         {})
                    ->query("SELECT * FROM VAPatchDtls")
                    .size();
    }
    state.SecurityConnection.reset();

    const auto inserted = [&](const std::string& file) {
        return DatabaseConnection::open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file, {})
            ->query("SELECT * FROM T")
            .size();
    };
    std::printf("security step: %d statements in %.3f s (%zu rows, %zu log lines)\n", statements,
                ours, inserted(security), logged);
    std::printf("sqlite3:       %d statements in %.3f s (%zu rows)\n", statements, theirs,
                inserted(plain));
    std::printf("final task:    %d companies x %d patches in %.3f s (%zu rows)\n", companies,
                patches, finalTask, rows);
    std::filesystem::remove_all(dir);
    std::printf("script ratio %.2f\n", theirs > 0 ? ours / theirs : 0.0);
    return 0;
}
