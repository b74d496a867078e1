// lre-sweep as a program: the status and message of each run in
// sweep/runs.txt, the same rows to standard output, to a file or from a case
// file on standard input, the progress line and its help text, and a stop on
// SIGTERM after a whole row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

const std::string db = LRE_THERMO_DATABASE;
const std::string dir = LRE_SWEEP_TEST_DIR;

lre_test::program_output sh(const std::string &script, std::vector<std::string> words)
{
    words.insert(words.begin(), {"sh", "-c", script, LRE_SWEEP_PATH});
    return lre_test::run_program("/bin/sh", words);
}

bool ends_with(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string replaced(std::string text)
{
    for (const auto &name : {std::make_pair(std::string("@DB"), db), std::make_pair(std::string("@DIR"), dir)}) {
        for (std::size_t at; (at = text.find(name.first)) != std::string::npos;) {
            text.replace(at, name.first.size(), name.second);
        }
    }
    return text;
}

TEST(LreSweep, RunsStatusAndMessage)
{
    std::ifstream list(dir + "/runs.txt");
    int runs = 0;
    for (std::string line; std::getline(list, line);) {
        const std::size_t bar = line.find(" | ");
        const std::size_t second = line.find('|', bar + 3);
        if (line.empty() || line[0] == '#' || bar == std::string::npos || second == std::string::npos) {
            continue;
        }
        std::vector<std::string> words{"lre-sweep"};
        std::istringstream arguments(replaced(line.substr(bar + 3, second - bar - 3)));
        std::string rows_file;
        for (std::string word; arguments >> word;) {
            (word[0] == '>' ? rows_file : words.emplace_back()) = word;
        }
        const std::string message = replaced(line.substr(std::min(line.size(), second + 2)));
        const lre_test::program_output run = lre_test::run_program(LRE_SWEEP_PATH, words);
        const std::string first_line = run.stderr_text.substr(0, run.stderr_text.find('\n'));
        SCOPED_TRACE(lre_test::joined(words));
        EXPECT_EQ(run.status, std::stoi(line));
        EXPECT_EQ(ends_with(message, "...") ? first_line.substr(0, message.size() - 3) + "..." : first_line, message);
        EXPECT_EQ(run.stdout_text.empty(), run.status == 1);
        if (!rows_file.empty()) {
            std::ifstream rows(dir + "/" + rows_file.substr(1));
            EXPECT_EQ(run.stdout_text, std::string(std::istreambuf_iterator<char>(rows), {}));
        }
        ++runs;
    }
    EXPECT_GT(runs, 50);
}

TEST(LreSweep, RowsToAFileFromStandardInputAndProgress)
{
    const std::string rows = testing::TempDir() + "rows.csv";
    const lre_test::program_output to_file =
        lre_test::run_program(LRE_SWEEP_PATH, {"lre-sweep", db, "--cases", dir + "/cases.txt", "--output", rows});
    const lre_test::program_output piped =
        sh("f=$1; shift; exec \"$0\" \"$@\" <\"$f\"", {dir + "/cases.txt", db, "--cases", "-", "--progress"});
    std::ifstream file(rows);
    EXPECT_EQ(to_file.status, 2);
    EXPECT_EQ(piped.status, 2);
    EXPECT_EQ(piped.stdout_text, std::string(std::istreambuf_iterator<char>(file), {}));
    EXPECT_EQ(std::count(piped.stdout_text.begin(), piped.stdout_text.end(), '\n'), 3);
    // "\r1/2 cases, R cases/s, 0.0 s left, 0 failed\r2/2 cases, ... 1 failed\n"
    const std::string &progress = piped.stderr_text;
    ASSERT_EQ(std::count(progress.begin(), progress.end(), '\r'), 2) << progress;
    EXPECT_EQ(progress.rfind("\r1/2 cases, ", 0), 0u) << progress;
    EXPECT_NE(progress.find(" cases/s, 0.0 s left, 0 failed\r2/2 cases, "), std::string::npos) << progress;
    EXPECT_TRUE(ends_with(progress, " cases/s, 0.0 s left, 1 failed\n")) << progress;

    const long online = std::min(sysconf(_SC_NPROCESSORS_ONLN), 64L);
    const std::string usage = lre_test::run_program(LRE_SWEEP_PATH, {"lre-sweep", "--help"}).stdout_text;
    EXPECT_NE(usage.find("(default: the online processors, here " + std::to_string(online) + ")\n"), std::string::npos);
    EXPECT_NE(usage.find("\nAt most 10000000 cases per run."), std::string::npos);
    EXPECT_EQ(lre_test::run_program(LRE_SWEEP_PATH, {"lre-sweep", "--version"}).stdout_text,
              "lre-sweep " LRE_VERSION "\n");
}

TEST(LreSweep, StopsOnSigtermAfterAWholeRow)
{
    const lre_test::program_output run = sh("\"$0\" \"$@\" & sleep 0.5; kill -TERM $!; wait $!",
                                            {db, "--vary", "k=1:9:0.00001", "--format", "jsonl", "--progress"});
    long long written = -1;
    long long total = -1;
    const std::size_t at = run.stderr_text.find("\nInterrupted: ");
    ASSERT_NE(at, std::string::npos) << run.stderr_text;
    ASSERT_EQ(std::sscanf(run.stderr_text.c_str() + at, "\nInterrupted: %lld of %lld rows", &written, &total), 2);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(ends_with(run.stderr_text, " rows written, each whole.\n")) << run.stderr_text;
    EXPECT_EQ(total, 800001);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, total);
    EXPECT_EQ(std::count(run.stdout_text.begin(), run.stdout_text.end(), '\n'), written);
    EXPECT_TRUE(ends_with(run.stdout_text, "}\n"));
}

} // namespace
