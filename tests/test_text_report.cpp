// The text report, from lre-perf's run in process over the scripted library:
// whole reports at the reference library's chamber states, lines the golden
// reports do not show.
#include "text_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cea_double.h"
#include "golden_cases.h"
#include "lre_perf_run.h"
#include "program_runner.h"

namespace {

int lre_perf_main(int argc, char **argv) { return lre_perf_run(argc, argv, stdout, stderr); }

// Chamber states of the reference equilibrium library (shared reference
// data, chamber_states.csv) at each module's 100 % point: with them the
// program must print the reference reports exactly.
const cea_double_state methane_14_mpa = {3495.8947032548217, 20.225656731778283, 2.4548591758939207, 2.0437719063796331,
                                         1};
const cea_double_state rp1_18_7_mpa = {3813.1592749692268, 23.801622120667453, 2.0430266409705204, 1.6937012900407478,
                                       1};

// Runs the program on "lre-perf <words>" with the double in the given state,
// its operation failing_op (if not -1) failing with status 1 on its nth call.
lre_test::program_output run(const cea_double_state &state, const std::vector<std::string> &words, int failing_op = -1,
                             int nth = 0, const char *library_text = "")
{
    cea_double_reset();
    cea_double_set_state(state.t_c, state.m_r, state.cp, state.cv);
    if (failing_op >= 0) {
        cea_double_fail(failing_op, nth, 1);
        cea_double_set_error(library_text, -1);
    }
    std::vector<std::string> argv{"lre-perf"};
    argv.insert(argv.end(), words.begin(), words.end());
    return lre_test::run_main(lre_perf_main, argv);
}

TEST(TextReport, NominalReportsAtTheReferenceChamberStates)
{
    const struct {
        std::vector<std::string> words;
        const cea_double_state *state;
        const char *expected;
    } cases[] = {
        {{"thermo.inp"}, &methane_14_mpa, "tq12b-nominal.txt"},
        {{"thermo.inp", "--engine", "tq15b"}, &methane_14_mpa, "tq15b-nominal.txt"},
        {{"thermo.inp", "--engine", "yf100k"}, &rp1_18_7_mpa, "yf100k-nominal.txt"},
    };
    for (const auto &c : cases) {
        const lre_test::program_output out = run(*c.state, c.words);
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(out.status, 0);
        EXPECT_EQ(out.stderr_text, "");
        EXPECT_EQ(out.stdout_text, lre_test::read_file(std::string(LRE_REFERENCE_STATE_DIR) + "/" + c.expected));
        EXPECT_EQ(cea_double_live_handles(), 0);
    }
}

TEST(TextReport, LinesOfSpecialCases)
{
    const struct {
        std::vector<std::string> words;
        const char *line;
    } cases[] = {
        // The golden reports keep K equal to K_en, so they cannot tell the two apart.
        {{"db", "--engine", "tq15b", "--k", "3.1"}, "[ESTIMATED]  K_en = K                            = 3.100\n"},
        // Any positive burn time, however small, adds the burn lines.
        {{"db", "--burn-s", "1e-300"}, "[ESTIMATED]  t_b                                 = 0.000 s\n"},
    };
    for (const auto &c : cases) {
        const lre_test::program_output out = run(methane_14_mpa, c.words);
        SCOPED_TRACE(c.line);
        ASSERT_EQ(out.status, 0) << out.stderr_text;
        EXPECT_NE(out.stdout_text.find(c.line), std::string::npos) << out.stdout_text;
    }
}

} // namespace
