// The built program's JSON documents (the golden ones and a sweep of cases),
// read back by python3's json module: member sets, the operating point asked
// for, and the two names whose quantity depends on the module.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "golden_cases.h"
#include "json_reader.h"
#include "program_runner.h"

namespace {

const std::string golden_dir = LRE_GOLDEN_DIR;

lre_test::program_output run(const std::vector<std::string> &options)
{
    return lre_test::run_lre_perf(LRE_PERF_PATH, LRE_THERMO_DATABASE, options);
}

const char *const module_keys[] = {"tq12b", "tq15b", "yf100k"};

// Members of known, estimated, operating, calculated by module, without and with a burn.
const std::size_t expected_counts[3][2][4] = {
    {{5, 8, 2, 30}, {5, 8, 3, 34}},
    {{2, 8, 0, 21}, {2, 8, 1, 23}},
    {{6, 6, 2, 35}, {6, 6, 3, 41}},
};

struct json_case {
    std::string label;
    std::vector<std::string> options;
    std::string document;
};

// Every module, throttle limits, altitudes -0 to 86 km, area ratios, and burns
// from the smallest positive one to one near the double range.
std::vector<std::vector<std::string>> sweep_options()
{
    const char *const burns[] = {"", "1e-300", "120", "1e300"};
    std::size_t next_burn = 0;
    std::vector<std::vector<std::string>> cases;
    auto add = [&](std::vector<std::string> options) {
        const std::string burn = burns[next_burn++ % 4];
        if (!burn.empty()) {
            options.insert(options.end(), {"--burn-s", burn});
        }
        cases.push_back(options);
    };
    for (const char *throttle : {"40", "40.25", "62.5", "100", "110"}) {
        for (const char *altitude : {"-0", "11.0191", "86"}) {
            add({"--throttle-pct", throttle, "--altitude-km", altitude});
        }
    }
    for (const char *throttle : {"65", "80", "105"}) {
        for (const char *epsilon : {"20", "27.5", "36"}) {
            for (const char *altitude : {"0", "50"}) {
                add({"--engine", "yf100k", "--throttle-pct", throttle, "--epsilon", epsilon, "--altitude-km",
                     altitude});
            }
        }
    }
    for (const char *epsilon : {"50", "80", "120"}) {
        for (const char *pressure : {"10", "14"}) {
            add({"--engine", "tq15b", "--epsilon", epsilon, "--pc-mpa", pressure});
        }
    }
    return cases;
}

void check_document(const json_case &c, const lre_test::json_document &doc,
                    std::map<int, std::vector<std::vector<std::string>>> *names_seen)
{
    SCOPED_TRACE(c.label);
    ASSERT_EQ(doc.error, "");
    const int module = lre_test::module_of(c.options);
    const bool burn = lre_test::burns(c.options);
    const std::string key = module_keys[module];

    EXPECT_EQ(doc.engine, key);
    EXPECT_EQ(c.document.rfind("{\n  \"schema_version\": 1,\n  \"engine\": \"" + key + "\",\n", 0), 0u);
    EXPECT_TRUE(lre_test::ends_with(c.document, "\n  }\n}\n"));

    // The reader has checked the four objects and their order.
    std::vector<std::vector<std::string>> names;
    for (std::size_t i = 0; i < 4; ++i) {
        names.push_back(doc.objects[i].members);
        EXPECT_EQ(names.back().size(), expected_counts[module][burn ? 1 : 0][i]) << doc.objects[i].name;
    }
    const lre_test::json_object &known = doc.objects[0];
    const lre_test::json_object &estimated = doc.objects[1];
    const lre_test::json_object &operating = doc.objects[2];
    const lre_test::json_object &calculated = doc.objects[3];

    // The same names in the same order as the first document of its module and burn.
    const auto seen = names_seen->emplace(module * 2 + (burn ? 1 : 0), names);
    EXPECT_EQ(names, seen.first->second) << "member names differ from those of the same module and burn";

    // The operating point asked for (tq15b has neither throttle nor altitude).
    if (module != 1) {
        const std::string throttle = lre_test::option_value(c.options, "--throttle-pct");
        const std::string altitude = lre_test::option_value(c.options, "--altitude-km");
        const double throttle_pct = throttle.empty() ? 100.0 : std::strtod(throttle.c_str(), nullptr);
        const double altitude_km = altitude.empty() ? 0.0 : std::strtod(altitude.c_str(), nullptr);
        EXPECT_NEAR(operating.value("lambda_percent"), throttle_pct, 1e-9);
        EXPECT_NEAR(operating.value("h_km"), altitude_km, 1e-9);
        EXPECT_EQ(std::signbit(operating.value("h_km")), std::signbit(altitude_km));
    }
    if (burn) {
        EXPECT_EQ(operating.value("t_b_s"),
                  std::strtod(lre_test::option_value(c.options, "--burn-s").c_str(), nullptr));
    }

    // tq12b has neither module-dependent name; tq15b's are the engine's
    // figures, yf100k's the chamber's. Impulse = burn * thrust (12 digits).
    const double f_en_v = calculated.value("F_en_v_kN");
    const double i_t_en_v = calculated.value("I_t_en_v_MN_s");
    EXPECT_EQ(calculated.has("F_en_v_kN"), module != 0);
    EXPECT_EQ(calculated.has("I_t_en_v_MN_s"), module != 0 && burn);
    if (module == 1) {
        EXPECT_EQ(f_en_v, known.value("F_en_v_reference_kN"));
        EXPECT_NE(f_en_v, calculated.value("F_v_kN"));
    } else if (module == 2) {
        EXPECT_EQ(f_en_v, calculated.value("F_v_kN"));
        EXPECT_EQ(estimated.value("beta"), 0.0);
    }
    if (module != 0 && burn) {
        const double expected = operating.value("t_b_s") * f_en_v / 1000.0;
        EXPECT_NEAR(i_t_en_v, expected, 1e-11 * expected);
    }
}

TEST(JsonDocuments, GoldenAndSweepDocumentsReadBack)
{
    std::vector<json_case> cases;
    for (const lre_test::golden_case &g : lre_test::read_golden_cases(golden_dir)) {
        if (lre_test::ends_with(g.file, ".json")) {
            cases.push_back(json_case{g.file, g.options, lre_test::read_file(golden_dir + "/" + g.file)});
        }
    }
    ASSERT_GE(cases.size(), 12u);
    for (std::vector<std::string> options : sweep_options()) {
        options.push_back("--json");
        const lre_test::program_output out = run(options);
        EXPECT_EQ(out.status, 0) << lre_test::joined(options);
        EXPECT_EQ(out.stderr_text, "") << lre_test::joined(options);
        cases.push_back(json_case{lre_test::joined(options), options, out.stdout_text});
    }

    std::vector<std::string> texts;
    for (const json_case &c : cases) {
        texts.push_back(c.document);
    }
    const std::vector<lre_test::json_document> documents = lre_test::read_json_documents(LRE_PYTHON3, texts);
    ASSERT_EQ(documents.size(), cases.size());
    std::map<int, std::vector<std::vector<std::string>>> names_seen;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        check_document(cases[i], documents[i], &names_seen);
    }
    EXPECT_EQ(names_seen.size(), 6u) << "every module with and without a burn";
}

