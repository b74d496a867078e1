// The case solver over the scripted library: evaluation counts, where the
// bisection ends, every failure message.
#include "case_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cea_double.h"
#include "engine_model.h"
#include "engine_modules.h"

namespace {

// The first solve (the 100 % point) gets `first`; later ones `below` or
// `above` the split pressure.
struct scripted_states {
    cea_double_state first;
    cea_double_state below;
    cea_double_state above;
    double split_bar;
    int solves;
};

void scripted_state(double p_bar, const double *, cea_double_state *state, void *user)
{
    scripted_states *script = static_cast<scripted_states *>(user);
    script->solves += 1;
    if (script->solves == 1) {
        *state = script->first;
    } else {
        *state = p_bar < script->split_bar ? script->below : script->above;
    }
}

// The double's fixed state: T 3500 K, M 21.5 kg/kmol, cp/cv 2.0/1.6.
const cea_double_state fixed_state = {3500.0, 21.5, 2.0, 1.6, 1};
// Near YF-100K's real chamber state: the fixed state's c* is too low for the
// staged reference point (its derived C_F efficiency would exceed 1).
const cea_double_state yf_state = {3813.0, 23.8, 2.043, 1.6937, 1};

cea_double_state module_state(int module) { return module == ENGINE_YF100K ? yf_state : fixed_state; }

cea_double_state with_gamma(cea_double_state state, double gamma)
{
    state.cp = gamma;
    state.cv = 1.0;
    return state;
}

// One evaluation at the case's own p_c, as the solver makes it.
int evaluate(cea_chamber *chamber, const engine_case *engine, chamber_state *state, engine_results *results,
             char *error, int error_size)
{
    return cea_chamber_solve(chamber, engine->p_c, engine->k, engine->t_o, engine->t_f, state, error, error_size) &&
           engine_calculate(engine, state, results);
}

cea_double_state with_temperature(cea_double_state state, double t_c)
{
    state.t_c = t_c;
    return state;
}

class CaseSolver : public ::testing::Test {
protected:
    void SetUp() override { restart(ENGINE_TQ12B); }
    void TearDown() override { cea_chamber_close(&chamber); }

    // A fresh script in the module's state and a freshly opened chamber.
    void restart(int module)
    {
        cea_chamber_close(&chamber);
        cea_double_reset();
        const cea_double_state base = module_state(module);
        cea_double_set_state(base.t_c, base.m_r, base.cp, base.cv);
        ASSERT_EQ(cea_chamber_open(&chamber, "thermo.inp", 0, error, sizeof error), 1);
    }

    engine_case module_case(int module, double lambda)
    {
        engine_case reference;
        set_defaults(module, &reference);
        reference.lambda = lambda;
        return reference;
    }

    int solve(const engine_case &reference)
    {
        std::snprintf(error, sizeof error, "%s", "stale text");
        return calculate_case(&chamber, &reference, &operating, &state, &results, error, sizeof error);
    }

    int evaluations() const { return cea_double_calls(CEA_DOUBLE_EQSOLVER_SOLVE); }

    // Pressures (Pa) of every solve, in order.
    std::vector<double> solve_pressures() const
    {
        std::vector<double> pressures;
        for (int i = 0; i < cea_double_log_size(); ++i) {
            const cea_double_call call = cea_double_log_entry(i);
            if (call.op == CEA_DOUBLE_EQSOLVER_SOLVE) {
                pressures.push_back(call.value * 100000.0);
            }
        }
        return pressures;
    }

    // The solution pressure of the case under the double's fixed state.
    double fixed_state_solution(const engine_case &reference)
    {
        EXPECT_EQ(solve(reference), 1) << error;
        const double p_c = operating.p_c;
        restart(reference.cycle == CYCLE_STAGED_COMBUSTION ? ENGINE_YF100K : ENGINE_TQ12B);
        return p_c;
    }

