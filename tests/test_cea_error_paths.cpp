// Failures through the C operations, one row each: its status and the whole
// last-error text (or its start, where it quotes numbers), the library
// usable afterwards. Every success clears the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cea_chamber_objects.h"
#include "cea_test_files.h"

namespace {

const char *const propellants[2] = {"O2(L)", "CH4(L)"};

// Runs first in its process (each test is its own ctest run): nothing is
// loaded yet.
TEST(error_paths, mixtures_need_a_database)
{
    cea_mixture mix = nullptr;
    ASSERT_EQ(cea_mixture_create(&mix, 2, propellants), CEA_NO_DATABASE);
    EXPECT_EQ(last_error(), "cea_mixture_create: no thermodynamic database is loaded (call cea_init_thermo first)");
}

// Bad files are refused and leave the database before in place; a load that
// succeeds replaces it for new objects, and objects of the old one work on.
TEST(error_paths, database_loads)
{
    const std::string cut = "cut.lib"; // in the folder the test runs in
    std::ofstream(cut, std::ios::binary) << read_file(LRE_THERMO_LIB).substr(0, 100);
    const std::string data = CEA_TEST_DATA_DIR;
    const std::string malformed = "malformed thermodynamic database ";
    const struct {
        std::string path;
        int status;
        std::string text;
    } cases[] = {
        {"", CEA_INVALID_FILENAME, "cea_init_thermo: the database path is null or empty"},
        {data + "/none.inp", CEA_INVALID_FILENAME, "cannot open the thermodynamic database " + data + "/none.inp"},
        {data, CEA_INVALID_FILENAME, "cannot read the thermodynamic database " + data},
        {data + "/thermo_empty.inp", CEA_MALFORMED_DATABASE, malformed + data + "/thermo_empty.inp: the file is empty"},
        {data + "/thermo_truncated.inp", CEA_MALFORMED_DATABASE,
         malformed + data + "/thermo_truncated.inp: the text ends after line 244 inside a temperature interval"},
        {"/dev/zero", CEA_MALFORMED_DATABASE,
         malformed + "/dev/zero: more than 1073741824 bytes, which no database comes near"},
        {cut, CEA_MALFORMED_DATABASE, malformed + cut + ": record 2 at byte 62: the file ends inside the record"},
    };
    ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
    chamber_objects full;
    for (const auto &c : cases) {
        EXPECT_EQ(cea_init_thermo(c.path.c_str()), c.status) << c.path;
        EXPECT_EQ(last_error(), c.text);
    }
    EXPECT_EQ(cea_init_thermo(nullptr), CEA_INVALID_FILENAME);
    std::remove(cut.c_str());
    ASSERT_EQ(cea_init_thermo((data + "/thermo_small_lf.inp").c_str()), CEA_OK);
    cea_mixture mix = nullptr;
    const char *only_in_full[1] = {"CH4"};
    EXPECT_EQ(cea_mixture_create(&mix, 1, only_in_full), CEA_UNKNOWN_SPECIES);
    full.solve_chamber(14e6, 2.9, 90.0, 111.0); // the reference table's state
    EXPECT_NEAR(full.property(CEA_TEMPERATURE), 3495.8947032548217, 1e-9 * 3495.9);
}

class loaded : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK); }
};

