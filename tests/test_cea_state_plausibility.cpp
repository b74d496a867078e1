// A converged state is a plausible one: its temperature lies where the
// database has data, its properties are finite, and a reactant present in a
// trace changes it by no more than its trace. Each case is an input on which
// fuzz_cea_operations found the library reporting otherwise.
//
// The cases are disabled (DISABLED_) until the library is mended; run them
// with --gtest_also_run_disabled_tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cea_bindc.h"

namespace {

// Every C-H-O species of the products part has fits between 200 K and
// 20000 K at the widest.
const double data_min_temperature_k = 200.0;
const double data_max_temperature_k = 20000.0;
const double gas_constant_kj_kmol_k = 8.31451;

struct lox_methane {
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;

    lox_methane()
    {
        const char *const names[2] = {"O2(L)", "CH4(L)"};
        EXPECT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
        EXPECT_EQ(cea_mixture_create(&reactants, 2, names), CEA_OK);
        EXPECT_EQ(cea_mixture_create_from_reactants(&products, 2, names, 0, nullptr), CEA_OK);
        EXPECT_EQ(cea_eqsolver_create_with_reactants(&solver, products, reactants), CEA_OK);
        EXPECT_EQ(cea_eqsolution_create(&solution, solver), CEA_OK);
    }
    ~lox_methane()
    {
        cea_eqsolution_destroy(&solution);
        cea_eqsolver_destroy(&solver);
        cea_mixture_destroy(&products);
        cea_mixture_destroy(&reactants);
    }

    // 1 when the solve ran and converged.
    int solve(int type, double state1, double p_bar, double oxygen, double methane)
    {
        const double amounts[2] = {oxygen, methane};
        int converged = 0;
        return cea_eqsolver_solve(solver, type, state1, p_bar, amounts, solution) == CEA_OK &&
               cea_eqsolution_get_converged(solution, &converged) == CEA_OK && converged == 1;
    }

    double property(int selector)
    {
        double value = std::nan("");
        EXPECT_EQ(cea_eqsolution_get_property(solution, selector, &value), CEA_OK) << "property " << selector;
        return value;
    }
};

// Outside its intervals a fit is an extrapolated polynomial: at 103.86 K
// and 98 kbar the frozen cp came out negative, at 29000 K near 3900 kJ/(kg K).
TEST(state_plausibility, DISABLED_no_converged_state_outside_the_data)
{
    lox_methane c;
    const struct {
        int type;
        double state1; // K, or h/R in kmol K/kg
        double p_bar;
        double oxygen;
        double methane;
    } cases[] = {
        {CEA_TP, 103.86184149655936, 97996.553813976876, 0.75, 0.25},
        {CEA_TP, 150.0, 1.0, 0.75, 0.25},
        {CEA_TP, 20001.0, 1.0, 0.75, 0.25},
        {CEA_TP, 29000.0, 1.0, 0.75, 0.25},
        {CEA_HP, -20.0, 1.0, 1.0, 0.0}, // oxygen alone converged at 114 K
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(testing::Message() << (k.type == CEA_TP ? "TP " : "HP ") << k.state1 << ", " << k.p_bar << " bar");
        if (c.solve(k.type, k.state1, k.p_bar, k.oxygen, k.methane)) {
            const double t = c.property(CEA_TEMPERATURE);
            EXPECT_GE(t, data_min_temperature_k);
            EXPECT_LE(t, data_max_temperature_k);
        }
    }
}

// At 1.8e308 bar the volume underflowed to 0 and the density was infinite.
TEST(state_plausibility, DISABLED_every_property_of_a_converged_state_is_finite)
{
    lox_methane c;
    // The inlet enthalpy at k = 3 (oxygen at 90.17 K, methane at 111.643 K).
    const double h_over_r = -203.83427355581409;
    if (c.solve(CEA_HP, h_over_r, std::numeric_limits<double>::max(), 0.75, 0.25)) {
        for (int selector = CEA_TEMPERATURE; selector <= CEA_FROZEN_CV; ++selector) {
            EXPECT_TRUE(std::isfinite(c.property(selector))) << "property " << selector;
        }
    }
}

// Fuel at a weight of 1e-12 (or 1e-300) moved the enthalpy of oxygen at
// h/R = 1 kmol K/kg by 4e-6 of itself: the trace elements were out of
// balance by far more than their trace.
TEST(state_plausibility, DISABLED_a_trace_reactant_keeps_the_balances)
{
    lox_methane c;
    for (const double trace : {1e-12, 1e-300}) {
        SCOPED_TRACE(trace);
        ASSERT_TRUE(c.solve(CEA_HP, 1.0, 1.0, 1.0, 0.0));
        const double oxygen_m = c.property(CEA_M);
        ASSERT_TRUE(c.solve(CEA_HP, 1.0, 1.0, 1.0, trace));
        EXPECT_NEAR(c.property(CEA_ENTHALPY), gas_constant_kj_kmol_k, 1e-10 * gas_constant_kj_kmol_k);
        EXPECT_NEAR(c.property(CEA_M), oxygen_m, 1e-10 * oxygen_m);
    }
}

} // namespace
