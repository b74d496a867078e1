// Command-line handling of the built program, observed from outside: each case
// runs the executable and compares standard output, standard error and the
// exit status byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_usage.h"
#include "program_runner.h"

namespace {

using lre_test::program_output;
using lre_test::run_program;

const char *const program_path = LRE_PERF_PATH;
// A database path that no library can load: a case that passes the command
// line then fails only when the chamber is opened.
const char *const missing_database = "no-such-dir/thermo.inp";

using lre_test::expected_usage;

std::vector<std::string> with_program(std::vector<std::string> words)
{
    words.insert(words.begin(), program_path);
    return words;
}

std::string joined(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words) {
        text += " [" + word + "]";
    }
    return text;
}

struct usage_case {
    std::vector<std::string> words; // after the program name
    int status;
};

TEST(CommandLine, FormErrorsPrintUsageOnStandardOutput)
{
    const usage_case cases[] = {
        {{}, 1},
        {{"--help"}, 0},
        {{"db", "--help"}, 1}, // "--help" is only special first
        {{"db", "--engine"}, 1},
        {{"db", "--beta"}, 1},
        {{"db", "--beta", "abc"}, 1},
        {{"db", "--bogus", "1"}, 1}, // value parsed, then name unknown
        {{"db", "--bogus"}, 1},
        {{"db", "--Beta", "0.1"}, 1},                     // names are case-sensitive
        {{"db", "--beta=0.1"}, 1},                        // no joined forms
        {{"db", "--engine", "yf100k", "--beta", "x"}, 1}, // parse before refusal
        {{"db", "--engine", "tq15b", "--throttle-pct", "x"}, 1},
    };
    for (const usage_case &c : cases) {
        const program_output out = run_program(program_path, with_program(c.words));
        SCOPED_TRACE(joined(c.words));
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(out.stdout_text, expected_usage(program_path));
        EXPECT_EQ(out.stderr_text, "");
    }
}

TEST(CommandLine, EmptyArgumentVectorNamesTheProgram)
{
    const program_output out = run_program(program_path, {});
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.stdout_text, expected_usage("lre-perf"));
    EXPECT_EQ(out.stderr_text, "");
}

TEST(CommandLine, EmptyProgramNameFallsBackToLrePerf)
{
    const program_output out = run_program(program_path, {"", "--help"});
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.stdout_text, expected_usage("lre-perf"));
}

struct content_case {
    std::vector<std::string> words;
    const char *message;
};

TEST(CommandLine, ContentErrorsWriteOneMessageOnStandardError)
{
    const char *const yf_throttle = "YF-100K throttle percentage must be between 65 and 105.\n";
    const char *const tq_throttle = "TQ-12B throttle percentage must be between 40 and 110.\n";
    const char *const altitude = "Altitude must be between 0 and 86 km geometric altitude.\n";
    const char *const vacuum = "The TQ-15B module uses vacuum conditions and does not vary altitude.\n";
    const char *const yf_epsilon = "YF-100K epsilon must be between 20 and 36.\n";
    const char *const no_throttle = "Throttle input is available for TQ-12B and YF-100K only.\n";
    const content_case cases[] = {
        {{"db", "--engine", "f1"}, "Engine must be tq12b, tq15b, or yf100k.\n"},
        {{"db", "--engine", "YF100K"}, "Engine must be tq12b, tq15b, or yf100k.\n"},
        // The module pass runs before any value is parsed.
        {{"db", "--bogus", "x", "--engine", "f1"}, "Engine must be tq12b, tq15b, or yf100k.\n"},
        {{"db", "--engine", "yf100k", "--beta", "0.1"}, "--beta is not adjustable in the YF-100K module.\n"},
        {{"db", "--beta", "0.1", "--engine", "yf100k"}, "--beta is not adjustable in the YF-100K module.\n"},
        {{"db", "--pc-mpa", "12", "--engine", "yf100k"}, "--pc-mpa is not adjustable in the YF-100K module.\n"},
        {{"db", "--engine", "yf100k", "--k", "2"}, "--k is not adjustable in the YF-100K module.\n"},
        {{"db", "--engine", "yf100k", "--eta-c-star", "1"}, "--eta-c-star is not adjustable in the YF-100K module.\n"},
        {{"db", "--engine", "yf100k", "--eta-cf", "1"}, "--eta-cf is not adjustable in the YF-100K module.\n"},
        {{"db", "--engine", "yf100k", "--t-oxygen-k", "90"}, "--t-oxygen-k is not adjustable in the YF-100K module.\n"},
        {{"db", "--t-methane-k", "110", "--engine", "yf100k"},
         "--t-methane-k is not adjustable in the YF-100K module.\n"},
        // Refusals come before later values are validated.
        {{"db", "--engine", "yf100k", "--beta", "0.1", "--throttle-pct", "10"},
         "--beta is not adjustable in the YF-100K module.\n"},
        {{"db", "--engine", "tq15b", "--throttle-pct", "100"}, no_throttle},
        {{"db", "--engine", "tq15b", "--throttle-pct", "50", "--bogus", "1"}, no_throttle},
        // Range validation, first failure in the fixed order.
        {{"db", "--engine", "yf100k", "--throttle-pct", "64.99"}, yf_throttle},
        {{"db", "--engine", "yf100k", "--throttle-pct", "105.01"}, yf_throttle},
        {{"db", "--engine", "yf100k", "--throttle-pct", "50", "--altitude-km", "90", "--epsilon", "50"}, yf_throttle},
        {{"db", "--throttle-pct", "39.99"}, tq_throttle},
        {{"db", "--throttle-pct", "110.5"}, tq_throttle},
        {{"db", "--throttle-pct", "30", "--altitude-km", "90"}, tq_throttle},
        {{"db", "--altitude-km", "-0.001"}, altitude},
        {{"db", "--altitude-km", "86.001"}, altitude},
        {{"db", "--altitude-km", "1e306"}, altitude}, // overflows to infinity in metres
        {{"db", "--engine", "yf100k", "--altitude-km", "90", "--epsilon", "50"}, altitude},
        {{"db", "--engine", "tq15b", "--altitude-km", "-1"}, altitude},
        {{"db", "--engine", "tq15b", "--altitude-km", "0.001"}, vacuum},
        {{"db", "--engine", "yf100k", "--epsilon", "19.99"}, yf_epsilon},
        {{"db", "--engine", "yf100k", "--epsilon", "36.01"}, yf_epsilon},
        // The last of repeated options and modules wins.
        {{"db", "--throttle-pct", "100", "--throttle-pct", "120"}, tq_throttle},
        {{"db", "--engine", "tq12b", "--engine", "yf100k", "--beta", "0.1"},
         "--beta is not adjustable in the YF-100K module.\n"},
    };
    for (const content_case &c : cases) {
        const program_output out = run_program(program_path, with_program(c.words));
        SCOPED_TRACE(joined(c.words));
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stdout_text, "");
        EXPECT_EQ(out.stderr_text, c.message);
    }
}

