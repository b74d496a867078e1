// The run sequence and the text report, run in-process over the scripted
// equilibrium library: whole reports against expected files, the layout of
// every report variant, and what each failure prints.
#define main lre_perf_main
#include "main.cpp"
#undef main

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cea_double.h"
#include "program_runner.h"

namespace {

struct run_output {
    int status;
    std::string out;
    std::string err;
};

// Runs the program's main on a command line, with standard output and error
// redirected to temporary files.
run_output run_main(std::vector<std::string> words)
{
    words.insert(words.begin(), "lre-perf");
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    std::FILE *out_file = std::tmpfile();
    std::FILE *err_file = std::tmpfile();
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved_out = dup(STDOUT_FILENO);
    const int saved_err = dup(STDERR_FILENO);
    dup2(fileno(out_file), STDOUT_FILENO);
    dup2(fileno(err_file), STDERR_FILENO);
    const int status = lre_perf_main(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, STDOUT_FILENO);
    dup2(saved_err, STDERR_FILENO);
    close(saved_out);
    close(saved_err);

    run_output result{status, lre_test::read_all(out_file), lre_test::read_all(err_file)};
    std::fclose(out_file);
    std::fclose(err_file);
    return result;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Chamber states of the reference equilibrium library (shared reference
// data, chamber_states.csv) at each module's 100 % point: with them the
// program must print the reference reports exactly.
const cea_double_state methane_14_mpa = {3495.8947032548217, 20.225656731778283, 2.4548591758939207, 2.0437719063796331,
                                         1};
const cea_double_state rp1_18_7_mpa = {3813.1592749692268, 23.801622120667453, 2.0430266409705204, 1.6937012900407478,
                                       1};

void use_state(const cea_double_state &state)
{
    cea_double_reset();
    cea_double_set_state(state.t_c, state.m_r, state.cp, state.cv);
}

TEST(TextReport, NominalReportsAtTheReferenceChamberStates)
{
    const struct {
        std::vector<std::string> words;
        const cea_double_state *state;
        const char *expected;
    } cases[] = {
        {{"thermo.inp"}, &methane_14_mpa, "tq12b-nominal.txt"},
        {{"thermo.inp", "--engine", "tq15b"}, &methane_14_mpa, "tq15b-nominal.txt"},
        {{"thermo.inp", "--engine", "yf100k"}, &rp1_18_7_mpa, "yf100k-nominal.txt"},
    };
    for (const auto &c : cases) {
        use_state(*c.state);
        const run_output run = run_main(c.words);
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, read_file(std::string(LRE_REFERENCE_STATE_DIR) + "/" + c.expected));
        EXPECT_EQ(cea_double_live_handles(), 0);
    }
}

// Lines that the golden reports do not show.
TEST(TextReport, LinesOfSpecialCases)
{
    const struct {
        std::vector<std::string> words;
        const char *line;
    } cases[] = {
        // Within 1e-12 of 100 %: the operating case holds exactly 1.
        {{"db", "--throttle-pct", "99.99999999999"}, "[KNOWN]      lambda                              = 100.0%\n"},
        {{"db", "--throttle-pct", "99.99999999999"}, "[CALCULATED] p_c(lambda)                         = 14.000 MPa\n"},
        // A throttled case prints its own p_c: 60 % under a fixed state is 8.4 MPa.
        {{"db", "--throttle-pct", "60"}, "[CALCULATED] p_c(lambda)                         = 8.400 MPa\n"},
        {{"db", "--engine", "tq15b", "--k", "3.1"}, "[ESTIMATED]  K_en = K                            = 3.100\n"},
        // Any positive burn time, however small, adds the burn lines.
        {{"db", "--burn-s", "1e-300"}, "[ESTIMATED]  t_b                                 = 0.000 s\n"},
    };
    for (const auto &c : cases) {
        use_state(methane_14_mpa);
        const run_output run = run_main(c.words);
        SCOPED_TRACE(c.line);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    }
}

TEST(RunSequence, FailuresPrintOneMessageAndCloseTheChamber)
{
    const struct {
        std::vector<std::string> words;
        int failing_op;
        int nth;
        const char *library_text;
        const char *message;
    } cases[] = {
        {{"no/such/thermo.inp"},
         CEA_DOUBLE_INIT_THERMO,
         1,
         "cannot open no/such/thermo.inp",
         "CEA initialization: CEA thermo database failed (CEA code 1): cannot open no/such/thermo.inp\n"},
        {{"db"}, CEA_DOUBLE_INIT_THERMO, 1, "", "CEA initialization: CEA thermo database failed (CEA code 1)\n"},
        {{"db", "--engine", "yf100k"},
         CEA_DOUBLE_EQSOLUTION_CREATE,
         1,
         "",
         "CEA initialization: CEA equilibrium solution failed (CEA code 1)\n"},
        // The chamber refuses a zero ratio without words of its own.
        {{"db", "--k", "0"}, -1, 0, "", "Calculation failed: \n"},
        {{"db", "--t-oxygen-k", "-90"}, -1, 0, "", "Calculation failed: \n"},
        {{"db", "--eta-cf", "1.5"}, -1, 0, "", "Calculation failed: Invalid or physically inconsistent model input.\n"},
        {{"db", "--throttle-pct", "90"},
         CEA_DOUBLE_EQSOLVER_SOLVE,
         7,
         "diverged",
         "Calculation failed: CEA HP equilibrium failed (CEA code 1): diverged\n"},
    };
    for (const auto &c : cases) {
        use_state(methane_14_mpa);
        if (c.failing_op >= 0) {
            cea_double_fail(c.failing_op, c.nth, 1);
            cea_double_set_error(c.library_text, -1);
        }
        const run_output run = run_main(c.words);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(cea_double_live_handles(), 0);
    }
}

TEST(RunSequence, JsonReplacesTheTextReport)
{
    use_state(rp1_18_7_mpa);
    const run_output run = run_main({"db", "--engine", "yf100k", "--json"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("{\n  \"schema_version\": 1,\n  \"engine\": \"yf100k\",\n", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find("[CALCULATED]"), std::string::npos);
    EXPECT_EQ(cea_double_live_handles(), 0);
}

TEST(RunSequence, OpensTheChamberWithTheModulesFuel)
{
    const struct {
        const char *engine;
        const char *fuel;
    } cases[] = {{"tq12b", "CH4(L)"}, {"tq15b", "CH4(L)"}, {"yf100k", "RP-1"}};
    for (const auto &c : cases) {
        use_state(std::string(c.engine) == "yf100k" ? rp1_18_7_mpa : methane_14_mpa);
        const run_output run = run_main({"path/to/thermo.inp", "--engine", c.engine});
        EXPECT_EQ(run.status, 0) << run.err;
        const cea_double_args *args = cea_double_last_args();
        EXPECT_STREQ(args->thermo_path, "path/to/thermo.inp");
        EXPECT_STREQ(args->reactant_names[0], "O2(L)");
        EXPECT_STREQ(args->reactant_names[1], c.fuel);
    }
}

} // namespace