TEST_F(loaded, each_failure_has_its_status_and_text)
{
    chamber_objects c;
    chamber_objects other;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double w[2] = {0.75, 0.25}, t[2] = {90.0, 111.0}, ox[2] = {1.0, 0.0}, fu[2] = {0.0, 1.0};
    const char *ar[1] = {"Ar"}, *bad[2] = {"O2(L)", "CH4(l)"}, *twice[2] = {"O2(L)", "O2(L)"};
    const char *null_name[2] = {"O2(L)", nullptr}, *xyz[1] = {"XYZ"}, *water[1] = {"H2O"}, *co2[1] = {"CO2"};
    double out[2] = {0.0, 0.0}, v = 0.0;
    int flag = 0;
    cea_mixture m = nullptr;
    cea_eqsolver s = nullptr;
    cea_eqsolution x = nullptr, fresh = nullptr;
    ASSERT_EQ(cea_eqsolution_create(&fresh, c.solver), CEA_OK);
    auto mixture_of = [](int n, const char *const names[]) {
        cea_mixture made = nullptr;
        EXPECT_EQ(cea_mixture_create(&made, n, names), CEA_OK);
        return made;
    };
    cea_mixture gas = mixture_of(1, co2), steam = mixture_of(1, water), stale = mixture_of(1, water);
    cea_mixture stale_copy = stale;
    ASSERT_EQ(cea_mixture_destroy(&stale), CEA_OK);
    auto h = [&](int n_w, const double *ws, int n_t, const double *ts, double *into) {
        return cea_mixture_calc_property_multitemp(c.reactants, CEA_ENTHALPY, n_w, ws, n_t, ts, into);
    };
    auto temps = [&](double a, double b) {
        static double ts[2];
        ts[0] = a;
        ts[1] = b;
        return h(2, w, 2, ts, &v);
    };
    auto solve = [&](int type, double s1, double p, double a, double b) {
        const double amounts[2] = {a, b};
        return cea_eqsolver_solve(c.solver, type, s1, p, amounts, c.solution);
    };
    auto unconverged = [&](int type, double s1, double p, double a, double b) {
        int status = solve(type, s1, p, a, b);
        return status != CEA_OK ? -status : cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &v);
    };
    const std::string equilibrium = "equilibrium: the ", mix = "cea_mixture_create: ";
    const std::string solver = "cea_eqsolver_create_with_reactants: ", property = "cea_eqsolution_get_property: ";
    const std::string not_live = " handle is not a live ", kind = " (destroyed, or of another kind)";
    const std::string limit = "outside the data of the products (200 K to 6000 K)";
    struct row {
        std::function<int()> call;
        int status;
        std::string text;
    };
    const int null = CEA_NULL_HANDLE, size = CEA_INVALID_SIZE, arg = CEA_INVALID_ARGUMENT, ok = CEA_OK;
    const int unknown = CEA_UNKNOWN_SPECIES, mismatch = CEA_MIXTURE_MISMATCH, range = CEA_TEMPERATURE_RANGE;
    const int prop = CEA_INVALID_PROPERTY_TYPE, type = CEA_INVALID_EQUILIBRIUM_TYPE, unconv = CEA_NOT_CONVERGED;
    // clang-format off
