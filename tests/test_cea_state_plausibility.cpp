// A converged state is a plausible one: its temperature lies where the
// database has data, its properties are finite, and a reactant present in a
// trace changes it by no more than its trace. Each case is an input on which
// fuzz_cea_operations found the library reporting otherwise.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "cea_bindc.h"

namespace {

// Every C-H-O gas of the products part has data from 200 K to 6000 K; a few
// go on to 20000 K, but a state above 6000 K would rest on the others' fits
// beyond their ranges.
const double data_min_temperature_k = 200.0;
const double data_max_temperature_k = 6000.0;
const double gas_constant_kj_kmol_k = 8.31451;

std::string last_error()
{
    int length = 0;
    EXPECT_EQ(cea_last_error_message_len(&length), CEA_OK);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    EXPECT_EQ(cea_last_error_message_buf(&text[0], length + 1), CEA_OK);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// Reactants, their products, a solver and a solution.
struct propellants {
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
    int status = CEA_OK; // of the last solve

    explicit propellants(const char *oxidant = "O2(L)", const char *fuel = "CH4(L)")
    {
        const char *const names[2] = {oxidant, fuel};
        EXPECT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
        EXPECT_EQ(cea_mixture_create(&reactants, 2, names), CEA_OK);
        EXPECT_EQ(cea_mixture_create_from_reactants(&products, 2, names, 0, nullptr), CEA_OK);
        EXPECT_EQ(cea_eqsolver_create_with_reactants(&solver, products, reactants), CEA_OK);
        EXPECT_EQ(cea_eqsolution_create(&solution, solver), CEA_OK);
    }
    ~propellants()
    {
        cea_eqsolution_destroy(&solution);
        cea_eqsolver_destroy(&solver);
        cea_mixture_destroy(&products);
        cea_mixture_destroy(&reactants);
    }

    // 1 when the solve ran and converged; the status stays in `status`.
    int solve(int type, double state1, double p_bar, double first, double second)
    {
        const double amounts[2] = {first, second};
        int converged = 0;
        status = cea_eqsolver_solve(solver, type, state1, p_bar, amounts, solution);
        EXPECT_EQ(cea_eqsolution_get_converged(solution, &converged), CEA_OK);
        return status == CEA_OK && converged == 1;
    }

    double property(int selector)
    {
        double value = std::nan("");
        EXPECT_EQ(cea_eqsolution_get_property(solution, selector, &value), CEA_OK) << "property " << selector;
        return value;
    }
};

// Outside its intervals a fit is an extrapolated polynomial: at 103.86 K
// and 98 kbar the frozen cp came out negative, at 29000 K near 3900 kJ/(kg K),
// and at 20000 K ozone took up all the oxygen. A TP temperature there is
// refused; an HP solve that settles there has not converged.
TEST(state_plausibility, no_converged_state_outside_the_data)
{
    propellants c;
    const struct {
        int type;
        double state1; // K, or h/R in kmol K/kg
        double p_bar;
        double oxygen;
        double methane;
        int status;
        int converged;
    } cases[] = {
        {CEA_TP, 103.86184149655936, 97996.553813976876, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0},
        {CEA_TP, 150.0, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0},
        {CEA_TP, 199.99, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0},
        {CEA_TP, 200.0, 1.0, 0.75, 0.25, CEA_OK, 1},
        {CEA_TP, 6000.0, 1.0, 0.75, 0.25, CEA_OK, 1},
        {CEA_TP, 6000.01, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0},
        {CEA_TP, 20001.0, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0},
        {CEA_TP, 29000.0, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0},
        {CEA_HP, -20.0, 1.0, 1.0, 0.0, CEA_OK, 0}, // oxygen alone settles at 114 K
        {CEA_HP, 1e5, 1.0, 0.75, 0.25, CEA_OK, 0}, // far above 6000 K
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(testing::Message() << (k.type == CEA_TP ? "TP " : "HP ") << k.state1 << ", " << k.p_bar << " bar");
        EXPECT_EQ(c.solve(k.type, k.state1, k.p_bar, k.oxygen, k.methane), k.converged);
        EXPECT_EQ(c.status, k.status);
        if (k.status == CEA_TEMPERATURE_RANGE) {
            EXPECT_NE(last_error().find("outside the data of the products (200 K to 6000 K)"), std::string::npos)
                << last_error();
        }
        if (k.converged) {
            const double t = c.property(CEA_TEMPERATURE);
            EXPECT_GE(t, data_min_temperature_k);
            EXPECT_LE(t, data_max_temperature_k);
        } else if (k.status == CEA_OK) {
            double t = 0.0;
            EXPECT_EQ(cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &t), CEA_NOT_CONVERGED);
            EXPECT_NE(last_error().find("outside the data of the products"), std::string::npos) << last_error();
        }
    }
}

// At 1.8e308 bar the volume underflowed to 0 and the density was infinite:
// such a pressure is refused, and the solution holds no result. Pressures
// that leave the state representable, however extreme, still converge.
TEST(state_plausibility, every_property_of_a_converged_state_is_finite)
{
    propellants c;
    // The inlet enthalpy at k = 3 (oxygen at 90.17 K, methane at 111.643 K).
    const double h_over_r = -203.83427355581409;
    const struct {
        double p_bar;
        int status;
    } cases[] = {
        {std::numeric_limits<double>::max(), CEA_INVALID_ARGUMENT},
        {1e304, CEA_INVALID_ARGUMENT},
        {1e303, CEA_OK},
        {1e-100, CEA_OK},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(testing::Message() << k.p_bar << " bar");
        const int converged = c.solve(CEA_HP, h_over_r, k.p_bar, 0.75, 0.25);
        EXPECT_EQ(c.status, k.status);
        if (k.status != CEA_OK) {
            EXPECT_EQ(converged, 0);
            EXPECT_NE(last_error().find("the pressure is out of range"), std::string::npos) << last_error();
            continue;
        }
        EXPECT_EQ(converged, 1);
        for (int selector = CEA_TEMPERATURE; selector <= CEA_FROZEN_CV; ++selector) {
            EXPECT_TRUE(std::isfinite(c.property(selector))) << "property " << selector;
        }
    }
}

// Fuel at a weight of 1e-12 (or 1e-300) moved the enthalpy of oxygen at
// h/R = 1 kmol K/kg by 4e-6 of itself: the trace elements were out of
// balance by far more than their trace. A weight so small that its elements
// come below 1e-305 kmol/kg cannot be balanced and is refused.
TEST(state_plausibility, a_trace_reactant_keeps_the_balances)
{
    propellants c;
    ASSERT_TRUE(c.solve(CEA_HP, 1.0, 1.0, 1.0, 0.0));
    const double oxygen_m = c.property(CEA_M);
    for (const double trace : {1e-12, 1e-300}) {
        SCOPED_TRACE(trace);
        ASSERT_TRUE(c.solve(CEA_HP, 1.0, 1.0, 1.0, trace));
        EXPECT_NEAR(c.property(CEA_ENTHALPY), gas_constant_kj_kmol_k, 1e-10 * gas_constant_kj_kmol_k);
        EXPECT_NEAR(c.property(CEA_M), oxygen_m, 1e-10 * oxygen_m);
    }
    EXPECT_FALSE(c.solve(CEA_HP, 1.0, 1.0, 1.0, 1e-320));
    EXPECT_EQ(c.status, CEA_INVALID_ARGUMENT);
    EXPECT_NE(last_error().find("too little to balance"), std::string::npos) << last_error();
}

// Nitrogen at a weight of 1e300 with 0.13 of ethanol (libFuzzer input
// CAADuKfLsM7P/v+sAQ0NDQ0NDQ0KDQ0NDf8MAAxMIggBAA== of fuzz_cea_operations):
// carbon, hydrogen and oxygen at 1e-302 kmol/kg. Its species started at an
// equal share of the gas moles, Newton's steps cut them by a factor e each,
// and the solve stopped at its iteration limit's worth of progress with the
// enthalpy off by 3.3e-5 of itself, reported as converged.
TEST(state_plausibility, a_trace_of_ethanol_in_nitrogen_balances)
{
    propellants c("N2", "C2H5OH(L)");
    const double h_over_r = -1.0;
    ASSERT_TRUE(c.solve(CEA_HP, h_over_r, 0.002128776203754405, 1e300, 0.13293659876401923));
    const double h = h_over_r * gas_constant_kj_kmol_k;
    EXPECT_NEAR(c.property(CEA_ENTHALPY), h, 1e-10 * std::fabs(h));
}

} // namespace
