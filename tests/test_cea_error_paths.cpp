// Failures through the C operations: each gives its documented status and a
// last-error text that says what failed, and leaves the library usable.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cea_bindc.h"

namespace {

std::string last_error()
{
    int length = -1;
    EXPECT_EQ(cea_last_error_message_len(&length), CEA_OK);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    EXPECT_EQ(cea_last_error_message_buf(&text[0], length + 1), CEA_OK);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

const char *const propellants[2] = {"O2(L)", "CH4(L)"};

// Runs first in its process (each test is its own ctest run): nothing is
// loaded yet. Skipped when an earlier test of the same run loaded one.
TEST(no_database, mixtures_need_a_database)
{
    cea_mixture mix = nullptr;
    int status = cea_mixture_create(&mix, 2, propellants);
    if (status == CEA_OK) {
        cea_mixture_destroy(&mix);
        GTEST_SKIP() << "a database was loaded by an earlier test in this process";
    }
    EXPECT_EQ(status, CEA_NO_DATABASE);
    EXPECT_NE(last_error().find("no thermodynamic database"), std::string::npos);
}

struct bad_database {
    const char *file;
    int status;
    const char *text; // part of the last-error text
};

TEST(database_errors, each_bad_file_is_refused_with_its_reason)
{
    const bad_database cases[] = {
        {"does_not_exist.inp", CEA_INVALID_FILENAME, "cannot open"},
        {"", CEA_INVALID_FILENAME, "cannot read"}, // the data folder itself
        {"thermo_empty.inp", CEA_MALFORMED_DATABASE, "empty"},
        {"thermo_garbage.inp", CEA_MALFORMED_DATABASE, "line 1"},
        {"thermo_truncated.inp", CEA_MALFORMED_DATABASE, "ends after line 244"},
    };
    for (const bad_database &c : cases) {
        std::string path = std::string(CEA_TEST_DATA_DIR "/") + c.file;
        SCOPED_TRACE(path);
        EXPECT_EQ(cea_init_thermo(path.c_str()), c.status);
        EXPECT_NE(last_error().find(c.text), std::string::npos) << last_error();
    }
    EXPECT_EQ(cea_init_thermo(nullptr), CEA_INVALID_FILENAME);
}

// A second load replaces the database when it succeeds and keeps the old
// one when it fails; objects made from an earlier database keep working.
TEST(database_errors, second_load_replaces_or_keeps)
{
    ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    ASSERT_EQ(cea_mixture_create(&reactants, 2, propellants), CEA_OK);
    ASSERT_EQ(cea_mixture_create_from_reactants(&products, 2, propellants, 0, nullptr), CEA_OK);

    ASSERT_EQ(cea_init_thermo(CEA_TEST_DATA_DIR "/thermo_small_lf.inp"), CEA_OK);
    cea_mixture mix = nullptr;
    const char *only_in_full[1] = {"CH4"};
    EXPECT_EQ(cea_mixture_create(&mix, 1, only_in_full), CEA_UNKNOWN_SPECIES);
    EXPECT_NE(last_error().find("'CH4'"), std::string::npos);

    EXPECT_EQ(cea_init_thermo(CEA_TEST_DATA_DIR "/thermo_garbage.inp"), CEA_MALFORMED_DATABASE);
    const char *in_small[1] = {"H2O"};
    EXPECT_EQ(cea_mixture_create(&mix, 1, in_small), CEA_OK); // the small database stays
    EXPECT_EQ(cea_mixture_destroy(&mix), CEA_OK);

    // The mixtures of the full database still make a working solver.
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
    ASSERT_EQ(cea_eqsolver_create_with_reactants(&solver, products, reactants), CEA_OK);
    ASSERT_EQ(cea_eqsolution_create(&solution, solver), CEA_OK);
    const double weights[2] = {2.9 / 3.9, 1.0 / 3.9};
    ASSERT_EQ(cea_eqsolver_solve(solver, CEA_HP, -1727837.827501694 / 8314.51, 140.0, weights, solution), CEA_OK);
    double t = 0.0;
    ASSERT_EQ(cea_eqsolution_get_property(solution, CEA_TEMPERATURE, &t), CEA_OK);
    EXPECT_NEAR(t, 3495.8947032548217, 1e-6 * 3495.9);
    cea_eqsolution_destroy(&solution);
    cea_eqsolver_destroy(&solver);
    cea_mixture_destroy(&products);
    cea_mixture_destroy(&reactants);
}

class loaded : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
        ASSERT_EQ(cea_mixture_create(&reactants, 2, propellants), CEA_OK);
        ASSERT_EQ(cea_mixture_create_from_reactants(&products, 2, propellants, 0, nullptr), CEA_OK);
        ASSERT_EQ(cea_eqsolver_create_with_reactants(&solver, products, reactants), CEA_OK);
        ASSERT_EQ(cea_eqsolution_create(&solution, solver), CEA_OK);
    }
    void TearDown() override
    {
        EXPECT_EQ(cea_eqsolution_destroy(&solution), CEA_OK);
        EXPECT_EQ(cea_eqsolver_destroy(&solver), CEA_OK);
        EXPECT_EQ(cea_mixture_destroy(&products), CEA_OK);
        EXPECT_EQ(cea_mixture_destroy(&reactants), CEA_OK);
    }
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
};

