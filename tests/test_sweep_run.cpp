// The sweep engine on the real library: each row equals the single run of
// lre-perf --json for the same case (succeeding and failing cases of every
// module, as CSV and as JSONL), merged shards and several threads give the
// bytes of the whole sweep on one, a cancel or a failed write stops it after
// a whole row, and --maximize agrees with a fine grid.
#include "sweep_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"
#include "sweep_parallel.h"

namespace {

struct recorder {
    std::string rows;
    std::string progress;      // "done/total/failed " after each row
    long long fail_write = -1; // the sink refuses this row (0: the first written, header included)
    long long cancel_after = -1;
    volatile std::sig_atomic_t cancel = 0;
    sweep_outcome outcome = {};
    int ok = 0;
};

int append_row(void *user, const char *row, std::size_t length)
{
    recorder *r = static_cast<recorder *>(user);
    if (r->fail_write-- == 0) {
        return 0;
    }
    r->rows.append(row, length);
    return 1;
}

void note_progress(void *user, long long done, long long total, long long failed)
{
    recorder *r = static_cast<recorder *>(user);
    r->progress += std::to_string(done) + "/" + std::to_string(total) + "/" + std::to_string(failed) + " ";
    r->cancel = done == r->cancel_after;
}

// Runs "lre-sweep db <words>" with the given case text in process, on jobs
// threads (1: sweep_run itself).
recorder sweep_into(std::vector<const char *> words, const std::string &cases, int jobs, recorder r)
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
    const sweep_callbacks callbacks = {append_row, &r, note_progress, &r, &r.cancel};
    r.ok = sweep_run_parallel(plan.get(), &chamber, jobs, &callbacks, &r.outcome);
    cea_chamber_close(&chamber);
    return r;
}

std::string sweep(const std::vector<const char *> &words, const std::string &cases = "", int jobs = 1)
{
    const recorder r = sweep_into(words, cases, jobs, recorder());
    EXPECT_TRUE(r.ok && !r.outcome.cancelled && !r.outcome.write_failed);
    return r.rows;
}

std::vector<std::string> split(const std::string &text, char separator = '\n')
{
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        if (!part.empty() || separator != ' ') {
            parts.push_back(part);
        }
    }
    return parts;
}

// The CSV fields of a document in lre-perf's layout, for the header's member
// columns: each member's value as written, empty for one it does not hold.
std::string csv_fields(const std::string &document, const std::string &header)
{
    std::map<std::string, std::string> values;
    std::string group;
    for (const std::string &line : split(document)) {
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
    const std::vector<std::string> columns = split(header, ',');
    for (std::size_t i = 3; i < columns.size(); ++i) { // after case,status,message
        fields += "," + values[columns[i]];
    }
    return fields;
}

std::string without_spaces(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; }), text.end());
    return text;
}

// Case lines crossed with an axis (the last word wins, as in lre-perf).
TEST(SweepRun, RowsEqualSingleRunsOfEveryModule)
{
    const struct {
        const char *engine;
        std::vector<std::string> case_lines;
        const char *axis;
        std::vector<std::string> values;
    } modules[] = {
        {"tq12b", {"--burn-s 0", "--throttle-pct 75 --burn-s 100", "--k 0"}, "altitude-km", {"20", "86", "87"}},
        {"tq15b", {"--burn-s 120 --k 3.1", "--throttle-pct 100", "--eta-cf 1.5"}, "altitude-km", {"0", "1"}},
        {"yf100k", {"--epsilon 30", "--burn-s 50 --altitude-km 11", "--beta 0.1"}, "throttle-pct", {"80", "55"}},
    };
    for (const auto &m : modules) {
        std::string cases;
        for (const std::string &line : m.case_lines) {
            cases += "# case\n" + line + "\n";
        }
        std::string values;
        for (const std::string &value : m.values) {
            values += (values.empty() ? "=" : ",") + value;
        }
        const std::string axis = m.axis + values;
        const std::vector<std::string> csv = split(sweep({"--engine", m.engine, "--vary", axis.c_str()}, cases));
        const std::vector<std::string> jsonl =
            split(sweep({"--engine", m.engine, "--format", "jsonl", "--vary", axis.c_str()}, cases));
        const std::size_t rows = m.case_lines.size() * m.values.size();
        ASSERT_EQ(csv.size(), rows + 1);
        ASSERT_EQ(jsonl.size(), rows);
        const std::size_t columns = static_cast<std::size_t>(std::count(csv[0].begin(), csv[0].end(), ','));
        for (std::size_t i = 0; i < rows; ++i) {
            const std::string &line = m.case_lines[i / m.values.size()];
            std::vector<std::string> words{"lre-perf", LRE_THERMO_DATABASE, "--engine", m.engine, "--json"};
            for (const std::string &word : split(line + " --" + m.axis + " " + m.values[i % m.values.size()], ' ')) {
                words.push_back(word);
            }
            const lre_test::program_output single = lre_test::run_program(LRE_PERF_PATH, words);
            SCOPED_TRACE(lre_test::joined(words));
            const std::string index = std::to_string(i);
            EXPECT_EQ(static_cast<std::size_t>(std::count(csv[i + 1].begin(), csv[i + 1].end(), ',')), columns);
            if (single.status == 0) {
                EXPECT_EQ(jsonl[i], "{\"case\":" + index +
                                        ",\"status\":\"ok\",\"document\":" + without_spaces(single.stdout_text) + "}");
                EXPECT_EQ(csv[i + 1], index + ",ok," + csv_fields(single.stdout_text, csv[0]));
            } else {
                const std::string message = single.stderr_text.substr(0, single.stderr_text.size() - 1);
                EXPECT_EQ(jsonl[i], "{\"case\":" + index + ",\"status\":\"failed\",\"message\":\"" + message + "\"}");
                EXPECT_EQ(csv[i + 1], index + ",failed," + message + std::string(columns - 2, ','));
            }
        }
    }
}

