// The built program on the repository's database: each listed case prints its
// expected file byte for byte, and every expected text report keeps the layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_cases.h"
#include "program_runner.h"
#include "report_layout.h"

namespace {

const std::string golden_dir = LRE_GOLDEN_DIR;
const std::string database = LRE_THERMO_DATABASE;

lre_test::program_output run(const std::vector<std::string> &options, const std::string &database_path = database)
{
    return lre_test::run_lre_perf(LRE_PERF_PATH, database_path, options);
}

TEST(GoldenReports, EachCasePrintsItsExpectedReport)
{
    const std::vector<lre_test::golden_case> cases = lre_test::read_golden_cases(golden_dir);
    ASSERT_GE(cases.size(), 30u);
    for (const lre_test::golden_case &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string expected = lre_test::read_file(golden_dir + "/" + c.file);
        ASSERT_FALSE(expected.empty()) << "missing expected file; see tests/golden/regenerate.sh";
        if (lre_test::ends_with(c.file, ".txt")) {
            lre_test::expect_report_layout(
                expected, lre_test::expected_line_count(lre_test::module_of(c.options), lre_test::burns(c.options)));
        }

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
