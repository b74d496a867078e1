// The sweep plan: every kind of bad word refused with its message before any
// work, the values of range and list axes, case lines, and the rows of a shard.
#include "sweep_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Parses "db <words>", then the case text when there is one; the plan is
// large, so it lives on the heap here.
int parse(sweep_plan *plan, const std::vector<const char *> &words, std::string *message, const std::string &cases = "")
{
    std::vector<const char *> all{"db"};
    all.insert(all.end(), words.begin(), words.end());
    char text[sweep_message_size] = "";
    int ok = sweep_plan_parse(plan, static_cast<int>(all.size()), all.data(), text, sizeof text);
    if (ok && !cases.empty()) {
        ok = sweep_plan_set_cases(plan, cases.data(), cases.size(), text, sizeof text);
    }
    *message = text;
    return ok;
}

TEST(SweepPlan, BadWordsAreRefusedWithTheirMessage)
{
    std::string long_list = "k=1";
    for (int i = 1; i < sweep_max_list_values; ++i) {
        long_list += ",1";
    }
    const std::string too_long = long_list + ",1";
    const std::string long_name = std::string(64, 'k') + "=1";
    const std::string long_name_message = "--vary \"" + long_name + "\": no such option.";
    const struct {
        std::vector<const char *> words;
        const char *message;
        std::string cases;
    } cases[] = {
        {{"--engine", "tq16"}, "Engine must be tq12b, tq15b, or yf100k."},
        {{"--k", "1x"}, "Not a number: \"1x\"."},
        {{"--nozzle", "1"}, "Unknown option \"--nozzle\"."},
        {{"--engine", "yf100k", "--beta", "0.1"}, "--beta is not adjustable in the YF-100K module."},
        {{"--vary"}, "--vary needs a value."},
        {{"--vary", "k"}, "--vary \"k\" must read NAME=VALUES."},
        {{"--vary", "nozzle=1,2"}, "--vary nozzle: no such numeric option."},
        {{"--vary", long_name.c_str()}, long_name_message.c_str()},
        {{"--vary", "engine=tq12b,tq15b"}, "--vary engine: the module cannot be varied, one module per sweep."},
        {{"--engine", "tq15b", "--vary", "throttle-pct=50,60"},
         "Throttle input is available for TQ-12B and YF-100K only."},
        {{"--vary", "k=1:2"}, "--vary k=1:2: a range must read FROM:TO:STEP with three numbers."},
        {{"--vary", "k=1:2:3:4"}, "--vary k=1:2:3:4: a range must read FROM:TO:STEP with three numbers."},
        {{"--vary", "k=1:2:0"}, "--vary k=1:2:0: the step never leads from FROM to TO."},
        {{"--vary", "k=2:1:0.5"}, "--vary k=2:1:0.5: the step never leads from FROM to TO."},
        {{"--vary", "k=0:1e300:1e-300"}, "--vary k=0:1e300:1e-300: the step never leads from FROM to TO."},
        {{"--vary", "k=0:1e10:1"}, "--vary k=0:1e10:1: more than 1000000000 values."},
        {{"--vary", "k=1,nan"}, "--vary k=1,nan: \"nan\" is not a number."},
        {{"--vary", too_long.c_str()}, "--vary k=1,1,1,"}, // "...: more than 1024 values in a list.", cut
        {{"--vary", "k=1", "--vary", "k=2"}, "--vary k=2: that option is varied already."},
        {{"--vary", "k=1", "--vary", "beta=1", "--vary", "eta-cf=1", "--vary", "t-oxygen-k=1"},
         "At most 3 --vary axes."},
        {{"--vary", "k=0:9e8:1", "--vary", "beta=0:9e8:1"}, "More than 1000000000000000 cases."},
        {{"--vary", "k=0:9e8:1", "--vary", "beta=0:1e6:1", "--cases", "c"},
         "More than 1000000000000000 cases.",
         "--k 1\n--k 2\n"},
        {{"--cases", "c"}, "The case text c holds no case.", " \t# comment\n\r\n"},
        {{"--maximize", "calculated.I_s_v_mps"}, "--maximize and --over go together."},
        {{"--over", "k=2:4"}, "--maximize and --over go together."},
        {{"--maximize", "calculated.I_s_en_v_mps", "--over", "k=2:4"},
         "The tq12b document has no member \"calculated.I_s_en_v_mps\"."},
        {{"--maximize", "calculated.I_s_v_mps", "--over", "k=4:2"},
         "--over k=4:2: must read NAME=LO:HI with LO below HI."},
        {{"--over", "k=2"}, "--over k=2: must read NAME=LO:HI with LO below HI."},
        {{"--over", "k=x:3"}, "--over k=x:3: must read NAME=LO:HI with LO below HI."},
        {{"--over", "bogus=1:2"}, "--over bogus: no such numeric option."},
        {{"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--vary", "k=3"},
         "--over k: that option is varied already."},
        {{"--format", "xml"}, "--format xml: the format is csv or jsonl."},
        {{"--shard", "0/4"}, "--shard 0/4: must read K/N with 1 <= K <= N."},
        {{"--shard", "5/4"}, "--shard 5/4: must read K/N with 1 <= K <= N."},
        {{"--shard", "1/4x"}, "--shard 1/4x: must read K/N with 1 <= K <= N."},
        {{"--shard", "/4"}, "--shard /4: must read K/N with 1 <= K <= N."},
        {{"--shard", "4/"}, "--shard 4/: must read K/N with 1 <= K <= N."},
        {{"--shard", "1/1234567890"}, "--shard 1/1234567890: must read K/N with 1 <= K <= N."},
        {{"--jobs", "0"}, "--jobs 0: a whole number from 1 to 64."},
        {{"--jobs", "65"}, "--jobs 65: a whole number from 1 to 64."},
        {{"--jobs", "2x"}, "--jobs 2x: a whole number from 1 to 64."},
        {{"--jobs", ""}, "--jobs : a whole number from 1 to 64."},
        {{"--jobs", "0000000001"}, "--jobs 0000000001: a whole number from 1 to 64."},
    };
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    for (const auto &c : cases) {
        std::string message;
        EXPECT_EQ(parse(plan.get(), c.words, &message, c.cases), 0) << c.message;
        EXPECT_EQ(message.substr(0, std::string(c.message).size()), c.message);
    }
    std::string message;
    EXPECT_EQ(parse(plan.get(), {"--vary", long_list.c_str()}, &message), 1) << message;
    char text[sweep_message_size] = "";
    EXPECT_EQ(sweep_plan_parse(plan.get(), 0, nullptr, text, sizeof text), 0);
    EXPECT_STREQ(text, "No database path (THERMO_LIB) given.");
}

