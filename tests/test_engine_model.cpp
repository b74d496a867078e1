// Ideal-nozzle model: every input rule, with the accepted limits next to the
// refusals (the golden reports hold the figures).
#include "engine_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "engine_modules.h"

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

// The reference library's chamber states: CH4(L) at 14 MPa, K 2.9,
// 90 K / 111 K; RP-1 at 18.7 MPa and 14 MPa, K 2.6, 90.17 K / 298.15 K.
const chamber_state methane_14mpa = {3495.8947032548217, 20.225656731778283, 1.2011414621323833};
const chamber_state rp1_18_7mpa = {3813.1592749692268, 23.801622120667453, 1.2062496810883154};
const chamber_state rp1_14mpa = {3771.8802865476864, 23.709618061758373, 1.207527250549473};

engine_case preset(int module)
{
    engine_case c;
    set_defaults(module, &c);
    return c;
}

// yf100k throttled through its 100 % throat and derived C_F efficiency.
engine_case with_yf100k_fixed_throat()
{
    engine_case c = preset(ENGINE_YF100K);
    c.lambda = 0.9;
    c.p_c = 16500000.0;
    c.a_t_fixed = 0.039940057893404435;
    c.eta_c_f = 0.99822292075989971;
    c.epsilon = 30.0;
    c.h = 35000.0;
    c.t_b = 150.0;
    return c;
}

enum base_case { TQ12B, TQ15B, YF100K, YF100K_LOW_ISP, YF100K_HELD_THROAT };

void make_base(base_case base, engine_case *input, chamber_state *chamber)
{
    *input = preset(base == TQ12B ? ENGINE_TQ12B : base == TQ15B ? ENGINE_TQ15B : ENGINE_YF100K);
    *chamber = base <= TQ15B ? methane_14mpa : rp1_18_7mpa;
    if (base == YF100K_LOW_ISP) {
        input->isp_ref = 2500.0;
    } else if (base == YF100K_HELD_THROAT) {
        *input = with_yf100k_fixed_throat();
        *chamber = rp1_14mpa;
    }
}

struct rule_row {
    base_case base;
    const char *what;
    double engine_case::*field; // nullptr: chamber_field changes instead
    double chamber_state::*chamber_field;
    double value;
    int accepted;
};

// One change from a valid case per rule, the refusals that only the
// calculation finds, and the accepted limits next to them.
const rule_row rule_rows[] = {
    {TQ12B, "thrust_ref 0", &engine_case::thrust_ref, nullptr, 0.0, 0},
    {TQ12B, "isp_ref negative", &engine_case::isp_ref, nullptr, -1.0, 0},
    {TQ12B, "k_en 0", &engine_case::k_en, nullptr, 0.0, 0},
    {TQ12B, "k negative zero", &engine_case::k, nullptr, -0.0, 0},
    {TQ12B, "beta negative", &engine_case::beta, nullptr, -0.01, 0},
    {TQ12B, "beta 1", &engine_case::beta, nullptr, 1.0, 0},
    {TQ12B, "p_c 0", &engine_case::p_c, nullptr, 0.0, 0},
    {TQ12B, "a_t_fixed negative", &engine_case::a_t_fixed, nullptr, -1e-9, 0},
    {TQ12B, "epsilon 1", &engine_case::epsilon, nullptr, 1.0, 0},
    {TQ12B, "eta_c_star 0", &engine_case::eta_c_star, nullptr, 0.0, 0},
    {TQ12B, "eta_c_star above 1", &engine_case::eta_c_star, nullptr, 1.0000001, 0},
    {TQ12B, "p_atm negative", &engine_case::p_atm, nullptr, -1.0, 0},
    {TQ12B, "p_atm equal to p_c", &engine_case::p_atm, nullptr, 14000000.0, 0},
    {TQ12B, "t_b negative", &engine_case::t_b, nullptr, -1.0, 0},
    {TQ12B, "t_o 0", &engine_case::t_o, nullptr, 0.0, 0},
    {TQ12B, "t_f negative", &engine_case::t_f, nullptr, -5.0, 0},
    {TQ12B, "t_c 0", nullptr, &chamber_state::t_c, 0.0, 0},
    {TQ12B, "m_r 0", nullptr, &chamber_state::m_r, 0.0, 0},
    {TQ12B, "gamma 1", nullptr, &chamber_state::gamma, 1.0, 0},
    {TQ12B, "gas generator beta 0", &engine_case::beta, nullptr, 0.0, 0},
    {TQ12B, "gas generator eta_c_f 0", &engine_case::eta_c_f, nullptr, 0.0, 0},
    {TQ12B, "gas generator eta_c_f above 1", &engine_case::eta_c_f, nullptr, 1.01, 0},
    {TQ12B, "gas generator eta_c_f 1", &engine_case::eta_c_f, nullptr, 1.0, 1},
    {TQ12B, "gas generator lambda 0.39", &engine_case::lambda, nullptr, 0.39, 0},
    {TQ12B, "gas generator lambda 0.4", &engine_case::lambda, nullptr, 0.4, 1},
    {TQ12B, "gas generator lambda 1.1", &engine_case::lambda, nullptr, 1.1, 1},
    {TQ12B, "gas generator lambda 1.11", &engine_case::lambda, nullptr, 1.11, 0},
    {TQ12B, "area ratio beyond Mach 1024", &engine_case::epsilon, nullptr, 1e20, 0},
    {TQ12B, "altitude below 0", &engine_case::h, nullptr, -1.0, 0},
    {TQ12B, "altitude 86 km", &engine_case::h, nullptr, 86000.0, 1},
    {TQ12B, "altitude above 86 km", &engine_case::h, nullptr, 86001.0, 0},
    {TQ12B, "over-expanded at p_atm", &engine_case::p_c, nullptr, 1000000.0, 0},
    // Fine in vacuum, but the standard atmosphere at h = 0 over-expands it.
    {TQ15B, "over-expanded at p_a only", &engine_case::p_c, nullptr, 2000000.0, 0},
    // An overflowing total impulse would print as inf in both reports.
    {TQ12B, "long burn, finite impulse", &engine_case::t_b, nullptr, 1e290, 1},
    {TQ12B, "total impulse overflows", &engine_case::t_b, nullptr, 1e305, 0},
    {YF100K, "staged beta not 0", &engine_case::beta, nullptr, 0.01, 0},
    {YF100K, "staged p_atm 0", &engine_case::p_atm, nullptr, 0.0, 0},
    {YF100K, "staged k 2e-12 from k_en", &engine_case::k, nullptr, 2.6 + 2e-12, 0},
    // Since p_c * a_t = c* * thrust_ref / isp_ref, a high isp_ref or a low
    // c* pushes the derived efficiency above 1.
    {YF100K, "staged derived eta_c_f above 1 (isp_ref)", &engine_case::isp_ref, nullptr, 3300.0, 0},
    {YF100K, "staged derived eta_c_f above 1 (c*)", &engine_case::eta_c_star, nullptr, 0.85, 0},
    // At isp_ref 2500 the derived efficiency would stay below 1 at 90 %, so
    // only the rule that a thrust-sized staged throat exists at 100 % alone
    // refuses it.
    {YF100K_LOW_ISP, "staged lambda 0.9, thrust-sized throat", &engine_case::lambda, nullptr, 0.9, 0},
    {YF100K_HELD_THROAT, "staged lambda 0.64", &engine_case::lambda, nullptr, 0.64, 0},
    {YF100K_HELD_THROAT, "staged lambda 0.65", &engine_case::lambda, nullptr, 0.65, 1},
    {YF100K_HELD_THROAT, "staged lambda 1.05", &engine_case::lambda, nullptr, 1.05, 1},
    {YF100K_HELD_THROAT, "staged lambda 1.06", &engine_case::lambda, nullptr, 1.06, 0},
    {YF100K_HELD_THROAT, "staged k 5e-13 from k_en", &engine_case::k, nullptr, 2.6 + 5e-13, 1},
    {YF100K_HELD_THROAT, "held throat eta_c_f 0", &engine_case::eta_c_f, nullptr, 0.0, 0},
    {YF100K_HELD_THROAT, "held throat eta_c_f above 1", &engine_case::eta_c_f, nullptr, 1.01, 0},
};

