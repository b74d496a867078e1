// Command-line handling of the built executable: standard output, standard
// error and exit status compared byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_usage.h"
#include "program_runner.h"

namespace {

using lre_test::program_output;

const std::string program_path = LRE_PERF_PATH;

// The whole argument vector; "@" stands for the program's path.
program_output run(std::vector<std::string> argv)
{
    for (std::string &word : argv) {
        word = word == "@" ? program_path : word;
    }
    return lre_test::run_program(program_path, argv);
}

// Form errors print the usage text on standard output, named after the first
// word, or "lre-perf" when that is missing or empty.
TEST(CommandLine, FormErrorsPrintUsageOnStandardOutput)
{
    const struct {
        std::vector<std::string> argv;
        int status;
    } cases[] = {
        {{"@"}, 1},
        {{"@", "--help"}, 0},
        {{}, 1},
        {{"", "--help"}, 0},
        {{"@", "db", "--help"}, 1}, // "--help" is only special first
        {{"@", "db", "--engine"}, 1},
        {{"@", "db", "--beta"}, 1},
        {{"@", "db", "--beta", "abc"}, 1},
        {{"@", "db", "--bogus", "1"}, 1}, // value parsed, then name unknown
        {{"@", "db", "--bogus"}, 1},
        {{"@", "db", "--engine", "yf100k", "--beta", "x"}, 1}, // parse before refusal
        // Numbers: whole words, finite, without a range error.
        {{"@", "db", "--burn-s", "1e999"}, 1},
        {{"@", "db", "--burn-s", "1e-400"}, 1},
        {{"@", "db", "--burn-s", "nan"}, 1},
        {{"@", "db", "--burn-s", "inf"}, 1},
        {{"@", "db", "--burn-s", ""}, 1},
        {{"@", "db", "--burn-s", "12 "}, 1},
    };
    for (const auto &c : cases) {
        const program_output out = run(c.argv);
        SCOPED_TRACE(lre_test::joined(c.argv));
        EXPECT_EQ(out.status, c.status);
        const bool named = !c.argv.empty() && !c.argv[0].empty();
        EXPECT_EQ(out.stdout_text, lre_test::expected_usage(named ? program_path : "lre-perf"));
        EXPECT_EQ(out.stderr_text, "");
    }
}

TEST(CommandLine, ContentErrorsWriteOneMessageOnStandardError)
{
    const char *const engine = "Engine must be tq12b, tq15b, or yf100k.\n";
    const char *const yf_throttle = "YF-100K throttle percentage must be between 65 and 105.\n";
    const char *const tq_throttle = "TQ-12B throttle percentage must be between 40 and 110.\n";
    const char *const altitude = "Altitude must be between 0 and 86 km geometric altitude.\n";
    const char *const vacuum = "The TQ-15B module uses vacuum conditions and does not vary altitude.\n";
    const char *const yf_epsilon = "YF-100K epsilon must be between 20 and 36.\n";
    const char *const no_throttle = "Throttle input is available for TQ-12B and YF-100K only.\n";
    const std::string fixed = " is not adjustable in the YF-100K module.\n";
    const struct {
        std::vector<std::string> words; // after the database path
        std::string message;
    } cases[] = {
        {{"--engine", "f1"}, engine},
        {{"--engine", "YF100K"}, engine},
        {{"--bogus", "x", "--engine", "f1"}, engine}, // the module pass runs before any value is parsed
        {{"--engine", "yf100k", "--beta", "0.1"}, "--beta" + fixed},
        {{"--beta", "0.1", "--engine", "yf100k"}, "--beta" + fixed},
        {{"--t-methane-k", "110", "--engine", "yf100k"}, "--t-methane-k" + fixed},
        // Refusals come before later values are validated.
        {{"--engine", "yf100k", "--beta", "0.1", "--throttle-pct", "10"}, "--beta" + fixed},
        {{"--engine", "tq15b", "--throttle-pct", "100"}, no_throttle},
        {{"--engine", "tq15b", "--throttle-pct", "50", "--bogus", "1"}, no_throttle},
        // Range validation, first failure in the fixed order.
        {{"--engine", "yf100k", "--throttle-pct", "64.99"}, yf_throttle},
        {{"--engine", "yf100k", "--throttle-pct", "105.01"}, yf_throttle},
        {{"--engine", "yf100k", "--throttle-pct", "50", "--altitude-km", "90", "--epsilon", "50"}, yf_throttle},
        {{"--throttle-pct", "39.99"}, tq_throttle},
        {{"--throttle-pct", "110.5"}, tq_throttle},
        {{"--throttle-pct", "30", "--altitude-km", "90"}, tq_throttle},
        {{"--altitude-km", "-0.001"}, altitude},
        {{"--altitude-km", "86.001"}, altitude},
        {{"--altitude-km", "1e306"}, altitude}, // overflows to infinity in metres
        {{"--engine", "yf100k", "--altitude-km", "90", "--epsilon", "50"}, altitude},
        {{"--engine", "tq15b", "--altitude-km", "-1"}, altitude},
        {{"--engine", "tq15b", "--altitude-km", "0.001"}, vacuum},
        {{"--engine", "yf100k", "--epsilon", "19.99"}, yf_epsilon},
        {{"--engine", "yf100k", "--epsilon", "36.01"}, yf_epsilon},
        // The last of repeated options and modules wins.
        {{"--throttle-pct", "100", "--throttle-pct", "120"}, tq_throttle},
        {{"--engine", "tq12b", "--engine", "yf100k", "--beta", "0.1"}, "--beta" + fixed},
    };
    for (const auto &c : cases) {
        std::vector<std::string> argv{"@", "db"};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        const program_output out = run(argv);
        SCOPED_TRACE(lre_test::joined(argv));
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stdout_text, "");
        EXPECT_EQ(out.stderr_text, c.message);
    }
}

