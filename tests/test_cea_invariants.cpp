// What must hold at every converged equilibrium over the operating range
// (p 0.01 to 100 MPa, k 0.3 to 30, both fuels) and beyond it (down to
// 0.1 kPa, either reactant in a trace, and mixtures so rich either way that
// the state lies near or beyond the data's limits). Tolerances: balances
// 1e-10, potentials 1e-8, frozen cp 1e-12, start independence 1e-9, all
// relative.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "equilibrium_solver.h"
#include "mixture.h"
#include "thermo_database.h"
#include "thermo_functions.h"

using namespace cea_impl;

namespace {

const double balance_tolerance = 1e-10;
const double potential_tolerance = 1e-8;
const double start_tolerance = 1e-9;
const double heat_capacity_tolerance = 1e-12;
// The trace floors, ln of mole fractions 1e-8 and, with a condensed phase,
// 1e-11 (Gordon & McBride, NASA RP-1311, section 3.2).
const double trace_floor = -18.420681;
const double condensed_trace_floor = -25.328436;

struct chamber {
    mixture reactants;
    mixture products;
    equilibrium_solver solver;
    equilibrium_solution solution;
};

// Chambers 0 and 1: O2(L) with CH4(L) and with RP-1; 2: N2 with ethanol;
// 3: O2(L) with H2(L).
class operating_range : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        failure error;
        ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &db, &error), CEA_OK) << error.text;
        const char *pairs[4][2] = {{"O2(L)", "CH4(L)"}, {"O2(L)", "RP-1"}, {"N2", "C2H5OH(L)"}, {"O2(L)", "H2(L)"}};
        for (int f = 0; f < 4; ++f) {
            chamber &c = chambers[f];
            ASSERT_EQ(mixture_from_names(&db, 2, pairs[f], &c.reactants, &error), CEA_OK);
            ASSERT_EQ(mixture_of_products(&db, 2, pairs[f], 0, nullptr, &c.products, &error), CEA_OK);
            ASSERT_EQ(create_equilibrium_solver(&c.products, &c.reactants, &c.solver, &error), CEA_OK);
            ASSERT_EQ(create_equilibrium_solution(&c.solver, &c.solution, &error), CEA_OK);
        }
    }
    static void TearDownTestSuite()
    {
        for (chamber &c : chambers) {
            release_equilibrium_solution(&c.solution);
            release_equilibrium_solver(&c.solver);
            release_mixture(&c.products);
            release_mixture(&c.reactants);
        }
        release_thermo_database(&db);
    }
    static thermo_database db;
    static chamber chambers[4];

    // The HP problem at the module's inlet temperatures (the liquids' own);
    // returns h/R.
    static double inlet_h_over_r(int fuel, double k, double w[2])
    {
        const double oxidant[2] = {1.0, 0.0};
        const double fuel_only[2] = {0.0, 1.0};
        const double fuel_inlet_k[4] = {111.0, 298.15, 298.15, 20.27};
        const double temperatures[2] = {90.0, fuel_inlet_k[fuel]};
        failure error;
        double h = 0.0;
        const mixture *m = &chambers[fuel].reactants;
        EXPECT_EQ(ratio_to_weights(m, 2, oxidant, fuel_only, k, w, &error), CEA_OK);
        EXPECT_EQ(reactant_enthalpy(m, 2, w, 2, temperatures, &h, &error), CEA_OK);
        return h / gas_constant_j_kmol_k;
    }
};

thermo_database operating_range::db;
chamber operating_range::chambers[4];

double element_amount(const species_record *s, const char *symbol)
{
    double a = 0.0;
    for (int e = 0; e < s->element_count; ++e) {
        if (std::strcmp(record_element_symbol(s, e), symbol) == 0) {
            a += record_element_amounts(s)[e];
        }
    }
    return a;
}

double moles_of(const chamber &c, const char *name)
{
    for (int j = 0; j < c.solver.species_count; ++j) {
        if (std::strcmp(record_name(solver_species(&c.solver, j)), name) == 0) {
            return c.solution.moles[static_cast<std::size_t>(j)];
        }
    }
    ADD_FAILURE() << name << " is not a product";
    return 0.0;
}

