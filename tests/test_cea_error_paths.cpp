// Failures through the C operations: each gives its documented status and a
// last-error text that says what failed, and leaves the library usable.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "cea_chamber_objects.h"

namespace {

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

TEST(database_errors, each_bad_file_is_refused_with_its_reason)
{
    const struct {
        std::string path;
        int status;
        const char *text; // part of the last-error text
    } cases[] = {
        {CEA_TEST_DATA_DIR "/does_not_exist.inp", CEA_INVALID_FILENAME, "cannot open"},
        {CEA_TEST_DATA_DIR, CEA_INVALID_FILENAME, "cannot read"},
        {"", CEA_INVALID_FILENAME, "null or empty"},
        {CEA_TEST_DATA_DIR "/thermo_empty.inp", CEA_MALFORMED_DATABASE, "empty"},
        {CEA_TEST_DATA_DIR "/thermo_garbage.inp", CEA_MALFORMED_DATABASE, "line 1"},
        {CEA_TEST_DATA_DIR "/thermo_truncated.inp", CEA_MALFORMED_DATABASE, "ends after line 244"},
        {"/dev/zero", CEA_MALFORMED_DATABASE, "more than"}, // endless: read up to a size no database nears
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(cea_init_thermo(c.path.c_str()), c.status);
        EXPECT_NE(last_error().find(c.text), std::string::npos) << last_error();
    }
    EXPECT_EQ(cea_init_thermo(nullptr), CEA_INVALID_FILENAME);
}

// A second load replaces the database when it succeeds and keeps the old
// one when it fails; objects made from an earlier database keep working.
TEST(database_errors, second_load_replaces_or_keeps)
{
    ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
    chamber_objects full;
    ASSERT_EQ(cea_init_thermo(CEA_TEST_DATA_DIR "/thermo_small_lf.inp"), CEA_OK);
    cea_mixture mix = nullptr;
    const char *only_in_full[1] = {"CH4"};
    EXPECT_EQ(cea_mixture_create(&mix, 1, only_in_full), CEA_UNKNOWN_SPECIES);
    EXPECT_EQ(cea_init_thermo(CEA_TEST_DATA_DIR "/thermo_garbage.inp"), CEA_MALFORMED_DATABASE);
    const char *in_small[1] = {"H2O"};
    EXPECT_EQ(cea_mixture_create(&mix, 1, in_small), CEA_OK); // the small database stays
    EXPECT_EQ(cea_mixture_destroy(&mix), CEA_OK);
    // The objects of the full database still solve: T of the reference
    // table's row at 14 MPa, k 2.9, 90 K and 111 K.
    full.solve_chamber(14e6, 2.9, 90.0, 111.0);
    EXPECT_NEAR(full.property(CEA_TEMPERATURE), 3495.8947032548217, 1e-6 * 3495.9);
}

class loaded : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK); }
    chamber_objects c;
};

// An unknown name is named in the text, which reads back whole, or cut and
// terminated in a small buffer, as often as asked.
TEST_F(loaded, unknown_species_bad_lists_and_the_error_text)
{
    cea_mixture mix = nullptr;
    const char *names[2] = {"O2(L)", "CH4(l)"}; // names compare exactly
    EXPECT_EQ(cea_mixture_create(&mix, 2, names), CEA_UNKNOWN_SPECIES);
    std::string text = last_error();
    EXPECT_NE(text.find("'CH4(l)'"), std::string::npos) << text;
    EXPECT_EQ(mix, nullptr);
    char small[8];
    EXPECT_NE(cea_last_error_message_buf(small, sizeof small), CEA_OK);
    EXPECT_EQ(std::string(small), text.substr(0, 7));
    EXPECT_NE(cea_last_error_message_buf(nullptr, 10), CEA_OK);
    EXPECT_NE(cea_last_error_message_len(nullptr), CEA_OK);
    EXPECT_EQ(last_error(), text);
    EXPECT_EQ(cea_set_log_level(99), CEA_OK);

    EXPECT_EQ(cea_mixture_create_from_reactants(&mix, 2, names, 0, nullptr), CEA_UNKNOWN_SPECIES);
    const char *omit[1] = {"XYZ"};
    EXPECT_EQ(cea_mixture_create_from_reactants(&mix, 2, propellants, 1, omit), CEA_UNKNOWN_SPECIES);
    EXPECT_EQ(cea_mixture_create(&mix, 0, names), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_mixture_create(&mix, 2, nullptr), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_mixture_create_from_reactants(&mix, 2, propellants, 1, nullptr), CEA_INVALID_SIZE);
}