TEST_F(loaded, unknown_species_is_named)
{
    cea_mixture mix = nullptr;
    const char *names[2] = {"O2(L)", "CH4(l)"}; // names compare exactly
    EXPECT_EQ(cea_mixture_create(&mix, 2, names), CEA_UNKNOWN_SPECIES);
    EXPECT_NE(last_error().find("'CH4(l)'"), std::string::npos);
    EXPECT_EQ(mix, nullptr);
    EXPECT_EQ(cea_mixture_create_from_reactants(&mix, 2, names, 0, nullptr), CEA_UNKNOWN_SPECIES);
    const char *omit[1] = {"XYZ"};
    EXPECT_EQ(cea_mixture_create_from_reactants(&mix, 2, propellants, 1, omit), CEA_UNKNOWN_SPECIES);
    EXPECT_EQ(cea_mixture_create(&mix, 0, names), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_mixture_create(&mix, 2, nullptr), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_mixture_create_from_reactants(&mix, 2, propellants, 1, nullptr), CEA_INVALID_SIZE);
}

struct enthalpy_case {
    double t_o_k, t_f_k;
    int status;
};

// The assigned enthalpies hold within 10 K of their temperatures (90.17 K
// for O2(L), 111.643 K for CH4(L)), both ends included.
TEST_F(loaded, assigned_enthalpy_window)
{
    const enthalpy_case cases[] = {
        {90.0, 111.0, CEA_OK},
        {80.17, 121.643, CEA_OK},
        {100.17, 101.643, CEA_OK},
        {80.16, 111.0, CEA_TEMPERATURE_RANGE},
        {90.0, 121.7, CEA_TEMPERATURE_RANGE},
        {300.0, 111.0, CEA_TEMPERATURE_RANGE},
        {-90.0, 111.0, CEA_INVALID_ARGUMENT},
        {NAN, 111.0, CEA_INVALID_ARGUMENT},
    };
    const double weights[2] = {0.5, 0.5};
    for (const enthalpy_case &c : cases) {
        SCOPED_TRACE(std::to_string(c.t_o_k) + " K, " + std::to_string(c.t_f_k) + " K");
        const double temperatures[2] = {c.t_o_k, c.t_f_k};
        double h = 0.0;
        EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h),
                  c.status);
        if (c.status == CEA_TEMPERATURE_RANGE) {
            EXPECT_NE(last_error().find("K away"), std::string::npos) << last_error();
        }
    }
}

