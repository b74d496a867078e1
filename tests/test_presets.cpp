// The front end's private helpers, reached by compiling the program's main
// unit into this test: module presets, the display names, the number parser,
// and the usage path of an empty argument vector.
#define main lre_perf_main
#include "main.cpp"
#undef main

#include <gtest/gtest.h>

#include "module_presets.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

// Source: the module preset table of the project's reference data; exact.
const engine_case tq12b_presets = lre_test::tq12b_preset_case();
const engine_case tq15b_presets = lre_test::tq15b_preset_case();
const engine_case yf100k_presets = lre_test::yf100k_preset_case();

TEST(Presets, EveryFieldIsOverwrittenWithTheModuleTable)
{
    const struct {
        int module;
        const engine_case *expected;
    } cases[] = {
        {ENGINE_TQ12B, &tq12b_presets},
        {ENGINE_TQ15B, &tq15b_presets},
        {ENGINE_YF100K, &yf100k_presets},
        // Values the command line cannot produce get the TQ-12B presets.
        {3, &tq12b_presets},
        {-1, &tq12b_presets},
    };
    const unsigned char fills[] = {0x00, 0xA5, 0xFF}; // 0xFF bytes read as NaN doubles
    for (const auto &c : cases) {
        for (const unsigned char fill : fills) {
            engine_case engine;
            std::memset(&engine, fill, sizeof engine);
            set_defaults(c.module, &engine);
            EXPECT_EQ(std::memcmp(&engine, c.expected, sizeof engine), 0)
                << "module " << c.module << ", fill " << static_cast<int>(fill);
        }
    }
}

TEST(Presets, Tq12bSpecificImpulseIsTheDoubleProduct)
{
    engine_case engine;
    set_defaults(ENGINE_TQ12B, &engine);
    volatile double seconds = 293.0; // keep the product a run-time double product
    EXPECT_EQ(engine.isp_ref, seconds * 9.80665);
    EXPECT_EQ(engine.isp_ref, 2873.34845);
}

TEST(EngineName, DisplayNamesWithTq12bForEveryOtherValue)
{
    const struct {
        int module;
        const char *name;
    } cases[] = {
        {ENGINE_TQ12B, "TQ-12B"}, {ENGINE_TQ15B, "TQ-15B"}, {ENGINE_YF100K, "YF-100K family"}, {3, "TQ-12B"},
        {-1, "TQ-12B"},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(engine_name(c.module), c.name) << c.module;
    }
}

TEST(ParseNumber, AcceptsOnlyWholeFiniteInRangeWords)
{
    const double not_stored = -12345.0;
    const struct {
        const char *text;
        int accepted;
        double value; // stored value; not_stored means: not checked
    } cases[] = {
        {"12", 1, 12.0},
        {" 12", 1, 12.0},
        {"\t12", 1, 12.0},
        {"0x1p3", 1, 8.0},
        {"-2.5e-3", 1, -2.5e-3},
        {"1e308", 1, 1e308},
        {"12 ", 0, 12.0}, // stored although refused
        {"12x", 0, 12.0},
        {"", 0, 0.0},
        {"   ", 0, 0.0},
        {"abc", 0, 0.0},
        {"1e999", 0, std::numeric_limits<double>::infinity()},
        {"-1e999", 0, -std::numeric_limits<double>::infinity()},
        {"1e-400", 0, not_stored}, // underflow: range error
        {"nan", 0, not_stored},
        {"inf", 0, std::numeric_limits<double>::infinity()},
        {"infinity", 0, std::numeric_limits<double>::infinity()},
    };
    for (const auto &c : cases) {
        double value = not_stored;
        SCOPED_TRACE(std::string("[") + c.text + "]");
        EXPECT_EQ(parse_number(c.text, &value), c.accepted);
        if (c.value != not_stored) {
            EXPECT_EQ(value, c.value);
        }
    }
    double value = 0.0;
    EXPECT_EQ(parse_number(nullptr, &value), 0);
}

TEST(ParseNumber, AStaleErrorIndicatorDoesNotRefuseAGoodNumber)
{
    errno = ERANGE;
    double value = 0.0;
    EXPECT_EQ(parse_number("3.5", &value), 1);
    EXPECT_EQ(value, 3.5);
}

// The kernel never hands a program argc 0 on Linux, so this path is reached
// only in-process: a null argv[0] must not reach the usage text's "%s".
TEST(Usage, NullProgramNameBecomesLrePerf)
{
    std::FILE *capture = std::tmpfile();
    ASSERT_NE(capture, nullptr);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    char *empty_argv[] = {nullptr};
    const int status = lre_perf_main(0, empty_argv);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::rewind(capture);
    char line[128] = {0};
    ASSERT_NE(std::fgets(line, sizeof line, capture), nullptr);
    std::fclose(capture);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(line, "Usage: lre-perf THERMO_LIB [options]\n");
}

} // namespace
