// What must hold at every converged equilibrium, over the operating range
// (p 0.01 to 100 MPa, k 0.3 to 30) and beyond it (0.1 kPa to 150 MPa, a
// reactant in a trace or absent, mixtures so rich either way that the state
// lies near or beyond the data's limits, cold states with ice): the element
// and enthalpy balances, the Gibbs minimum (each species present at the
// potential that the element potentials give it, each absent one above it,
// a condensed one included), the same state from other starts, and beyond a
// limit of the data an equilibrium there already past the assigned enthalpy.
// Tolerances, all relative: balances 1e-10, potentials 1e-8, start 1e-9.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "equilibrium_solver.h"
#include "mixture.h"
#include "thermo_database.h"
#include "thermo_functions.h"

using namespace cea_impl;

namespace {

struct chamber {
    mixture reactants, products;
    equilibrium_solver solver;
    equilibrium_solution solution;
};

// Air with methane holds five elements, more than the solver's sums for a
// few elements take.
const char *const pairs[5][2] = {
    {"O2(L)", "CH4(L)"}, {"O2(L)", "RP-1"}, {"O2(L)", "H2(L)"}, {"N2", "C2H5OH(L)"}, {"Air", "CH4"}};
const double fuel_inlet_k[3] = {111.0, 298.15, 20.27};

double atoms_of(const species_record *s, const char *symbol)
{
    double a = 0.0;
    for (int e = 0; e < s->element_count; ++e) {
        a += std::strcmp(record_element_symbol(s, e), symbol) == 0 ? record_element_amounts(s)[e] : 0.0;
    }
    return a;
}

// Checks every invariant of the converged state in c.solution, solved at
// state1 (T for TP, h/R for HP) and p_bar from the amounts w (any scale).
void check_state(const chamber &c, int type, double state1, double p_bar, const double w[2])
{
    const equilibrium_solution &out = c.solution;
    const equilibrium_solver &s = c.solver;
    ASSERT_EQ(out.converged, 1);
    EXPECT_NEAR(out.p_bar, p_bar, 1e-14 * p_bar);
    EXPECT_LE(std::fabs((type == CEA_TP ? out.t_k : out.h_over_r) - state1), 1e-10 * std::fabs(state1));
    double b0[8] = {};
    const char *symbols[8];
    for (int i = 0; i < s.element_count; ++i) {
        symbols[i] = &s.element_symbols[static_cast<std::size_t>(i) * element_symbol_capacity];
        double b = 0.0;
        for (int r = 0; r < 2; ++r) {
            const species_record *rec = mixture_species(&c.reactants, r);
            b0[i] += w[r] / (w[0] + w[1]) * atoms_of(rec, symbols[i]) / rec->molecular_weight_kg_kmol;
        }
        for (int j = 0; j < s.species_count; ++j) {
            b += atoms_of(solver_species(&s, j), symbols[i]) * out.moles[j];
        }
        EXPECT_LE(std::fabs(b - b0[i]), 1e-10 * b0[i]) << symbols[i];
    }
    temperature_powers powers;
    make_temperature_powers(out.t_k, &powers);
    double cp = 0.0, n_gas = 0.0, n_all = 0.0;
    for (int j = 0; j < s.species_count; ++j) {
        const species_record *rec = solver_species(&s, j);
        double n_j = out.moles[j], potential = 0.0;
        bool formed = true; // of the elements present
        for (int i = 0; i < s.element_count; ++i) {
            potential += atoms_of(rec, symbols[i]) * out.element_potentials[i];
            formed = formed && (atoms_of(rec, symbols[i]) == 0.0 || b0[i] > 0.0);
        }
        species_functions f;
        evaluate_species(rec, &powers, &f);
        double g = f.h_rt - f.s_r;
        double ln_x = potential - g - std::log(p_bar); // a gas's mole fraction that the potentials give
        cp += n_j * f.cp_r;
        n_all += n_j;
        n_gas += rec->condensed ? 0.0 : n_j;
        SCOPED_TRACE(record_name(rec));
        if (!formed) {
            EXPECT_EQ(n_j, 0.0);
        } else if (!rec->condensed && n_j == 0.0) { // a trace gas, left out but in the frozen cp
            EXPECT_LT(ln_x, out.trace_log_fraction + 1e-8);
            cp += out.n_gas * std::exp(ln_x) * f.cp_r;
        } else if (!rec->condensed) {
            EXPECT_GT(ln_x, out.trace_log_fraction - 1e-8);
            if (n_j >= std::numeric_limits<double>::min()) { // a subnormal has too few digits
                EXPECT_NEAR(std::log(n_j / out.n_gas), ln_x, 1e-8);
            }
        } else if (n_j != 0.0) {
            EXPECT_GT(n_j, 0.0);
            EXPECT_NEAR(g, potential, 1e-8);
        } else if (out.t_k >= record_intervals(rec)[0].t_low_k &&
                   out.t_k <= record_intervals(rec)[rec->interval_count - 1].t_high_k) {
            EXPECT_GE(g - potential, -1e-8) << "would lower the Gibbs energy";
        }
    }
    EXPECT_NEAR(cp, out.cp_frozen_over_r, 1e-12 * cp);
    EXPECT_NEAR(n_gas, out.n_gas, 1e-13 * n_gas);
    EXPECT_NEAR(n_all, out.n_total, 1e-13 * n_all);
}

TEST(solver_invariants, hold_over_every_kind_of_state)
{
    thermo_database db;
    failure error;
    ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &db, &error), CEA_OK) << error.text;
    chamber chambers[5];
    for (int f = 0; f < 5; ++f) {
        chamber &c = chambers[f];
        ASSERT_EQ(mixture_from_names(&db, 2, pairs[f], &c.reactants, &error) |
                      mixture_of_products(&db, 2, pairs[f], 0, nullptr, &c.products, &error) |
                      create_equilibrium_solver(&c.products, &c.reactants, &c.solver, &error) |
                      create_equilibrium_solution(&c.solver, &c.solution, &error),
                  CEA_OK);
    }
    // Fuel, mixture ratio k (0 for the weights of w), p, and the problem:
    // HP at the inlet enthalpy, HP at h/R = state, or TP at T = state.
    struct problem {
        int fuel;
        double k, p_bar;
        int type;
        double state, w[2];
    };
    std::vector<problem> problems;
    for (int fuel = 0; fuel < 3; ++fuel) {
        for (double p_bar : {0.001, 0.01, 0.1, 1.0, 5.0, 50.0, 300.0, 1000.0, 1500.0}) {
            for (double k : {0.001, 0.01, 0.05, 0.2, 0.3, 1.0, 2.0, 3.5, 8.0, 30.0, 100.0, 1000.0}) {
                if (p_bar >= 0.01 || (k >= 0.3 && k <= 30.0)) {
                    problems.push_back({fuel, k, p_bar, CEA_HP, 0.0, {0.0, 0.0}});
                }
            }
            for (double trace : {1e-6, 1e-12, 1e-300}) {
                for (double h : {1.0, 200.0}) {
                    problems.push_back({fuel, 0.0, p_bar, CEA_HP, h, {1.0, trace}});
                    problems.push_back({fuel, 0.0, p_bar, CEA_HP, h, {trace, 1.0}});
                }
            }
        }
        for (double t : {400.0, 1000.0, 3500.0}) { // one reactant absent, then liquid water
            problems.push_back({fuel, 0.0, 10.0, CEA_TP, t, {0.0, 1.0}});
            problems.push_back({fuel, 0.0, 10.0, CEA_TP, t, {1.0, 0.0}});
            problems.push_back({0, 0.0, 100.0, CEA_TP, t, {0.8, 0.2}});
        }
    }
    // Cool states, most with water condensing, where a step once left below
    // the floor a gas that the element ratios need (H2 when rich, O2 when
    // lean) and the iteration stopped on singular equations: fuel, T, p, k.
    const struct {
        int fuel;
        double t_k, p_bar, k;
    } singular_starts[] = {{2, 400.0, 100.0, 2.4},  {2, 400.0, 100.0, 2.45}, {2, 400.0, 100.0, 2.5},
                           {2, 400.0, 100.0, 2.55}, {2, 300.0, 1.0, 2.0},    {2, 600.0, 5.0, 2.8},
                           {0, 300.0, 70.0, 4.9},   {1, 375.0, 10.0, 6.2}};
    for (const auto &r : singular_starts) {
        problems.push_back({r.fuel, 0.0, r.p_bar, CEA_TP, r.t_k, {r.k / (1.0 + r.k), 1.0 / (1.0 + r.k)}});
    }
    for (double p_bar : {0.1, 10.0, 100.0}) {
        for (double h : {-50.0, 1.0, 100.0}) {
            problems.push_back({4, 0.0, p_bar, CEA_HP, h, {0.94, 0.06}});
        }
        problems.push_back({4, 0.0, p_bar, CEA_TP, 2500.0, {0.8, 0.2}});
    }
    // A fuzzer's find: C, H and O at 1e-302 kmol/kg in nitrogen, once
    // stopped at the iteration limit with the enthalpy off by 3.3e-5.
    problems.push_back({3, 0.0, 0.002128776203754405, CEA_HP, -1.0, {1e300, 0.13293659876401923}});
    const solve_start starts[3] = {{1500.0, 0.02, 1}, {6000.0, 0.3, 1}, {2500.0, 0.05, 0}};
    int converged = 0, beyond = 0, with_ice = 0;
    for (problem &q : problems) {
        chamber &c = chambers[q.fuel];
        SCOPED_TRACE(std::string(pairs[q.fuel][1]) + " k " + std::to_string(q.k) + " p " + std::to_string(q.p_bar) +
                     " bar, state " + std::to_string(q.state) + ", w " + std::to_string(q.w[0]) + " " +
                     std::to_string(q.w[1]));
        if (q.k > 0.0) {
            const double oxidant[2] = {1.0, 0.0}, fuel[2] = {0.0, 1.0}, t[2] = {90.0, fuel_inlet_k[q.fuel]};
            ASSERT_EQ(ratio_to_weights(&c.reactants, 2, oxidant, fuel, q.k, q.w, &error) |
                          reactant_enthalpy(&c.reactants, 2, q.w, 2, t, &q.state, &error),
                      CEA_OK);
            q.state /= gas_constant_j_kmol_k;
        }
        ASSERT_EQ(solve_equilibrium(&c.solver, q.type, q.state, q.p_bar, q.w, nullptr, &c.solution, &error), CEA_OK);
        if (!c.solution.converged) {
            ++beyond;
            int below = c.solution.unconverged_reason == unconverged_below_data;
            ASSERT_TRUE(below || c.solution.unconverged_reason == unconverged_above_data);
            double limit = below ? 200.0 : 6000.0;
            EXPECT_TRUE(c.solution.t_k == limit && c.solution.data_low_k == 200.0 && c.solution.data_high_k == 6000.0);
            ASSERT_EQ(solve_equilibrium(&c.solver, CEA_TP, limit, q.p_bar, q.w, nullptr, &c.solution, &error), CEA_OK);
            check_state(c, CEA_TP, limit, q.p_bar, q.w);
            EXPECT_TRUE(below ? c.solution.h_over_r > q.state : c.solution.h_over_r < q.state);
            continue;
        }
        ++converged;
        check_state(c, q.type, q.state, q.p_bar, q.w);
        double floor = c.solution.trace_log_fraction; // ln 1e-8, or ln 1e-11 with a condensed phase
        EXPECT_TRUE(q.type == CEA_HP || floor == -18.420681 || floor == -25.328436) << floor;
        with_ice += c.solution.t_k > 200.0 && c.solution.t_k < 273.0 && c.solution.n_total > c.solution.n_gas;
        const double t = c.solution.t_k, n = c.solution.n_gas;
        for (const solve_start &start : starts) {
            ASSERT_EQ(solve_equilibrium(&c.solver, q.type, q.state, q.p_bar, q.w, &start, &c.solution, &error), CEA_OK);
            check_state(c, q.type, q.state, q.p_bar, q.w);
            EXPECT_LE(std::fabs(c.solution.t_k - t), 1e-9 * t) << "from " << start.t_k << " K";
            EXPECT_LE(std::fabs(c.solution.n_gas - n), 1e-9 * n) << "from " << start.t_k << " K";
        }
    }
    EXPECT_TRUE(converged > 500 && beyond > 20 && with_ice > 1) << converged << " " << beyond << " " << with_ice;
    for (chamber &c : chambers) {
        release_equilibrium_solution(&c.solution);
        release_equilibrium_solver(&c.solver);
        release_mixture(&c.products);
        release_mixture(&c.reactants);
    }
    release_thermo_database(&db);
}

} // namespace