TEST_F(loaded, bad_selectors_and_sizes)
{
    const double weights[2] = {0.5, 0.5};
    const double temperatures[2] = {90.0, 111.0};
    double value = 0.0;
    EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, 11, 2, weights, 2, temperatures, &value),
              CEA_INVALID_PROPERTY_TYPE);
    EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, 6, 3, weights, 2, temperatures, &value), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, 6, 2, nullptr, 2, temperatures, &value), CEA_INVALID_SIZE);
    const double ox[2] = {1.0, 0.0};
    const double fu[2] = {0.0, 1.0};
    double w[2];
    EXPECT_EQ(cea_mixture_of_ratio_to_weights(reactants, 2, ox, fu, -1.0, w), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_mixture_of_ratio_to_weights(reactants, 2, ox, ox, INFINITY, w), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_mixture_of_ratio_to_weights(reactants, 1, ox, fu, 1.0, w), CEA_INVALID_SIZE);

    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_SP, 1.0, 1.0, weights, solution), CEA_INVALID_EQUILIBRIUM_TYPE);
    EXPECT_EQ(cea_eqsolver_solve(solver, 7, 1.0, 1.0, weights, solution), CEA_INVALID_EQUILIBRIUM_TYPE);
    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, -200.0, 0.0, weights, solution), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, NAN, 10.0, weights, solution), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, -200.0, 10.0, nullptr, solution), CEA_INVALID_SIZE);
    const double zero[2] = {0.0, 0.0};
    EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, -200.0, 10.0, zero, solution), CEA_INVALID_ARGUMENT);

    // No converged result yet: properties are refused, the flag reads 0.
    int converged = 1;
    EXPECT_EQ(cea_eqsolution_get_converged(solution, &converged), CEA_OK);
    EXPECT_EQ(converged, 0);
    EXPECT_EQ(cea_eqsolution_get_property(solution, CEA_TEMPERATURE, &value), CEA_NOT_CONVERGED);

    ASSERT_EQ(cea_eqsolver_solve(solver, CEA_TP, 3000.0, 10.0, weights, solution), CEA_OK);
    EXPECT_EQ(cea_eqsolution_get_property(solution, -1, &value), CEA_INVALID_PROPERTY_TYPE);
    EXPECT_EQ(cea_eqsolution_get_property(solution, 20, &value), CEA_INVALID_PROPERTY_TYPE);
    EXPECT_EQ(cea_eqsolution_get_property(solution, CEA_VISCOSITY, &value), CEA_INVALID_PROPERTY_TYPE);
    EXPECT_EQ(cea_eqsolution_get_property(solution, CEA_TEMPERATURE, &value), CEA_OK);
    EXPECT_EQ(value, 3000.0);
}

TEST_F(loaded, null_and_stale_handles)
{
    double value = 0.0;
    int flag = 0;
    EXPECT_EQ(cea_eqsolution_get_property(nullptr, 0, &value), CEA_NULL_HANDLE);
    EXPECT_EQ(cea_eqsolution_get_property(solution, 0, nullptr), CEA_NULL_HANDLE);
    EXPECT_EQ(cea_eqsolution_get_converged(nullptr, &flag), CEA_NULL_HANDLE);
    EXPECT_EQ(cea_eqsolver_solve(nullptr, CEA_HP, 0.0, 1.0, nullptr, solution), CEA_NULL_HANDLE);
    EXPECT_EQ(cea_eqsolver_create_with_reactants(nullptr, products, reactants), CEA_NULL_HANDLE);
    cea_eqsolver other = nullptr;
    EXPECT_EQ(cea_eqsolver_create_with_reactants(&other, nullptr, reactants), CEA_NULL_HANDLE);
    EXPECT_EQ(cea_mixture_destroy(nullptr), CEA_NULL_HANDLE);

    // Destroying twice: the first call clears the handle, the second finds
    // null and does nothing. A copy of the destroyed handle is refused.
    cea_eqsolution extra = nullptr;
    ASSERT_EQ(cea_eqsolution_create(&extra, solver), CEA_OK);
    cea_eqsolution copy = extra;
    EXPECT_EQ(cea_eqsolution_destroy(&extra), CEA_OK);
    EXPECT_EQ(extra, nullptr);
    EXPECT_EQ(cea_eqsolution_destroy(&extra), CEA_OK);
    EXPECT_EQ(cea_eqsolution_get_property(copy, 0, &value), CEA_NULL_HANDLE);
    EXPECT_NE(last_error().find("not a live"), std::string::npos);
    // A handle of the wrong kind is refused too.
    EXPECT_EQ(cea_eqsolution_get_converged(reinterpret_cast<cea_eqsolution>(solver), &flag), CEA_NULL_HANDLE);
}

TEST_F(loaded, error_text_buffer)
{
    cea_mixture mix = nullptr;
    const char *names[1] = {"NO_SUCH_SPECIES"};
    ASSERT_EQ(cea_mixture_create(&mix, 1, names), CEA_UNKNOWN_SPECIES);
    std::string text = last_error();
    char small[8];
    EXPECT_NE(cea_last_error_message_buf(small, sizeof small), CEA_OK);
    EXPECT_EQ(std::string(small), text.substr(0, 7)); // cut and terminated
    EXPECT_NE(cea_last_error_message_buf(nullptr, 10), CEA_OK);
    EXPECT_NE(cea_last_error_message_len(nullptr), CEA_OK);
    EXPECT_EQ(last_error(), text); // reading the text does not replace it
    EXPECT_EQ(cea_set_log_level(0), CEA_OK);
    EXPECT_EQ(cea_set_log_level(99), CEA_OK);
}

} // namespace
