// lre-perf's run in process on the real library, with library_shim.h failing
// a chosen call: what each failure of the run sequence prints, with every
// handle released, and the usage path of an empty argument vector.
#include "lre_perf_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_usage.h"
#include "library_shim.h"
#include "program_runner.h"

namespace {

int lre_perf_main(int argc, char **argv) { return lre_perf_run(argc, argv, stdout, stderr); }

TEST(RunSequence, FailuresPrintOneMessageAndReleaseTheChamber)
{
    using namespace library_shim;
    const std::string db = LRE_THERMO_DATABASE;
    const std::string init = "CEA initialization: CEA ";
    const std::string failed = "Calculation failed: ";
    const struct {
        std::vector<std::string> words;
        int op, nth; // op -1: none
        const char *text;
        std::string message;
    } rows[] = {
        {{db}, init_thermo, 1, "gone", init + "thermo database failed (CEA code 1): gone\n"},
        {{db, "--engine", "yf100k"}, solution_create, 1, "", init + "equilibrium solution failed (CEA code 1)\n"},
        {{db, "--eta-cf", "1.5"}, -1, 0, "", failed + "Invalid or physically inconsistent model input.\n"},
        {{db, "--throttle-pct", "90"}, solve, 7, "x", failed + "CEA HP equilibrium failed (CEA code 1): x\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.message);
        reset();
        if (row.op >= 0) {
            fail(row.op, row.nth, 1);
            set_error_text(row.text);
        }
        std::vector<std::string> argv{"lre-perf"};
        argv.insert(argv.end(), row.words.begin(), row.words.end());
        const lre_test::program_output out = lre_test::run_main(lre_perf_main, argv);
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stdout_text, "");
        EXPECT_EQ(out.stderr_text, row.message);
        EXPECT_EQ(live_handles(), 0);
    }
    reset();
}

// The kernel never hands a program argc 0 on Linux, so this path is reached
// only in process: a null argv[0] must not reach the usage text's "%s".
TEST(RunSequence, NullProgramNameBecomesLrePerf)
{
    const lre_test::program_output out = lre_test::run_main(lre_perf_main, {});
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.stdout_text, lre_test::expected_usage("lre-perf"));
    EXPECT_EQ(out.stderr_text, "");
}

} // namespace