// The text of values whose form matters, as the golden documents hold them.
TEST(JsonDocuments, NamedValuesInGoldenDocuments)
{
    const struct {
        const char *file;
        const char *line;
    } rows[] = {
        {"json/tq12b-alt-minus-0.json", "\n    \"h_km\": -0\n"},
        {"json/tq12b-throttle-40.25.json", "\n    \"lambda_percent\": 40.25,\n"},
        {"json/yf100k-nominal.json", "\n    \"beta\": 0,\n"},
        {"json/tq15b-nominal.json", "\n  \"operating\": {\n  },\n"},
    };
    for (const auto &row : rows) {
        EXPECT_NE(lre_test::read_file(golden_dir + "/" + row.file).find(row.line), std::string::npos)
            << row.file << " lacks " << row.line;
    }
}

// A total impulse beyond the double range ("inf" is no JSON number) fails the
// run in both output forms.
TEST(JsonDocuments, OverflowingTotalImpulseFailsTheRun)
{
    for (const char *key : module_keys) {
        for (const bool json : {false, true}) {
            std::vector<std::string> options{"--engine", key, "--burn-s", "1e305"};
            if (json) {
                options.push_back("--json");
            }
            SCOPED_TRACE(lre_test::joined(options));
            const lre_test::program_output out = run(options);
            EXPECT_EQ(out.status, 1);
            EXPECT_EQ(out.stdout_text, "");
            EXPECT_EQ(out.stderr_text, "Calculation failed: Invalid or physically inconsistent model input.\n");
        }
    }
}

} // namespace
