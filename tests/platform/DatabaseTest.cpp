#include "platform/db/Database.h"

#include "DatabaseRows.h"
#include "Sandbox.h"
#include "TempDir.h"
#include "platform/base/RunTimeError.h"

#include <gtest/gtest.h>

using namespace pelvar;

namespace {

struct MaskCase {
    const char* name;
    std::string connectionString;
    const char* passwordKey;
    std::string password; // as the driver reads it
    std::string masked;
};

class ConnectionString : public testing::TestWithParam<MaskCase> {};

TEST_P(ConnectionString, IsReadAsTheDriverReadsItAndMaskedInItsPasswordOnly) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(parseConnectionString(c.connectionString)[c.passwordKey], c.password);
    EXPECT_EQ(maskPasswords(c.connectionString), c.masked);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ConnectionString,
    testing::Values(
        MaskCase{"QuotedFilePasswordWithSeparator",
                 "Provider=Microsoft.Jet.OLEDB.4.0;Data Source='/d/s.db';Jet OLEDB:Database "
                 "Password= 'ab;cd-LEAK1' ",
                 "jet oledb:database password", "ab;cd-LEAK1",
                 "Provider=Microsoft.Jet.OLEDB.4.0;Data Source='/d/s.db';Jet OLEDB:Database "
                 "Password= **** "},
        MaskCase{
            "UnquotedSeparatorStaysWithTheValue",
            "Provider=SQLOLEDB.1;Password=pgsecret;LEAK2;Persist Security Info=True;User ID=sa",
            "password", "pgsecret;LEAK2",
            "Provider=SQLOLEDB.1;Password=****;Persist Security Info=True;User ID=sa"},
        MaskCase{"BracedWithDoubledBrace", "UID=u;PWD={a}}b;c};Database=d", "pwd", "a}b;c",
                 "UID=u;PWD=****;Database=d"},
        MaskCase{"DoubleQuotedWithDoubledQuote", "SERVER=s;UID=u;PWD=\"x\"\"y;z\";DATABASE=d",
                 "pwd", "x\"y;z", "SERVER=s;UID=u;PWD=****;DATABASE=d"},
        MaskCase{"ShortPasswordNowhereElse", "Data Source=/demo/e.db;Jet OLEDB:Database Password=e",
                 "jet oledb:database password", "e",
                 "Data Source=/demo/e.db;Jet OLEDB:Database Password=****"},
        MaskCase{"UserNameEqualToThePassword", "UID=Hunter2x;PWD=Hunter2x;Database=d", "pwd",
                 "Hunter2x", "UID=****;PWD=****;Database=d"}),
    [](const testing::TestParamInfo<MaskCase>& row) { return std::string(row.param.name); });

struct StatementCase {
    const char* name;
    const char* sql;
    std::int64_t number; // 0: no error
    const char* description;
    std::vector<std::string> rows; // of T afterwards
};

class FileDatabaseStatement : public testing::TestWithParam<StatementCase> {};

// A file database whose password "e" and folder "demo" appear in the texts of its errors.
TEST_P(FileDatabaseStatement, FailsWithTheDriversNumberAndDescription) {
    const StatementCase& c = GetParam();
    test::TempDir dir;
    const std::string file = dir / "demo.db";
    test::sqlite(file, "CREATE TABLE T (Id INTEGER PRIMARY KEY); INSERT INTO T VALUES (1);");
    auto db = DatabaseConnection::open("Data Source=" + file + ";Jet OLEDB:Database Password=e",
                                       DatabaseConfig{});
    try {
        db->execute(c.sql);
        EXPECT_EQ(c.number, 0);
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), c.description);
    }
    EXPECT_EQ(test::sqliteRows(file, "SELECT Id FROM T ORDER BY Id"), c.rows);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Outcomes, FileDatabaseStatement,
    testing::Values(
        StatementCase{"MissingTable", "INSERT INTO Nope VALUES (2)", err::TableNotFound,
                      "no such table: Nope", {"1"}},
        StatementCase{"Constraint", "INSERT INTO T VALUES (1)", err::IntegrityViolation,
                      "UNIQUE constraint failed: T.Id", {"1"}},
        StatementCase{"SyntaxErrorIsAnErrorInTheCommand", "SELEC e", err::CommandError,
                      "near \"SELEC\": syntax error", {"1"}},
        StatementCase{"TwoStatementsInOneBlockBothRun", "INSERT INTO T VALUES (2);\r\n"
                      "INSERT INTO T VALUES (3)", 0, "", {"1", "2", "3"}}),
    [](const testing::TestParamInfo<StatementCase>& row) { return std::string(row.param.name); });
// clang-format on

} // namespace
