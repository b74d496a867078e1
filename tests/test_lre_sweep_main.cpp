// lre-sweep as a program: its exit status and messages for every way a run
// cannot start or finish, the rows to standard output, to a file or from a
// case file on standard input, the progress line, and a stop on SIGTERM
// after a whole row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

const std::string db = LRE_THERMO_DATABASE;

lre_test::program_output lre_sweep(std::vector<std::string> words)
{
    words.insert(words.begin(), "lre-sweep");
    return lre_test::run_program(LRE_SWEEP_PATH, words);
}

std::string file_text(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

TEST(LreSweep, ExitStatusAndMessages)
{
    const std::string folder = testing::TempDir();
    const std::string no_case = folder + "no-case.txt";
    const std::string cases = folder + "cases.txt";
    const std::string rows = folder + "rows.csv";
    std::ofstream(no_case) << "# nothing\n\n";
    std::ofstream(cases) << "--k 3\n--throttle-pct 30\n";
    const long online = std::min(sysconf(_SC_NPROCESSORS_ONLN), 64L);
    const struct {
        std::vector<std::string> words;
        int status;
        std::string stderr_text; // its start
    } runs[] = {
        {{}, 1, "Usage: lre-sweep THERMO_LIB [lre-perf options]"},
        {{"--help"}, 0, ""},
        {{"--version"}, 0, ""},
        {{db, "--vary", "k=x"}, 1, "--vary k=x: \"x\" is not a number.\n"},
        {{db, "--cases", "/nonexistent"}, 1, "Cannot read the case file /nonexistent: No such file or directory\n"},
        {{db, "--cases", no_case}, 1, "The case text " + no_case + " holds no case.\n"},
        {{db, "--vary", "k=0:1e8:1"}, 1, "The sweep has 100000001 cases, more than the limit of 10000000.\n"},
        {{"/nonexistent", "--vary", "k=1,2"}, 1, "CEA initialization: "},
        {{db, "--vary", "k=1,2", "--output", "/nonexistent/x"},
         1,
         "Cannot write /nonexistent/x: No such file or directory\n"},
        {{db, "--vary", "k=1,2", "--output", "/dev/full", "--jobs", "1"}, 1, "Writing the rows failed after 2 rows.\n"},
        {{db, "--vary", "k=1,2", "--jobs", "1"}, 0, ""},
        {{db, "--cases", cases, "--output", rows, "--jobs", "1"}, 2, ""},
    };
    for (const auto &r : runs) {
        const lre_test::program_output run = lre_sweep(r.words);
        SCOPED_TRACE(lre_test::joined(r.words));
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.stderr_text.substr(0, r.stderr_text.size()), r.stderr_text);
        EXPECT_EQ(run.stderr_text.empty(), r.stderr_text.empty());
        EXPECT_EQ(run.stdout_text.empty(), r.status != 0 || r.words.size() > 5);
    }
    const std::string usage = lre_sweep({"--help"}).stdout_text;
    EXPECT_NE(usage.find("1 to 64 (default: the online processors, here " + std::to_string(online) + ")\n"),
              std::string::npos);
    EXPECT_NE(usage.find("\nAt most 10000000 cases per run."), std::string::npos);
    EXPECT_EQ(lre_sweep({"--version"}).stdout_text, "lre-sweep " LRE_VERSION "\n");

    // The same rows to a file, and from the case file on standard input, with
    // the progress line: every row's count, the last one's in full.
    const lre_test::program_output piped =
        lre_test::run_program("/bin/sh", {"sh", "-c", "f=$1; shift; exec \"$0\" \"$@\" <\"$f\"", LRE_SWEEP_PATH, cases,
                                          db, "--cases", "-", "--progress"});
    EXPECT_EQ(piped.status, 2);
    EXPECT_EQ(piped.stdout_text, file_text(rows));
    EXPECT_EQ(std::count(piped.stdout_text.begin(), piped.stdout_text.end(), '\n'), 3);
    EXPECT_EQ(piped.stderr_text.rfind("\r1/2 cases, ", 0), 0u) << piped.stderr_text;
    const std::string last = piped.stderr_text.substr(piped.stderr_text.rfind('\r'));
    EXPECT_EQ(last.rfind("\r2/2 cases, ", 0), 0u) << last;
    EXPECT_EQ(last.substr(last.find(" cases/s, ")), " cases/s, 0.0 s left, 1 failed\n");
}

TEST(LreSweep, StopsOnSigtermAfterAWholeRow)
{
    const lre_test::program_output run = lre_test::run_program(
        "/bin/sh", {"sh", "-c", "\"$0\" \"$@\" & sleep 0.5; kill -TERM $!; wait $!", LRE_SWEEP_PATH, db, "--vary",
                    "k=1:9:0.00001", "--format", "jsonl", "--progress"});
    EXPECT_EQ(run.status, 1);
    long long written = -1;
    long long total = -1;
    const std::size_t at = run.stderr_text.find("\nInterrupted: ");
    ASSERT_NE(at, std::string::npos) << run.stderr_text;
    ASSERT_EQ(std::sscanf(run.stderr_text.c_str() + at, "\nInterrupted: %lld of %lld rows", &written, &total), 2);
    const std::string end = " rows written, each whole.\n";
    EXPECT_EQ(run.stderr_text.substr(run.stderr_text.size() - end.size()), end);
    EXPECT_EQ(total, 800001);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, total);
    EXPECT_EQ(std::count(run.stdout_text.begin(), run.stdout_text.end(), '\n'), written);
    EXPECT_EQ(run.stdout_text.substr(run.stdout_text.size() - 2), "}\n");
}

} // namespace