// Where lre-perf prints its usage text, a case line's row names the wrong word.
TEST(SweepRun, MalformedCaseLinesNameTheWord)
{
    std::string many_words;
    for (int i = 0; i < 129; ++i) {
        many_words += "--k 3 ";
    }
    const std::string cases = "--bogus 1\n--k abc,\n--k\n--engine tq15b\n  # comment\n--k \x01\n" + many_words +
                              "\n--k " + std::string(4092, '3') + "\n--k 3 --json\n";
    const std::vector<std::string> jsonl = split(sweep({"--format", "jsonl"}, cases));
    const std::vector<std::string> csv = split(sweep({"--format", "csv"}, cases));
    const struct {
        const char *json;
        const char *csv;
    } messages[] = {
        {"Unknown option \\\"--bogus\\\".", "\"Unknown option \"\"--bogus\"\".\""},
        {"Not a number: \\\"abc,\\\".", "\"Not a number: \"\"abc,\"\".\""},
        {"--k needs a value.", "--k needs a value."},
        {"--engine in a case line: the module cannot be varied, one module per sweep.",
         "\"--engine in a case line: the module cannot be varied, one module per sweep.\""},
        {"Not a number: \\\"\\u0001\\\".", "\"Not a number: \"\"\x01\"\".\""},
        {"Case line of more than 256 words.", "Case line of more than 256 words."},
        {"Case line longer than 4095 characters.", "Case line longer than 4095 characters."},
    };
    ASSERT_EQ(jsonl.size(), 8u);
    for (std::size_t i = 0; i < 7; ++i) {
        const std::string index = std::to_string(i);
        EXPECT_EQ(jsonl[i], "{\"case\":" + index + ",\"status\":\"failed\",\"message\":\"" + messages[i].json + "\"}");
        EXPECT_EQ(csv[i + 1].substr(0, csv[i + 1].find(",,")), index + ",failed," + messages[i].csv);
    }
    EXPECT_EQ(jsonl[7].rfind("{\"case\":7,\"status\":\"ok\",", 0), 0u) << jsonl[7];
}

// Several threads write the same bytes as one, and K of N shards merge into
// the whole: failing cases among succeeding ones, case lines crossed with a
// grid, a search, a shard.
TEST(SweepRun, ThreadsAndShardsWriteTheBytesOfOneThread)
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
    const std::vector<const char *> grid = {"--vary", "throttle-pct=20:110:35", "--vary", "altitude-km=0,86"};
    const std::vector<std::string> whole = split(sweep(grid));
    for (const char *count : {"4", "7"}) {
        std::vector<std::string> merged(whole.size());
        merged[0] = whole[0];
        for (int k = 1; k <= std::stoi(count); ++k) {
            const std::string shard = std::to_string(k) + "/" + count;
            std::vector<const char *> words = grid;
            words.push_back("--shard");
            words.push_back(shard.c_str());
            for (const std::string &row : split(sweep(words, "", k % 2 + 1))) {
                if (row[0] != 'c') { // not the header
                    merged[std::stoul(row) + 1] = row;
                }
            }
        }
        EXPECT_EQ(merged, whole) << count << " shards";
    }
}

