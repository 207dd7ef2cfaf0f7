// The table of results: a row for every result, and the --help epilogue's
// exit codes are its rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "cli/results.h"
#include "cli/run_cli.h"

namespace quill::cli {
namespace {

TEST(ResultTableTest, EveryResultHasOneRow) {
    for (int value = 0; value <= static_cast<int>(StepResult::NoPortToTry); ++value) {
        const auto result = static_cast<StepResult>(value);
        SCOPED_TRACE(value);
        EXPECT_EQ(std::count_if(ResultRows().begin(), ResultRows().end(),
                                [&](const ResultRow& row) { return row.result == result; }),
                  1);
        EXPECT_EQ(RowOf(result).result, result);
    }
}

TEST(ResultTableTest, TheHelpsExitCodesAreTheTablesRows) {
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunCli({"--help"}, out, err), kExitDone);
    const std::string help = out.str();
    const std::size_t section = help.find("Exit codes:\n");
    ASSERT_NE(section, std::string::npos) << help;
    std::istringstream lines(help.substr(section + 12));
    const std::regex rowLine(R"(  ([0-9]+) +(.+))");
    std::vector<std::pair<int, std::string>> shown;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, rowLine)) break;
        shown.emplace_back(std::stoi(match[1]), match[2]);
    }
    std::vector<std::pair<int, std::string>> table;
    for (const ResultRow& row : ResultRows()) table.emplace_back(row.code, std::string(row.meaning));
    EXPECT_EQ(shown, table) << help;
}

}  // namespace
}  // namespace quill::cli