// Failures of the library and the model on the real database: the library's
// own text follows the step that failed.
TEST(CommandLine, LibraryAndModelFailuresOnTheRealDatabase)
{
    const std::string db = LRE_THERMO_DATABASE;
    const std::string init = "CEA initialization: CEA thermo database failed (CEA code ";
    const std::string failed = "Calculation failed: ";
    const std::string model = failed + "Invalid or physically inconsistent model input.\n";
    const struct {
        std::vector<std::string> words; // after the program's path
        std::string message;
    } cases[] = {
        {{"no-such-dir/thermo.inp"}, init + "1): cannot open the thermodynamic database no-such-dir/thermo.inp\n"},
        // Accepted forms and the last of repeated options reach the library.
        {{"no/db", "--burn-s", " 0x1p3", "--throttle-pct", "120", "--throttle-pct", "40", "--engine", "tq15b",
          "--engine", "tq12b"},
         init + "1): cannot open the thermodynamic database no/db\n"},
        {{db, "--k", "0"}, failed + "\n"}, // the chamber refuses it without words of its own
        {{db, "--k", "0.01"}, failed + "CEA HP equilibrium did not converge\n"},
        {{db, "--t-methane-k", "100"},
         failed + "CEA inlet enthalpy failed (CEA code 11): CH4(L) has an enthalpy only "
                  "at 111.643 K; 100.000 K is more than 10 K away\n"},
        {{db, "--eta-cf", "1.5"}, model},
        {{db, "--pc-mpa", "0.5"}, model},                                        // over-expanded at sea level
        {{db, "--engine", "tq15b", "--pc-mpa", "2"}, model},                     // over-expanded at h = 0 only
        {{db, "--pc-mpa", "100", "--epsilon", "1.5", "--eta-cf", "0.1"}, model}, // u_e < 0, C_F > 0
        // A total impulse beyond the double range ("inf" in both reports).
        {{db, "--burn-s", "1e305"}, model},
        {{db, "--engine", "tq15b", "--burn-s", "1e305", "--json"}, model},
        {{db, "--engine", "yf100k", "--burn-s", "1e305"}, model},
    };
    for (const auto &c : cases) {
        std::vector<std::string> argv{"@"};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        const program_output out = run(argv);
        SCOPED_TRACE(lre_test::joined(argv));
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stdout_text, "");
        EXPECT_EQ(out.stderr_text, c.message);
    }
}

} // namespace