// The assigned enthalpies hold within 10 K of their temperatures (90.17 K
// for O2(L), 111.643 K for CH4(L)), both ends included.
TEST_F(loaded, assigned_enthalpy_window)
{
    const struct {
        double t_o_k, t_f_k;
        int status;
    } cases[] = {
        {90.0, 111.0, CEA_OK},
        {80.17, 121.643, CEA_OK},
        {100.17, 101.643, CEA_OK},
        {80.16, 111.0, CEA_TEMPERATURE_RANGE},
        {90.0, 121.7, CEA_TEMPERATURE_RANGE},
        {-90.0, 111.0, CEA_INVALID_ARGUMENT},
        {NAN, 111.0, CEA_INVALID_ARGUMENT},
    };
    const double weights[2] = {0.5, 0.5};
    for (const auto &k : cases) {
        SCOPED_TRACE(std::to_string(k.t_o_k) + " K, " + std::to_string(k.t_f_k) + " K");
        const double temperatures[2] = {k.t_o_k, k.t_f_k};
        double h = 0.0;
        EXPECT_EQ(cea_mixture_calc_property_multitemp(c.reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h),
                  k.status);
        if (k.status == CEA_TEMPERATURE_RANGE) {
            EXPECT_NE(last_error().find("K away"), std::string::npos) << last_error();
        }
    }
}

TEST_F(loaded, bad_selectors_and_sizes)
{
    const double weights[2] = {0.5, 0.5};
    const double temperatures[2] = {90.0, 111.0};
    double value = 0.0;
    EXPECT_EQ(cea_mixture_calc_property_multitemp(c.reactants, 11, 2, weights, 2, temperatures, &value),
              CEA_INVALID_PROPERTY_TYPE);
    EXPECT_EQ(cea_mixture_calc_property_multitemp(c.reactants, 6, 3, weights, 2, temperatures, &value),
              CEA_INVALID_SIZE);
    EXPECT_EQ(cea_mixture_calc_property_multitemp(c.reactants, 6, 2, nullptr, 2, temperatures, &value),
              CEA_INVALID_SIZE);
    const double ox[2] = {1.0, 0.0};
    const double fu[2] = {0.0, 1.0};
    double w[2];
    EXPECT_EQ(cea_mixture_of_ratio_to_weights(c.reactants, 2, ox, fu, -1.0, w), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_mixture_of_ratio_to_weights(c.reactants, 2, ox, ox, INFINITY, w), CEA_INVALID_ARGUMENT);
    EXPECT_EQ(cea_mixture_of_ratio_to_weights(c.reactants, 1, ox, fu, 1.0, w), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_eqsolver_solve(c.solver, CEA_HP, -200.0, 10.0, nullptr, c.solution), CEA_INVALID_SIZE);

    // No converged result yet: properties are refused, the flag reads 0.
    int converged = 1;
    EXPECT_EQ(cea_eqsolution_get_converged(c.solution, &converged), CEA_OK);
    EXPECT_EQ(converged, 0);
    EXPECT_EQ(cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &value), CEA_NOT_CONVERGED);
    ASSERT_EQ(cea_eqsolver_solve(c.solver, CEA_TP, 3000.0, 10.0, weights, c.solution), CEA_OK);
    for (int selector : {-1, 20, static_cast<int>(CEA_VISCOSITY)}) {
        EXPECT_EQ(cea_eqsolution_get_property(c.solution, selector, &value), CEA_INVALID_PROPERTY_TYPE) << selector;
    }
}

