// The case solver on the real library: evaluations of the 100 % point, the
// bracket and the passes, the settled pass, and (with chamber states bent by
// library_shim.h) every way the search can fail.
#include "case_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine_model.h"
#include "engine_modules.h"
#include "library_shim.h"

namespace {

using namespace library_shim;

// Records each solve's pressure (Pa) and, away from the 100 % pressure,
// scales the temperature and sets gamma (0: as the library gives it), by
// [1] below split_bar, [0] from it up, [2] at the 100 % pressure.
struct bend {
    double t_scale[3], gamma[3];
    double full_bar, split_bar, cp;
    std::vector<double> pressures;
};

void bend_state(int property, double p_bar, double *value, void *user)
{
    bend *b = static_cast<bend *>(user);
    const int region = p_bar == b->full_bar ? 2 : p_bar < b->split_bar ? 1 : 0;
    if (property == CEA_TEMPERATURE) {
        b->pressures.push_back(p_bar * 1e5);
        *value *= b->t_scale[region] > 0.0 ? b->t_scale[region] : 1.0;
    } else if (property == CEA_FROZEN_CP) {
        b->cp = *value;
    } else if (property == CEA_FROZEN_CV && b->gamma[region] > 0.0) {
        *value = b->cp / b->gamma[region];
    }
}

struct CaseSolver : ::testing::Test {
    cea_chamber chamber = {};
    char error[error_buffer_size] = {0};
    engine_case operating = {};
    chamber_state state = {};
    engine_results results = {};
    bend shape = {};

    void TearDown() override { cea_chamber_close(&chamber); }

    // The module's presets at lambda, on a fresh chamber, the states bent as given.
    engine_case start(int module, double lambda, const bend &b = {})
    {
        cea_chamber_close(&chamber);
        reset();
        EXPECT_EQ(cea_chamber_open(&chamber, LRE_THERMO_DATABASE, engine_fuel_rp1(module), error, sizeof error), 1);
        engine_case reference;
        set_defaults(module, &reference);
        reference.lambda = lambda;
        shape = b;
        shape.full_bar = reference.p_c / 1e5;
        set_property_hook(bend_state, &shape);
        return reference;
    }

