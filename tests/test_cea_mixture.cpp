// Mixtures: the product list that O2(L) with each fuel can form, weights
// from a mixture ratio, and the enthalpy of a fitted reactant.
#include <gtest/gtest.h>

#include <cstring>

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
// and H2O(L), in database order; the omit list takes species out.
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
            EXPECT_TRUE(i == 0 || products.species[i] > products.species[i - 1]);
        }
        EXPECT_EQ(products.species_count, 124);
        EXPECT_EQ(gases, 121);
        for (const char *name : {"C(gr)", "H2O(cr)", "H2O(L)", "C2H2,acetylene"}) {
            EXPECT_TRUE(has_species(products, name)) << name;
        }
        for (const char *name : {"O2(L)", "N2", "CO2+"}) {
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

// Weights from compositions taken per unit mass, worked by hand: oxidant
// 3:1 of O2(L) and CH4(L) (0.75, 0.25), fuel all CH4(L), at k = 1 and 0.
TEST_F(database_loaded, weights_from_mixture_ratio)
{
    const char *names[2] = {"O2(L)", "CH4(L)"};
    mixture m;
    failure error;
    ASSERT_EQ(mixture_from_names(&db, 2, names, &m, &error), CEA_OK);
    const double oxidant[2] = {3.0, 1.0};
    const double fuel[2] = {0.0, 2.0};
    double w[2];
    ASSERT_EQ(ratio_to_weights(&m, 2, oxidant, fuel, 1.0, w, &error), CEA_OK);
    EXPECT_DOUBLE_EQ(w[0], 0.375);
    EXPECT_DOUBLE_EQ(w[1], 0.625);
    ASSERT_EQ(ratio_to_weights(&m, 2, oxidant, fuel, 0.0, w, &error), CEA_OK);
    EXPECT_EQ(w[0], 0.0);
    EXPECT_EQ(w[1], 1.0);
    release_mixture(&m);
}

// A fitted reactant takes H(T) from its interval, both ends included, and
// is refused beyond: CO2 gas at 298.15 K has its heat of formation,
// -393510 J/mol (the database's own figure), whatever the weight's scale.
TEST_F(database_loaded, fitted_reactant_enthalpy)
{
    const char *names[1] = {"CO2"};
    mixture m;
    failure error;
    ASSERT_EQ(mixture_from_names(&db, 1, names, &m, &error), CEA_OK);
    const double t_ref[1] = {298.15};
    for (double w : {1.0, 2.0}) {
        double h = 0.0;
        ASSERT_EQ(reactant_enthalpy(&m, 1, &w, 1, t_ref, &h, &error), CEA_OK);
        EXPECT_NEAR(h, -393510.0 / 44.0095 * 1000.0, 1e-3) << w;
    }
    const double w[1] = {1.0};
    const double t_high[1] = {20000.0};
    const double t_out[1] = {20000.5};
    double h = 0.0;
    EXPECT_EQ(reactant_enthalpy(&m, 1, w, 1, t_high, &h, &error), CEA_OK);
    EXPECT_EQ(reactant_enthalpy(&m, 1, w, 1, t_out, &h, &error), CEA_TEMPERATURE_RANGE);
    EXPECT_NE(std::strstr(error.text, "CO2"), nullptr);
    release_mixture(&m);
}

} // namespace
