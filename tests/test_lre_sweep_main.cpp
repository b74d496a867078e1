// lre-sweep as a program: each run of sweep/runs.txt with its status, the
// first line of its standard error and its rows; the progress line, a long
// case text from a pipe, and a stop on SIGTERM after a whole row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

const std::string db = LRE_THERMO_DATABASE, dir = LRE_SWEEP_TEST_DIR;

// lre-sweep's words (after its name) run by sh, which reads the script's
// "$1" as the file for standard input.
lre_test::program_output sh(const std::string &script, std::vector<std::string> words)
{
    words.insert(words.begin(), {"sh", "-c", script, LRE_SWEEP_PATH});
    return lre_test::run_program("/bin/sh", words);
}

// A line "STATUS | ARGUMENTS | MESSAGE": "@DB" and "@DIR" in it replaced, a
// word "<FILE" the standard input, ">FILE" the rows (">": those of the run
// above), "..." ending a message only its start.
TEST(LreSweep, RunsStatusMessageAndRows)
{
    std::ifstream list(dir + "/runs.txt");
    int runs = 0;
    std::string previous; // the rows of the run above
    for (std::string line; std::getline(list, line);) {
        line = std::regex_replace(std::regex_replace(line, std::regex("@DB"), db), std::regex("@DIR"), dir);
        const std::size_t bar = line.find(" | "), second = line.find('|', bar + 3);
        if (line.empty() || line[0] == '#' || second == std::string::npos) {
            continue;
        }
        std::vector<std::string> words{"/dev/null"};
        std::string rows_file, message = line.substr(std::min(line.size(), second + 2));
        std::istringstream arguments(line.substr(bar + 3, second - bar - 3));
        for (std::string word; arguments >> word;) {
            (word[0] == '>'   ? rows_file
             : word[0] == '<' ? words[0]
                              : words.emplace_back()) = word.substr(word[0] == '<');
        }
        const lre_test::program_output run = sh("f=$1; shift; exec \"$0\" \"$@\" <\"$f\"", words);
        const std::string first_line = run.stderr_text.substr(0, run.stderr_text.find('\n'));
        std::ifstream rows(rows_file.empty() ? "/dev/null" : dir + "/" + rows_file.substr(1));
        SCOPED_TRACE(line);
        EXPECT_EQ(run.status, std::stoi(line));
        EXPECT_EQ(std::regex_search(message, std::regex("\\.\\.\\.$"))
                      ? first_line.substr(0, message.size() - 3) + "..."
                      : first_line,
                  message);
        EXPECT_EQ(run.stdout_text.empty(), run.status == 1);
        EXPECT_TRUE(rows_file.empty() ||
                    run.stdout_text ==
                        (rows_file == ">" ? previous : std::string(std::istreambuf_iterator<char>(rows), {})));
        previous = run.stdout_text;
        ++runs;
    }
    EXPECT_GT(runs, 60);
}

TEST(LreSweep, ProgressLongCaseTextAndSigterm)
{
    const lre_test::program_output progress =
        sh("exec \"$0\" \"$@\"", {db, "--cases", dir + "/cases.txt", "--progress"});
    EXPECT_TRUE(std::regex_match(progress.stderr_text,
                                 std::regex("\r1/2 cases, [1-9][0-9]* cases/s, 0\\.0 s left, 0 failed"
                                            "\r2/2 cases, [1-9][0-9]* cases/s, 0\\.0 s left, 1 failed\n")))
        << progress.stderr_text;
    // A case text longer than the first read of it (64 KiB), from a pipe.
    EXPECT_EQ(sh("yes -- --throttle-pct 30 | head -n 5000 | \"$0\" \"$@\" | wc -l", {db, "--cases", "-"}).stdout_text,
              "5001\n");

    const lre_test::program_output run =
        sh("f=$(mktemp); \"$0\" \"$@\" >$f & for i in $(seq 200); do [ -s $f ] || sleep 0.05; done; "
           "kill -TERM $!; wait $!; s=$?; cat $f; rm $f; exit $s",
           {db, "--vary", "k=1:9:0.00001", "--format", "jsonl", "--progress"});
    std::smatch stop;
    ASSERT_TRUE(std::regex_search(run.stderr_text, stop,
                                  std::regex("\nInterrupted: ([0-9]+) of 800001 rows written, "
                                             "each whole.\n$")))
        << run.stderr_text;
    const long long written = std::stoll(stop[1]);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(written > 0 && written < 800001);
    EXPECT_EQ(std::count(run.stdout_text.begin(), run.stdout_text.end(), '\n'), written);
    EXPECT_EQ(run.stdout_text.back(), '\n');
}

} // namespace
