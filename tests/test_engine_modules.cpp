// The module facts: presets, and the option table read back at the presets.
#include "engine_modules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module_presets.h"

namespace {

// Source: the module preset table (tq12b's isp_ref is the double product
// 293.0 * 9.80665); exact, compared byte for byte, whatever the record held.
TEST(Presets, EveryFieldIsOverwrittenWithTheModuleTable)
{
    const engine_case tq12b = lre_test::tq12b_preset_case();
    const engine_case tq15b = lre_test::tq15b_preset_case();
    const engine_case yf100k = lre_test::yf100k_preset_case();
    const struct {
        int module;
        const engine_case *expected;
    } cases[] = {
        {ENGINE_TQ12B, &tq12b}, {ENGINE_TQ15B, &tq15b}, {ENGINE_YF100K, &yf100k}, {3, &tq12b},
        {-1, &tq12b}, // values the command line cannot produce
    };
    for (const auto &c : cases) {
        for (const unsigned char fill : {0x00, 0xA5, 0xFF}) { // 0xFF bytes read as NaN doubles
            engine_case engine;
            std::memset(&engine, fill, sizeof engine);
            set_defaults(c.module, &engine);
            EXPECT_EQ(std::memcmp(&engine, c.expected, sizeof engine), 0)
                << "module " << c.module << ", fill " << static_cast<int>(fill);
        }
    }
}

// Each option reads back, in its own unit, the preset it overrides; the
// table's module sets are those the command line accepts. Source: the
// module preset table; exact.
TEST(OptionTable, ReadsThePresetsInTheOptionsUnits)
{
    const struct {
        const char *bare_name;
        int modules;
        double tq12b, tq15b, yf100k;
    } cases[] = {
        {"beta", modules_tq, 0.09, 0.09, 0.0},
        {"pc-mpa", modules_tq, 14.0, 14.0, 18.7},
        {"k", modules_tq, 2.9, 2.9, 2.6},
        {"epsilon", modules_all, 20.5, 50.0, 35.0},
        {"eta-c-star", modules_tq, 0.97, 0.97, 0.995},
        {"eta-cf", modules_tq, 0.97, 0.97, 0.0},
        {"t-oxygen-k", modules_tq, 90.0, 90.0, 90.17},
        {"t-methane-k", modules_tq, 111.0, 111.0, 298.15},
        {"throttle-pct", modules_sea_level, 100.0, 100.0, 100.0},
        {"altitude-km", modules_all, 0.0, 0.0, 0.0},
        {"burn-s", modules_all, 0.0, 0.0, 0.0},
    };
    ASSERT_EQ(case_option_count(), static_cast<int>(sizeof cases / sizeof cases[0]));
    for (int i = 0; i < case_option_count(); ++i) {
        const auto &c = cases[i];
        SCOPED_TRACE(c.bare_name);
        const case_option *option = find_case_option_bare(c.bare_name);
        ASSERT_EQ(option, case_option_at(i));
        EXPECT_EQ(option, find_case_option(option->name));
        EXPECT_EQ(option->modules, c.modules);
        const double presets[] = {c.tq12b, c.tq15b, c.yf100k};
        for (int module = 0; module < engine_module_count; ++module) {
            engine_case engine;
            set_defaults(module, &engine);
            EXPECT_EQ(option->value(&engine), presets[module]) << engine_key(module);
        }
    }
    EXPECT_EQ(find_case_option("k"), nullptr);
    EXPECT_EQ(find_case_option_bare("--k"), nullptr);
    EXPECT_EQ(find_case_option("--engine"), nullptr);
}

} // namespace
