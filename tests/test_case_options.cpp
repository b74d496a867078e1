// One option applied with the outcome and the message that lre-sweep and
// lre-ui show (lre-perf shows the usage text for most of them).
#include "case_options.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine_modules.h"

namespace {

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

} // namespace
