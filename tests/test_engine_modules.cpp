// The option table as the forms of lre-ui and the axes of lre-sweep read it:
// each option found by either name and read back from a case in its unit.
#include "engine_modules.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionTable, EachOptionByEitherNameReadsItsUnit)
{
    engine_case engine;
    set_defaults(ENGINE_TQ12B, &engine);
    engine.lambda = 0.625;
    engine.h = 11019.0;
    engine.t_b = 120.0;
    const struct {
        const char *bare_name;
        double value; // of the case above, in the option's unit
    } rows[] = {
        {"beta", 0.09},         {"pc-mpa", 14.0},        {"k", 2.9},           {"epsilon", 20.5},
        {"eta-c-star", 0.97},   {"eta-cf", 0.97},        {"t-oxygen-k", 90.0}, {"t-methane-k", 111.0},
        {"throttle-pct", 62.5}, {"altitude-km", 11.019}, {"burn-s", 120.0},
    };
    ASSERT_EQ(case_option_count(), static_cast<int>(sizeof rows / sizeof rows[0]));
    for (int i = 0; i < case_option_count(); ++i) {
        SCOPED_TRACE(rows[i].bare_name);
        const case_option *option = case_option_at(i);
        ASSERT_EQ(find_case_option_bare(rows[i].bare_name), option);
        EXPECT_EQ(find_case_option(option->name), option);
        EXPECT_EQ(option->value(&engine), rows[i].value);
    }
    EXPECT_EQ(case_option_at(-1), nullptr);
    EXPECT_EQ(case_option_at(case_option_count()), nullptr);
    EXPECT_EQ(find_case_option("k"), nullptr);
    EXPECT_EQ(find_case_option_bare("--k"), nullptr);
    EXPECT_EQ(find_case_option(nullptr), nullptr);
}

} // namespace
