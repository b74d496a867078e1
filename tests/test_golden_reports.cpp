// The built program on the repository's database: each case of
// golden/cases.list prints its expected file (a text report or a JSON
// document) byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_cases.h"
#include "program_runner.h"

namespace {

TEST(GoldenReports, EachCasePrintsItsExpectedReport)
{
    const std::string golden_dir = LRE_GOLDEN_DIR;
    const std::vector<lre_test::golden_case> cases = lre_test::read_golden_cases(golden_dir);
    ASSERT_GE(cases.size(), 30u);
    for (const lre_test::golden_case &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string expected = lre_test::read_file(golden_dir + "/" + c.file);
        ASSERT_FALSE(expected.empty()) << "missing expected file; see tests/golden/regenerate.sh";
        const lre_test::program_output out = lre_test::run_lre_perf(LRE_PERF_PATH, LRE_THERMO_DATABASE, c.options);
        EXPECT_EQ(out.status, 0);
        EXPECT_EQ(out.stderr_text, "");
        EXPECT_EQ(out.stdout_text, expected);
    }
}

} // namespace