// A refusal leaves the results record exactly as it was.
void expect_outcome(const engine_case &input, const chamber_state &chamber, int accepted, const std::string &what)
{
    engine_results before;
    std::memset(&before, 0x5a, sizeof before);
    engine_results results = before;
    EXPECT_EQ(engine_calculate(&input, &chamber, &results), accepted) << what;
    if (!accepted) {
        EXPECT_EQ(std::memcmp(&results, &before, sizeof results), 0) << what << ": results changed";
    }
}

TEST(EngineCalculate, EveryRuleRefusesAndLeavesResultsUntouched)
{
    for (const rule_row &row : rule_rows) {
        engine_case input;
        chamber_state chamber;
        make_base(row.base, &input, &chamber);
        expect_outcome(input, chamber, 1, std::string(row.what) + " (unchanged base)");
        if (row.field != nullptr) {
            input.*row.field = row.value;
        } else {
            chamber.*row.chamber_field = row.value;
        }
        expect_outcome(input, chamber, row.accepted, row.what);
    }
}

TEST(EngineCalculate, NonFiniteInEveryFieldIsRefused)
{
    double engine_case::*const case_fields[] = {
        &engine_case::thrust_ref, &engine_case::isp_ref,    &engine_case::lambda,  &engine_case::k_en,
        &engine_case::k,          &engine_case::beta,       &engine_case::p_c,     &engine_case::a_t_fixed,
        &engine_case::epsilon,    &engine_case::eta_c_star, &engine_case::eta_c_f, &engine_case::p_atm,
        &engine_case::h,          &engine_case::t_b,        &engine_case::t_o,     &engine_case::t_f,
    };
    double chamber_state::*const chamber_fields[] = {&chamber_state::t_c, &chamber_state::m_r, &chamber_state::gamma};
    for (base_case base : {TQ12B, TQ15B, YF100K, YF100K_HELD_THROAT}) {
        for (double bad : {nan_value, inf, -inf}) {
            for (int i = 0; i < 19; ++i) { // the 16 case doubles, then the 3 chamber fields
                engine_case input;
                chamber_state chamber;
                make_base(base, &input, &chamber);
                (i < 16 ? input.*case_fields[i] : chamber.*chamber_fields[i - 16]) = bad;
                expect_outcome(input, chamber, 0,
                               "base " + std::to_string(base) + ", value " + std::to_string(bad) + ", field #" +
                                   std::to_string(i));
            }
        }
    }
}

TEST(EngineCalculate, RefusesNullRecordsAndUnknownCycle)
{
    engine_case input = preset(ENGINE_TQ12B);
    engine_results results{};
    EXPECT_EQ(engine_calculate(nullptr, &methane_14mpa, &results), 0);
    EXPECT_EQ(engine_calculate(&input, nullptr, &results), 0);
    EXPECT_EQ(engine_calculate(&input, &methane_14mpa, nullptr), 0);
    for (std::int32_t cycle : {-1, 2}) {
        input.cycle = cycle;
        expect_outcome(input, methane_14mpa, 0, "cycle " + std::to_string(cycle));
    }
}

} // namespace