// A request that passes the command line goes on to open the chamber, which
// fails on a database that does not exist: seeing that failure, and not a
// command-line message, shows that validation passed.
void expect_accepted(const std::vector<std::string> &options, const char *database = missing_database)
{
    std::vector<std::string> words{database};
    words.insert(words.end(), options.begin(), options.end());
    const program_output out = run_program(program_path, with_program(words));
    SCOPED_TRACE(joined(words));
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.stdout_text, "");
    EXPECT_EQ(out.stderr_text.rfind("CEA initialization: ", 0), 0u) << out.stderr_text;
}

TEST(CommandLine, InclusiveBoundsAreAccepted)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--throttle-pct", "40"},
        {"--throttle-pct", "110"},
        {"--engine", "yf100k", "--throttle-pct", "65"},
        {"--engine", "yf100k", "--throttle-pct", "105"},
        {"--altitude-km", "0"},
        {"--altitude-km", "86"},
        {"--altitude-km", "-0"},
        {"--engine", "yf100k", "--altitude-km", "86"},
        {"--engine", "yf100k", "--epsilon", "20"},
        {"--engine", "yf100k", "--epsilon", "36"},
        {"--engine", "tq15b", "--altitude-km", "0"},
        {"--engine", "tq15b", "--k", "3.1", "--beta", "0.1", "--json"},
        {"--engine", "yf100k", "--throttle-pct", "80", "--altitude-km", "11", "--burn-s", "120", "--epsilon", "30"},
        // The last value wins.
        {"--throttle-pct", "120", "--throttle-pct", "100"},
        {"--engine", "yf100k", "--engine", "tq12b", "--beta", "0.1"},
        // Values the model, not the command line, judges.
        {"--k", "0", "--beta", "-1", "--burn-s", "-5", "--pc-mpa", "1e308"},
    };
    for (const std::vector<std::string> &options : cases) {
        expect_accepted(options);
    }
}

TEST(CommandLine, DatabasePathIsAlwaysTheFirstWord)
{
    expect_accepted({}, "--json");
    expect_accepted({"--json"}, "--engine");
}

struct number_case {
    const char *text;
    bool accepted;
};

TEST(CommandLine, NumbersMustBeWholeFiniteAndInRange)
{
    const number_case cases[] = {
        {"1e999", false}, {"1e-400", false}, {"nan", false}, {"inf", false}, {"-inf", false},
        {"", false},      {"12 ", false},    {"12x", false}, {" ", false},   {" 12", true},
        {"0x1p3", true},  {"1e2", true},     {"+5", true},   {"-0", true},
    };
    for (const number_case &c : cases) {
        SCOPED_TRACE(std::string("[") + c.text + "]");
        if (c.accepted) {
            expect_accepted({"--burn-s", c.text});
        } else {
            const program_output out = run_program(program_path, with_program({"db", "--burn-s", c.text}));
            EXPECT_EQ(out.status, 1);
            EXPECT_EQ(out.stdout_text, expected_usage(program_path));
            EXPECT_EQ(out.stderr_text, "");
        }
    }
}

} // namespace
