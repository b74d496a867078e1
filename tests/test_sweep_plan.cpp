// The sweep plan: every kind of bad word refused with its message before any
// work, the values of range and list axes, and the rows of a shard.
#include "sweep_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Parses "db <words>"; the plan is large, so it lives on the heap here.
int parse(const std::vector<const char *> &words, sweep_plan *plan, std::string *message)
{
    std::vector<const char *> all{"db"};
    all.insert(all.end(), words.begin(), words.end());
    char text[sweep_message_size] = "";
    const int ok = sweep_plan_parse(plan, static_cast<int>(all.size()), all.data(), text, sizeof text);
    *message = text;
    return ok;
}

TEST(SweepPlan, BadWordsAreRefusedWithTheirMessage)
{
    const struct {
        std::vector<const char *> words;
        const char *message;
    } cases[] = {
        {{"--engine", "tq16"}, "Engine must be tq12b, tq15b, or yf100k."},
        {{"--k", "1x"}, "Not a number: \"1x\"."},
        {{"--nozzle", "1"}, "Unknown option \"--nozzle\"."},
        {{"--engine", "yf100k", "--beta", "0.1"}, "--beta is not adjustable in the YF-100K module."},
        {{"--vary"}, "--vary needs a value."},
        {{"--vary", "k"}, "--vary \"k\" must read NAME=VALUES."},
        {{"--vary", "nozzle=1,2"}, "--vary nozzle: no such numeric option."},
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
        {{"--vary", "k=1", "--vary", "k=2"}, "--vary k=2: that option is varied already."},
        {{"--vary", "k=1", "--vary", "beta=1", "--vary", "eta-cf=1", "--vary", "t-oxygen-k=1"},
         "At most 3 --vary axes."},
        {{"--maximize", "calculated.I_s_v_mps"}, "--maximize and --over go together."},
        {{"--maximize", "calculated.I_s_en_v_mps", "--over", "k=2:4"},
         "The tq12b document has no member \"calculated.I_s_en_v_mps\"."},
        {{"--maximize", "calculated.I_s_v_mps", "--over", "k=4:2"},
         "--over k=4:2: must read NAME=LO:HI with LO below HI."},
        {{"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--vary", "k=3"},
         "--over k: that option is varied already."},
        {{"--format", "xml"}, "--format xml: the format is csv or jsonl."},
        {{"--shard", "0/4"}, "--shard 0/4: must read K/N with 1 <= K <= N."},
        {{"--shard", "5/4"}, "--shard 5/4: must read K/N with 1 <= K <= N."},
        {{"--shard", "1/4x"}, "--shard 1/4x: must read K/N with 1 <= K <= N."},
        {{"--jobs", "0"}, "--jobs 0: a whole number from 1 to 64."},
        {{"--jobs", "65"}, "--jobs 65: a whole number from 1 to 64."},
        {{"--jobs", "2x"}, "--jobs 2x: a whole number from 1 to 64."},
    };
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    for (const auto &c : cases) {
        std::string message;
        EXPECT_EQ(parse(c.words, plan.get(), &message), 0) << c.message;
        EXPECT_EQ(message, c.message);
    }
}

// A range includes TO when it lies on a step (within 1e-9 of one), and then
// ends on TO exactly; a list keeps its order.
TEST(SweepPlan, AxisValuesAndShardRows)
{
    const struct {
        const char *axis;
        std::vector<double> values;
    } cases[] = {
        {"k=1:2:0.1", {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9, 2.0}},
        {"k=1:1.95:0.1", {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9}},
        {"k=3:2:-0.5", {3.0, 2.5, 2.0}},
        {"k=2:2:1", {2.0}},
        {"k=3,1,2", {3.0, 1.0, 2.0}},
    };
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    for (const auto &c : cases) {
        std::string message;
        ASSERT_EQ(parse({"--vary", c.axis}, plan.get(), &message), 1) << message;
        ASSERT_EQ(plan->axes[0].count, static_cast<long long>(c.values.size())) << c.axis;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_NEAR(sweep_axis_value(&plan->axes[0], static_cast<long long>(i)), c.values[i], 1e-15) << c.axis;
        }
        EXPECT_EQ(sweep_axis_value(&plan->axes[0], plan->axes[0].count - 1), c.values.back()) << c.axis;
    }
    // 11 x 3 rows over 4 shards: 9, 8, 8, 8.
    for (const long long shard : {1, 2, 3, 4}) {
        const std::string word = std::to_string(shard) + "/4";
        std::string message;
        ASSERT_EQ(
            parse({"--vary", "k=1:2:0.1", "--vary", "beta=0,0.1,0.2", "--shard", word.c_str()}, plan.get(), &message),
            1);
        EXPECT_EQ(plan->row_count, 33);
        EXPECT_EQ(plan->shard_rows, shard == 1 ? 9 : 8);
    }
}

} // namespace
