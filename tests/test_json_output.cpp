// The JSON case document: exact bytes against a reference document, and every
// document read back by a real JSON parser (python3's json module).
#include <gtest/gtest.h>

#include "module_presets.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "json_output.h"

namespace {

struct document_records {
    engine_case reference;
    engine_case operating;
    chamber_state state;
    engine_results results;
};

// Runs the writer with standard output sent to a temporary file.
std::string write_document(const char *key, const document_records &records)
{
    std::fflush(stdout);
    std::FILE *capture = std::tmpfile();
    const int saved_stdout = dup(fileno(stdout));
    dup2(fileno(capture), fileno(stdout));
    print_json_case(key, &records.reference, &records.operating, &records.state, &records.results);
    std::fflush(stdout);
    dup2(saved_stdout, fileno(stdout));
    close(saved_stdout);

    std::string text;
    std::rewind(capture);
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture)) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(capture);
    return text;
}

// Parses each document with python3's json module (one interpreter run for
// all of them), rejecting duplicate members and non-numbers inside the four
// objects, and summarises each as one line:
// "<engine> known=N/last estimated=N/last operating=N/last calculated=N/last".
std::vector<std::string> parse_with_python(const std::vector<std::string> &documents)
{
    static const char *const script =
        "import json, math, sys\n"
        "def members(pairs):\n"
        "    names = [n for n, _ in pairs]\n"
        "    if len(set(names)) != len(names): raise ValueError('duplicate member')\n"
        "    return dict(pairs)\n"
        "def refuse(text): raise ValueError('not a JSON number: ' + text)\n"
        "top = ['schema_version', 'engine', 'known', 'estimated', 'operating', 'calculated']\n"
        "def summary(path):\n"
        "    try: doc = json.load(open(path), object_pairs_hook=members, parse_constant=refuse)\n"
        "    except ValueError as e: return 'invalid JSON: %s' % e\n"
        "    if list(doc) != top or doc['schema_version'] != 1: return 'bad top level'\n"
        "    out = [doc['engine']]\n"
        "    for name in top[2:]:\n"
        "        obj = doc[name]\n"
        "        if any(type(v) not in (int, float) or not math.isfinite(v) for v in obj.values()):\n"
        "            return 'non-number in ' + name\n"
        "        out.append('%s=%d/%s' % (name, len(obj), list(obj)[-1] if obj else ''))\n"
        "    return ' '.join(out)\n"
        "for path in sys.argv[1:]: print(summary(path))\n";
    char folder[] = "/tmp/lre_json_test_XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return {"mkdtemp failed"};
    }
    const std::string script_path = std::string(folder) + "/parse.py";
    std::ofstream(script_path) << script;
    std::string command = std::string(LRE_PYTHON3) + " " + script_path;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        paths.push_back(std::string(folder) + "/" + std::to_string(i) + ".json");
        std::ofstream(paths.back(), std::ios::binary) << documents[i];
        command += " " + paths.back();
    }
    command += " 2>&1";

    std::vector<std::string> summaries;
    if (std::FILE *pipe = popen(command.c_str(), "r")) {
        std::string line;
        for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) {
            if (c == '\n') {
                summaries.push_back(line);
                line.clear();
            } else {
                line.push_back(static_cast<char>(c));
            }
        }
        pclose(pipe);
    }
    for (const std::string &path : paths) {
        std::remove(path.c_str());
    }
    std::remove(script_path.c_str());
    rmdir(folder);
    return summaries;
}

// The records of the reference document
// tq12b-throttle-60-alt-20km-burn-100s.json, taken back from its 12-digit
// numbers (each of which "%.12g" writes again unchanged).
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

