// Mixtures: the products that reactants can form, on either form of the
// database, and reactant enthalpies, which at 298.15 K must give back each
// record's own heat of formation. (Weights from a mixture ratio are held to
// the reference states, test_cea_equilibrium_reference.cpp; refusals are
// tested through the C operations, test_cea_error_paths.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "mixture.h"
#include "thermo_database.h"

using namespace cea_impl;

namespace {

class mixture_on : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override { ASSERT_EQ(load_thermo_file(GetParam(), &db, &error), CEA_OK) << error.text; }
    void TearDown() override { release_thermo_database(&db); }
    thermo_database db;
    failure error;
};

// The products of O2(L) with each fuel, and of nitrogen with ethanol: every
// species of the products part whose elements all occur in the reactants,
// in database order, less the omitted ones.
TEST_P(mixture_on, products_are_what_the_reactants_elements_can_form)
{
    const char *pairs[3][2] = {{"O2(L)", "CH4(L)"}, {"O2(L)", "RP-1"}, {"N2", "C2H5OH(L)"}};
    const char *elements[3] = {"CHO", "CHO", "CHON"};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(pairs[k][1]);
        std::vector<int> expected;
        for (int j = 0; j < db.species_count; ++j) {
            const species_record *r = database_species(&db, j);
            bool formed = r->product != 0;
            for (int e = 0; e < r->element_count && formed; ++e) {
                const char *symbol = record_element_symbol(r, e);
                formed = symbol[1] == '\0' && std::strchr(elements[k], symbol[0]) != nullptr;
            }
            if (formed && std::strcmp(record_name(r), "C(gr)") != 0) {
                expected.push_back(j);
            }
        }
        const char *omit[1] = {"C(gr)"};
        mixture products;
        ASSERT_EQ(mixture_of_products(&db, 2, pairs[k], 1, omit, &products, &error), CEA_OK) << error.text;
        EXPECT_EQ(std::vector<int>(products.species, products.species + products.species_count), expected);
        EXPECT_EQ(products.species_count, k < 2 ? 123 : 160);
        release_mixture(&products);
    }
}

// Each fitted record whose data cover 298.15 K gives its heat of formation
// there (the database's fits are made to), within 1 J/mol; a record with an
// assigned enthalpy gives it within 10 K of its temperature. A mixture's
// enthalpy is the mass-weighted mean of its species', whatever the weights'
// scale, and a species of zero weight is not looked at.
TEST_P(mixture_on, enthalpies_give_back_the_records)
{
    int checked = 0;
    for (int j = 0; j < db.species_count && db.file == nullptr; ++j) { // the compiled form holds none
        const species_record *r = database_species(&db, j);
        const char *name = record_name(r);
        if (find_species(&db, name) != j) {
            continue;
        }
        double t = r->interval_count == 0 ? r->assigned_temperature_k + 10.0 : 298.15;
        if (r->interval_count > 0 &&
            !(t >= record_intervals(r)[0].t_low_k && t <= record_intervals(r)[r->interval_count - 1].t_high_k)) {
            continue;
        }
        mixture m;
        ASSERT_EQ(mixture_from_names(&db, 1, &name, &m, &error), CEA_OK) << name;
        const double w = 1.0;
        double h = 0.0;
        ASSERT_EQ(reactant_enthalpy(&m, 1, &w, 1, &t, &h, &error), CEA_OK) << name << ": " << error.text;
        EXPECT_NEAR(h * r->molecular_weight_kg_kmol / 1000.0, r->enthalpy_j_mol, 1.0) << name;
        ++checked;
        release_mixture(&m);
    }
    EXPECT_TRUE(db.file != nullptr || checked > 1600) << checked;

    const char *names[3] = {"CO2", "H2O", "O2(L)"};
    mixture m;
    ASSERT_EQ(mixture_from_names(&db, 3, names, &m, &error), CEA_OK);
    const double t[3] = {1500.0, 700.0, 90.0};
    double h[3];
    for (int i = 0; i < 3; ++i) {
        double w[3] = {0.0, 0.0, 0.0};
        w[i] = 1.0;
        const double t_zero_elsewhere[3] = {i == 0 ? t[0] : -1.0, i == 1 ? t[1] : 1e9, i == 2 ? t[2] : 0.0};
        ASSERT_EQ(reactant_enthalpy(&m, 3, w, 3, t_zero_elsewhere, &h[i], &error), CEA_OK) << error.text;
    }
    const double w[3] = {2.0, 6.0, 0.5};
    double mixed = 0.0;
    ASSERT_EQ(reactant_enthalpy(&m, 3, w, 3, t, &mixed, &error), CEA_OK);
    EXPECT_NEAR(mixed, (2.0 * h[0] + 6.0 * h[1] + 0.5 * h[2]) / 8.5, 1e-9 * std::fabs(mixed));
    release_mixture(&m);
}

INSTANTIATE_TEST_SUITE_P(forms, mixture_on, ::testing::Values(LRE_THERMO_DATABASE, LRE_THERMO_LIB),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             return std::string(info.index == 0 ? "text" : "compiled");
                         });

} // namespace