// A cancel stops after the row it follows, a failed write at that row; on
// one thread or several, the rows before it are the sweep's own.
TEST(SweepRun, StopsAfterAWholeRow)
{
    const std::vector<const char *> words = {"--vary", "throttle-pct=30:120:10", "--format", "jsonl"};
    const std::string whole = sweep(words);
    const std::vector<std::string> rows = split(whole);
    const struct {
        int jobs;
        long long cancel_after;
        long long fail_write;
        long long written;
    } stops[] = {{1, 3, -1, 3}, {2, 3, -1, 3}, {3, 1, -1, 1},  {1, -1, 4, 4},
                 {2, -1, 0, 0}, {2, -1, 9, 9}, {3, 10, -1, 10}};
    for (const auto &s : stops) {
        recorder r;
        r.cancel_after = s.cancel_after;
        r.fail_write = s.fail_write;
        r = sweep_into(words, "", s.jobs, r);
        SCOPED_TRACE(std::to_string(s.jobs) + " jobs, stop " + std::to_string(s.cancel_after + s.fail_write + 1));
        std::string prefix;
        std::string progress;
        for (long long i = 0; i < s.written; ++i) {
            prefix += rows[static_cast<std::size_t>(i)] + "\n";
            progress += std::to_string(i + 1) + "/10/" + (i < 9 ? "1 " : "2 ");
        }
        EXPECT_EQ(r.rows, prefix);
        EXPECT_EQ(r.progress, progress);
        EXPECT_EQ(r.outcome.rows_written, s.written);
        EXPECT_EQ(r.outcome.rows_failed, s.written < 1 ? 0 : s.written < 10 ? 1 : 2);
        EXPECT_EQ(r.outcome.cancelled, s.cancel_after > 0 && s.cancel_after < 10);
        EXPECT_EQ(r.outcome.write_failed, s.fail_write >= 0);
        EXPECT_EQ(r.ok, s.fail_write < 0);
    }
    // A CSV sink that refuses the header.
    recorder refused;
    refused.fail_write = 0;
    for (const int jobs : {1, 2}) {
        const recorder r = sweep_into({"--vary", "k=2,3"}, "", jobs, refused);
        EXPECT_EQ(r.ok + r.outcome.rows_written, 0);
        EXPECT_EQ(r.outcome.write_failed, 1);
    }
}

double number(const std::string &row, const std::string &name)
{
    return std::stod(row.substr(row.find("\"" + name + "\":") + name.size() + 3));
}

// The best k for the vacuum impulse at two chamber pressures, against a grid
// of step 0.0005 (the search must be at least as good, and close in k).
TEST(SweepRun, MaximizeAgreesWithAFineGrid)
{
    const std::vector<std::string> best = split(
        sweep({"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--vary", "pc-mpa=5,14", "--format", "jsonl"}));
    const std::vector<std::string> fine =
        split(sweep({"--vary", "pc-mpa=5,14", "--vary", "k=2:4:0.0005", "--format", "jsonl"}));
    ASSERT_EQ(best.size(), 2u);
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
    const std::string csv = sweep({"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4"});
    const std::string evaluations = std::to_string(static_cast<int>(number(best[1], "evaluations")));
    EXPECT_NE(csv.find(",evaluations,at_bound\n"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - evaluations.size() - 8), "," + evaluations + ",false\n");
    // The thrust at altitude rises with the altitude, the ambient pressure
    // falls: their maxima lie on a bound. A member no case has, and cases
    // that all fail.
    const struct {
        std::vector<const char *> words;
        const char *row_end;
    } searches[] = {
        {{"--maximize", "calculated.F_h_kN", "--over", "altitude-km=0:86"}, "\"h_km\":86},"},
        {{"--maximize", "calculated.p_a_Pa", "--over", "altitude-km=1:86"}, "\"h_km\":1},"},
        {{"--maximize", "calculated.I_t_v_MN_s", "--over", "k=2:4"},
         "\"message\":\"No case of the search has the member calculated.I_t_v_MN_s (it needs a burn time).\""},
        {{"--maximize", "calculated.F_h_kN", "--over", "throttle-pct=0:30"},
         "\"message\":\"TQ-12B throttle percentage must be between 40 and 110.\",\"evaluations\":"},
    };
    for (const auto &s : searches) {
        std::vector<const char *> words = s.words;
        words.insert(words.end(), {"--format", "jsonl"});
        const std::string row = sweep(words);
        EXPECT_NE(row.find(s.row_end), std::string::npos) << row;
        EXPECT_EQ(row.find("\"at_bound\":true") != std::string::npos, s.row_end[1] == 'h') << row;
    }
}

} // namespace
