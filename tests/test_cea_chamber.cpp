// The chamber adapter against the scripted library of cea_double.h: call
// order and arguments, step messages, release of handles, argument checks.
#include "cea_chamber.h"
#include "cea_double.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf_value = std::numeric_limits<double>::infinity();

struct ChamberTest : ::testing::Test {
    cea_chamber chamber{};
    char buffer[512] = {};

    void SetUp() override { cea_double_reset(); }
    void TearDown() override { cea_chamber_close(&chamber); }

    void open_ok(int fuel_rp1 = 0)
    {
        ASSERT_EQ(cea_chamber_open(&chamber, "data/thermo.inp", fuel_rp1, buffer, sizeof buffer), 1) << buffer;
    }
    int solve(chamber_state *state) { return cea_chamber_solve(&chamber, 7.0e6, 3.4, 90.0, 111.0, state, buffer, 512); }
};

std::vector<int> logged_ops(int from)
{
    std::vector<int> ops;
    for (int i = from; i < cea_double_log_size(); ++i) {
        ops.push_back(cea_double_log_entry(i).op);
    }
    return ops;
}

bool is_create(int op) { return op >= CEA_DOUBLE_MIXTURE_CREATE && op <= CEA_DOUBLE_EQSOLUTION_CREATE; }
bool is_destroy(int op) { return op >= CEA_DOUBLE_EQSOLUTION_DESTROY; }

void expect_closed(const cea_chamber &c)
{
    EXPECT_EQ(c.reactants, nullptr);
    EXPECT_EQ(c.products, nullptr);
    EXPECT_EQ(c.solver, nullptr);
    EXPECT_EQ(c.solution, nullptr);
}

TEST_F(ChamberTest, OpenCallsTheSixStepsAndCloseReleasesInReverse)
{
    for (int fuel_rp1 : {0, 1}) {
        cea_double_reset();
        open_ok(fuel_rp1);
        EXPECT_STREQ(buffer, "");
        EXPECT_EQ(logged_ops(0), (std::vector<int>{0, 1, 2, 3, 4, 5}));
        EXPECT_STREQ(cea_double_last_args()->thermo_path, "data/thermo.inp");
        EXPECT_STREQ(cea_double_last_args()->reactant_names[1], fuel_rp1 == 1 ? "RP-1" : "CH4(L)");

        const int before = cea_double_log_size();
        cea_chamber_close(&chamber);
        cea_chamber_close(&chamber); // a closed record: nothing more to release
        EXPECT_EQ(logged_ops(before), (std::vector<int>{13, 14, 15, 15}));
        expect_closed(chamber);
        EXPECT_EQ(cea_double_live_handles(), 0);
    }
    cea_chamber_close(nullptr);
}

