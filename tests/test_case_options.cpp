// Option handling: the strict number parser, one option applied with the
// outcome and message a front end needs, and the module pass.
#include "case_options.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine_modules.h"

namespace {

// Whole words only, finite and without a range error; the converted value is
// stored even when the word is refused. A stale errno from earlier code must
// not refuse a good number.
TEST(ParseNumber, AcceptsOnlyWholeFiniteInRangeWords)
{
    const double not_checked = -12345.0;
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char *text;
        int accepted;
        double stored;
    } cases[] = {
        {"12", 1, 12.0},   {" 12", 1, 12.0},           {"\t12", 1, 12.0},
        {"0x1p3", 1, 8.0}, {"-2.5e-3", 1, -2.5e-3},    {"1e308", 1, 1e308},
        {"+5", 1, 5.0},    {"12x", 0, 12.0},           {"   ", 0, 0.0},
        {"abc", 0, 0.0},   {"-1e999", 0, -inf},        {"infinity", 0, inf},
        {"-inf", 0, -inf}, {"nan", 0, not_checked},    {"12 ", 0, 12.0},
        {"1e999", 0, inf}, {"1e-400", 0, not_checked}, {"", 0, 0.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("[") + c.text + "]");
        double value = not_checked;
        errno = ERANGE;
        EXPECT_EQ(parse_number(c.text, &value), c.accepted);
        if (c.stored != not_checked) {
            EXPECT_EQ(value, c.stored);
        }
    }
    double value = 0.0;
    EXPECT_EQ(parse_number(nullptr, &value), 0);
}

// The checks run in the command line's order (value, module, option word);
// anything but an applied option leaves the record as it was.
TEST(ApplyCaseOption, OutcomesAndMessagesInTheCommandLinesOrder)
{
    const struct {
        int module;
        const char *option;
        const char *value; // nullptr: none
        option_outcome outcome;
        const char *message;
    } cases[] = {
        {ENGINE_TQ12B, "--pc-mpa", "12", OPTION_APPLIED, ""},
        {ENGINE_TQ12B, "--pc-mpa", nullptr, OPTION_BAD_VALUE, "--pc-mpa needs a value."},
        {ENGINE_TQ12B, "--pc-mpa", "12 ", OPTION_BAD_VALUE, "Not a number: \"12 \"."},
        {ENGINE_TQ12B, "--nozzle", "abc", OPTION_BAD_VALUE, "Not a number: \"abc\"."},
        {ENGINE_TQ12B, "--nozzle", "1", OPTION_UNKNOWN, "Unknown option \"--nozzle\"."},
        {ENGINE_TQ12B, "--json", "1", OPTION_UNKNOWN, "Unknown option \"--json\"."},
        {ENGINE_YF100K, "--t-methane-k", "300", OPTION_REFUSED,
         "--t-methane-k is not adjustable in the YF-100K module."},
        {ENGINE_YF100K, "--beta", "x", OPTION_BAD_VALUE, "Not a number: \"x\"."},
        {ENGINE_TQ15B, "--throttle-pct", "100", OPTION_REFUSED,
         "Throttle input is available for TQ-12B and YF-100K only."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        engine_case reference;
        set_defaults(c.module, &reference);
        const engine_case before = reference;
        char message[128] = "stale";
        EXPECT_EQ(apply_case_option(c.module, c.option, c.value, &reference, message, sizeof message), c.outcome);
        if (c.outcome != OPTION_APPLIED) {
            EXPECT_STREQ(message, c.message);
            EXPECT_EQ(std::memcmp(&reference, &before, sizeof reference), 0);
        }
    }
}

// TQ-15B has one mixture ratio: --k sets both; TQ-12B keeps its engine ratio.
TEST(ApplyCaseOption, MixtureRatioOfEachModule)
{
    for (const int module : {ENGINE_TQ12B, ENGINE_TQ15B}) {
        engine_case reference;
        set_defaults(module, &reference);
        ASSERT_EQ(apply_case_option(module, "--k", "3.1", &reference, nullptr, 0), OPTION_APPLIED);
        EXPECT_EQ(reference.k, 3.1);
        EXPECT_EQ(reference.k_en, module == ENGINE_TQ15B ? 3.1 : 2.9);
    }
}

TEST(SelectEngineModule, LastEngineWinsAndValuesAreSteppedOverSingly)
{
    const struct {
        std::vector<const char *> words;
        option_outcome outcome;
        int module;
    } cases[] = {
        {{}, OPTION_APPLIED, ENGINE_TQ12B},
        {{"--k", "3", "--engine", "tq15b", "--engine", "yf100k"}, OPTION_APPLIED, ENGINE_YF100K},
        // The value of --k is the word "--engine": the pass still reads it.
        {{"--k", "--engine", "tq15b"}, OPTION_APPLIED, ENGINE_TQ15B},
        {{"--engine", "TQ15B"}, OPTION_REFUSED, -1},
        {{"--engine", "yf100k", "--engine"}, OPTION_BAD_VALUE, -1},
    };
    for (const auto &c : cases) {
        int module = -1;
        char message[64] = "";
        EXPECT_EQ(
            select_engine_module(static_cast<int>(c.words.size()), c.words.data(), &module, message, sizeof message),
            c.outcome);
        if (c.outcome == OPTION_APPLIED) {
            EXPECT_EQ(module, c.module);
        } else if (c.outcome == OPTION_REFUSED) {
            EXPECT_STREQ(message, "Engine must be tq12b, tq15b, or yf100k.");
        }
    }
}

} // namespace
