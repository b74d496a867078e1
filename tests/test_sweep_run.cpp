// The sweep engine on the real library: each row equals the single run of
// lre-perf --json for the same case (succeeding and failing cases of every
// module, as CSV and as JSONL), merged shards equal the whole sweep, and
// --maximize agrees with a fine grid.
#include "sweep_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "golden_cases.h"
#include "program_runner.h"
#include "sweep_parallel.h"

namespace {

int append_row(void *user, const char *row, std::size_t length)
{
    static_cast<std::string *>(user)->append(row, length);
    return 1;
}

// The rows of "lre-sweep db <words>" with the given case text, run in process
// on jobs threads (1: sweep_run itself).
std::string sweep(std::vector<const char *> words, const std::string &cases = "", int jobs = 1)
{
    words.insert(words.begin(), LRE_THERMO_DATABASE);
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    char message[sweep_message_size] = "";
    EXPECT_EQ(sweep_plan_parse(plan.get(), static_cast<int>(words.size()), words.data(), message, sizeof message), 1)
        << message;
    if (!cases.empty()) {
        EXPECT_EQ(sweep_plan_set_cases(plan.get(), cases.data(), cases.size(), message, sizeof message), 1);
    }
    cea_chamber chamber = {};
    EXPECT_EQ(sweep_open_chamber(plan.get(), &chamber, message, sizeof message), 1) << message;
    std::string rows;
    const sweep_callbacks callbacks = {append_row, &rows, nullptr, nullptr, nullptr};
    sweep_outcome outcome = {};
    EXPECT_EQ(sweep_run_parallel(plan.get(), &chamber, jobs, &callbacks, &outcome), 1);
    EXPECT_EQ(outcome.rows_written, plan->shard_rows);
    cea_chamber_close(&chamber);
    return rows;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> words_of(const std::string &text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// The CSV fields of a document in lre-perf's layout, for the header's member
// columns: each member's value as written, empty for one it does not hold.
std::string csv_fields(const std::string &document, const std::string &header)
{
    std::map<std::string, std::string> values;
    std::string group;
    for (const std::string &line : lines_of(document)) {
        const std::size_t colon = line.find("\": ");
        if (line.compare(0, 3, "  \"") == 0 && line.back() == '{') {
            group = line.substr(3, line.find('"', 3) - 3);
        } else if (line.compare(0, 5, "    \"") == 0 && colon != std::string::npos) {
            std::string value = line.substr(colon + 3);
            if (value.back() == ',') {
                value.pop_back();
            }
            values[group + "." + line.substr(5, colon - 5)] = value;
        }
    }
    std::string fields;
    std::istringstream columns(header.substr(std::string("case,status,message").size()));
    std::string column;
    std::getline(columns, column, ','); // before the first comma: nothing
    while (std::getline(columns, column, ',')) {
        fields += "," + values[column];
    }
    return fields;
}

std::string without_spaces(const std::string &text)
{
    std::string compact;
    for (const char c : text) {
        if (c != ' ' && c != '\n') {
            compact += c;
        }
    }
    return compact;
}

TEST(SweepRun, RowsEqualSingleRunsOfEveryModule)
{
    const struct {
        const char *engine;
        std::vector<std::string> case_lines;
    } modules[] = {
        {"tq12b", {"", "--throttle-pct 75 --altitude-km 20 --burn-s 100", "--throttle-pct 30", "--k 0"}},
        {"tq15b", {"--burn-s 120 --k 3.1", "--throttle-pct 100", "--altitude-km 1", "--eta-cf 1.5"}},
        {"yf100k", {"--throttle-pct 80 --epsilon 30", "--burn-s 50 --altitude-km 11", "--beta 0.1", "--epsilon 40"}},
    };
    for (const auto &m : modules) {
        std::string cases;
        for (const std::string &line : m.case_lines) {
            cases += "# case\n" + line + (line.empty() ? "--burn-s 0\n" : "\n");
        }
        const std::vector<std::string> csv = lines_of(sweep({"--engine", m.engine}, cases));
        const std::vector<std::string> jsonl = lines_of(sweep({"--engine", m.engine, "--format", "jsonl"}, cases));
        ASSERT_EQ(csv.size(), m.case_lines.size() + 1);
        ASSERT_EQ(jsonl.size(), m.case_lines.size());
        const std::size_t columns = static_cast<std::size_t>(std::count(csv[0].begin(), csv[0].end(), ','));
        for (std::size_t i = 0; i < m.case_lines.size(); ++i) {
            std::vector<std::string> options{"--engine", m.engine, "--json"};
            for (const std::string &word : words_of(m.case_lines[i])) {
                options.push_back(word);
            }
            const lre_test::program_output single = lre_test::run_lre_perf(LRE_PERF_PATH, LRE_THERMO_DATABASE, options);
            SCOPED_TRACE(std::string(m.engine) + " " + m.case_lines[i]);
            const std::string index = std::to_string(i);
            EXPECT_EQ(static_cast<std::size_t>(std::count(csv[i + 1].begin(), csv[i + 1].end(), ',')), columns);
            if (single.status == 0) {
                EXPECT_EQ(jsonl[i], "{\"case\":" + index +
                                        ",\"status\":\"ok\",\"document\":" + without_spaces(single.stdout_text) + "}");
                EXPECT_EQ(csv[i + 1], index + ",ok," + csv_fields(single.stdout_text, csv[0]));
            } else {
                const std::string message = single.stderr_text.substr(0, single.stderr_text.size() - 1);
                EXPECT_EQ(jsonl[i], "{\"case\":" + index + ",\"status\":\"failed\",\"message\":\"" + message + "\"}");
                EXPECT_EQ(csv[i + 1].substr(0, csv[i + 1].find(",,")), index + ",failed," + message);
            }
        }
    }
}

// Where lre-perf prints its usage text, a case line's row names the wrong word.
TEST(SweepRun, MalformedCaseLinesNameTheWord)
{
    const std::vector<std::string> rows =
        lines_of(sweep({"--format", "jsonl"}, "--bogus 1\n--k abc\n--k\n--engine tq15b\n  # comment\n--k 3 --json\n"));
    const char *const messages[] = {
        "Unknown option \\\"--bogus\\\".",
        "Not a number: \\\"abc\\\".",
        "--k needs a value.",
        "--engine in a case line: the module cannot be varied, one module per sweep.",
    };
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i],
                  "{\"case\":" + std::to_string(i) + ",\"status\":\"failed\",\"message\":\"" + messages[i] + "\"}");
    }
    EXPECT_EQ(rows[4].rfind("{\"case\":4,\"status\":\"ok\",", 0), 0u) << rows[4];
}

