// The sweep engine on the real library: each row equals the single run of
// lre-perf --json for the same case, a cancel or a failed write stops it
// after a whole row (on one thread or several), and --maximize agrees with a
// fine grid.
#include "sweep_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"
#include "sweep_parallel.h"

namespace {

struct recorder {
    std::string rows, progress; // progress: "done/total/failed " after each row
    long long fail_write = -1;  // the sink refuses this call (0: the first)
    long long cancel_after = -1;
    volatile std::sig_atomic_t cancel = 0;
    sweep_outcome outcome = {};
    int ok = 0;
};

// "lre-sweep db <words>" in process on jobs threads (1: sweep_run itself).
recorder sweep_into(std::vector<const char *> words, int jobs, recorder r, const std::string &cases = "")
{
    words.insert(words.begin(), LRE_THERMO_DATABASE);
    std::unique_ptr<sweep_plan> plan(new sweep_plan);
    char message[sweep_message_size] = "";
    cea_chamber chamber = {};
    EXPECT_TRUE(
        sweep_plan_parse(plan.get(), static_cast<int>(words.size()), words.data(), message, sizeof message) &&
        (cases.empty() || sweep_plan_set_cases(plan.get(), cases.data(), cases.size(), message, sizeof message)) &&
        sweep_open_chamber(plan.get(), &chamber, message, sizeof message))
        << message;
    const sweep_callbacks callbacks = {
        [](void *user, const char *row, std::size_t length) {
            recorder *r = static_cast<recorder *>(user);
            return static_cast<int>(r->fail_write-- != 0 && (r->rows.append(row, length), true));
        },
        &r,
        [](void *user, long long done, long long total, long long failed) {
            recorder *r = static_cast<recorder *>(user);
            r->progress += std::to_string(done) + "/" + std::to_string(total) + "/" + std::to_string(failed) + " ";
            r->cancel = done == r->cancel_after;
        },
        &r, &r.cancel};
    r.ok = sweep_run_parallel(plan.get(), &chamber, jobs, &callbacks, &r.outcome);
    cea_chamber_close(&chamber);
    return r;
}

std::vector<std::string> sweep(const std::vector<const char *> &words, int jobs = 1, const std::string &cases = "")
{
    const recorder r = sweep_into(words, jobs, recorder(), cases);
    EXPECT_TRUE(r.ok && !r.outcome.cancelled && !r.outcome.write_failed);
    std::vector<std::string> rows;
    std::istringstream text(r.rows);
    for (std::string row; std::getline(text, row);) {
        rows.push_back(row);
    }
    return rows;
}

// Case lines crossed with a grid (the last word wins, as in lre-perf; the
// last axis varies fastest).
TEST(SweepRun, RowsEqualSingleRunsOfEveryModule)
{
    const struct {
        std::vector<const char *> words;
        std::vector<std::string> case_lines, values;
    } modules[] = {
        {{"--engine", "tq12b", "--vary", "altitude-km=20,87", "--vary", "k=2.5,3"},
         {"--burn-s 0", "--throttle-pct 75 --burn-s 100", "--k 0"},
         {"--altitude-km 20 --k 2.5", "--altitude-km 20 --k 3", "--altitude-km 87 --k 2.5", "--altitude-km 87 --k 3"}},
        {{"--engine", "tq15b", "--vary", "altitude-km=0:1.1:0.5"},
         {"--burn-s 120 --k 3.1", "--throttle-pct 100", "--eta-cf 1.5"},
         {"--altitude-km 0", "--altitude-km 0.5", "--altitude-km 1"}},
        {{"--engine", "yf100k", "--vary", "throttle-pct=80,55"},
         {"--epsilon 30", "--burn-s 50 --altitude-km 11", "--beta 0.1"},
         {"--throttle-pct 80", "--throttle-pct 55"}},
    };
    for (const auto &m : modules) {
        const std::string cases = "# case\n" + m.case_lines[0] + "\n" + m.case_lines[1] + "\n\n" + m.case_lines[2];
        std::vector<const char *> jsonl_words = m.words;
        jsonl_words.insert(jsonl_words.end(), {"--format", "jsonl"});
        const std::vector<std::string> csv = sweep(m.words, 2, cases), jsonl = sweep(jsonl_words, 1, cases);
        ASSERT_EQ(csv.size(), jsonl.size() + 1);
        ASSERT_EQ(jsonl.size(), 3 * m.values.size());
        for (std::size_t i = 0; i < jsonl.size(); ++i) {
            std::vector<std::string> words{"lre-perf", LRE_THERMO_DATABASE};
            std::istringstream line(std::string("--engine ") + m.words[1] + " --json " +
                                    m.case_lines[i / m.values.size()] + " " + m.values[i % m.values.size()]);
            words.insert(words.end(), std::istream_iterator<std::string>(line), {});
            lre_test::program_output single = lre_test::run_program(LRE_PERF_PATH, words);
            std::string &document = single.stdout_text;
            document.erase(std::remove_if(document.begin(), document.end(), isspace), document.end());
            const std::string message = single.stderr_text.substr(0, single.stderr_text.size() - 1);
            std::string fields = std::to_string(i) + (single.status == 0 ? ",ok," : ",failed," + message);
            std::istringstream columns(csv[0].substr(csv[0].find(",message,") + 9));
            for (std::string column; std::getline(columns, column, ',');) { // "group.name": its value in the document
                std::smatch value;
                std::regex_search(
                    document, value,
                    std::regex("\"" + std::regex_replace(column, std::regex("\\."), "\":\\{[^}]*\"") + "\":([^,}]*)"));
                fields += "," + (value.empty() ? "" : value[1].str());
            }
            EXPECT_EQ(csv[i + 1], fields) << lre_test::joined(words);
            EXPECT_EQ(jsonl[i], "{\"case\":" + std::to_string(i) +
                                    (single.status == 0 ? ",\"status\":\"ok\",\"document\":" + document
                                                        : ",\"status\":\"failed\",\"message\":\"" + message + "\"") +
                                    "}");
        }
    }
}

// Rows 0 and 9 of 10 fail. A cancel stops after the row it follows, a
// failed write (call 0: the header) at that row; what came before is the sweep's.
TEST(SweepRun, StopsAfterAWholeRow)
{
    const std::vector<const char *> words = {"--vary", "throttle-pct=30:120:10"};
    const std::vector<std::string> rows = sweep(words);
    const struct {
        int jobs;
        long long cancel_after, fail_write, written;
    } stops[] = {{1, 3, -1, 3}, {2, 3, -1, 3},  {3, 1, -1, 1}, {3, 10, -1, 10}, {1, -1, 5, 4},
                 {2, -1, 1, 0}, {2, -1, 10, 9}, {1, -1, 0, 0}, {2, -1, 0, 0}};
    for (const auto &s : stops) {
        recorder r;
        r.cancel_after = s.cancel_after;
        r.fail_write = s.fail_write;
        r = sweep_into(words, s.jobs, r);
        std::string prefix = s.fail_write == 0 ? "" : rows[0] + "\n", progress;
        for (long long i = 0; i < s.written; ++i) {
            prefix += rows[static_cast<std::size_t>(i + 1)] + "\n";
            progress += std::to_string(i + 1) + "/10/" + (i < 9 ? "1 " : "2 ");
        }
        EXPECT_EQ(r.rows + r.progress, prefix + progress) << s.jobs << " jobs, stop " << s.cancel_after + s.fail_write;
        EXPECT_EQ(r.outcome.rows_failed, s.written < 1 ? 0 : s.written < 10 ? 1 : 2);
        EXPECT_EQ((std::vector<long long>{r.outcome.rows_written, r.outcome.cancelled, r.outcome.write_failed, r.ok}),
                  (std::vector<long long>{s.written, s.cancel_after % 10 > 0, s.fail_write >= 0, s.fail_write < 0}));
    }
}

double number(const std::string &row, const std::string &name)
{
    return std::stod(row.substr(row.find("\"" + name + "\":") + name.size() + 3));
}

// The best k for the vacuum impulse at two chamber pressures, against a grid
// of step 0.0005: at least as good, and close in k. The thrust at altitude
// rises with the altitude, the ambient pressure falls: maxima on a bound.
TEST(SweepRun, MaximizeAgreesWithAFineGrid)
{
    const std::vector<std::string> best =
        sweep({"--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--vary", "pc-mpa=5,14", "--format", "jsonl"});
    const std::vector<std::string> fine =
        sweep({"--vary", "pc-mpa=5,14", "--vary", "k=2:4:0.0005", "--format", "jsonl"}, 2);
    ASSERT_EQ(best.size() * 4001, fine.size());
    for (std::ptrdiff_t p = 0; p < 2; ++p) {
        const auto top = std::max_element(fine.begin() + p * 4001, fine.begin() + (p + 1) * 4001, [](auto &a, auto &b) {
            return number(a, "I_s_v_mps") < number(b, "I_s_v_mps");
        });
        const std::string &row = best[static_cast<std::size_t>(p)];
        EXPECT_GE(number(row, "I_s_v_mps"), number(*top, "I_s_v_mps"));
        EXPECT_NEAR(number(row, "K"), number(*top, "K"), 0.0005);
        EXPECT_NE(row.find("\"at_bound\":false"), std::string::npos);
        EXPECT_LE(number(row, "evaluations"), 40);
    }
    for (const auto &bound :
         {std::make_pair("calculated.F_h_kN", "\"h_km\":86},"), std::make_pair("calculated.p_a_Pa", "\"h_km\":1},")}) {
        const std::string row =
            sweep({"--maximize", bound.first, "--over", "altitude-km=1:86", "--format", "jsonl"})[0];
        EXPECT_NE(row.find(bound.second), std::string::npos) << row;
        EXPECT_NE(row.find("\"at_bound\":true"), std::string::npos) << row;
    }
}

} // namespace