// A range includes TO when it lies on a step (within 1e-9 of one), and then
// ends on TO exactly; a list keeps its order. The last axis varies fastest.
TEST(SweepPlan, AxisValuesCaseLinesAndShardRows)
{
    const struct {
        const char *axis;
        std::vector<double> values;
    } axes[] = {
        {"k=1:2:0.1", {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9, 2.0}},
        {"k=1:1.95:0.1", {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9}},
        {"k=3:2:-0.5", {3.0, 2.5, 2.0}},
        {"k=2:2:1", {2.0}},
        {"k=3,1,2", {3.0, 1.0, 2.0}},
        {"k=0:3e-9:1e-9", {0.0, 1e-9, 2e-9, 3e-9}},
    };
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    std::string message;
    for (const auto &a : axes) {
        ASSERT_EQ(parse(plan.get(), {"--vary", a.axis}, &message), 1) << message;
        ASSERT_EQ(plan->axes[0].count, static_cast<long long>(a.values.size())) << a.axis;
        for (std::size_t i = 0; i < a.values.size(); ++i) {
            EXPECT_NEAR(sweep_axis_value(&plan->axes[0], static_cast<long long>(i)), a.values[i], 1e-15) << a.axis;
        }
        EXPECT_EQ(sweep_axis_value(&plan->axes[0], plan->axes[0].count - 1), a.values.back()) << a.axis;
    }
    // 11 x 3 grid rows, times 2 case lines (blank, '#' and '\r' lines skipped), over K of N shards.
    const std::string case_text = "\n  # comment\n--k 3\r\n\r\n\t--k 4";
    const struct {
        const char *shard;
        std::string cases;
        long long rows;
        long long shard_rows;
    } shards[] = {
        {"1/4", "", 33, 9},   {"2/4", "", 33, 8},   {"4/4", "", 33, 8},         {"1/1", "", 33, 33},
        {"33/40", "", 33, 1}, {"34/40", "", 33, 0}, {"1/4", case_text, 66, 17}, {"3/4", case_text, 66, 16},
    };
    for (const auto &s : shards) {
        ASSERT_EQ(parse(plan.get(),
                        {"--vary", "k=1:2:0.1", "--vary", "beta=0,0.1,0.2", "--shard", s.shard, "--cases", "c"},
                        &message, s.cases),
                  1)
            << message;
        EXPECT_EQ(plan->row_count, s.rows) << s.shard;
        EXPECT_EQ(plan->shard_rows, s.shard_rows) << s.shard;
    }
    char text[sweep_message_size] = "";
    EXPECT_EQ(sweep_plan_check_limit(plan.get(), 16, text, sizeof text), 1);
    EXPECT_EQ(sweep_plan_check_limit(plan.get(), 15, text, sizeof text), 0);
    EXPECT_STREQ(text, "The sweep has 16 cases, more than the limit of 15.");
}

} // namespace
