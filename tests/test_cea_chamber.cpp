// The chamber adapter on the real library and database, with library_shim.h
// failing the library calls the database never fails: each step's message,
// the library's text, handles released, arguments refused untouched.
#include "cea_chamber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "library_shim.h"

namespace {

using namespace library_shim;

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf_value = std::numeric_limits<double>::infinity();

struct Chamber : ::testing::Test {
    cea_chamber chamber{};
    char buffer[512] = {};
    void SetUp() override { reset(); }
    void TearDown() override
    {
        cea_chamber_close(&chamber);
        EXPECT_EQ(live_handles(), 0);
        reset();
    }
    int open(int fuel_rp1 = 0) { return cea_chamber_open(&chamber, LRE_THERMO_DATABASE, fuel_rp1, buffer, 512); }
    int solve_case(chamber_state *state)
    {
        return cea_chamber_solve(&chamber, 14e6, 2.9, 90.0, 111.0, state, buffer, 512);
    }
};

bool closed(const cea_chamber &c) { return !c.reactants && !c.products && !c.solver && !c.solution; }

// Source: the reference library's chamber states (the states of
// tests/data/chamber_states.csv), 1e-9 relative; gamma is the frozen cp / cv.
TEST_F(Chamber, StatesOfTheReferenceLibrary)
{
    const struct {
        int fuel_rp1;
        double p_c, k, t_o, t_f;
        chamber_state expected;
    } rows[] = {
        {0, 14e6, 2.9, 90.0, 111.0, {3495.8947032548217, 20.225656731778283, 1.2011414621323833}},
        {1, 18.7e6, 2.6, 90.17, 298.15, {3813.1592749692268, 23.801622120667453, 1.2062496810883154}},
        {1, 14e6, 2.6, 90.17, 298.15, {3771.8802865476864, 23.709618061758373, 1.207527250549473}},
    };
    for (const auto &row : rows) {
        ASSERT_EQ(open(row.fuel_rp1), 1) << buffer;
        chamber_state state{};
        ASSERT_EQ(cea_chamber_solve(&chamber, row.p_c, row.k, row.t_o, row.t_f, &state, buffer, 512), 1) << buffer;
        EXPECT_STREQ(buffer, "");
        EXPECT_NEAR(state.t_c, row.expected.t_c, 1e-9 * row.expected.t_c);
        EXPECT_NEAR(state.m_r, row.expected.m_r, 1e-9 * row.expected.m_r);
        EXPECT_NEAR(state.gamma, row.expected.gamma, 1e-9 * row.expected.gamma);
        cea_chamber_close(&chamber);
        cea_chamber_close(&chamber); // closing a closed record does nothing
        EXPECT_TRUE(closed(chamber) && live_handles() == 0);
    }
}

// A failing open step releases what was created and leaves the record
// zeroed; a failing solve step leaves the chamber open for the next solve.
TEST_F(Chamber, EachFailingStepNamesItself)
{
    const struct {
        int op, nth, status;
        const char *message;
    } rows[] = {
        {set_log_level, 1, 17, "CEA log setup failed (CEA code 17)"},
        {init_thermo, 1, 1, "CEA thermo database failed (CEA code 1)"},
        {mixture_create, 1, 10, "CEA reactant mixture failed (CEA code 10)"},
        {products_create, 1, -3, "CEA product mixture failed (CEA code -3)"},
        {solver_create, 1, 16, "CEA equilibrium solver failed (CEA code 16)"},
        {solution_create, 1, 13, "CEA equilibrium solution failed (CEA code 13)"},
        {ratio_to_weights, 1, 7, "CEA mixture ratio failed (CEA code 7)"},
        {inlet_enthalpy, 1, 11, "CEA inlet enthalpy failed (CEA code 11)"},
        {solve, 1, 8, "CEA HP equilibrium failed (CEA code 8)"},
        {get_converged, 1, 13, "CEA convergence check failed (CEA code 13)"},
        {get_property, 1, 2, "CEA chamber temperature failed (CEA code 2)"},
        {get_property, 2, 2, "CEA molecular weight failed (CEA code 2)"},
        {get_property, 3, 2, "CEA frozen heat capacity cp failed (CEA code 2)"},
        {get_property, 4, 2, "CEA frozen heat capacity cv failed (CEA code 2)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.message);
        reset();
        const bool opening = row.op <= solution_create;
        if (!opening) {
            ASSERT_EQ(open(), 1) << buffer;
        }
        const cea_chamber opened = chamber;
        fail(row.op, row.nth, row.status);
        chamber_state state{};
        EXPECT_EQ(opening ? open() : solve_case(&state), 0);
        EXPECT_STREQ(buffer, row.message);
        if (opening) {
            EXPECT_TRUE(closed(chamber));
            EXPECT_EQ(live_handles(), 0);
        } else {
            EXPECT_EQ(std::memcmp(&chamber, &opened, sizeof chamber), 0);
            EXPECT_EQ(solve_case(&state), 1) << buffer;
            EXPECT_STREQ(buffer, "");
        }
        cea_chamber_close(&chamber);
    }
}

// The library's text follows ": " only when its length is 1 to 255.
TEST_F(Chamber, LibraryTextIsAppendedWhenItFits)
{
    const std::string prefix = "CEA thermo database failed (CEA code 9)";
    const std::string a255(255, 'a');
    const struct {
        std::string text;
        int reported_length;
        bool unterminated, length_fails;
        std::string expected;
    } rows[] = {
        {"line 12: bad record", -1, false, false, prefix + ": line 12: bad record"},
        {a255, -1, false, false, prefix + ": " + a255},
        {std::string(256, 'b'), -1, false, false, prefix},
        {"ignored", 0, false, false, prefix},
        {"ignored", -5, false, false, prefix},
        {"ignored", 7, false, true, prefix},
        {"", 5, false, false, prefix},
        // A text that fills the buffer unterminated is cut to 255 bytes.
        {"no such file", 12, true, false, prefix + ": no such file" + std::string(243, 'x')},
    };
    for (const auto &row : rows) {
        reset();
        fail(init_thermo, 1, 9);
        fail(last_error_length, row.length_fails ? 1 : 0, row.length_fails ? 13 : 0);
        set_error_text(row.text.c_str(), row.reported_length, row.unterminated);
        EXPECT_EQ(cea_chamber_open(&chamber, "thermo.inp", 1, buffer, sizeof buffer), 0);
        EXPECT_EQ(std::string(buffer), row.expected);
    }
}

// A converged state the nozzle model cannot use is refused.
struct replacement {
    int property;
    double value;
    int other_property;
    double other_value;
};

void replace(int property, double, double *value, void *user)
{
    const replacement *r = static_cast<const replacement *>(user);
    *value = property == r->property ? r->value : property == r->other_property ? r->other_value : *value;
}

TEST_F(Chamber, ImplausibleStatesAreRefused)
{
    const replacement rows[] = {
        {CEA_FROZEN_CP, 1.6, CEA_FROZEN_CV, 1.6}, // gamma 1
        {CEA_FROZEN_CP, 1.5, CEA_FROZEN_CV, 1.6}, // gamma below 1
        {CEA_FROZEN_CV, 0.0, -1, 0.0},            // gamma infinite
        {CEA_FROZEN_CP, 0.0, CEA_FROZEN_CV, 0.0}, // gamma NaN
        {CEA_FROZEN_CP, nan_value, -1, 0.0},
        {CEA_TEMPERATURE, 0.0, -1, 0.0},
        {CEA_TEMPERATURE, -1.0, -1, 0.0},
        {CEA_TEMPERATURE, nan_value, -1, 0.0},
        {CEA_M, 0.0, -1, 0.0},
        {CEA_M, inf_value, -1, 0.0},
    };
    ASSERT_EQ(open(), 1) << buffer;
    for (const replacement &row : rows) {
        set_property_hook(replace, const_cast<replacement *>(&row));
        chamber_state state{};
        EXPECT_EQ(solve_case(&state), 0);
        EXPECT_STREQ(buffer, "CEA returned an invalid chamber state");
    }
}

TEST_F(Chamber, InvalidArgumentsTouchNothingAndCallNothing)
{
    ASSERT_EQ(open(), 1) << buffer;
    const cea_chamber opened = chamber;
    cea_chamber other{};
    char untouched[16] = "untouched";
    const struct {
        cea_chamber *record;
        const char *path;
        int fuel_rp1, size;
        char *buf;
    } opens[] = {
        {&other, "t.inp", 2, 16, untouched}, {&other, "t.inp", -1, 16, untouched}, {&other, "t.inp", 0, 16, nullptr},
        {&other, "t.inp", 0, 0, untouched},  {nullptr, "t.inp", 0, 16, untouched}, {&other, nullptr, 0, 16, untouched},
    };
    for (const auto &c : opens) {
        EXPECT_EQ(cea_chamber_open(c.record, c.path, c.fuel_rp1, c.buf, c.size), 0);
        EXPECT_TRUE(c.path == nullptr || cea_chamber_create(c.record, c.fuel_rp1, c.buf, c.size) == 0);
    }
    const double bad_numbers[] = {0.0, -1.0, nan_value, inf_value};
    // Each number zero, negative, NaN and infinite; no state, no buffer room,
    // a closed chamber.
    for (int i = 0; i < 19; ++i) {
        double numbers[4] = {14e6, 2.9, 90.0, 111.0};
        numbers[i % 4] = i >= 16 ? numbers[i % 4] : bad_numbers[i / 4];
        chamber_state state{1.0, 2.0, 3.0};
        EXPECT_EQ(cea_chamber_solve(i == 18 ? &other : &chamber, numbers[0], numbers[1], numbers[2], numbers[3],
                                    i == 16 ? nullptr : &state, untouched, i == 17 ? 0 : 16),
                  0);
        EXPECT_EQ(state.t_c, 1.0);
    }
    EXPECT_STREQ(untouched, "untouched");
    EXPECT_EQ(calls(init_thermo) + calls(ratio_to_weights), 1);
    EXPECT_EQ(std::memcmp(&chamber, &opened, sizeof chamber), 0);
    EXPECT_TRUE(closed(other));
    cea_chamber_close(nullptr);
}

} // namespace
