// The JSON writer on its own, from records: the reference document byte for
// byte, and keys that the program never passes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_cases.h"
#include "json_output.h"
#include "json_reader.h"
#include "module_presets.h"
#include "program_runner.h"

namespace {

struct document_records {
    engine_case reference;
    engine_case operating;
    chamber_state state;
    engine_results results;
};

std::string write_document(const char *key, const document_records &r)
{
    return lre_test::capture_output([&] {
               print_json_case(key, &r.reference, &r.operating, &r.state, &r.results);
               return 0;
           })
        .stdout_text;
}

// The records of tq12b-throttle-60-alt-20km-burn-100s.json, from its 12-digit
// numbers (which "%.12g" writes back unchanged).
document_records reference_document_records()
{
    document_records r{};
    r.reference = lre_test::tq12b_preset_case();
    r.operating = r.reference;
    r.operating.lambda = 0.6;
    r.operating.p_c = 8356604.58701;
    r.operating.h = 20000.0;
    r.operating.t_b = 100.0;
    r.state = {3446.89430889, 20.1309759772, 1.20270679954};
    r.results = {600000.0,        208.815606753,  155.273143483, 53.54246327,   190.022202145, 18.7934046078,
                 0.0405473563971, 0.831220806141, 40671.018913,  1838.29969988, 1783.15070888, 3163.56632931,
                 2971.26229917,   1.82069187567,  0.97,          1.7660711194,  1.572126507,   1.51750575073,
                 5529.31092153,   1.80712764959,  1.75250689332, 598412.402367, 514188.954185, 593816.324086,
                 3149.1709685,    2705.94145515,  3124.98390915, 51418895.4185, 59841240.2367, 59381632.4086,
                 60000000.0};
    return r;
}

TEST(JsonDocument, MatchesReferenceDocumentByteForByte)
{
    const std::string golden =
        lre_test::read_file(std::string(LRE_JSON_GOLDEN_DIR) + "/tq12b-throttle-60-alt-20km-burn-100s.json");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(write_document("tq12b", reference_document_records()), golden);
}

// Any other key gets the tq12b members and is written as a valid JSON string.
TEST(JsonDocument, OtherKeysGetTq12bMembersAsValidJson)
{
    const std::vector<std::string> keys = {"other", "a\"b\\c", "ctrl\x01\t"};
    std::vector<std::string> texts;
    for (const std::string &key : keys) {
        texts.push_back(write_document(key.c_str(), reference_document_records()));
    }
    const std::vector<lre_test::json_document> documents = lre_test::read_json_documents(LRE_PYTHON3, texts);
    ASSERT_EQ(documents.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(keys[i]);
        ASSERT_EQ(documents[i].error, "");
        EXPECT_EQ(documents[i].engine, keys[i]);
        EXPECT_EQ(documents[i].objects[0].members.size(), 5u);  // known
        EXPECT_EQ(documents[i].objects[3].members.size(), 34u); // calculated
    }
}

} // namespace