// Bad solve arguments are refused; states outside the products' data (200 K
// to 6000 K), where fits extrapolate (a negative cp at 103.86 K and 98 kbar,
// an infinite density at 1.8e308 bar), are refused or left unconverged.
TEST_F(loaded, solve_arguments_and_states_outside_the_data)
{
    const double huge = std::numeric_limits<double>::max();
    const double inlet_h_over_r = -203.83427355581409; // k = 3 at 90.17 K and 111.643 K
    const struct {
        int type;
        double state1; // K, or h/R in kmol K/kg
        double p_bar, oxygen, methane;
        int status, converged;
        const char *text; // part of the last-error text
    } cases[] = {
        {CEA_SP, 1.0, 1.0, 0.5, 0.5, CEA_INVALID_EQUILIBRIUM_TYPE, 0, "type"},
        {7, 1.0, 1.0, 0.5, 0.5, CEA_INVALID_EQUILIBRIUM_TYPE, 0, "type"},
        {CEA_HP, NAN, 10.0, 0.5, 0.5, CEA_INVALID_ARGUMENT, 0, "enthalpy must be a finite number"},
        {CEA_HP, INFINITY, 10.0, 0.5, 0.5, CEA_INVALID_ARGUMENT, 0, "enthalpy must be a finite number"},
        {CEA_HP, -200.0, 0.0, 0.5, 0.5, CEA_INVALID_ARGUMENT, 0, "pressure must be a positive number"},
        {CEA_HP, -200.0, 10.0, 0.0, 0.0, CEA_INVALID_ARGUMENT, 0, "must not all be zero"},
        {CEA_HP, -100.0, 10.0, -1.0, 0.5, CEA_INVALID_ARGUMENT, 0, "finite and not negative"},
        {CEA_HP, 1.0, 1.0, 1.0, 1e-320, CEA_INVALID_ARGUMENT, 0, "too little to balance"},
        {CEA_HP, inlet_h_over_r, huge, 0.75, 0.25, CEA_INVALID_ARGUMENT, 0, "the pressure is out of range"},
        {CEA_HP, inlet_h_over_r, 1e304, 0.75, 0.25, CEA_INVALID_ARGUMENT, 0, "the pressure is out of range"},
        {CEA_HP, inlet_h_over_r, 1e303, 0.75, 0.25, CEA_OK, 1, ""},
        {CEA_HP, inlet_h_over_r, 1e-100, 0.75, 0.25, CEA_OK, 1, ""},
        {CEA_TP, 103.86184149655936, 97996.553813976876, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0, "(200 K to 6000 K)"},
        {CEA_TP, 199.99, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0, "outside the data of the products"},
        {CEA_TP, 200.0, 1.0, 0.75, 0.25, CEA_OK, 1, ""},
        {CEA_TP, 6000.0, 1.0, 0.75, 0.25, CEA_OK, 1, ""},
        {CEA_TP, 6000.01, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0, "outside the data of the products"},
        {CEA_TP, 29000.0, 1.0, 0.75, 0.25, CEA_TEMPERATURE_RANGE, 0, "outside the data of the products"},
        {CEA_HP, -20.0, 1.0, 1.0, 0.0, CEA_OK, 0, "so the state lies below 200 K, outside the data of the products"},
        {CEA_HP, 1e5, 1.0, 0.75, 0.25, CEA_OK, 0, "so the state lies above 6000 K, outside the data of the products"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(testing::Message() << "type " << k.type << ", " << k.state1 << ", " << k.p_bar << " bar");
        const double amounts[2] = {k.oxygen, k.methane};
        EXPECT_EQ(cea_eqsolver_solve(c.solver, k.type, k.state1, k.p_bar, amounts, c.solution), k.status);
        std::string reason = last_error();
        int converged = -1;
        EXPECT_EQ(cea_eqsolution_get_converged(c.solution, &converged), CEA_OK);
        EXPECT_EQ(converged, k.converged);
        double value = 0.0;
        if (!k.converged) {
            // A refused or unconverged solve leaves no result to read; the
            // unconverged one gives its reason when asked for a property.
            EXPECT_EQ(cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &value), CEA_NOT_CONVERGED);
            reason = k.status == CEA_OK ? last_error() : reason;
            EXPECT_NE(reason.find(k.text), std::string::npos) << reason;
            continue;
        }
        for (int selector = CEA_TEMPERATURE; selector <= CEA_EQUILIBRIUM_CV; ++selector) {
            ASSERT_EQ(cea_eqsolution_get_property(c.solution, selector, &value), CEA_OK);
            EXPECT_TRUE(std::isfinite(value)) << "property " << selector;
            if (selector == CEA_TEMPERATURE) {
                EXPECT_TRUE(value >= 200.0 && value <= 6000.0) << value;
            }
        }
    }
}

