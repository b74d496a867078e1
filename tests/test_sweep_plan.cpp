// The sweep plan: the values of range and list axes, the rows of a shard
// with and without case lines, and the limits (lre-sweep's refusals of bad
// words are in sweep/runs.txt).
#include "sweep_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Parses "db <words>", then the case text when there is one.
int parse(sweep_plan *plan, const std::vector<const char *> &words, const std::string &cases = "")
{
    std::vector<const char *> all{"db"};
    all.insert(all.end(), words.begin(), words.end());
    char message[sweep_message_size] = "";
    const int ok = sweep_plan_parse(plan, static_cast<int>(all.size()), all.data(), message, sizeof message) &&
                   (cases.empty() || sweep_plan_set_cases(plan, cases.data(), cases.size(), message, sizeof message));
    EXPECT_TRUE(ok || message[0] != '\0');
    return ok;
}

// A range includes TO when it lies on a step (within 1e-9 of one), and then
// ends on TO exactly; a list keeps its order.
TEST(SweepPlan, AxisValuesAndShardRows)
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
    for (const auto &a : axes) {
        ASSERT_TRUE(parse(plan.get(), {"--vary", a.axis}));
        ASSERT_EQ(plan->axes[0].count, static_cast<long long>(a.values.size())) << a.axis;
        for (std::size_t i = 0; i < a.values.size(); ++i) {
            EXPECT_NEAR(sweep_axis_value(&plan->axes[0], static_cast<long long>(i)), a.values[i], 1e-15) << a.axis;
        }
        EXPECT_EQ(sweep_axis_value(&plan->axes[0], plan->axes[0].count - 1), a.values.back()) << a.axis;
    }
    // 11 x 3 grid rows, times 2 case lines (blank, '#' and '\r' lines skipped), in K of N shards.
    const std::string lines = "\n  # comment\n--k 3\r\n\r\n\t--k 4";
    const struct {
        const char *shard;
        std::string cases;
        long long rows, shard_rows;
    } shards[] = {{"1/4", "", 33, 9},   {"2/4", "", 33, 8},   {"4/4", "", 33, 8},     {"1/1", "", 33, 33},
                  {"33/40", "", 33, 1}, {"34/40", "", 33, 0}, {"1/4", lines, 66, 17}, {"3/4", lines, 66, 16}};
    for (const auto &s : shards) {
        ASSERT_TRUE(
            parse(plan.get(), {"--vary", "k=1:2:0.1", "--vary", "beta=0,0.1,0.2", "--shard", s.shard}, s.cases));
        EXPECT_EQ(plan->row_count, s.rows) << s.shard;
        EXPECT_EQ(plan->shard_rows, s.shard_rows) << s.shard;
    }
    char message[sweep_message_size] = "";
    EXPECT_TRUE(sweep_plan_check_limit(plan.get(), 16, message, sizeof message));
    EXPECT_FALSE(sweep_plan_check_limit(plan.get(), 15, message, sizeof message));
    EXPECT_STREQ(message, "The sweep has 16 cases, more than the limit of 15.");
    // A list holds at most sweep_max_list_values values.
    std::string list = "k=1";
    for (int i = 1; i < sweep_max_list_values; ++i) {
        list += ",1";
    }
    EXPECT_TRUE(parse(plan.get(), {"--vary", list.c_str()}));
    list += ",1";
    EXPECT_FALSE(parse(plan.get(), {"--vary", list.c_str()}));
}

} // namespace
