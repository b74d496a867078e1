// The text report, from lre-perf's run in process over the scripted library:
// whole reports at the reference library's chamber states, lines the golden
// reports do not show.
#include "text_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cea_double.h"
#include "engine_modules.h"
#include "golden_cases.h"
#include "json_output.h"
#include "lre_perf_run.h"
#include "module_presets.h"
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

// The user interface shows the JSON members under the report's labels: every
// row that names a member must name one of its module's document, holding the
// same quantity. Records with a distinct value in every result field (the
// engine thrust as the model sets it) and a burn time, so every row shows.
TEST(TextReport, EachRowsMemberHoldsTheRowsQuantity)
{
    const engine_case presets[] = {lre_test::tq12b_preset_case(), lre_test::tq15b_preset_case(),
                                   lre_test::yf100k_preset_case()};
    for (int module = 0; module < engine_module_count; ++module) {
        engine_case operating = presets[module];
        operating.t_b = 100.0;
        const chamber_state state = {3500.0, 21.5, 1.2};
        engine_results results;
        double *fields = &results.f_en;
        for (std::size_t i = 0; i < sizeof results / sizeof(double); ++i) {
            fields[i] = 1.0 + 0.37 * static_cast<double>(i);
        }
        results.f_en = operating.thrust_ref * operating.lambda;
        const solved_case solved = {module, &presets[module], &operating, &state, &results};
        double values[json_max_members];
        int present[json_max_members];
        json_case_values(&solved, values, present, json_max_members);
        int named = 0;
        for (int r = 0; r < report_row_count(); ++r) {
            const report_row *row = report_row_at(r);
            if (!report_row_shown(row, &solved) || row->json_member == nullptr) {
                continue;
            }
            SCOPED_TRACE(std::string(engine_key(module)) + " " + row->label);
            const int member = json_find_member(module, row->json_member);
            ASSERT_GE(member, 0) << row->json_member;
            EXPECT_TRUE(present[member]);
            EXPECT_NEAR(row->value(&solved), values[member], 1e-12 * std::fabs(values[member]));
            ++named;
        }
        EXPECT_GE(named, 30);
    }
}

} // namespace