    int solve(const engine_case &reference)
    {
        return calculate_case(&chamber, &reference, &operating, &state, &results, error, sizeof error);
    }
};

// Within the unthrottled tolerance one evaluation; otherwise 100 %, the
// bracket's two ends, the passes, and the final midpoint.
TEST_F(CaseSolver, EvaluationsAndTheCyclesConstraint)
{
    const struct {
        int module;
        double lambda;
    } rows[] = {{ENGINE_TQ12B, 1.0 - 5e-13}, {ENGINE_TQ12B, 1.0 + 9e-13}, {ENGINE_YF100K, 1.0 + 5e-13},
                {ENGINE_TQ12B, 1.0 + 2e-12}, {ENGINE_TQ12B, 0.4},         {ENGINE_YF100K, 0.65},
                {ENGINE_YF100K, 1.05}};
    for (const auto &row : rows) {
        const bool staged = row.module == ENGINE_YF100K;
        const engine_case reference = start(row.module, row.lambda);
        ASSERT_EQ(solve(reference), 1) << error;
        EXPECT_STREQ(error, "");
        const std::vector<double> p = shape.pressures;
        if (std::fabs(row.lambda - 1.0) < 1e-12) {
            EXPECT_EQ(p.size(), 1u);
            EXPECT_EQ(operating.lambda, 1.0);
            EXPECT_EQ(results.f_en, reference.thrust_ref);
            continue;
        }
        ASSERT_GE(p.size(), 6u);
        EXPECT_LE(p.size(), staged ? 74u : 64u);
        EXPECT_EQ(p[1], (staged ? 0.5 : 0.2) * reference.p_c);
        EXPECT_EQ(p[2], (staged ? 1.25 : 1.3) * reference.p_c);
        EXPECT_EQ(p.back(), operating.p_c);
        EXPECT_NE(p.back(), p[p.size() - 2]);
        EXPECT_EQ(operating.lambda, row.lambda);
        if (staged) {
            EXPECT_LE(std::fabs(results.f_sl - reference.thrust_ref * row.lambda), 1e-6 * reference.thrust_ref);
        }
    }
}

// The first pass lands on the solution (at the setting that makes it one):
// the final midpoint of the still wide bracket misses, and the pass point is
// the answer.
TEST_F(CaseSolver, AnEarlySettledPassIsTheAnswer)
{
    for (const int module : {ENGINE_TQ12B, ENGINE_YF100K}) {
        const bool staged = module == ENGINE_YF100K;
        engine_case held = start(module, 1.0);
        ASSERT_EQ(solve(held), 1) << error;
        const double first_pass = staged ? 0.875 * held.p_c : 0.75 * held.p_c;
        held.a_t_fixed = staged ? results.a_t : 0.0;
        held.eta_c_f = staged ? results.eta_c_f : held.eta_c_f;
        const double full_throat = results.a_t;
        held.p_c = first_pass;
        ASSERT_EQ(cea_chamber_solve(&chamber, held.p_c, held.k, held.t_o, held.t_f, &state, error, sizeof error), 1);
        ASSERT_EQ(engine_calculate(&held, &state, &results), 1);
        const double hit = staged ? results.f_sl / held.thrust_ref : results.a_t / full_throat;

        const engine_case reference = start(module, staged ? hit : 1.0 / hit);
        ASSERT_EQ(solve(reference), 1) << error;
        EXPECT_EQ(calls(library_shim::solve), 5); // 100 %, two ends, one pass, final
        EXPECT_EQ(operating.p_c, first_pass);
        EXPECT_NE(shape.pressures[4], first_pass);
    }
}

// States that defeat the search. A far colder or hotter gas keeps the throat
// too small or too large; gamma 3 lowers C_F below 105 %; a hot gamma-3
// 100 % point at 100 MPa derives a small C_F efficiency that a gamma of 1.01
// then exceeds at the low end. A temperature that jumps across the solution
// defeats the early stop: every pass runs, then acceptance fails.
TEST_F(CaseSolver, StatesThatDefeatTheSearch)
{
    const char *const throat_bracket = "Could not bracket chamber pressure while preserving throat area.";
    const struct {
        int module;
        double lambda, p_c;
        double t_scale, gamma, below_t, below_gamma, full_t, full_gamma;
        bool split; // at the unbent solution
        int evaluations;
        const char *message;
    } rows[] = {
        {ENGINE_TQ12B, 0.75, 0.0, 0.01, 0.0, 0.01, 0.0, 0.0, 0.0, false, 3, throat_bracket},
        {ENGINE_TQ12B, 0.75, 0.0, 100.0, 0.0, 100.0, 0.0, 0.0, 0.0, false, 3, throat_bracket},
        {ENGINE_YF100K, 1.05, 0.0, 0.0, 3.0, 0.0, 3.0, 0.0, 0.0, false, 3,
         "Could not bracket the selected sea-level thrust above the target."},
        {ENGINE_YF100K, 0.65, 100e6, 0.0, 1.01, 0.0, 1.01, 5.245, 3.0, false, 2,
         "Could not bracket the selected sea-level thrust below the target."},
        {ENGINE_TQ12B, 0.9, 0.0, 0.98, 0.0, 1.02, 0.0, 0.0, 0.0, true, 64,
         "Throttle iteration did not preserve the reference throat area."},
        {ENGINE_YF100K, 0.8, 0.0, 0.0, 1.196, 0.0, 1.216, 0.0, 0.0, true, 74,
         "Throttle iteration did not reach the selected sea-level thrust."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.message);
        bend b = {{row.t_scale, row.below_t, row.full_t}, {row.gamma, row.below_gamma, row.full_gamma}, 0, 0, 0, {}};
        engine_case reference;
        for (int pass = row.split ? 0 : 1; pass < 2; ++pass) { // the unbent solution first
            reference = start(row.module, row.lambda, pass == 1 ? b : bend{});
            reference.p_c = row.p_c > 0.0 ? row.p_c : reference.p_c;
            shape.full_bar = reference.p_c / 1e5;
            ASSERT_TRUE(pass == 1 || solve(reference) == 1) << error;
            b.split_bar = operating.p_c / 1e5;
        }
        EXPECT_EQ(solve(reference), 0);
        EXPECT_STREQ(error, row.message);
        EXPECT_EQ(calls(library_shim::solve), row.evaluations);
    }
}

TEST_F(CaseSolver, ChamberFailuresPassTheirTextThrough)
{
    // The 100 % point, each bracket end, a pass and the final evaluation.
    const struct {
        int module;
        double lambda;
        int failing_solve;
    } rows[] = {
        {ENGINE_TQ12B, 1.0, 1},  {ENGINE_TQ12B, 0.9, 2},  {ENGINE_TQ12B, 0.9, 3},   {ENGINE_TQ12B, 0.75, 5},
        {ENGINE_YF100K, 0.8, 2}, {ENGINE_YF100K, 0.8, 3}, {ENGINE_YF100K, 0.8, 20},
    };
    for (const auto &row : rows) {
        const engine_case reference = start(row.module, row.lambda);
        fail(library_shim::solve, row.failing_solve, CEA_NOT_CONVERGED);
        set_error_text("scripted failure");
        EXPECT_EQ(solve(reference), 0);
        EXPECT_STREQ(error, "CEA HP equilibrium failed (CEA code 8): scripted failure");
        EXPECT_EQ(calls(library_shim::solve), row.failing_solve);
    }
}

} // namespace