    cea_chamber chamber = {};
    char error[error_buffer_size] = {0};
    engine_case operating = {};
    chamber_state state = {};
    engine_results results = {};
};

TEST_F(CaseSolver, OneEvaluationAtOrWithinTheUnthrottledTolerance)
{
    const struct {
        int module;
        double lambda;
    } cases[] = {
        {ENGINE_TQ12B, 1.0}, {ENGINE_TQ12B, 1.0 - 5e-13}, {ENGINE_TQ12B, 1.0 + 9e-13},
        {ENGINE_TQ15B, 1.0}, {ENGINE_YF100K, 1.0},        {ENGINE_YF100K, 1.0 + 5e-13},
    };
    for (const auto &c : cases) {
        restart(c.module);
        const engine_case reference = module_case(c.module, c.lambda);
        SCOPED_TRACE("module " + std::to_string(c.module) + ", lambda - 1 = " + std::to_string(c.lambda - 1.0));
        ASSERT_EQ(solve(reference), 1) << error;
        EXPECT_EQ(evaluations(), 1);
        EXPECT_EQ(operating.lambda, 1.0);
        EXPECT_EQ(operating.p_c, reference.p_c);
        EXPECT_EQ(operating.a_t_fixed, 0.0); // a staged 100 % point sizes its throat
        EXPECT_EQ(results.f_en, reference.thrust_ref);
        EXPECT_STREQ(error, ""); // the chamber solve emptied it
    }
}

// Under a fixed chamber state the gas-generator throat goes as lambda / p_c,
// so its solution is lambda * p_ref; no setting here lands a pass on it.
TEST_F(CaseSolver, ThrottledCasesHoldWhatTheirCycleHolds)
{
    const struct {
        int module;
        double lambda;
    } cases[] = {
        {ENGINE_TQ12B, 1.0 + 2e-12}, {ENGINE_TQ12B, 0.4},  {ENGINE_TQ12B, 0.6},   {ENGINE_TQ12B, 1.1},
        {ENGINE_YF100K, 0.65},       {ENGINE_YF100K, 0.8}, {ENGINE_YF100K, 1.05},
    };
    for (const auto &c : cases) {
        const bool staged = c.module == ENGINE_YF100K;
        restart(c.module);
        const engine_case reference = module_case(c.module, c.lambda);
        SCOPED_TRACE("module " + std::to_string(c.module) + ", lambda " + std::to_string(c.lambda));
        ASSERT_EQ(solve(reference), 1) << error;
        engine_case full_case = reference;
        full_case.lambda = 1.0;
        engine_results full;
        chamber_state full_state;
        ASSERT_EQ(evaluate(&chamber, &full_case, &full_state, &full, error, sizeof error), 1);

        EXPECT_EQ(operating.lambda, c.lambda);
        if (staged) {
            const double target = reference.thrust_ref * c.lambda;
            EXPECT_LE(std::fabs(results.f_sl - target), 1e-6 * target);
            EXPECT_EQ(results.a_t, full.a_t);
            EXPECT_EQ(operating.a_t_fixed, full.a_t);
            EXPECT_EQ(operating.eta_c_f, full.eta_c_f);
        } else {
            EXPECT_NEAR(operating.p_c, c.lambda * reference.p_c, 1e-6 * reference.p_c);
            EXPECT_LE(std::fabs(results.a_t - full.a_t), 1e-6 * full.a_t);
            EXPECT_EQ(results.f_en, c.lambda * reference.thrust_ref);
            EXPECT_EQ(operating.eta_c_f, reference.eta_c_f);
            EXPECT_EQ(operating.a_t_fixed, 0.0);
        }

        // 100 %, the two bracket ends, the passes and the final midpoint;
        // the last entry is the 100 % evaluation made above.
        const std::vector<double> pressures = solve_pressures();
        ASSERT_GE(pressures.size(), 6u);
        EXPECT_LE(pressures.size() - 1, staged ? 74u : 64u);
        EXPECT_EQ(pressures[1], (staged ? 0.5 : 0.2) * reference.p_c);
        EXPECT_EQ(pressures[2], (staged ? 1.25 : 1.3) * reference.p_c);
        const double final_pressure = pressures[pressures.size() - 2];
        EXPECT_EQ(final_pressure, operating.p_c);
        EXPECT_NE(final_pressure, pressures[pressures.size() - 3]); // a new midpoint, not the last pass
    }
}

// The first pass lands on the solution (gas generator: 0.75 p_ref at 75 %;
// staged: 0.875 p_ref, at the setting that makes it one). The final midpoint
// of the still wide bracket misses: the settled pass point is the answer.
TEST_F(CaseSolver, EarlySettledPassIsKeptWhenTheFinalMidpointMisses)
{
    restart(ENGINE_YF100K);
    engine_case held = module_case(ENGINE_YF100K, 1.0);
    engine_results full;
    ASSERT_EQ(evaluate(&chamber, &held, &state, &full, error, sizeof error), 1) << error;
    const double first_pass = 0.5 * (0.5 * held.p_c + 1.25 * held.p_c);
    held.a_t_fixed = full.a_t;
    held.eta_c_f = full.eta_c_f;
    held.lambda = 0.8;
    held.p_c = first_pass;
    ASSERT_EQ(evaluate(&chamber, &held, &state, &results, error, sizeof error), 1) << error;
    const double staged_hit_lambda = results.f_sl / held.thrust_ref;

    const struct {
        int module;
        double lambda;
        double first_pass;
        double final_midpoint;
    } cases[] = {
        {ENGINE_TQ12B, 0.75, 10500000.0, 0.5 * (2800000.0 + 10500000.0)},
        {ENGINE_YF100K, staged_hit_lambda, first_pass, 0.0},
    };
    for (const auto &c : cases) {
        restart(c.module);
        const engine_case reference = module_case(c.module, c.lambda);
        SCOPED_TRACE("module " + std::to_string(c.module));
        ASSERT_EQ(solve(reference), 1) << error;
        EXPECT_EQ(evaluations(), 5); // 100 %, two ends, one pass, final
        EXPECT_EQ(operating.p_c, c.first_pass);
        const std::vector<double> pressures = solve_pressures();
        EXPECT_EQ(pressures[3], c.first_pass);
        EXPECT_NE(pressures[4], c.first_pass);
        if (c.final_midpoint > 0.0) {
            EXPECT_EQ(pressures[4], c.final_midpoint);
        }
        EXPECT_EQ(operating.lambda, c.lambda);
    }
}

// Scripted states that defeat the search. Bracket ends: a far colder or
// hotter chamber keeps the throat too small or too large; a far lower C_F
// cannot reach 105 %; a hot gamma-3 reference point derives a small C_F
// efficiency and a nearly isothermal gas later doubles C_F, so the low end
// already exceeds 65 % (only the 100 % point and the low end are evaluated).
// A state that jumps across the solution (split at the fixed-state solution)
// defeats the early stop: every pass runs, then acceptance fails.
TEST_F(CaseSolver, ScriptedStatesThatDefeatTheSearch)
{
    const char *const throat_bracket = "Could not bracket chamber pressure while preserving throat area.";
    const cea_double_state gamma_101 = with_gamma(fixed_state, 1.01);
    const cea_double_state hot_gamma_3 = {20000.0, 21.5, 3.0, 1.0, 1};
    const struct {
        int module;
        double lambda, p_c; // p_c 0: the preset
        cea_double_state first, below, above;
        bool split_at_solution;
        int evaluations;
        const char *message;
    } cases[] = {
        {ENGINE_TQ12B, 0.75, 0.0, fixed_state, with_temperature(fixed_state, 35.0), with_temperature(fixed_state, 35.0),
         false, 3, throat_bracket},
        {ENGINE_TQ12B, 0.75, 0.0, fixed_state, with_temperature(fixed_state, 350000.0),
         with_temperature(fixed_state, 350000.0), false, 3, throat_bracket},
        {ENGINE_YF100K, 1.05, 0.0, yf_state, with_gamma(yf_state, 3.0), with_gamma(yf_state, 3.0), false, 3,
         "Could not bracket the selected sea-level thrust above the target."},
        {ENGINE_YF100K, 0.65, 100000000.0, hot_gamma_3, gamma_101, gamma_101, false, 2,
         "Could not bracket the selected sea-level thrust below the target."},
        // Hotter below the solution (larger throat), cooler above.
        {ENGINE_TQ12B, 0.9, 0.0, fixed_state, with_temperature(fixed_state, 3500.0 * 1.02),
         with_temperature(fixed_state, 3500.0 * 0.98), true, 64,
         "Throttle iteration did not preserve the reference throat area."},
        // Higher gamma below the solution (lower C_F), lower above.
        {ENGINE_YF100K, 0.8, 0.0, yf_state, with_gamma(yf_state, 1.216), with_gamma(yf_state, 1.196), true, 74,
         "Throttle iteration did not reach the selected sea-level thrust."},
    };
    for (const auto &c : cases) {
        restart(c.module);
        engine_case reference = module_case(c.module, c.lambda);
        reference.p_c = c.p_c > 0.0 ? c.p_c : reference.p_c;
        const double split_bar = c.split_at_solution ? fixed_state_solution(reference) / 100000.0 : 0.0;
        scripted_states script = {c.first, c.below, c.above, split_bar, 0};
        cea_double_set_state_function(scripted_state, &script);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(solve(reference), 0);
        EXPECT_STREQ(error, c.message);
        EXPECT_EQ(evaluations(), c.evaluations);
    }
}

TEST_F(CaseSolver, ChamberFailuresPassTheirTextThrough)
{
    // The 100 % point, each bracket end, a pass and the final evaluation.
    const struct {
        int module;
        double lambda;
        int failing_solve;
    } cases[] = {
        {ENGINE_TQ12B, 1.0, 1},  {ENGINE_TQ12B, 0.9, 2},  {ENGINE_TQ12B, 0.9, 3},   {ENGINE_TQ12B, 0.75, 5},
        {ENGINE_YF100K, 0.8, 2}, {ENGINE_YF100K, 0.8, 3}, {ENGINE_YF100K, 0.8, 20},
    };
    for (const auto &c : cases) {
        restart(c.module);
        cea_double_fail(CEA_DOUBLE_EQSOLVER_SOLVE, c.failing_solve, CEA_NOT_CONVERGED);
        cea_double_set_error("scripted failure", -1);
        SCOPED_TRACE("solve " + std::to_string(c.failing_solve));
        EXPECT_EQ(solve(module_case(c.module, c.lambda)), 0);
        EXPECT_STREQ(error, "CEA HP equilibrium failed (CEA code 8): scripted failure");
        EXPECT_EQ(evaluations(), c.failing_solve);
    }

    restart(ENGINE_TQ12B);
    cea_double_set_converged(0);
    EXPECT_EQ(solve(module_case(ENGINE_TQ12B, 1.0)), 0);
    EXPECT_STREQ(error, "CEA HP equilibrium did not converge");
}

TEST_F(CaseSolver, MessagesAreCutToTheBuffer)
{
    char small[16];
    engine_case reference = module_case(ENGINE_TQ12B, 0.75);
    reference.eta_c_f = 1.5;
    EXPECT_EQ(calculate_case(&chamber, &reference, &operating, &state, &results, small, sizeof small), 0);
    EXPECT_STREQ(small, "Invalid or phys");
}

} // namespace
