// The values of range and list axes (the plan's refusals and the rows of a
// shard are lre-sweep's runs in sweep/runs.txt).
#include "sweep_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A range includes TO when it lies on a step (within 1e-9 of one), and then
// ends on TO exactly; a list keeps its order.
TEST(SweepPlan, AxisValues)
{
    const struct {
        const char *axis;
        std::vector<double> values;
    } axes[] = {
        {"k=1:2:0.1", {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9, 2.0}},
        {"k=1:1.95:0.1", {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9}},
        {"k=3:2:-0.5", {3.0, 2.5, 2.0}},
        {"k=2:2:1", {2.0}},
        {"k=0:3e-9:1e-9", {0.0, 1e-9, 2e-9, 3e-9}},
        {"k=3,1,2", {3.0, 1.0, 2.0}},
    };
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    for (const auto &a : axes) {
        const char *words[] = {"db", "--vary", a.axis};
        char message[sweep_message_size] = "";
        ASSERT_TRUE(sweep_plan_parse(plan.get(), 3, words, message, sizeof message)) << message;
        ASSERT_EQ(plan->axes[0].count, static_cast<long long>(a.values.size())) << a.axis;
        for (std::size_t i = 0; i < a.values.size(); ++i) {
            EXPECT_NEAR(sweep_axis_value(&plan->axes[0], static_cast<long long>(i)), a.values[i], 1e-15) << a.axis;
        }
        EXPECT_EQ(sweep_axis_value(&plan->axes[0], plan->axes[0].count - 1), a.values.back()) << a.axis;
    }
}

} // namespace
