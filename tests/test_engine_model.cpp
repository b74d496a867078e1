// Ideal-nozzle model; its private functions are compiled in to reach the
// exit-Mach search.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "../src/engine_model.cpp"
#include "module_presets.h"

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

using lre_test::tq12b_preset_case;
using lre_test::tq15b_preset_case;
using lre_test::yf100k_preset_case;

// Chamber states of the reference equilibrium library (shared reference
// data, chamber_states.csv): CH4(L) at 14 MPa, K 2.9, 90 K / 111 K; RP-1 at
// 18.7 MPa and at 14 MPa, K 2.6, 90.17 K / 298.15 K.
const chamber_state methane_14mpa = {3495.8947032548217, 20.225656731778283, 1.2011414621323833};
const chamber_state rp1_18_7mpa = {3813.1592749692268, 23.801622120667453, 1.2062496810883154};
const chamber_state rp1_14mpa = {3771.8802865476864, 23.709618061758373, 1.207527250549473};

// yf100k at 100 %: its throat area and derived C_F efficiency, held by a
// throttled staged case.
const double yf100k_a_t_m2 = 0.039940057893404435;
const double yf100k_eta_c_f = 0.99822292075989971;

// The results record in field order.
double engine_results::*const result_fields[31] = {
    &engine_results::f_en,      &engine_results::m_dot_en,    &engine_results::m_dot_o_en, &engine_results::m_dot_f_en,
    &engine_results::m_dot,     &engine_results::m_dot_other, &engine_results::a_t,        &engine_results::a_e,
    &engine_results::p_e,       &engine_results::c_star_id,   &engine_results::c_star,     &engine_results::u_e_id,
    &engine_results::u_e,       &engine_results::c_f_v_id,    &engine_results::eta_c_f,    &engine_results::c_f_v,
    &engine_results::c_f_sl_id, &engine_results::c_f_sl,      &engine_results::p_a,        &engine_results::c_f_h_id,
    &engine_results::c_f_h,     &engine_results::f_v,         &engine_results::f_sl,       &engine_results::f_h,
    &engine_results::i_s_v,     &engine_results::i_s_sl,      &engine_results::i_s_h,      &engine_results::i_t_sl,
    &engine_results::i_t_v,     &engine_results::i_t_h,       &engine_results::i_t_en,
};

engine_case with_yf100k_fixed_throat()
{
    engine_case c = yf100k_preset_case();
    c.lambda = 0.9;
    c.p_c = 16500000.0;
    c.a_t_fixed = yf100k_a_t_m2;
    c.eta_c_f = yf100k_eta_c_f;
    c.epsilon = 30.0;
    c.h = 35000.0;
    c.t_b = 150.0;
    return c;
}

// Expected: tests/tools/engine_model_reference.py, an independent python3
// evaluation of the same formulas in IEEE double and operation order, so the
// tolerance is 0. The case and its chamber state are those of the reference
// document tq12b-throttle-60-alt-20km-burn-100s.json (12 digits), which it
// matches within 6e-12 relative. (The staged reference point is in the grid
// below, and test_text_report prints yf100k's reference report from it.)
const double tq12b_throttled_figures[31] = {
    600000.0,           208.81560675315936,  155.2731434831185,  53.54246327004086,  190.02220214537502,
    18.793404607784343, 0.04054735639711558, 0.8312208061408695, 40671.01891277732,  1838.2996998806357,
    1783.1507088842166, 3163.566329309203,   2971.262299167064,  1.8206918756707777, 0.97,
    1.7660711194006544, 1.5721265070007244,  1.5175057507306011, 5529.310921529727,  1.807127649589343,
    1.7525068933192196, 598412.402366505,    514188.9541842814,  593816.3240849075,  3149.170968499219,
    2705.941455151147,  3124.9839091466424,  51418895.41842814,  59841240.2366505,   59381632.408490755,
    60000000.0};