// A failing open step releases what was created, newest first, and leaves the
// record zeroed; a failing solve step keeps the record open for the next solve.
TEST_F(ChamberTest, EachFailingStepNamesItself)
{
    const struct {
        int op;
        int nth; // call of the operation since the reset
        int status;
        const char *message;
    } cases[] = {
        {CEA_DOUBLE_SET_LOG_LEVEL, 1, 17, "CEA log setup failed (CEA code 17)"},
        {CEA_DOUBLE_INIT_THERMO, 1, 1, "CEA thermo database failed (CEA code 1)"},
        {CEA_DOUBLE_MIXTURE_CREATE, 1, 10, "CEA reactant mixture failed (CEA code 10)"},
        {CEA_DOUBLE_MIXTURE_CREATE_FROM_REACTANTS, 1, -3, "CEA product mixture failed (CEA code -3)"},
        {CEA_DOUBLE_EQSOLVER_CREATE_WITH_REACTANTS, 1, 16, "CEA equilibrium solver failed (CEA code 16)"},
        {CEA_DOUBLE_EQSOLUTION_CREATE, 1, 13, "CEA equilibrium solution failed (CEA code 13)"},
        {CEA_DOUBLE_MIXTURE_OF_RATIO_TO_WEIGHTS, 1, 7, "CEA mixture ratio failed (CEA code 7)"},
        {CEA_DOUBLE_MIXTURE_CALC_PROPERTY_MULTITEMP, 1, 11, "CEA inlet enthalpy failed (CEA code 11)"},
        {CEA_DOUBLE_EQSOLVER_SOLVE, 1, 8, "CEA HP equilibrium failed (CEA code 8)"},
        {CEA_DOUBLE_EQSOLUTION_GET_CONVERGED, 1, 13, "CEA convergence check failed (CEA code 13)"},
        {CEA_DOUBLE_EQSOLUTION_GET_PROPERTY, 1, 2, "CEA chamber temperature failed (CEA code 2)"},
        {CEA_DOUBLE_EQSOLUTION_GET_PROPERTY, 2, 2, "CEA molecular weight failed (CEA code 2)"},
        {CEA_DOUBLE_EQSOLUTION_GET_PROPERTY, 3, 2, "CEA frozen heat capacity cp failed (CEA code 2)"},
        {CEA_DOUBLE_EQSOLUTION_GET_PROPERTY, 4, 2, "CEA frozen heat capacity cv failed (CEA code 2)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        cea_double_reset();
        cea_double_fail(c.op, c.nth, c.status);
        std::strcpy(buffer, "stale");
        if (c.op > CEA_DOUBLE_EQSOLUTION_CREATE) {
            open_ok();
            const cea_chamber opened = chamber;
            chamber_state state{};
            EXPECT_EQ(solve(&state), 0);
            EXPECT_STREQ(buffer, c.message);
            EXPECT_EQ(std::memcmp(&chamber, &opened, sizeof chamber), 0);
            EXPECT_EQ(solve(&state), 1) << buffer; // the library has recovered
            EXPECT_STREQ(buffer, "");
            cea_chamber_close(&chamber);
            continue;
        }
        EXPECT_EQ(cea_chamber_open(&chamber, "thermo.inp", 0, buffer, sizeof buffer), 0);
        EXPECT_STREQ(buffer, c.message);
        expect_closed(chamber);
        EXPECT_EQ(cea_double_live_handles(), 0);
        // The steps up to the failing one, then one destroy per created handle, newest first.
        std::vector<const void *> created;
        std::vector<const void *> destroyed;
        int steps = 0;
        for (int i = 0; i < cea_double_log_size(); ++i) {
            cea_double_call call = cea_double_log_entry(i);
            steps += call.op <= CEA_DOUBLE_EQSOLUTION_CREATE ? 1 : 0;
            if (is_create(call.op) && call.handle != nullptr) {
                created.insert(created.begin(), call.handle);
            }
            if (is_destroy(call.op)) {
                destroyed.push_back(call.handle);
            }
        }
        EXPECT_EQ(steps, c.op + 1);
        EXPECT_EQ(created.size(), static_cast<size_t>(c.op > 2 ? c.op - 2 : 0));
        EXPECT_EQ(destroyed, created);
    }
}

TEST_F(ChamberTest, LibraryTextIsAppendedOnlyWhenItsLengthIs1To255)
{
    const std::string text_255(255, 'a');
    const std::string text_256(256, 'b');
    const std::string prefix = "CEA thermo database failed (CEA code 9)";
    const struct {
        std::string text;
        int reported_length;
        int len_status; // status of cea_last_error_message_len
        bool fetched;
        std::string expected;
    } cases[] = {
        {"line 12: bad record", -1, 0, true, prefix + ": line 12: bad record"},
        {text_255, 255, 0, true, prefix + ": " + text_255},
        {text_256, 256, 0, false, prefix},
        {text_255, 300, 0, false, prefix},
        {"ignored", 0, 0, false, prefix},
        {"ignored", -5, 0, false, prefix},
        {"ignored", 7, 13, false, prefix},
        {"", 5, 0, true, prefix}, // fetched but empty: no separator
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        cea_double_reset();
        cea_double_fail(CEA_DOUBLE_INIT_THERMO, 1, 9);
        cea_double_fail(CEA_DOUBLE_LAST_ERROR_MESSAGE_LEN, 0, c.len_status);
        cea_double_set_error(c.text.c_str(), c.reported_length);
        EXPECT_EQ(cea_chamber_open(&chamber, "thermo.inp", 1, buffer, sizeof buffer), 0);
        EXPECT_EQ(std::string(buffer), c.expected);
        EXPECT_EQ(cea_double_calls(CEA_DOUBLE_LAST_ERROR_MESSAGE_LEN), 1);
        EXPECT_EQ(cea_double_calls(CEA_DOUBLE_LAST_ERROR_MESSAGE_BUF), c.fetched ? 1 : 0);
        if (c.fetched) {
            EXPECT_EQ(cea_double_last_args()->error_buffer_size, 256);
        }
    }
}

TEST_F(ChamberTest, UnterminatedLibraryTextIsCutAtTheLocalBuffer)
{
    // The library fills all 256 bytes without a terminator; the adapter keeps
    // 255 of them (the sanitizer build catches any read beyond).
    cea_double_fail(CEA_DOUBLE_INIT_THERMO, 1, 1);
    cea_double_set_error("no such file", -1);
    cea_double_set_unterminated_error(1);
    EXPECT_EQ(cea_chamber_open(&chamber, "missing.inp", 0, buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), "CEA thermo database failed (CEA code 1): no such file" + std::string(243, 'x'));
}

TEST_F(ChamberTest, MessagesAreCutToTheCallersBuffer)
{
    const struct {
        int op;
        int converged;
        double cv;
        int size;
        const char *expected;
    } cases[] = {
        {CEA_DOUBLE_INIT_THERMO, 1, 1.6, 16, "CEA thermo data"},
        {CEA_DOUBLE_EQSOLVER_SOLVE, 1, 1.6, 16, "CEA HP equilibr"},
        {-1, 0, 1.6, 16, "CEA HP equilibr"},
        {-1, 1, 2.0, 16, "CEA returned an"},
        {CEA_DOUBLE_EQSOLVER_SOLVE, 1, 1.6, 1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        cea_double_reset();
        cea_double_fail(c.op, 1, 12);
        cea_double_set_converged(c.converged);
        cea_double_set_state(3500.0, 21.5, 2.0, c.cv);
        char small[17];
        std::memset(small, '#', sizeof small);
        int opened = cea_chamber_open(&chamber, "thermo.inp", 0, small, c.size);
        if (opened == 1) {
            chamber_state state{};
            EXPECT_EQ(cea_chamber_solve(&chamber, 7.0e6, 3.4, 90.0, 111.0, &state, small, c.size), 0);
        }
        EXPECT_STREQ(small, c.expected);
        EXPECT_EQ(small[c.size], '#'); // nothing written past the given size
        cea_chamber_close(&chamber);
    }
}

TEST_F(ChamberTest, InvalidOpenArgumentsTouchNothingAndCallNothing)
{
    cea_chamber sentinel{};
    sentinel.reactants = reinterpret_cast<cea_mixture>(&sentinel);
    const struct {
        cea_chamber *record;
        const char *path;
        int fuel_rp1;
        char *buf;
        int size;
    } cases[] = {
        {&chamber, "t.inp", 2, buffer, 512},  {&chamber, "t.inp", -1, buffer, 512}, {&chamber, nullptr, 0, buffer, 512},
        {&chamber, "t.inp", 0, nullptr, 512}, {&chamber, "t.inp", 0, buffer, 0},    {&chamber, "t.inp", 1, buffer, -1},
        {nullptr, "t.inp", 0, buffer, 512},
    };
    for (const auto &c : cases) {
        chamber = sentinel;
        std::strcpy(buffer, "untouched");
        EXPECT_EQ(cea_chamber_open(c.record, c.path, c.fuel_rp1, c.buf, c.size), 0);
        EXPECT_EQ(std::memcmp(&chamber, &sentinel, sizeof chamber), 0);
        EXPECT_STREQ(buffer, "untouched");
    }
    EXPECT_EQ(cea_double_log_size(), 0);
    chamber = cea_chamber{};
}

TEST_F(ChamberTest, InvalidSolveArgumentsTouchNothingAndCallNothing)
{
    open_ok();
    const cea_chamber opened = chamber;
    cea_chamber closed{};
    chamber_state state{1.0, 2.0, 3.0};
    struct solve_args {
        cea_chamber *record;
        double p_c, k, t_o, t_f;
        chamber_state *out;
        char *buf;
        int size;
    };
    const solve_args good = {&chamber, 7e6, 3.4, 90.0, 111.0, &state, buffer, 512};
    // Null output, null buffer, empty buffer, a closed record, no record; then
    // each number zero, negative, NaN and infinite.
    std::vector<solve_args> cases(5, good);
    cases[0].out = nullptr;
    cases[1].buf = nullptr;
    cases[2].size = 0;
    cases[3].record = &closed;
    cases[4].record = nullptr;
    for (double solve_args::*number : {&solve_args::p_c, &solve_args::k, &solve_args::t_o, &solve_args::t_f}) {
        for (double bad : {0.0, -1.0, nan_value, inf_value, -inf_value}) {
            cases.push_back(good);
            cases.back().*number = bad;
        }
    }
    const int calls_after_open = cea_double_log_size();
    for (const solve_args &c : cases) {
        std::strcpy(buffer, "untouched");
        EXPECT_EQ(cea_chamber_solve(c.record, c.p_c, c.k, c.t_o, c.t_f, c.out, c.buf, c.size), 0);
        EXPECT_STREQ(buffer, "untouched");
        EXPECT_EQ(state.t_c, 1.0);
        EXPECT_EQ(state.m_r, 2.0);
        EXPECT_EQ(state.gamma, 3.0);
    }
    EXPECT_EQ(cea_double_log_size(), calls_after_open);
    EXPECT_EQ(std::memcmp(&chamber, &opened, sizeof chamber), 0);
}

// What the golden reports cannot tell apart: the pressure in bar, the ratio
// and temperatures as given, and the state exactly as the library reported it.
TEST_F(ChamberTest, SolvePassesTheCaseAndReturnsTheLibraryState)
{
    open_ok();
    const int before = cea_double_log_size();
    cea_double_set_state(3561.25, 21.875, 2.25, 1.75);
    chamber_state state{};
    ASSERT_EQ(cea_chamber_solve(&chamber, 7.13e6, 3.4, 90.17, 111.64, &state, buffer, 512), 1) << buffer;
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(logged_ops(before), (std::vector<int>{6, 7, 8, 9, 10, 10, 10, 10}));
    const cea_double_args *a = cea_double_last_args();
    EXPECT_EQ(a->of_ratio, 3.4);
    EXPECT_EQ(a->temperatures[0], 90.17);
    EXPECT_EQ(a->temperatures[1], 111.64);
    EXPECT_EQ(a->solve_state2, 71.3);
    EXPECT_EQ(state.t_c, 3561.25);
    EXPECT_EQ(state.m_r, 21.875);
    EXPECT_EQ(state.gamma, 2.25 / 1.75);
}

TEST_F(ChamberTest, NonConvergedAndImplausibleStatesAreRejected)
{
    const struct {
        int converged;
        double t_c, m_r, cp, cv;
    } cases[] = {
        {0, 3500.0, 21.5, 2.0, 1.6}, // nothing read, the state untouched
        {1, 3500.0, 21.5, 1.6, 1.6}, // gamma exactly 1
        {1, 3500.0, 21.5, 1.5, 1.6}, // gamma below 1
        {1, 3500.0, 21.5, 2.0, 0.0}, // gamma infinite
        {1, 3500.0, 21.5, 0.0, 0.0}, // gamma NaN
        {1, 0.0, 21.5, 2.0, 1.6},    {1, -3500.0, 21.5, 2.0, 1.6},     {1, nan_value, 21.5, 2.0, 1.6},
        {1, 3500.0, 0.0, 2.0, 1.6},  {1, 3500.0, inf_value, 2.0, 1.6}, {1, 3500.0, 21.5, nan_value, 1.6},
    };
    open_ok();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.t_c);
        cea_double_set_converged(c.converged);
        cea_double_set_state(c.t_c, c.m_r, c.cp, c.cv);
        const int reads = cea_double_calls(CEA_DOUBLE_EQSOLUTION_GET_PROPERTY);
        chamber_state state{1.0, 2.0, 3.0};
        EXPECT_EQ(solve(&state), 0);
        if (c.converged == 0) {
            EXPECT_STREQ(buffer, "CEA HP equilibrium did not converge");
            EXPECT_EQ(cea_double_calls(CEA_DOUBLE_EQSOLUTION_GET_PROPERTY), reads);
            EXPECT_EQ(state.t_c, 1.0);
            EXPECT_EQ(state.m_r, 2.0);
            EXPECT_EQ(state.gamma, 3.0);
        } else {
            EXPECT_STREQ(buffer, "CEA returned an invalid chamber state");
            // The values read stay in the state, as documented for a failed solve.
            EXPECT_TRUE(state.t_c == c.t_c || (std::isnan(state.t_c) && std::isnan(c.t_c)));
        }
    }
}

} // namespace
