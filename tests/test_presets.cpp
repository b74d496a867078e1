// The front end's private helpers (main unit compiled in): module presets, the
// number parser, and the usage path of an empty argument vector.
#define main lre_perf_main
#include "main.cpp"
#undef main

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "expected_usage.h"
#include "module_presets.h"
#include "program_runner.h"

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

// The kernel never hands a program argc 0 on Linux, so this path is reached
// only in-process: a null argv[0] must not reach the usage text's "%s".
TEST(Usage, NullProgramNameBecomesLrePerf)
{
    const lre_test::program_output out = lre_test::run_main(lre_perf_main, {});
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.stdout_text, lre_test::expected_usage("lre-perf"));
    EXPECT_EQ(out.stderr_text, "");
}

} // namespace