// Solves HP (or TP: h_over_r is then the temperature) and checks every
// invariant of the result; w are the reactant amounts, in any scale.
void solve_and_check(chamber &c, int type, double h_over_r, double p_bar, const double w[2], const std::string &where)
{
    SCOPED_TRACE(where);
    failure error;
    ASSERT_EQ(solve_equilibrium(&c.solver, type, h_over_r, p_bar, w, nullptr, &c.solution, &error), CEA_OK)
        << error.text;
    const equilibrium_solution &out = c.solution;
    ASSERT_EQ(out.converged, 1);
    for (double v : {out.t_k, out.n_gas, out.n_total, out.h_over_r, out.cp_frozen_over_r, out.s_over_r}) {
        EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_GT(out.cp_frozen_over_r, out.n_gas); // frozen gamma above 1
    if (type == CEA_TP) {
        EXPECT_EQ(out.t_k, h_over_r);
    } else {
        EXPECT_LE(std::fabs(out.h_over_r - h_over_r), balance_tolerance * std::fabs(h_over_r));
    }

    // Element balance, each element against its own amount.
    const equilibrium_solver &s = c.solver;
    auto symbol = [&s](int i) { return &s.element_symbols[static_cast<std::size_t>(i * element_symbol_capacity)]; };
    for (int i = 0; i < s.element_count; ++i) {
        double b0 = 0.0;
        for (int r = 0; r < 2; ++r) {
            const species_record *rec = mixture_species(&c.reactants, r);
            b0 += w[r] / (w[0] + w[1]) * element_amount(rec, symbol(i)) / rec->molecular_weight_kg_kmol;
        }
        double b = 0.0;
        for (int j = 0; j < s.species_count; ++j) {
            b += element_amount(solver_species(&s, j), symbol(i)) * out.moles[static_cast<std::size_t>(j)];
        }
        EXPECT_LE(std::fabs(b - b0), balance_tolerance * b0) << symbol(i);
    }

    // mu_j/RT = sum_i a_ij pi_i for gases present (above the trace floor);
    // the others lie below it and add to the frozen cp at that amount. A
    // condensed species is present, with that equality, only where stable.
    double ln_p = std::log(p_bar);
    double cp = 0.0;
    for (int j = 0; j < s.species_count; ++j) {
        const species_record *rec = solver_species(&s, j);
        double n_j = out.moles[static_cast<std::size_t>(j)];
        temperature_powers powers;
        make_temperature_powers(out.t_k, &powers);
        species_functions f;
        evaluate_species(rec, &powers, &f);
        double potential = 0.0;
        for (int i = 0; i < s.element_count; ++i) {
            potential += element_amount(rec, symbol(i)) * out.element_potentials[static_cast<std::size_t>(i)];
        }
        double g = f.h_rt - f.s_r;
        cp += n_j * f.cp_r;
        if (!rec->condensed) {
            double ln_x = potential - g - ln_p; // the mole fraction that the potentials give
            if (n_j == 0.0) {
                EXPECT_LT(ln_x, out.trace_log_fraction + potential_tolerance) << record_name(rec) << " left out";
                cp += out.n_gas * std::exp(ln_x) * f.cp_r;
            } else {
                EXPECT_GT(ln_x, out.trace_log_fraction - potential_tolerance) << record_name(rec) << " a trace";
            }
            // Below the smallest normal double (the minor species of a
            // trace element) an amount has too few digits for its logarithm.
            if (n_j >= std::numeric_limits<double>::min()) {
                EXPECT_NEAR(g + std::log(n_j / out.n_gas) + ln_p, potential, potential_tolerance) << record_name(rec);
            }
        } else if (n_j != 0.0) {
            EXPECT_GT(n_j, 0.0) << record_name(rec);
            EXPECT_NEAR(g, potential, potential_tolerance) << record_name(rec);
        } else if (out.t_k >= record_intervals(rec)[0].t_low_k &&
                   out.t_k <= record_intervals(rec)[rec->interval_count - 1].t_high_k) {
            EXPECT_GE(g - potential, -potential_tolerance) << record_name(rec) << " would lower the Gibbs energy";
        }
    }
    EXPECT_NEAR(cp, out.cp_frozen_over_r, heat_capacity_tolerance * out.cp_frozen_over_r);
}

// Besides the invariants: the published start (all gases alike) and starts
// far off in T and n land on the same equilibrium as the usual estimate.
TEST_F(operating_range, invariants_and_start_independence_hold_everywhere)
{
    const double pressures_mpa[] = {0.0001, 0.01, 0.1, 0.5, 5.0, 30.0, 100.0};
    const double ratios[] = {0.3, 1.0, 2.0, 3.5, 8.0, 30.0};
    const solve_start starts[] = {{3800.0, 0.1, 1}, {1500.0, 0.02, 1}, {6000.0, 0.3, 1}, {2500.0, 0.05, 0}};
    int with_carbon = 0;
    for (int fuel = 0; fuel < 2; ++fuel) {
        for (double p : pressures_mpa) {
            for (double k : ratios) {
                double w[2];
                double h = inlet_h_over_r(fuel, k, w);
                std::string where =
                    std::string(fuel ? "RP-1" : "CH4(L)") + " p " + std::to_string(p) + " MPa k " + std::to_string(k);
                SCOPED_TRACE(where);
                solve_and_check(chambers[fuel], CEA_HP, h, p * 10.0, w, where);
                int carbon = moles_of(chambers[fuel], "C(gr)") > 0.0;
                with_carbon += carbon;
                // Once a condensed species has entered, the floor stays at
                // 1e-11 even if it leaves again.
                equilibrium_solution &out = chambers[fuel].solution;
                EXPECT_TRUE(out.trace_log_fraction == condensed_trace_floor ||
                            (!carbon && out.trace_log_fraction == trace_floor));
                const double t = out.t_k;
                const double m = 1.0 / out.n_gas;
                for (const solve_start &start : starts) {
                    failure error;
                    ASSERT_EQ(solve_equilibrium(&chambers[fuel].solver, CEA_HP, h, p * 10.0, w, &start, &out, &error),
                              CEA_OK);
                    ASSERT_EQ(out.converged, 1) << "start " << start.t_k;
                    EXPECT_LE(std::fabs(out.t_k - t), start_tolerance * t) << "start " << start.t_k;
                    EXPECT_LE(std::fabs(1.0 / out.n_gas - m), start_tolerance * m) << "start " << start.t_k;
                }
            }
        }
    }
    EXPECT_GT(with_carbon, 0); // condensed carbon enters somewhere in the range
}

// A reactant in a trace, either way round and down to 1e-300 of the other,
// keeps its elements in balance, far below the fractions the iteration drops.
TEST_F(operating_range, trace_reactants_keep_the_balances)
{
    for (int fuel = 0; fuel < 2; ++fuel) {
        for (double trace : {1e-6, 1e-12, 1e-300}) {
            for (int traced = 0; traced < 2; ++traced) {
                double w[2] = {1.0, 1.0};
                w[traced] = trace;
                for (double p : {0.001, 1.0, 1000.0}) {
                    for (double h : {1.0, 200.0}) { // h/R, kmol K/kg
                        solve_and_check(chambers[fuel], CEA_HP, h, p, w,
                                        std::string(fuel ? "RP-1" : "CH4(L)") + (traced ? " fuel " : " oxygen ") +
                                            std::to_string(trace) + " p " + std::to_string(p) + " bar h/R " +
                                            std::to_string(h));
                    }
                }
            }
        }
    }
    // A fuzzer's find: C, H and O at 1e-302 kmol/kg once stopped at the
    // iteration limit with the enthalpy off by 3.3e-5, reported as converged.
    const double w[2] = {1e300, 0.13293659876401923};
    solve_and_check(chambers[2], CEA_HP, -1.0, 0.002128776203754405, w, "ethanol in nitrogen");
}

// Mixtures very rich in fuel or in oxygen at very low and very high
// pressures, whose states lie near the data's limits (200 K to 6000 K) or
// beyond them: each either converges with every invariant, or is reported
// as lying beyond a limit, which a TP solve there confirms (the enthalpy of
// the equilibrium at the limit is already past the assigned one).
TEST_F(operating_range, extreme_mixtures_converge_or_lie_beyond_the_data)
{
    const char *fuel_names[4] = {"CH4(L)", "RP-1", "", "H2(L)"};
    int converged = 0;
    int beyond = 0;
    for (int fuel : {0, 1, 3}) {
        for (double p : {0.01, 0.1, 1000.0, 1500.0}) {
            for (double k : {0.001, 0.01, 0.05, 0.2, 30.0, 100.0, 1000.0}) {
                double w[2];
                double h = inlet_h_over_r(fuel, k, w);
                std::string where =
                    std::string(fuel_names[fuel]) + " p " + std::to_string(p) + " bar k " + std::to_string(k);
                SCOPED_TRACE(where);
                chamber &c = chambers[fuel];
                failure error;
                ASSERT_EQ(solve_equilibrium(&c.solver, CEA_HP, h, p, w, nullptr, &c.solution, &error), CEA_OK);
                if (c.solution.converged) {
                    ++converged;
                    solve_and_check(c, CEA_HP, h, p, w, where);
                    continue;
                }
                ++beyond;
                const equilibrium_solution &out = c.solution;
                int below = out.unconverged_reason == unconverged_below_data;
                ASSERT_TRUE(below || out.unconverged_reason == unconverged_above_data) << out.unconverged_reason;
                double limit = below ? out.data_low_k : out.data_high_k;
                EXPECT_EQ(out.t_k, limit);
                char text[256];
                describe_unconverged(&out, text, sizeof text);
                EXPECT_NE(std::string(text).find(below ? "the state lies below 200 K" : "the state lies above 6000 K"),
                          std::string::npos)
                    << text;
                solve_and_check(c, CEA_TP, limit, p, w, where + " at the limit");
                EXPECT_TRUE(below ? c.solution.h_over_r > h : c.solution.h_over_r < h) << c.solution.h_over_r;
            }
        }
    }
    EXPECT_GT(converged, 0);
    EXPECT_GT(beyond, 0);
}

// States just above the lower limit that hold condensed water, which an
// iteration on the gases alone used to miss below 200 K (at 189 K and
// 157 K). Each lies between two temperatures whose TP equilibria hold less
// and more enthalpy than the reactants.
TEST_F(operating_range, cold_states_with_condensed_water)
{
    const struct {
        int fuel;
        double k, p_bar, t_below_k, t_above_k;
    } cases[] = {
        {3, 0.2, 0.01, 225.0, 226.0},   // O2(L)/H2(L), with ice
        {0, 0.05, 1500.0, 238.0, 239.0} // O2(L)/CH4(L), with ice and graphite
    };
    for (const auto &k : cases) {
        std::string where = "fuel " + std::to_string(k.fuel) + " k " + std::to_string(k.k);
        chamber &c = chambers[k.fuel];
        double w[2];
        double h = inlet_h_over_r(k.fuel, k.k, w);
        solve_and_check(c, CEA_HP, h, k.p_bar, w, where);
        EXPECT_GT(c.solution.t_k, k.t_below_k);
        EXPECT_LT(c.solution.t_k, k.t_above_k);
        EXPECT_GT(moles_of(c, "H2O(cr)"), 0.0);
        solve_and_check(c, CEA_TP, k.t_below_k, k.p_bar, w, where + " below");
        EXPECT_LT(c.solution.h_over_r, h);
        solve_and_check(c, CEA_TP, k.t_above_k, k.p_bar, w, where + " above");
        EXPECT_GT(c.solution.h_over_r, h);
    }
}

// At assigned temperature and pressure the same conditions hold, and at
// 400 K and 100 bar liquid water comes in.
TEST_F(operating_range, assigned_temperature_problems)
{
    const double w[2] = {0.8, 0.2};
    for (double t : {5000.0, 3000.0, 1000.0, 400.0}) {
        solve_and_check(chambers[0], CEA_TP, t, 100.0, w, "TP " + std::to_string(t) + " K");
    }
    EXPECT_GT(moles_of(chambers[0], "H2O(L)"), 0.0);
}

} // namespace
