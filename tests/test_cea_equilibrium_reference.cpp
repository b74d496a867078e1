// The reference library's chamber states (tests/data/chamber_states.csv) through
// the C operations as the program calls them, on the text database and on
// the compiled one: T, M and frozen gamma within 1e-10 relative (the worst
// is 6.3e-11 in T, where the reference stopped at its convergence tests), the
// reactant enthalpy within two units in the last place, and the same bits on
// either form and after any other solve. At each state the other properties
// hold to their definitions: density and volume, u = h - pV, g = h - Ts,
// frozen cv = cp - R/M, and the equilibrium cp, cv and gamma_s against
// central differences of TP solves (s = -dg/dT, cp = dh/dT, the volume's
// derivatives: RP-1311 eqs. 2.50, 2.51, 2.59 and 2.70 to 2.73), within 1e-6.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cea_chamber_objects.h"

namespace {

struct reference_row {
    std::string fuel;
    double p_c_pa, k, t_o_k, t_f_k, t_c_k, m_kg_kmol, cp_kj_kg_k, cv_kj_kg_k, gamma, h_j_kg;
};

std::vector<reference_row> reference_rows()
{
    std::vector<reference_row> rows;
    std::ifstream in(CEA_TEST_DATA_DIR "/chamber_states.csv");
    for (std::string line; std::getline(in, line);) {
        for (char &c : line) {
            c = c == ',' ? ' ' : c;
        }
        std::istringstream f(line);
        reference_row r;
        if (line[0] != '#' && f >> r.fuel >> r.p_c_pa >> r.k >> r.t_o_k >> r.t_f_k >> r.t_c_k >> r.m_kg_kmol >>
                                  r.cp_kj_kg_k >> r.cv_kj_kg_k >> r.gamma >> r.h_j_kg) {
            rows.push_back(r);
        }
    }
    return rows;
}

double relative(double value, double reference) { return std::fabs(value - reference) / std::fabs(reference); }

// TP at T and p (bar) for the chamber's weights into a second solution:
// h, g (kJ/kg) and ln v.
void tp_state(chamber_objects &c, cea_eqsolution into, double t_k, double p_bar, double *h, double *g, double *ln_v)
{
    ASSERT_EQ(cea_eqsolver_solve(c.solver, CEA_TP, t_k, p_bar, c.weights, into), CEA_OK);
    double v = 0.0;
    EXPECT_EQ(cea_eqsolution_get_property(into, CEA_ENTHALPY, h) |
                  cea_eqsolution_get_property(into, CEA_GIBBS_ENERGY, g) |
                  cea_eqsolution_get_property(into, CEA_VOLUME, &v),
              CEA_OK);
    *ln_v = std::log(v);
}

// The states of every row on one database, 16 properties each.
std::vector<double> states_on(const char *database, const std::vector<reference_row> &rows)
{
    EXPECT_EQ(cea_init_thermo(database), CEA_OK) << database;
    chamber_objects methane("CH4(L)");
    chamber_objects kerosene("RP-1");
    cea_eqsolution nearby[2] = {nullptr, nullptr};
    EXPECT_EQ(cea_eqsolution_create(&nearby[0], methane.solver) | cea_eqsolution_create(&nearby[1], kerosene.solver),
              CEA_OK);
    std::vector<double> states;
    for (const reference_row &r : rows) {
        SCOPED_TRACE(r.fuel + " p_c " + std::to_string(r.p_c_pa) + " k " + std::to_string(r.k));
        int f = r.fuel == "RP-1";
        chamber_objects &c = f ? kerosene : methane;
        double h = c.solve_chamber(r.p_c_pa, r.k, r.t_o_k, r.t_f_k);
        EXPECT_LE(std::fabs(h - r.h_j_kg), 2.0 * (std::nextafter(std::fabs(r.h_j_kg), INFINITY) - std::fabs(r.h_j_kg)));
        double v[15];
        for (int p = 0; p < 15; ++p) {
            v[p] = c.property(p);
        }
        states.push_back(h);
        states.insert(states.end(), v, v + 15);
        EXPECT_LE(relative(v[CEA_TEMPERATURE], r.t_c_k), 1e-10);
        EXPECT_LE(relative(v[CEA_M], r.m_kg_kmol), 1e-10);
        EXPECT_LE(relative(v[CEA_FROZEN_CP] / v[CEA_FROZEN_CV], r.gamma), 1e-10);
        EXPECT_LE(relative(v[CEA_PRESSURE], r.p_c_pa / 1e5), 1e-15);
        EXPECT_LE(relative(v[CEA_ENTHALPY], h / 1000.0), 1e-10);
        EXPECT_LE(relative(v[CEA_DENSITY] * v[CEA_VOLUME], 1.0), 1e-15);
        EXPECT_LE(relative(v[CEA_ENERGY], v[CEA_ENTHALPY] - v[CEA_PRESSURE] * 100.0 * v[CEA_VOLUME]), 1e-12);
        EXPECT_LE(relative(v[CEA_GIBBS_ENERGY], v[CEA_ENTHALPY] - v[CEA_TEMPERATURE] * v[CEA_ENTROPY]), 1e-12);
        EXPECT_LE(relative(v[CEA_FROZEN_CV], v[CEA_FROZEN_CP] - 8.31451 / v[CEA_M]), 1e-12);
        EXPECT_LE(v[CEA_MW], v[CEA_M]);
        // Central differences of TP solves at T (1 +- e) and p (1 +- e).
        const double e = 1e-4, t = v[CEA_TEMPERATURE], p = v[CEA_PRESSURE];
        double h1, h2, g1, g2, lv1, lv2, hp, gp, lvp1, lvp2;
        tp_state(c, nearby[f], t * (1 + e), p, &h2, &g2, &lv2);
        tp_state(c, nearby[f], t * (1 - e), p, &h1, &g1, &lv1);
        tp_state(c, nearby[f], t, p * (1 + e), &hp, &gp, &lvp2);
        tp_state(c, nearby[f], t, p * (1 - e), &hp, &gp, &lvp1);
        EXPECT_EQ(c.property(CEA_TEMPERATURE), t); // the chamber's solution keeps its state
        double cp = (h2 - h1) / (2 * e * t), dlnv_dlnt = (lv2 - lv1) / (2 * e);
        double dlnv_dlnp = (lvp2 - lvp1) / (std::log1p(e) - std::log1p(-e));
        double cv = cp + 8.31451 / v[CEA_M] * dlnv_dlnt * dlnv_dlnt / dlnv_dlnp;
        EXPECT_LE(relative(v[CEA_ENTROPY], -(g2 - g1) / (2 * e * t)), 1e-6);
        EXPECT_LE(relative(v[CEA_EQUILIBRIUM_CP], cp), 1e-6);
        EXPECT_LE(relative(v[CEA_EQUILIBRIUM_CV], cv), 1e-6);
        EXPECT_LE(relative(v[CEA_GAMMA_S], -cp / cv / dlnv_dlnp), 1e-6);
    }
    // The first state again, after all the others: the same bits.
    const reference_row &r = rows[0];
    EXPECT_EQ(methane.solve_chamber(r.p_c_pa, r.k, r.t_o_k, r.t_f_k), states[0]);
    for (int p = 0; p < 15; ++p) {
        EXPECT_EQ(methane.property(p), states[static_cast<std::size_t>(p) + 1]) << "property " << p;
    }
    EXPECT_EQ(cea_eqsolution_destroy(&nearby[0]) | cea_eqsolution_destroy(&nearby[1]), CEA_OK);
    return states;
}

TEST(reference, chamber_states_on_either_form)
{
    const std::vector<reference_row> rows = reference_rows();
    ASSERT_EQ(rows.size(), 54u);
    const std::vector<double> text = states_on(LRE_THERMO_DATABASE, rows);
    if (std::strlen(LRE_THERMO_LIB) == 0) {
        GTEST_SKIP() << "no compiled database with an external library";
    }
    const std::vector<double> compiled = states_on(LRE_THERMO_LIB, rows);
    ASSERT_EQ(compiled.size(), text.size());
    EXPECT_EQ(std::memcmp(compiled.data(), text.data(), text.size() * sizeof(double)), 0);
}

} // namespace