// Handles, the solution's solver and the error text, one call per row. A
// failure comes first in every row, so that each row also shows whether its
// call sets the text (to one naming the fault) or, succeeding, clears it.
// A stale handle is one destroyed before a new object of its kind is made,
// which malloc usually places in the freed memory: it must be refused all
// the same.
TEST_F(loaded, handles_solutions_and_the_error_text)
{
    const char *names[2] = {"O2(L)", "CH4(L)"};
    const double weights[2] = {0.75, 0.25};
    const double temperatures[2] = {90.0, 111.0};
    const double oxidant[2] = {1.0, 0.0};
    const double fuel[2] = {0.0, 1.0};
    double out[2] = {0.0, 0.0};
    double value = 0.0;
    int flag = 0;
    // What the rows create, destroyed after the table.
    std::vector<cea_mixture> mixtures;
    std::vector<cea_eqsolver> solvers;
    std::vector<cea_eqsolution> solutions;
    auto new_mixture = [&] {
        mixtures.push_back(nullptr);
        EXPECT_EQ(cea_mixture_create(&mixtures.back(), 2, names), CEA_OK);
        return mixtures.back();
    };
    auto new_solver = [&] {
        solvers.push_back(nullptr);
        EXPECT_EQ(cea_eqsolver_create_with_reactants(&solvers.back(), c.products, c.reactants), CEA_OK);
        return solvers.back();
    };
    auto new_solution = [&](cea_eqsolver solver) {
        solutions.push_back(nullptr);
        EXPECT_EQ(cea_eqsolution_create(&solutions.back(), solver), CEA_OK);
        return solutions.back();
    };
    auto stale = [](auto handle, int (*destroy)(decltype(&handle)), auto make_another) {
        auto copy = handle;
        EXPECT_EQ(destroy(&handle), CEA_OK);
        EXPECT_NE(make_another(), copy);
        return copy;
    };
    auto solve_tp = [&](cea_eqsolver solver, cea_eqsolution solution) {
        return cea_eqsolver_solve(solver, CEA_TP, 3000.0, 10.0, weights, solution);
    };
    const struct {
        const char *what;
        std::function<int()> call;
        int status;
        const char *text; // part of the error text afterwards; "" for none at all
    } rows[] = {
        {"a null solution", [&] { return cea_eqsolution_get_property(nullptr, 0, &value); }, CEA_NULL_HANDLE,
         "solution handle is null"},
        {"a null result pointer", [&] { return cea_eqsolution_get_property(c.solution, 0, nullptr); }, CEA_NULL_HANDLE,
         "result pointer is null"},
        {"a null solver", [&] { return solve_tp(nullptr, c.solution); }, CEA_NULL_HANDLE, "solver handle is null"},
        {"a null handle address", [&] { return cea_mixture_destroy(nullptr); }, CEA_NULL_HANDLE, "address"},
        {"a handle of another kind",
         [&] { return cea_eqsolution_get_converged(reinterpret_cast<cea_eqsolution>(c.solver), &flag); },
         CEA_NULL_HANDLE, "not a live solution"},
        {"an address as a handle",
         [&] { return cea_eqsolution_get_converged(reinterpret_cast<cea_eqsolution>(&flag), &flag); }, CEA_NULL_HANDLE,
         "not a live solution"},
        {"a stale solution",
         [&] {
             cea_eqsolution old =
                 stale(new_solution(c.solver), cea_eqsolution_destroy, [&] { return new_solution(c.solver); });
             solutions.erase(solutions.end() - 2);
             return cea_eqsolution_get_converged(old, &flag);
         },
         CEA_NULL_HANDLE, "not a live solution"},
        {"a stale solution destroyed again",
         [&] {
             cea_eqsolution old =
                 stale(new_solution(c.solver), cea_eqsolution_destroy, [&] { return new_solution(c.solver); });
             solutions.erase(solutions.end() - 2);
             return cea_eqsolution_destroy(&old);
         },
         CEA_NULL_HANDLE, "not a live solution"},
        {"a stale solver",
         [&] {
             cea_eqsolver old = stale(new_solver(), cea_eqsolver_destroy, new_solver);
             solvers.erase(solvers.end() - 2);
             return solve_tp(old, c.solution);
         },
         CEA_NULL_HANDLE, "not a live solver"},
        {"a stale mixture",
         [&] {
             cea_mixture old = stale(new_mixture(), cea_mixture_destroy, new_mixture);
             mixtures.erase(mixtures.end() - 2);
             return cea_mixture_calc_property_multitemp(old, CEA_ENTHALPY, 2, weights, 2, temperatures, &value);
         },
         CEA_NULL_HANDLE, "not a live mixture"},
        {"the solution of another solver over the same species", [&] { return solve_tp(new_solver(), c.solution); },
         CEA_MIXTURE_MISMATCH, "created for another solver"},
        {"a solution whose solver was destroyed, with a new solver in its place",
         [&] {
             cea_eqsolver owner = new_solver();
             cea_eqsolution orphan = new_solution(owner);
             stale(owner, cea_eqsolver_destroy, new_solver);
             solvers.erase(solvers.end() - 2);
             return solve_tp(solvers.back(), orphan);
         },
         CEA_MIXTURE_MISMATCH, "created for another solver"},
        // Each kind of call that succeeds clears the text.
        {"the log level", [&] { return cea_set_log_level(0); }, CEA_OK, ""},
        {"a database load", [&] { return cea_init_thermo(LRE_THERMO_DATABASE); }, CEA_OK, ""},
        {"a mixture", [&] { return new_mixture() != nullptr ? CEA_OK : -1; }, CEA_OK, ""},
        {"a solver and a solution", [&] { return new_solution(new_solver()) != nullptr ? CEA_OK : -1; }, CEA_OK, ""},
        {"destroying a null handle",
         [&] {
             cea_mixture none = nullptr;
             return cea_mixture_destroy(&none);
         },
         CEA_OK, ""},
        {"weights", [&] { return cea_mixture_of_ratio_to_weights(c.reactants, 2, oxidant, fuel, 1.0, out); }, CEA_OK,
         ""},
        {"an enthalpy",
         [&] {
             return cea_mixture_calc_property_multitemp(c.reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &value);
         },
         CEA_OK, ""},
        {"a solve", [&] { return solve_tp(c.solver, c.solution); }, CEA_OK, ""},
        {"the converged flag", [&] { return cea_eqsolution_get_converged(c.solution, &flag); }, CEA_OK, ""},
        {"a property", [&] { return cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &value); }, CEA_OK, ""},
        {"a destruction", [&] { return cea_eqsolution_destroy(&solutions.back()); }, CEA_OK, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const char *unknown[1] = {"no-such-species"};
        cea_mixture none = nullptr;
        ASSERT_EQ(cea_mixture_create(&none, 1, unknown), CEA_UNKNOWN_SPECIES);
        EXPECT_EQ(row.call(), row.status);
        std::string text = last_error();
        if (row.text[0] == '\0') {
            EXPECT_EQ(text, "");
        } else {
            EXPECT_NE(text.find(row.text), std::string::npos) << text;
        }
    }
    for (cea_eqsolution &s : solutions) {
        EXPECT_EQ(cea_eqsolution_destroy(&s), CEA_OK);
    }
    for (cea_eqsolver &s : solvers) {
        EXPECT_EQ(cea_eqsolver_destroy(&s), CEA_OK);
    }
    for (cea_mixture &m : mixtures) {
        EXPECT_EQ(cea_mixture_destroy(&m), CEA_OK);
    }
}

} // namespace
