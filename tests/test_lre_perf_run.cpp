// lre-perf's run in process over the scripted library: what each failure of
// the run sequence prints, and the usage path of an empty argument vector.
#include "lre_perf_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cea_double.h"
#include "expected_usage.h"
#include "program_runner.h"

namespace {

int lre_perf_main(int argc, char **argv) { return lre_perf_run(argc, argv, stdout, stderr); }

// Runs "lre-perf <words>" with the double's operation failing_op (if not -1)
// failing with status 1 on its nth call.
lre_test::program_output run(const std::vector<std::string> &words, int failing_op = -1, int nth = 0,
                             const char *library_text = "")
{
    cea_double_reset();
    cea_double_set_state(3495.9, 20.2, 2.45, 2.04);
    if (failing_op >= 0) {
        cea_double_fail(failing_op, nth, 1);
        cea_double_set_error(library_text, -1);
    }
    std::vector<std::string> argv{"lre-perf"};
    argv.insert(argv.end(), words.begin(), words.end());
    return lre_test::run_main(lre_perf_main, argv);
}

TEST(RunSequence, FailuresPrintOneMessageAndCloseTheChamber)
{
    const std::string init = "CEA initialization: CEA ";
    const std::string failed = "Calculation failed: ";
    const struct {
        std::vector<std::string> words;
        int failing_op; // -1: none
        int nth;
        const char *library_text;
        std::string message;
    } cases[] = {
        {{"no/such.inp"}, CEA_DOUBLE_INIT_THERMO, 1, "gone", init + "thermo database failed (CEA code 1): gone\n"},
        {{"db"}, CEA_DOUBLE_INIT_THERMO, 1, "", init + "thermo database failed (CEA code 1)\n"},
        {{"db"}, CEA_DOUBLE_EQSOLUTION_CREATE, 1, "", init + "equilibrium solution failed (CEA code 1)\n"},
        // The chamber refuses a zero ratio without words of its own.
        {{"db", "--k", "0"}, -1, 0, "", failed + "\n"},
        {{"db", "--eta-cf", "1.5"}, -1, 0, "", failed + "Invalid or physically inconsistent model input.\n"},
        {{"db", "--throttle-pct", "90"},
         CEA_DOUBLE_EQSOLVER_SOLVE,
         7,
         "x",
         failed + "CEA HP equilibrium failed (CEA code 1): x\n"},
    };
    for (const auto &c : cases) {
        const lre_test::program_output out = run(c.words, c.failing_op, c.nth, c.library_text);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stdout_text, "");
        EXPECT_EQ(out.stderr_text, c.message);
        EXPECT_EQ(cea_double_live_handles(), 0);
    }
}

// The kernel never hands a program argc 0 on Linux, so this path is reached
// only in-process: a null argv[0] must not reach the usage text's "%s".
TEST(Usage, NullProgramNameBecomesLrePerf)
{
    const lre_test::program_output out = lre_test::run_main(lre_perf_main, {});
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.stdout_text, lre_test::expected_usage("lre-perf"));
    EXPECT_EQ(out.stderr_text, "");
}

} // namespace