std::string read_golden(const char *name)
{
    std::ifstream file(std::string(LRE_JSON_GOLDEN_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(JsonDocument, MatchesReferenceDocumentByteForByte)
{
    const std::string golden = read_golden("tq12b-throttle-60-alt-20km-burn-100s.json");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(write_document("tq12b", reference_document_records()), golden);
}

struct sweep_row {
    const char *key;
    double t_b;
    const char *summary;
};

// Member counts per module and the last member of each object. The records
// stay the same: the key and the burn decide the member set.
const sweep_row sweep_rows[] = {
    {"tq12b", 0.0, "tq12b known=5/lambda_max_percent estimated=8/T_f_K operating=2/h_km calculated=30/I_s_v_mps"},
    {"tq12b", 100.0,
     "tq12b known=5/lambda_max_percent estimated=8/T_f_K operating=3/t_b_s calculated=34/I_t_en_SL_MN_s"},
    {"tq15b", 0.0, "tq15b known=2/I_s_en_v_reference_mps estimated=8/T_f_K operating=0/ calculated=21/I_s_v_mps"},
    {"tq15b", 1e-300,
     "tq15b known=2/I_s_en_v_reference_mps estimated=8/T_f_K operating=1/t_b_s calculated=23/I_t_en_v_MN_s"},
    {"yf100k", 0.0, "yf100k known=6/lambda_max_percent estimated=6/T_f_K operating=2/h_km calculated=35/I_s_v_mps"},
    {"yf100k", 150.0,
     "yf100k known=6/lambda_max_percent estimated=6/T_f_K operating=3/t_b_s calculated=41/I_t_en_v_MN_s"},
    // Any other key gets the tq12b members, and is still a valid JSON string.
    {"other", 0.0, "other known=5/lambda_max_percent estimated=8/T_f_K operating=2/h_km calculated=30/I_s_v_mps"},
    {"a\"b\\c", 0.0, "a\"b\\c known=5/lambda_max_percent estimated=8/T_f_K operating=2/h_km calculated=30/I_s_v_mps"},
};

TEST(JsonDocument, MemberSetsParseAsJson)
{
    std::vector<std::string> documents;
    std::vector<std::string> expected;
    for (const sweep_row &row : sweep_rows) {
        document_records records = reference_document_records();
        records.operating.t_b = row.t_b;
        documents.push_back(write_document(row.key, records));
        expected.push_back(row.summary);
    }
    documents.push_back(read_golden("tq12b-throttle-60-alt-20km-burn-100s.json"));
    expected.push_back(sweep_rows[1].summary);
    EXPECT_EQ(parse_with_python(documents), expected);
}

TEST(JsonDocument, EmptyOperatingObjectLayout)
{
    document_records records = reference_document_records();
    records.operating.t_b = 0.0;
    const std::string text = write_document("tq15b", records);
    EXPECT_NE(text.find("\n  \"operating\": {\n  },\n  \"calculated\": {\n"), std::string::npos) << text;
}

// The number text of the first member with this name, "" when there is none.
std::string member_text(const std::string &document, const char *name)
{
    const std::string opener = std::string("\n    \"") + name + "\": ";
    const std::size_t start = document.find(opener);
    if (start == std::string::npos) {
        return "";
    }
    const std::size_t value = start + opener.size();
    return document.substr(value, document.find_first_of(",\n", value) - value);
}

struct value_row {
    const char *what;
    const char *key;
    void (*change)(document_records *);
    const char *member;
    const char *expected;
};

// Values whose text matters: negative zero, a throttle that needs more digits
// than the text report shows, and the two names whose quantity depends on
// the module (engine figures for tq15b, chamber vacuum figures for yf100k).
const value_row value_rows[] = {
    {"negative zero altitude", "tq12b", [](document_records *r) { r->operating.h = -0.0; }, "h_km", "-0"},
    {"throttle 40.25 %", "tq12b", [](document_records *r) { r->operating.lambda = 0.4025; }, "lambda_percent", "40.25"},
    {"staged beta", "yf100k", [](document_records *r) { r->reference.beta = 0.0; }, "beta", "0"},
    {"tq15b engine vacuum thrust", "tq15b", [](document_records *r) { r->results.f_en = 1183000.0; }, "F_en_v_kN",
     "1183"},
    {"yf100k engine vacuum thrust", "yf100k", [](document_records *r) { r->results.f_en = 1.0; }, "F_en_v_kN",
     "598.412402367"},
    {"tq15b engine total impulse", "tq15b", [](document_records *r) { r->results.i_t_en = 1.5e6; }, "I_t_en_v_MN_s",
     "1.5"},
    {"yf100k engine vacuum total impulse", "yf100k", [](document_records *r) { r->results.i_t_en = 1.5e6; },
     "I_t_en_v_MN_s", "59.8412402367"},
    {"yf100k lower throttle limit", "yf100k", [](document_records *) {}, "lambda_min_percent", "65"},
    {"yf100k reference chamber pressure", "yf100k", [](document_records *r) { r->reference.p_c = 18.7e6; },
     "p_c_reference_MPa", "18.7"},
};

TEST(JsonDocument, ValueText)
{
    for (const value_row &row : value_rows) {
        document_records records = reference_document_records();
        row.change(&records);
        EXPECT_EQ(member_text(write_document(row.key, records), row.member), row.expected) << row.what;
    }
}

// The staged engine is one flow path: each engine member repeats its
// thrust-chamber counterpart (the records give every counterpart a
// different value, so a member taken from the wrong field shows).
TEST(JsonDocument, StagedEngineMembersRepeatChamberMembers)
{
    const char *const pairs[][2] = {
        {"F_en_h_kN", "F_h_kN"},         {"F_en_v_kN", "F_v_kN"},           {"I_s_en_SL_mps", "I_s_SL_mps"},
        {"I_s_en_h_mps", "I_s_h_mps"},   {"I_s_en_v_mps", "I_s_v_mps"},     {"I_t_en_h_MN_s", "I_t_h_MN_s"},
        {"I_t_en_v_MN_s", "I_t_v_MN_s"}, {"I_t_en_SL_MN_s", "I_t_SL_MN_s"},
    };
    // The model's staged engine total impulse is the chamber's at sea level.
    document_records records = reference_document_records();
    records.results.i_t_en = records.results.i_t_sl;
    const std::string document = write_document("yf100k", records);
    for (const auto &pair : pairs) {
        EXPECT_NE(member_text(document, pair[1]), "") << pair[1];
        EXPECT_EQ(member_text(document, pair[0]), member_text(document, pair[1])) << pair[0];
    }
}

} // namespace