TEST(EngineCalculate, FiguresMatchIndependentCalculationToTheLastBit)
{
    engine_case input = tq12b_preset_case();
    input.lambda = 0.6;
    input.p_c = 8356604.58701;
    input.h = 20000.0;
    input.t_b = 100.0;
    const chamber_state chamber = {3446.89430889, 20.1309759772, 1.20270679954};
    engine_results results{};
    ASSERT_EQ(engine_calculate(&input, &chamber, &results), 1);
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(results.*result_fields[i], tq12b_throttled_figures[i]) << "field " << i;
    }
}

// A rounding step in another order changes a bit in only some cases: a grid
// of 4320 cases against the same grid in tests/tools/engine_model_reference.py,
// through FNV-1a 64 over the 31 results of each accepted case (0xff if
// refused).
struct grid_engine {
    std::int32_t cycle;
    double lambda, k_en, beta, a_t_fixed, eta_c_f, p_atm, thrust_ref, isp_ref, eta_c_star;
};

void digest_bytes(const void *data, std::size_t size, std::uint64_t *digest)
{
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < size; ++i) {
        *digest = (*digest ^ bytes[i]) * 0x100000001b3ULL;
    }
}

TEST(EngineCalculate, CaseGridMatchesIndependentCalculationToTheLastBit)
{
    // Reference library chamber states (chamber_states.csv).
    const chamber_state chambers[] = {
        {3495.8947032548217, 20.225656731778283, 1.2011414621323833},
        {3813.1592749692268, 23.801622120667453, 1.2062496810883154},
        {1087.6455928596765, 12.569647035387595, 1.288916327082665},
        {2531.0156516753996, 15.989649245720344, 1.2418869392293637},
        {3563.7282403659283, 22.18800294159487, 1.195844356555209},
        {3562.139201036123, 20.354881887614212, 1.1990493336628096},
        {3162.088702505379, 28.863295273156993, 1.2097779054307316},
        {1622.890038488391, 16.244643611339594, 1.2728339858091027},
        {3897.269879680678, 26.726651947724093, 1.195912730964147},
    };
    const double pressures_pa[] = {5e6, 9.35e6, 18.7e6, 23.375e6};
    const double area_ratios[] = {6.5, 20.5, 27.3, 50.0};
    const double altitudes_m[] = {0.0, 30500.0, 86000.0};
    const double burns_s[] = {0.0, 77.7};
    const grid_engine engines[] = {
        {CYCLE_GAS_GENERATOR, 0.4, 2.9, 0.09, 0.0, 0.97, 101325.0, 1e6, 293.0 * 9.80665, 0.97},
        {CYCLE_GAS_GENERATOR, 1.1, 2.9, 0.05, 0.0, 0.93, 0.0, 1183000.0, 3500.0, 0.97},
        {CYCLE_STAGED_COMBUSTION, 1.0, 2.6, 0.0, 0.0, 0.0, 101325.0, 1250000.0, 2958.0, 0.995},
        {CYCLE_STAGED_COMBUSTION, 1.0, 2.6, 0.0, 0.0, 0.0, 101325.0, 1250000.0, 2500.0, 0.96},
        {CYCLE_STAGED_COMBUSTION, 0.8, 2.6, 0.0, 0.0399, 0.9982, 101325.0, 1250000.0, 2958.0, 0.995},
    };
    std::uint64_t digest = 0xcbf29ce484222325ULL;
    int accepted = 0;
    for (const grid_engine &e : engines) {
        for (const chamber_state &chamber : chambers) {
            for (double p_c : pressures_pa) {
                for (double epsilon : area_ratios) {
                    for (double h : altitudes_m) {
                        for (double t_b : burns_s) {
                            const engine_case input = {
                                e.cycle, e.thrust_ref, e.isp_ref, e.lambda, e.k_en, e.k_en, e.beta, p_c,  e.a_t_fixed,
                                epsilon, e.eta_c_star, e.eta_c_f, e.p_atm,  h,      t_b,    90.0,   111.0};
                            engine_results r{};
                            if (engine_calculate(&input, &chamber, &r)) {
                                ++accepted;
                                for (double engine_results::*field : result_fields) {
                                    digest_bytes(&(r.*field), sizeof(double), &digest);
                                }
                            } else {
                                const unsigned char refused = 0xff;
                                digest_bytes(&refused, 1, &digest);
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(accepted, 3204);
    EXPECT_EQ(digest, 0xbae26775b2f35bb7ULL);
}

// Relations that hold whatever the chamber state (closed forms).
TEST(EngineCalculate, CycleRelations)
{
    engine_results r{};
    const engine_case tq12b = tq12b_preset_case();
    ASSERT_EQ(engine_calculate(&tq12b, &methane_14mpa, &r), 1);
    EXPECT_DOUBLE_EQ(r.m_dot_en * tq12b.isp_ref, r.f_en);
    EXPECT_DOUBLE_EQ(r.m_dot + r.m_dot_other, r.m_dot_en);
    // h = 0 is the reference sea level: altitude figures equal sea-level ones.
    EXPECT_EQ(r.p_a, 101325.0);
    EXPECT_EQ(r.f_h, r.f_sl);
    EXPECT_EQ(r.i_t_sl, 0.0);
    EXPECT_EQ(r.i_t_en, 0.0);

    const engine_case tq15b = tq15b_preset_case();
    ASSERT_EQ(engine_calculate(&tq15b, &methane_14mpa, &r), 1);
    EXPECT_EQ(r.c_f_sl, r.c_f_v);
    EXPECT_EQ(r.f_sl, r.f_v);
    EXPECT_EQ(r.i_s_sl, r.i_s_v);

    const engine_case yf100k = yf100k_preset_case();
    ASSERT_EQ(engine_calculate(&yf100k, &rp1_18_7mpa, &r), 1);
    EXPECT_NEAR(r.f_sl, yf100k.thrust_ref, 1e-9);
    EXPECT_GT(r.eta_c_f, 0.99);

    const engine_case held = with_yf100k_fixed_throat();
    ASSERT_EQ(engine_calculate(&held, &rp1_14mpa, &r), 1);
    EXPECT_EQ(r.a_t, held.a_t_fixed);
    EXPECT_EQ(r.m_dot_en, held.a_t_fixed * held.p_c / r.c_star);
    EXPECT_EQ(r.eta_c_f, held.eta_c_f);
}

TEST(ExitMach, AreaRatioAndSearch)
{
    // (1/2) * ((2/2.4) * 1.8)^3 = 1.6875 exactly in closed form.
    EXPECT_DOUBLE_EQ(area_ratio_at_mach(2.0, 1.4), 1.6875);
    double mach = 0.0;
    ASSERT_EQ(find_exit_mach(20.5, 1.4, &mach), 1);
    EXPECT_NEAR(mach, 4.7554, 5e-5);
    // A(1024) at gamma 1.4 is 174763.5^3 / 1024 (python3: 5212574134475.853).
    const double largest_ratio = 174763.5 * 174763.5 * 174763.5 / 1024.0;
    ASSERT_EQ(find_exit_mach(largest_ratio * (1.0 - 1e-12), 1.4, &mach), 1);
    EXPECT_NEAR(mach, 1024.0, 1e-6);
    mach = -1.0;
    EXPECT_EQ(find_exit_mach(largest_ratio * (1.0 + 1e-12), 1.4, &mach), 0);
    EXPECT_EQ(mach, -1.0);
}

enum base_case { TQ12B, TQ15B, YF100K, YF100K_LOW_ISP, YF100K_HELD_THROAT };

void make_base(base_case base, engine_case *input, chamber_state *chamber)
{
    *input = base == TQ12B ? tq12b_preset_case() : base == TQ15B ? tq15b_preset_case() : yf100k_preset_case();
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
    engine_case input = tq12b_preset_case();
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
