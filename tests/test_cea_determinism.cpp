// A solve depends only on its own arguments: the same arguments give the
// same bits whatever was solved before on the same objects, and failed
// solves leave every object usable. Nor does it depend on the form of the
// database: the compiled one gives the text's states bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "cea_chamber_objects.h"

namespace {

struct state {
    double values[8];
};

class repeated_solves : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK); }

    // One chamber state at 90 K and 111 K, and what the program reads of it.
    state solve(double p_c_pa, double k)
    {
        c.solve_chamber(p_c_pa, k, 90.0, 111.0);
        const int properties[8] = {CEA_TEMPERATURE, CEA_M,         CEA_MW,        CEA_ENTHALPY,
                                   CEA_ENTROPY,     CEA_FROZEN_CP, CEA_FROZEN_CV, CEA_GAMMA_S};
        state s;
        for (int i = 0; i < 8; ++i) {
            s.values[i] = c.property(properties[i]);
        }
        return s;
    }

    chamber_objects c;
};

void expect_identical(const state &a, const state &b)
{
    EXPECT_EQ(std::memcmp(a.values, b.values, sizeof a.values), 0)
        << "T " << a.values[0] << " vs " << b.values[0] << ", M " << a.values[1] << " vs " << b.values[1];
}

// A, then B (among them states with solid carbon and far-off pressures),
// then A again; and A after a throttled run of 74 solves.
TEST_F(repeated_solves, solve_a_b_a_is_bit_identical)
{
    state a = solve(14e6, 2.9);
    const double others[][2] = {{0.5e6, 1.0}, {100e6, 0.3}, {0.01e6, 30.0}, {50e6, 8.0}, {1e6, 1.0}};
    for (const auto &o : others) {
        solve(o[0], o[1]);
        expect_identical(solve(14e6, 2.9), a);
    }
    for (int i = 0; i < 74; ++i) {
        solve(14e6 * (1.0 - 0.008 * i), 2.9 + 0.01 * i);
    }
    expect_identical(solve(14e6, 2.9), a);
}

// Refusals leave the objects as they were for the next solve, and two
// solutions of one solver hold their own results.
TEST_F(repeated_solves, failures_and_other_solutions_leave_results_alone)
{
    state a = solve(7e6, 3.6);
    const double weights[2] = {0.5, 0.5};
    double value = 0.0;
    EXPECT_EQ(cea_eqsolver_solve(c.solver, CEA_HP, NAN, 10.0, weights, c.solution), CEA_INVALID_ARGUMENT);
    const double cold[2] = {10.0, 111.0};
    EXPECT_EQ(cea_mixture_calc_property_multitemp(c.reactants, CEA_ENTHALPY, 2, weights, 2, cold, &value),
              CEA_TEMPERATURE_RANGE);
    expect_identical(solve(7e6, 3.6), a);

    cea_eqsolution second = nullptr;
    ASSERT_EQ(cea_eqsolution_create(&second, c.solver), CEA_OK);
    ASSERT_EQ(cea_eqsolver_solve(c.solver, CEA_TP, 2000.0, 1.0, weights, second), CEA_OK);
    EXPECT_EQ(c.property(CEA_TEMPERATURE), a.values[0]);
    ASSERT_EQ(cea_eqsolution_get_property(second, CEA_TEMPERATURE, &value), CEA_OK);
    EXPECT_EQ(value, 2000.0);
    cea_eqsolution_destroy(&second);
}

// Every chamber state over both fuels, from 0.1 to 100 MPa and from very
// fuel-rich (solid carbon) to oxidizer-rich, on one database.
std::vector<double> chamber_grid(const char *database)
{
    EXPECT_EQ(cea_init_thermo(database), CEA_OK) << database;
    const struct {
        const char *name;
        double t_k;
    } fuels[] = {{"CH4(L)", 111.0}, {"RP-1", 298.15}};
    const int properties[] = {CEA_TEMPERATURE,  CEA_PRESSURE,  CEA_VOLUME,    CEA_M,
                              CEA_MW,           CEA_ENTHALPY,  CEA_ENERGY,    CEA_ENTROPY,
                              CEA_GIBBS_ENERGY, CEA_FROZEN_CP, CEA_FROZEN_CV, CEA_GAMMA_S};
    std::vector<double> values;
    for (const auto &fuel : fuels) {
        chamber_objects c(fuel.name);
        for (double p_c_pa : {0.1e6, 1e6, 5e6, 14e6, 30e6, 100e6}) {
            for (double k : {1.0, 1.8, 2.6, 2.9, 3.6, 6.0, 12.0}) {
                values.push_back(c.solve_chamber(p_c_pa, k, 90.0, fuel.t_k));
                int converged = 0;
                EXPECT_EQ(cea_eqsolution_get_converged(c.solution, &converged), CEA_OK);
                EXPECT_EQ(converged, 1) << fuel.name << " " << p_c_pa << " Pa, k " << k;
                for (int property : properties) {
                    values.push_back(c.property(property));
                }
            }
        }
    }
    return values;
}

TEST(database_forms, compiled_gives_the_text_states_bit_for_bit)
{
    if (std::strlen(LRE_THERMO_LIB) == 0) {
        GTEST_SKIP() << "no compiled database with an external library";
    }
    std::vector<double> text = chamber_grid(LRE_THERMO_DATABASE);
    std::vector<double> compiled = chamber_grid(LRE_THERMO_LIB);
    ASSERT_EQ(compiled.size(), text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        ASSERT_EQ(std::memcmp(&compiled[i], &text[i], sizeof(double)), 0)
            << "value " << i << ": " << compiled[i] << " vs " << text[i];
    }
}

} // namespace
