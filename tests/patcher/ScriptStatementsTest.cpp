#include "patcher/ScriptStatements.h"

#include <gtest/gtest.h>

using namespace pelvar;

namespace {

struct ReaderCase {
    const char* name;
    StatementRule rule;
    std::string script;
    const char* statements; // joined with "|"
    bool unterminated;
};

class StatementReader : public testing::TestWithParam<ReaderCase> {};

TEST_P(StatementReader, CutsScriptsIntoStatements) {
    const auto& c = GetParam();
    const auto read = readStatements(c.script, c.rule);
    std::string joined;
    for (const auto& statement : read.statements) {
        joined += (joined.empty() ? "" : "|") + statement;
    }
    EXPECT_EQ(joined, c.statements);
    EXPECT_EQ(read.unterminated, c.unterminated);
}

const auto S = StatementRule::Security;
const auto A = StatementRule::Application;

INSTANTIATE_TEST_SUITE_P(
    Rules, StatementReader,
    testing::Values(
        ReaderCase{"CommentThenTwoLineStatement", S,
                   "* header\r\nUPDATE T SET A=1\r\nWHERE B=2\r\n-GO-\r\n",
                   "UPDATE T SET A=1 \r\nWHERE B=2", false},
        ReaderCase{"StrayGoLinesMakeNoEmptyStatement", S, "-GO-\n-GO-\nDELETE FROM T\n-GO-\n-GO-\n",
                   "DELETE FROM T", false},
        ReaderCase{"LowerCaseGoBetweenBlanks", S, "INSERT INTO T VALUES(1)\n   -go-   \n",
                   "INSERT INTO T VALUES(1)", false},
        ReaderCase{"LinesKeptUntrimmedWithTabsAndTrailingBlanks", S,
                   "  SELECT 1  \n\tFROM T \n-GO-\n", "  SELECT 1   \r\n\tFROM T ", false},
        ReaderCase{"UnterminatedLastStatementDropped", S, "A\n-GO-\nB\nC", "A", true},
        ReaderCase{"DashLineStartsAStatementUnderTheSecurityRule", S, "-- note\nSELECT 1\n-GO-\n",
                   "-- note \r\nSELECT 1", false},
        ReaderCase{"DashAndEmptyLinesSkippedUnderTheApplicationRule", A,
                   "-- note\n\n   \nSELECT 1\n\n-GO-\n", "SELECT 1 \r\n", false},
        ReaderCase{"ShellExecuteStatementNotRunAtAll", A,
                   "EXEC shellExecute 'x'\nSECOND LINE\n-GO-\nSELECT 2\n-GO-\n", "SELECT 2", false},
        ReaderCase{"ShellExecuteInsideAStatementIsPartOfIt", A, "SELECT 1\n-- SHELLEXECUTE\n-GO-\n",
                   "SELECT 1 \r\n-- SHELLEXECUTE", false},
        ReaderCase{"WindowsCodePageReadAsUtf8", S, "UPDATE T SET N='Caf\xe9 \x80'\r\n-GO-\r\n",
                   "UPDATE T SET N='Caf\xc3\xa9 \xe2\x82\xac'", false},
        ReaderCase{"Utf8KeptAndItsByteOrderMarkDropped", S,
                   "\xef\xbb\xbf* c\nUPDATE T SET N='Caf\xc3\xa9'\n-GO-\n",
                   "UPDATE T SET N='Caf\xc3\xa9'", false},
        ReaderCase{"CarriageReturnsAloneEndLines", A,
                   "* c\r\rUPDATE T\rWHERE B=2\r-GO-\rSELECT 2\r\n-GO-",
                   "UPDATE T \r\nWHERE B=2|SELECT 2", false},
        ReaderCase{"EmptyScript", A, "", "", false}),
    [](const testing::TestParamInfo<ReaderCase>& row) { return std::string(row.param.name); });

} // namespace