#define R(call, status, text) row{[&] { return call; }, status, text}
    // clang-format on
    const row rows[] = {
        R(cea_mixture_create(nullptr, 2, propellants), null, mix + "the address of the handle is null"),
        R(cea_mixture_create(&m, 0, propellants), size, "mixture: the species count must be at least 1 (got 0)"),
        R(cea_mixture_create(&m, 2, nullptr), size, "mixture: the species name list is null"),
        R(cea_mixture_create(&m, 2, null_name), arg, "mixture: species name 2 is null"),
        R(cea_mixture_create(&m, 2, bad), unknown, "species 'CH4(l)' is not in the thermodynamic database"),
        R(cea_mixture_create(&m, 2, twice), arg, "species 'O2(L)' is named twice in one mixture"),
        R(cea_mixture_create_from_reactants(&m, 2, propellants, -1, nullptr), size,
          "product mixture: the omit count must not be negative (got -1)"),
        R(cea_mixture_create_from_reactants(&m, 2, propellants, 1, nullptr), size,
          "product mixture: the omit list is null but its count is 1"),
        R(cea_mixture_create_from_reactants(&m, 2, propellants, 2, null_name), arg,
          "product mixture: omitted name 2 is null"),
        R(cea_mixture_create_from_reactants(&m, 2, propellants, 1, xyz), unknown,
          "omitted species 'XYZ' is not in the thermodynamic database"),
        R(cea_mixture_create_from_reactants(&m, 1, ar, 1, ar), arg,
          "product mixture: no product species can form from these reactants"),
        R(cea_eqsolver_create_with_reactants(&s, nullptr, c.reactants), null,
          solver + "the product mixture handle is null"),
        R(cea_eqsolver_create_with_reactants(&s, c.products, stale_copy), null,
          solver + "the reactant mixture" + not_live + "reactant mixture" + kind),
        R(cea_eqsolver_create_with_reactants(&s, c.reactants, c.reactants), mismatch,
          "equilibrium solver: product O2(L) has no temperature fits (an assigned-enthalpy reactant)"),
        R(cea_eqsolver_create_with_reactants(&s, steam, c.reactants), mismatch,
          "equilibrium solver: no product species holds element C"),
        R(cea_eqsolution_create(nullptr, c.solver), null, "cea_eqsolution_create: the address of the handle is null"),
        R(cea_eqsolution_create(&x, reinterpret_cast<cea_eqsolver>(c.products)), null,
          "cea_eqsolution_create: the solver" + not_live + "solver" + kind),
        R(cea_mixture_of_ratio_to_weights(nullptr, 2, ox, fu, 1.0, out), null,
          "cea_mixture_of_ratio_to_weights: the mixture handle is null"),
        R(cea_mixture_of_ratio_to_weights(c.reactants, 1, ox, fu, 1.0, out), size,
          "mixture ratio: 1 weights given for a mixture of 2 species"),
        R(cea_mixture_of_ratio_to_weights(c.reactants, 2, ox, fu, 1.0, nullptr), size,
          "mixture ratio: a composition or the weight array is null"),
        R(cea_mixture_of_ratio_to_weights(c.reactants, 2, ox, fu, -1e-300, out), arg,
          "mixture ratio: the oxidizer-to-fuel ratio must be finite and not negative"),
        R(cea_mixture_of_ratio_to_weights(c.reactants, 2, fu, out, 1.0, out), arg, "fuel weights must not all be zero"),
        R(cea_mixture_of_ratio_to_weights(c.reactants, 2, t, fu, 0.0, out), ok, ""),
        R(cea_mixture_of_ratio_to_weights(c.reactants, 2, w, w, 1.0, out), ok, ""),
        R(h(2, w, 2, t, nullptr), null, "cea_mixture_calc_property_multitemp: the result pointer is null"),
        R(cea_mixture_calc_property_multitemp(c.reactants, 5, 2, w, 2, t, &v), prop,
          "cea_mixture_calc_property_multitemp: mixture property 5 is not provided (6 is the enthalpy)"),
        R(h(3, w, 2, t, &v), size, "reactant enthalpy: 3 weights and 2 temperatures given for a mixture of 2 species"),
        R(h(2, w, 2, nullptr, &v), size, "reactant enthalpy: the weight or temperature array is null"),
        R(h(2, fu, 2, t, &v), ok, ""),
        R(h(2, t, 2, t, &v) == CEA_OK && h(2, ox, 2, t, &v) == CEA_OK ? CEA_OK : -1, ok, ""),
        R(temps(-90.0, 111.0), arg, "the temperature of O2(L) must be a positive number"),
        R(temps(80.16, 111.0), range, "O2(L) has an enthalpy only at 90.170 K; 80.160 K is more than 10 K away"),
        R(temps(90.0, 121.7), range, "CH4(L) has an enthalpy only at 111.643 K; 121.700 K is more than 10 K away"),
        R(temps(80.17, 121.643) | temps(100.17, 101.643), ok, ""),
        {[&] {
             const double one = 1.0, hot = 20000.5;
             return cea_mixture_calc_property_multitemp(gas, CEA_ENTHALPY, 1, &one, 1, &hot, &v);
         },
         range, "CO2 has data from 200.00 K to 20000.00 K only; 20000.500 K is outside"},
        R(cea_eqsolver_solve(nullptr, CEA_TP, 3000.0, 1.0, w, c.solution), null,
          "cea_eqsolver_solve: the solver handle is null"),
        R(cea_eqsolver_solve(c.solver, CEA_TP, 3000.0, 1.0, w, nullptr), null,
          "cea_eqsolver_solve: the solution handle is null"),
        R(cea_eqsolver_solve(c.solver, CEA_TP, 3000.0, 1.0, w, other.solution), mismatch,
          "cea_eqsolver_solve: the solution was created for another solver"),
        R(cea_eqsolver_solve(c.solver, CEA_TP, 3000.0, 1.0, nullptr, c.solution), size,
          "equilibrium: the reactant amounts array is null"),
        R(solve(CEA_SP, 1.0, 1.0, 0.5, 0.5), type,
          "equilibrium type 2 is not provided (0 for assigned T and p, 1 for assigned h and p)"),
        R(solve(CEA_HP, nan, 10.0, 0.5, 0.5), arg, equilibrium + "enthalpy must be a finite number"),
        R(solve(CEA_TP, 0.0, 10.0, 0.5, 0.5), arg, equilibrium + "temperature must be a positive number"),
        R(solve(CEA_HP, 1.0, 0.0, 0.5, 0.5), arg, equilibrium + "pressure must be a positive number"),
        R(solve(CEA_HP, 1.0, 1.0, -1e-300, 0.5), arg, "equilibrium: reactant amount 1 must be finite and not negative"),
        R(solve(CEA_HP, 1.0, 1.0, 0.0, 0.0), arg, "equilibrium: the reactant amounts must not all be zero"),
        R(solve(CEA_HP, 1.0, 1.0, 1e308, 1e308), arg,
          "equilibrium: the sum of the reactant amounts is not a finite number"),
        R(solve(CEA_HP, 1.0, 1.0, 1.0, 1e-320), arg, "equilibrium: the reactant amounts give element C only "),
        R(solve(CEA_TP, 199.99, 1.0, 0.75, 0.25), range, "equilibrium: the temperature 199.99 K lies " + limit),
        R(solve(CEA_TP, 200.0, 1.0, 0.75, 0.25) | solve(CEA_TP, 6000.0, 1.0, 0.75, 0.25), ok, ""),
        R(solve(CEA_HP, -203.83427355581409, 1e304, 0.75, 0.25), arg,
          "equilibrium: at 1e+304 bar the state cannot be represented (its density is not a finite number): the "
          "pressure is out of range"),
        R(solve(CEA_HP, -203.83427355581409, 1e303, 0.75, 0.25) | solve(CEA_HP, -203.83, 1e-100, 0.75, 0.25), ok, ""),
        R(unconverged(CEA_HP, -20.0, 1.0, 1.0, 0.0), unconv,
          property + "the last solve into this solution did not converge: the assigned enthalpy, -166.29 kJ/kg, is "
                     "below that of the equilibrium products at 200 K, the lower limit of their data ("),
        R(unconverged(CEA_HP, 1e5, 1.0, 0.75, 0.25), unconv,
          property + "the last solve into this solution did not converge: the assigned enthalpy, 831451 kJ/kg, is "
                     "above that of the equilibrium products at 6000 K, the upper limit of their data ("),
        R(cea_eqsolution_get_property(fresh, CEA_TEMPERATURE, &v), unconv,
          property + "the solution holds no result (no successful solve yet)"),
        R(cea_eqsolution_get_property(c.solution, -1, &v), prop, property + "property -1 is unknown (0 to 19)"),
        R(cea_eqsolution_get_property(c.solution, CEA_VISCOSITY, &v), prop,
          property + "transport property 15 is not provided"),
        R(cea_eqsolution_get_property(c.solution, 0, nullptr), null, property + "the result pointer is null"),
        R(cea_eqsolution_get_converged(c.solution, nullptr), null,
          "cea_eqsolution_get_converged: the result pointer is null"),
        R(cea_eqsolution_get_converged(reinterpret_cast<cea_eqsolution>(c.solver), &flag), null,
          "cea_eqsolution_get_converged: the solution" + not_live + "solution" + kind),
        R(cea_mixture_destroy(nullptr), null, "cea_mixture_destroy: the address of the handle is null"),
        R(cea_mixture_destroy(&stale_copy), null, "cea_mixture_destroy: the mixture" + not_live + "mixture" + kind),
        R(cea_mixture_destroy(reinterpret_cast<cea_mixture *>(&c.solver)), null,
          "cea_mixture_destroy: the mixture" + not_live + "mixture" + kind),
        R(cea_eqsolution_destroy(reinterpret_cast<cea_eqsolution *>(&c.reactants)), null,
          "cea_eqsolution_destroy: the solution" + not_live + "solution" + kind),
        R(cea_mixture_destroy(&m) | cea_eqsolver_destroy(&s) | cea_eqsolution_destroy(&x), ok, ""),
        R(cea_set_log_level(99), ok, ""),
        {[&] { return solve(CEA_TP, 3000.0, 10.0, 0.75, 0.25) | cea_eqsolution_get_converged(c.solution, &flag); },
         CEA_OK, ""},
    };
