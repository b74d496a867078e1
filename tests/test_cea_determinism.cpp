// A solve depends only on its own arguments: the same arguments give the
// same bits whatever was solved before on the same objects, and failed
// solves leave every object usable.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "cea_bindc.h"

namespace {

struct state {
    double values[8];
};

class chamber_objects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
        const char *names[2] = {"O2(L)", "CH4(L)"};
        ASSERT_EQ(cea_mixture_create(&reactants, 2, names), CEA_OK);
        ASSERT_EQ(cea_mixture_create_from_reactants(&products, 2, names, 0, nullptr), CEA_OK);
        ASSERT_EQ(cea_eqsolver_create_with_reactants(&solver, products, reactants), CEA_OK);
        ASSERT_EQ(cea_eqsolution_create(&solution, solver), CEA_OK);
    }
    void TearDown() override
    {
        cea_eqsolution_destroy(&solution);
        cea_eqsolver_destroy(&solver);
        cea_mixture_destroy(&products);
        cea_mixture_destroy(&reactants);
    }

    // The program's sequence for one chamber state.
    state solve(double p_c_pa, double k, double t_o_k = 90.0, double t_f_k = 111.0)
    {
        const double oxidant[2] = {1.0, 0.0};
        const double fuel[2] = {0.0, 1.0};
        const double temperatures[2] = {t_o_k, t_f_k};
        double weights[2];
        double h = 0.0;
        EXPECT_EQ(cea_mixture_of_ratio_to_weights(reactants, 2, oxidant, fuel, k, weights), CEA_OK);
        EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h),
                  CEA_OK);
        EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, h / 8314.51, p_c_pa / 100000.0, weights, solution), CEA_OK);
        int converged = 0;
        EXPECT_EQ(cea_eqsolution_get_converged(solution, &converged), CEA_OK);
        EXPECT_EQ(converged, 1);
        state s;
        const int properties[8] = {CEA_TEMPERATURE, CEA_M,         CEA_MW,        CEA_ENTHALPY,
                                   CEA_ENTROPY,     CEA_FROZEN_CP, CEA_FROZEN_CV, CEA_GAMMA_S};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(cea_eqsolution_get_property(solution, properties[i], &s.values[i]), CEA_OK);
        }
        return s;
    }

    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
};

void expect_identical(const state &a, const state &b)
{
    EXPECT_EQ(std::memcmp(a.values, b.values, sizeof a.values), 0)
        << "T " << a.values[0] << " vs " << b.values[0] << ", M " << a.values[1] << " vs " << b.values[1];
}

// A, then B (among them states with solid carbon and far-off pressures),
// then A again: bit-identical.
TEST_F(chamber_objects, solve_a_b_a_is_bit_identical)
{
    state a = solve(14e6, 2.9);
    const double others[][2] = {{0.5e6, 1.0}, {100e6, 0.3}, {0.01e6, 30.0}, {50e6, 8.0}, {1e6, 1.0}};
    for (const auto &o : others) {
        solve(o[0], o[1]);
        expect_identical(solve(14e6, 2.9), a);
    }
}

// A throttled run: 74 solves in a row at falling pressures, then the first
// one again.
TEST_F(chamber_objects, long_sequence_then_repeat)
{
    state first = solve(14e6, 2.9);
    for (int i = 0; i < 74; ++i) {
        solve(14e6 * (1.0 - 0.008 * i), 2.9 + 0.01 * i);
    }
    expect_identical(solve(14e6, 2.9), first);
}

// A refused solve, a refused enthalpy and a refused property leave the
// objects as they were for the next solve.
TEST_F(chamber_objects, failures_leave_objects_usable)
{
    state a = solve(7e6, 3.6);
    const double weights[2] = {0.5, 0.5};
    const double bad_weights[2] = {-1.0, 0.5};
    double value = 0.0;
    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, NAN, 10.0, weights, solution), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, -100.0, 10.0, bad_weights, solution), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_eqsolution_get_property(solution, CEA_TEMPERATURE, &value), CEA_NOT_CONVERGED);
    const double cold[2] = {10.0, 111.0};
    EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, CEA_ENTHALPY, 2, weights, 2, cold, &value),
              CEA_TEMPERATURE_RANGE);
    EXPECT_EQ(cea_eqsolution_get_property(solution, 99, &value), CEA_INVALID_PROPERTY_TYPE);
    expect_identical(solve(7e6, 3.6), a);
}

// Two solutions of one solver hold their own results.
TEST_F(chamber_objects, solutions_are_independent)
{
    cea_eqsolution second = nullptr;
    ASSERT_EQ(cea_eqsolution_create(&second, solver), CEA_OK);
    state a = solve(14e6, 2.9);
    const double weights[2] = {0.5, 0.5};
    ASSERT_EQ(cea_eqsolver_solve(solver, CEA_TP, 2000.0, 1.0, weights, second), CEA_OK);
    double t = 0.0;
    ASSERT_EQ(cea_eqsolution_get_property(solution, CEA_TEMPERATURE, &t), CEA_OK);
    EXPECT_EQ(t, a.values[0]);
    ASSERT_EQ(cea_eqsolution_get_property(second, CEA_TEMPERATURE, &t), CEA_OK);
    EXPECT_EQ(t, 2000.0);
    cea_eqsolution_destroy(&second);
}

} // namespace