TEST(SweepRun, GridRowsEqualSingleRunsAndShardsMergeIntoTheWhole)
{
    const std::vector<const char *> grid = {
        "--vary", "throttle-pct=40:110:35", "--vary", "altitude-km=0,86", "--format", "jsonl"};
    const std::vector<std::string> whole = lines_of(sweep(grid));
    ASSERT_EQ(whole.size(), 6u);
    const char *const settings[][2] = {{"40", "0"},  {"40", "86"}, {"75", "0"},
                                       {"75", "86"}, {"110", "0"}, {"110", "86"}};
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const lre_test::program_output single =
            lre_test::run_lre_perf(LRE_PERF_PATH, LRE_THERMO_DATABASE,
                                   {"--throttle-pct", settings[i][0], "--altitude-km", settings[i][1], "--json"});
        EXPECT_NE(whole[i].find(without_spaces(single.stdout_text)), std::string::npos) << i;
    }
    for (const char *count : {"4", "7"}) {
        std::vector<std::string> merged(whole.size());
        const int shards = std::stoi(count);
        for (int k = 1; k <= shards; ++k) {
            const std::string shard = std::to_string(k) + "/" + count;
            std::vector<const char *> words = grid;
            words.push_back("--shard");
            words.push_back(shard.c_str());
            for (const std::string &row : lines_of(sweep(words))) {
                merged[std::stoul(row.substr(8))] = row; // {"case":N,...
            }
        }
        EXPECT_EQ(merged, whole) << count << " shards";
    }
}

// The best k for the vacuum impulse at two chamber pressures, against a grid
// of step 0.0005 (the search must be at least as good, and close in k).
// Several threads write the same bytes as one: failing cases among
// succeeding ones, case lines crossed with a grid, a search, a shard.
TEST(SweepRun, ThreadsWriteTheBytesOfOneThread)
{
    const std::string cases = "--throttle-pct 30\n# comment\n--burn-s 100\n--k 0\n--altitude-km 20\n";
    const struct {
        std::vector<const char *> words;
        std::string cases;
    } sweeps[] = {
        {{"--vary", "throttle-pct=20:120:5", "--vary", "k=2,9,3"}, ""},
        {{"--vary", "pc-mpa=5:14:3", "--format", "jsonl"}, cases},
        {{"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--vary", "pc-mpa=1:20:2.5"}, ""},
        {{"--vary", "throttle-pct=40:110:1", "--shard", "2/3", "--format", "jsonl"}, cases},
    };
    for (const auto &s : sweeps) {
        const std::string one = sweep(s.words, s.cases, 1);
        EXPECT_NE(one.find("failed"), std::string::npos);
        for (const int jobs : {2, 3}) {
            EXPECT_EQ(sweep(s.words, s.cases, jobs), one) << s.words[1] << ", " << jobs << " threads";
        }
    }
}

TEST(SweepRun, MaximizeAgreesWithAFineGrid)
{
    const std::vector<std::string> best = lines_of(
        sweep({"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--vary", "pc-mpa=5,14", "--format", "jsonl"}));
    const std::vector<std::string> fine =
        lines_of(sweep({"--vary", "pc-mpa=5,14", "--vary", "k=2:4:0.0005", "--format", "jsonl"}));
    ASSERT_EQ(best.size(), 2u);
    auto number = [](const std::string &row, const std::string &name) {
        return std::stod(row.substr(row.find("\"" + name + "\":") + name.size() + 3));
    };
    for (std::size_t p = 0; p < 2; ++p) {
        double grid_isp = 0.0;
        double grid_k = 0.0;
        for (std::size_t i = p * 4001; i < (p + 1) * 4001; ++i) {
            if (number(fine[i], "I_s_v_mps") > grid_isp) {
                grid_isp = number(fine[i], "I_s_v_mps");
                grid_k = number(fine[i], "K");
            }
        }
        EXPECT_GE(number(best[p], "I_s_v_mps"), grid_isp);
        EXPECT_NEAR(number(best[p], "K"), grid_k, 0.0005);
        EXPECT_NE(best[p].find("\"at_bound\":false"), std::string::npos);
        EXPECT_LE(number(best[p], "evaluations"), 40);
    }
    // The thrust at altitude rises with the altitude: its maximum is the upper bound.
    const std::string high =
        sweep({"--maximize", "calculated.F_h_kN", "--over", "altitude-km=0:86", "--format", "jsonl"});
    EXPECT_NE(high.find("\"h_km\":86}"), std::string::npos) << high;
    EXPECT_NE(high.find("\"at_bound\":true"), std::string::npos);
}

} // namespace
