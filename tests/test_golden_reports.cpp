// End-to-end reports of the built program on the repository's database and
// the equilibrium library: each listed case must print its expected file byte
// for byte, and every expected file must keep the report layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"
#include "report_layout.h"

namespace {

const std::string golden_dir = LRE_GOLDEN_DIR;
const std::string database = LRE_THERMO_DATABASE;

struct golden_case {
    std::string file;
    std::vector<std::string> options;
};

std::vector<golden_case> read_case_list()
{
    std::vector<golden_case> cases;
    std::ifstream list(golden_dir + "/text_reports.list");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t colon = line.find(':');
        golden_case entry{line.substr(0, colon), {}};
        std::istringstream words(line.substr(colon + 1));
        std::string word;
        while (words >> word) {
            entry.options.push_back(word);
        }
        cases.push_back(entry);
    }
    return cases;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The module and burn lines a case's options ask for.
int module_of(const std::vector<std::string> &options)
{
    int module = 0;
    for (std::size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == "--engine") {
            module = options[i + 1] == "tq15b" ? 1 : options[i + 1] == "yf100k" ? 2 : 0;
        }
    }
    return module;
}

bool burns(const std::vector<std::string> &options)
{
    bool burn = false;
    for (std::size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == "--burn-s") {
            burn = std::strtod(options[i + 1].c_str(), nullptr) > 0.0;
        }
    }
    return burn;
}

lre_test::program_output run(const std::vector<std::string> &options, const std::string &database_path = database)
{
    std::vector<std::string> words{"lre-perf", database_path};
    words.insert(words.end(), options.begin(), options.end());
    return lre_test::run_program(LRE_PERF_PATH, words);
}

TEST(GoldenReports, EachCasePrintsItsExpectedReport)
{
    const std::vector<golden_case> cases = read_case_list();
    ASSERT_GE(cases.size(), 20u);
    for (const golden_case &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string expected = read_file(golden_dir + "/" + c.file);
        ASSERT_FALSE(expected.empty()) << "missing expected file; see tests/golden/regenerate.sh";
        lre_test::expect_report_layout(expected, lre_test::expected_line_count(module_of(c.options), burns(c.options)));

        const lre_test::program_output out = run(c.options);
        EXPECT_EQ(out.status, 0);
        EXPECT_EQ(out.stderr_text, "");
        EXPECT_EQ(out.stdout_text, expected);
    }
}

TEST(GoldenReports, FailuresOnTheRealLibrary)
{
    const lre_test::program_output missing = run({}, "no-such-dir/thermo.inp");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.stdout_text, "");
    EXPECT_EQ(missing.stderr_text.rfind("CEA initialization: CEA thermo database failed (CEA code ", 0), 0u)
        << missing.stderr_text;
    EXPECT_EQ(missing.stderr_text.back(), '\n');

    const lre_test::program_output zero_ratio = run({"--k", "0"});
    EXPECT_EQ(zero_ratio.status, 1);
    EXPECT_EQ(zero_ratio.stdout_text, "");
    EXPECT_EQ(zero_ratio.stderr_text, "Calculation failed: \n");
}

} // namespace
