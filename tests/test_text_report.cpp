// The report rows and the JSON members from records (the golden reports hold
// the printed bytes): each row names a member of the same quantity, and the
// document written into a buffer, cut or compact, is the streamed one.
#include "text_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "engine_modules.h"
#include "json_output.h"
#include "program_runner.h"

namespace {

// A burn time and a distinct value in every result field (the engine thrust
// as the model sets it), so that every row shows and no two agree by chance.
struct records {
    engine_case reference, operating;
    chamber_state state = {3500.0, 21.5, 1.2};
    engine_results results;
    solved_case solved;
    explicit records(int module)
    {
        set_defaults(module, &reference);
        operating = reference;
        operating.t_b = 100.0;
        double *fields = &results.f_en;
        for (std::size_t i = 0; i < sizeof results / sizeof(double); ++i) {
            fields[i] = 1.0 + 0.37 * static_cast<double>(i);
        }
        results.f_en = operating.thrust_ref * operating.lambda;
        solved = {module, &reference, &operating, &state, &results};
    }
};

TEST(TextReport, EachRowsMemberHoldsTheRowsQuantity)
{
    for (int module = 0; module < engine_module_count; ++module) {
        const records r(module);
        double values[json_max_members];
        int present[json_max_members];
        const int count = json_case_values(&r.solved, values, present, json_max_members);
        json_member_info members[json_max_members];
        EXPECT_EQ(count, json_module_members(module, members, json_max_members));
        int named = 0;
        for (int i = 0; i < report_row_count(); ++i) {
            const report_row *row = report_row_at(i);
            if (!report_row_shown(row, &r.solved) || row->json_member == nullptr) {
                continue;
            }
            SCOPED_TRACE(std::string(engine_key(module)) + " " + row->label);
            const int member = json_find_member(module, row->json_member);
            ASSERT_GE(member, 0) << row->json_member;
            ASSERT_LT(member, count);
            EXPECT_TRUE(present[member]);
            EXPECT_EQ(std::string(members[member].group) + "." + members[member].name, row->json_member);
            EXPECT_NEAR(row->value(&r.solved), values[member], 1e-12 * std::fabs(values[member]));
            ++named;
        }
        EXPECT_GE(named, 30);
        EXPECT_EQ(report_row_at(-1), nullptr);
        EXPECT_EQ(report_row_at(report_row_count()), nullptr);
    }
}

TEST(JsonOutput, BufferedDocumentIsTheStreamedOne)
{
    for (int module = 0; module < engine_module_count; ++module) {
        const records r(module);
        const std::string streamed = lre_test::capture_output([&] {
                                         write_json_case(stdout, &r.solved, JSON_DOCUMENT);
                                         return 0;
                                     }).stdout_text;
        const int whole = static_cast<int>(streamed.size());
        for (const int size : {0, 1, 100, whole, whole + 1}) {
            char buffer[json_document_max_size] = "stale";
            EXPECT_EQ(format_json_case(buffer, size, &r.solved, JSON_DOCUMENT, format_json_number), whole);
            EXPECT_EQ(std::string(buffer), size == 0 ? "stale" : streamed.substr(0, size - 1));
        }
        // The compact form is the document without its layout whitespace.
        std::string compact;
        for (const char c : streamed) {
            compact += c == ' ' || c == '\n' ? "" : std::string(1, c);
        }
        char buffer[json_document_max_size];
        EXPECT_EQ(format_json_case(buffer, sizeof buffer, &r.solved, JSON_COMPACT), static_cast<int>(compact.size()));
        EXPECT_EQ(std::string(buffer), compact);
    }
}

} // namespace
