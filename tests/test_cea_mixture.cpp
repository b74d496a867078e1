// Mixtures and the reactant enthalpy: the product list that O2(L) with each
// fuel can form, weights from a mixture ratio, and the enthalpy of the
// weighted reactants against the reference table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "cea_reference_rows.h"
#include "mixture.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

class database_loaded : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        failure error;
        ASSERT_EQ(load_thermo_file(LRE_THERMO_DATABASE, &db, &error), CEA_OK) << error.text;
    }
    static void TearDownTestSuite() { release_thermo_database(&db); }
    static thermo_database db;
};

thermo_database database_loaded::db;

int has_species(const mixture &m, const char *name)
{
    for (int i = 0; i < m.species_count; ++i) {
        if (std::strcmp(record_name(mixture_species(&m, i)), name) == 0) {
            return 1;
        }
    }
    return 0;
}

// 124 products for either fuel: 121 gases of C, H and O, and C(gr), H2O(cr)
// and H2O(L); the omit list takes species out.
TEST_F(database_loaded, products_of_oxygen_with_each_fuel)
{
    for (const char *fuel : {"CH4(L)", "RP-1"}) {
        SCOPED_TRACE(fuel);
        const char *names[2] = {"O2(L)", fuel};
        mixture products;
        failure error;
        ASSERT_EQ(mixture_of_products(&db, 2, names, 0, nullptr, &products, &error), CEA_OK) << error.text;
        int gases = 0;
        for (int i = 0; i < products.species_count; ++i) {
            const species_record *s = mixture_species(&products, i);
            gases += !s->condensed;
            EXPECT_EQ(s->product, 1) << record_name(s);
            EXPECT_TRUE(i == 0 || products.species[i] > products.species[i - 1]); // database order
        }
        EXPECT_EQ(products.species_count, 124);
        EXPECT_EQ(gases, 121);
        for (const char *name : {"C(gr)", "H2O(cr)", "H2O(L)", "CO2", "H2O", "OH", "CH4", "C2H2,acetylene"}) {
            EXPECT_TRUE(has_species(products, name)) << name;
        }
        for (const char *name : {"O2(L)", "CH4(L)", "RP-1", "N2", "CO2+"}) {
            EXPECT_FALSE(has_species(products, name)) << name;
        }
        const char *omit[2] = {"C(gr)", "H2O(L)"};
        mixture fewer;
        ASSERT_EQ(mixture_of_products(&db, 2, names, 2, omit, &fewer, &error), CEA_OK);
        EXPECT_EQ(fewer.species_count, 122);
        EXPECT_FALSE(has_species(fewer, "C(gr)"));
        release_mixture(&products);
        release_mixture(&fewer);
    }
}

// Weights w_o = k/(1+k), w_f = 1/(1+k) from pure compositions; mixed
// compositions are each taken per unit mass.
TEST_F(database_loaded, weights_from_mixture_ratio)
{
    const char *names[2] = {"O2(L)", "CH4(L)"};
    mixture m;
    failure error;
    ASSERT_EQ(mixture_from_names(&db, 2, names, &m, &error), CEA_OK);
    const double ratios[] = {0.0, 0.3, 1.0, 2.9, 30.0};
    for (double k : ratios) {
        const double oxidant[2] = {1.0, 0.0};
        const double fuel[2] = {0.0, 1.0};
        double w[2];
        ASSERT_EQ(ratio_to_weights(&m, 2, oxidant, fuel, k, w, &error), CEA_OK);
        EXPECT_EQ(w[0], k / (1.0 + k));
        EXPECT_EQ(w[1], 1.0 / (1.0 + k));
    }
    const double oxidant[2] = {3.0, 1.0}; // 75 % O2(L) by mass
    const double fuel[2] = {0.0, 2.0};
    double w[2];
    ASSERT_EQ(ratio_to_weights(&m, 2, oxidant, fuel, 1.0, w, &error), CEA_OK);
    EXPECT_DOUBLE_EQ(w[0], 0.375);
    EXPECT_DOUBLE_EQ(w[1], 0.625);
    release_mixture(&m);
}

// The enthalpy of every reference row, from the records' assigned
// enthalpies and molecular weights: the table's value within two units in
// the last place (the reference library adds in its own order).
TEST_F(database_loaded, reactant_enthalpy_of_the_reference_rows)
{
    std::vector<reference_row> rows = read_reference_rows(CEA_TEST_DATA_DIR "/chamber_states.csv");
    ASSERT_EQ(rows.size(), 54u);
    mixture methane, kerosene;
    failure error;
    const char *ch4[2] = {"O2(L)", "CH4(L)"};
    const char *rp1[2] = {"O2(L)", "RP-1"};
    ASSERT_EQ(mixture_from_names(&db, 2, ch4, &methane, &error), CEA_OK);
    ASSERT_EQ(mixture_from_names(&db, 2, rp1, &kerosene, &error), CEA_OK);
    for (const reference_row &r : rows) {
        const double oxidant[2] = {1.0, 0.0};
        const double fuel[2] = {0.0, 1.0};
        const double temperatures[2] = {r.t_o_k, r.t_f_k};
        const mixture &m = r.fuel == "RP-1" ? kerosene : methane;
        double w[2];
        double h = 0.0;
        ASSERT_EQ(ratio_to_weights(&m, 2, oxidant, fuel, r.k, w, &error), CEA_OK);
        ASSERT_EQ(reactant_enthalpy(&m, 2, w, 2, temperatures, &h, &error), CEA_OK) << error.text;
        double ulp = std::nextafter(std::fabs(r.h_j_kg), INFINITY) - std::fabs(r.h_j_kg);
        EXPECT_LE(std::fabs(h - r.h_j_kg), 2.0 * ulp) << r.fuel << " k " << r.k;
    }
    release_mixture(&methane);
    release_mixture(&kerosene);
}

// A fitted reactant takes H(T) from its interval; outside its range it is
// refused. CO2 gas at 298.15 K has its heat of formation, -393510 J/mol.
TEST_F(database_loaded, fitted_reactant_enthalpy)
{
    const char *names[1] = {"CO2"};
    mixture m;
    failure error;
    ASSERT_EQ(mixture_from_names(&db, 1, names, &m, &error), CEA_OK);
    const double w[1] = {1.0};
    double h = 0.0;
    const double t_ref[1] = {298.15};
    ASSERT_EQ(reactant_enthalpy(&m, 1, w, 1, t_ref, &h, &error), CEA_OK);
    EXPECT_NEAR(h, -393510.0 / 44.0095 * 1000.0, 1e-3);
    const double twice[1] = {2.0}; // weights are taken per unit mass
    double h_twice = 0.0;
    ASSERT_EQ(reactant_enthalpy(&m, 1, twice, 1, t_ref, &h_twice, &error), CEA_OK);
    EXPECT_EQ(h_twice, h);
    const double t_high[1] = {20000.0};
    EXPECT_EQ(reactant_enthalpy(&m, 1, w, 1, t_high, &h, &error), CEA_OK);
    const double t_out[1] = {20000.5};
    EXPECT_EQ(reactant_enthalpy(&m, 1, w, 1, t_out, &h, &error), CEA_TEMPERATURE_RANGE);
    EXPECT_NE(std::strstr(error.text, "CO2"), nullptr);
    release_mixture(&m);
}

} // namespace
