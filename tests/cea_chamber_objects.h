// O2(L) with a fuel through the equilibrium library's C operations, opened
// and used as the program does, and the library's last-error text.
#ifndef TESTS_CEA_CHAMBER_OBJECTS_H
#define TESTS_CEA_CHAMBER_OBJECTS_H

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cea_bindc.h"

inline std::string last_error()
{
    int length = -1;
    char text[1024] = "";
    EXPECT_EQ(cea_last_error_message_len(&length), CEA_OK);
    EXPECT_EQ(cea_last_error_message_buf(text, sizeof text), CEA_OK);
    EXPECT_EQ(std::string(text).size(), static_cast<std::size_t>(length));
    return text;
}

// Reactants, their products, a solver and a solution over the current database.
struct chamber_objects {
    cea_mixture reactants = nullptr, products = nullptr;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
    double weights[2] = {0.0, 0.0};

    explicit chamber_objects(const char *fuel = "CH4(L)")
    {
        const char *names[2] = {"O2(L)", fuel};
        EXPECT_EQ(cea_mixture_create(&reactants, 2, names), CEA_OK);
        EXPECT_EQ(cea_mixture_create_from_reactants(&products, 2, names, 0, nullptr), CEA_OK);
        EXPECT_EQ(cea_eqsolver_create_with_reactants(&solver, products, reactants), CEA_OK);
        EXPECT_EQ(cea_eqsolution_create(&solution, solver), CEA_OK);
    }
    ~chamber_objects()
    {
        EXPECT_EQ(cea_eqsolution_destroy(&solution) | cea_eqsolver_destroy(&solver) | cea_mixture_destroy(&products) |
                      cea_mixture_destroy(&reactants),
                  CEA_OK);
    }
    chamber_objects(const chamber_objects &) = delete;
    chamber_objects &operator=(const chamber_objects &) = delete;

    // The program's sequence: weights at mixture ratio k, their enthalpy
    // (J/kg, returned) at the inlet temperatures, and an HP solve at p_c.
    double solve_chamber(double p_c_pa, double k, double t_o_k, double t_f_k)
    {
        const double oxidant[2] = {1.0, 0.0}, fuel[2] = {0.0, 1.0}, temperatures[2] = {t_o_k, t_f_k};
        double h = 0.0;
        EXPECT_EQ(cea_mixture_of_ratio_to_weights(reactants, 2, oxidant, fuel, k, weights), CEA_OK);
        EXPECT_EQ(cea_mixture_calc_property_multitemp(reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h),
                  CEA_OK);
        EXPECT_EQ(cea_eqsolver_solve(solver, CEA_HP, h / 8314.51, p_c_pa / 100000.0, weights, solution), CEA_OK);
        return h;
    }

    double property(int selector)
    {
        double value = std::nan("");
        EXPECT_EQ(cea_eqsolution_get_property(solution, selector, &value), CEA_OK) << "property " << selector;
        return value;
    }
};

#endif