#undef R
    for (const row &row : rows) {
        SCOPED_TRACE(row.text);
        cea_mixture none = nullptr;
        ASSERT_EQ(cea_mixture_create(&none, 2, bad), CEA_UNKNOWN_SPECIES); // an error text to replace or clear
        EXPECT_EQ(row.call(), row.status);
        EXPECT_EQ(last_error().substr(0, row.text.size()), row.text);
        EXPECT_EQ(last_error().empty(), row.text.empty());
    }
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(cea_eqsolution_destroy(&fresh) | cea_mixture_destroy(&gas) | cea_mixture_destroy(&steam), CEA_OK);
}

// The text read back whole, or cut and terminated in a small buffer, as
// often as asked; and many handles made and destroyed in any order: each
// live one works, each destroyed one is refused, even after new ones.
TEST_F(loaded, error_text_and_many_handles)
{
    cea_mixture none = nullptr;
    const char *names[1] = {"no-such-species"};
    ASSERT_EQ(cea_mixture_create(&none, 1, names), CEA_UNKNOWN_SPECIES);
    const std::string text = last_error();
    char small[8];
    EXPECT_EQ(cea_last_error_message_buf(small, sizeof small), CEA_INVALID_SIZE);
    EXPECT_EQ(std::string(small), text.substr(0, 7));
    EXPECT_EQ(cea_last_error_message_buf(small, 0), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_last_error_message_buf(nullptr, 10), CEA_INVALID_SIZE);
    EXPECT_EQ(cea_last_error_message_len(nullptr), CEA_NULL_HANDLE);
    EXPECT_EQ(last_error(), text);

    std::vector<cea_mixture> live(200), dead;
    for (cea_mixture &m : live) {
        ASSERT_EQ(cea_mixture_create(&m, 2, propellants), CEA_OK);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 3; ++round) {
        std::shuffle(live.begin(), live.end(), random);
        for (int i = 0; i < 60; ++i) {
            dead.push_back(live.back());
            cea_mixture m = live.back();
            ASSERT_EQ(cea_mixture_destroy(&m), CEA_OK);
            live.pop_back();
        }
        for (int i = 0; i < 40; ++i) {
            live.push_back(nullptr);
            ASSERT_EQ(cea_mixture_create(&live.back(), 2, propellants), CEA_OK);
        }
        double w[2];
        const double ox[2] = {1.0, 0.0}, fu[2] = {0.0, 1.0};
        for (cea_mixture m : live) {
            ASSERT_EQ(cea_mixture_of_ratio_to_weights(m, 2, ox, fu, 3.0, w), CEA_OK);
        }
        for (cea_mixture m : dead) {
            ASSERT_EQ(cea_mixture_of_ratio_to_weights(m, 2, ox, fu, 3.0, w), CEA_NULL_HANDLE);
        }
    }
    for (cea_mixture &m : live) {
        EXPECT_EQ(cea_mixture_destroy(&m), CEA_OK);
    }
}

} // namespace
