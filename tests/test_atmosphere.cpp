// Standard-atmosphere pressure against independent figures.
#include <gtest/gtest.h>

#include <cmath>

#include "atmosphere.h"

namespace {

struct pressure_row {
    double altitude_m;
    double expected_pa;
    double tolerance_pa;
};

// Source: an independent python3 evaluation of the 1976 layer formulas (same
// constants and operation order), and the standard's base pressures where a
// height is a layer base: 11019.06783200011 m has a geopotential height of
// exactly 11000 m; the double below it is still in the lower layer.
const pressure_row pressure_rows[] = {
    {0.0, 101325.0, 0.0},
    {-0.0, 101325.0, 0.0},
    {11019.06783200011, 22632.06, 0.0},
    {11019.067832000108, 22632.063973462922, 1e-8},
    {1000.0, 89876.28518727126, 1e-8},
    {10000.0, 26499.89813925335, 1e-8},
    {20000.0, 5529.310921529727, 1e-9},
    {25000.0, 2549.2236118018427, 1e-9},
    {40000.0, 287.14439055152326, 1e-10},
    {49000.0, 90.33980229669982, 1e-10},
    {60000.0, 21.959035802487286, 1e-11},
    {80000.0, 1.05342577064792, 1e-12},
    // Geopotential height capped at 84852 m.
    {86000.0, 0.37372140883370025, 1e-13},
};

TEST(StandardAtmosphere, PressureAtAltitude)
{
    for (const pressure_row &row : pressure_rows) {
        double pressure_pa = -1.0;
        ASSERT_EQ(standard_atmosphere_pressure(row.altitude_m, &pressure_pa), 1) << row.altitude_m;
        EXPECT_NEAR(pressure_pa, row.expected_pa, row.tolerance_pa) << row.altitude_m;
    }
    // Outside the table, and no output: refused, the output untouched.
    for (double altitude_m : {std::nextafter(0.0, -1.0), std::nextafter(86000.0, 1e9), std::nan(""), HUGE_VAL}) {
        double pressure_pa = 12345.0;
        EXPECT_EQ(standard_atmosphere_pressure(altitude_m, &pressure_pa), 0) << altitude_m;
        EXPECT_EQ(pressure_pa, 12345.0) << altitude_m;
    }
    EXPECT_EQ(standard_atmosphere_pressure(1000.0, nullptr), 0);
}

} // namespace
