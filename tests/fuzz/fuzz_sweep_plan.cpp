// libFuzzer target over lre-sweep's words and case lines: the plan's parser,
// the case-line reader and the run of the plan, in process over the real
// library and the shipped database.
//
// Input: words separated by NUL bytes. The first word is the case text (its
// lines split on newlines, as a case file holds them), used when the words
// ask for --cases; the rest are lre-sweep's words after the database path.
//
// Checked: a refused plan has a one-line message; an accepted one within a
// row limit runs to its end and writes its header (CSV) and exactly its
// shard's rows, in case order, each a whole line; the chamber is closed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "sweep_plan.h"
#include "sweep_run.h"

namespace {

using lre_fuzz::fail;

const std::size_t max_words = 32;
const long long max_rows = 200;

int collect_row(void *user, const char *row, std::size_t length)
{
    static_cast<std::vector<std::string> *>(user)->emplace_back(row, length);
    return 1;
}

void check_message(const char *what, const char *message)
{
    if (message[0] == '\0') {
        fail("%s without a message", what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> words{LRE_THERMO_DATABASE};
    std::string cases;
    const char *text = reinterpret_cast<const char *>(data);
    std::size_t start = 0;
    int have_cases = 0;
    for (std::size_t i = 0; i <= size && words.size() < max_words; ++i) {
        if (i == size || data[i] == 0) {
            if (have_cases) {
                words.emplace_back(text + start, i - start);
            } else {
                cases.assign(text + start, i - start);
                have_cases = 1;
            }
            start = i + 1;
        }
    }
    std::vector<const char *> argv;
    for (const std::string &word : words) {
        argv.push_back(word.c_str());
    }

    static sweep_plan plan;
    char message[sweep_message_size] = "";
    if (!sweep_plan_parse(&plan, static_cast<int>(argv.size()), argv.data(), message, sizeof message)) {
        check_message("a refused plan", message);
        return 0;
    }
    if (plan.cases_path != nullptr &&
        !sweep_plan_set_cases(&plan, cases.data(), cases.size(), message, sizeof message)) {
        check_message("a refused case text", message);
        return 0;
    }
    if (!sweep_plan_check_limit(&plan, max_rows, message, sizeof message)) {
        check_message("a refused size", message);
        return 0;
    }

    cea_chamber chamber = {};
    if (!sweep_open_chamber(&plan, &chamber, message, sizeof message)) {
        fail("the chamber did not open: %s", message);
    }
    std::vector<std::string> rows;
    const sweep_callbacks callbacks = {collect_row, &rows, nullptr, nullptr, nullptr};
    sweep_outcome outcome = {};
    const int ran = sweep_run(&plan, &chamber, &callbacks, &outcome);
    cea_chamber_close(&chamber);
    if (!ran || outcome.cancelled || outcome.write_failed) {
        fail("the run stopped early");
    }
    const std::size_t header = plan.format == SWEEP_CSV ? 1 : 0;
    if (outcome.rows_written != plan.shard_rows || rows.size() != header + static_cast<std::size_t>(plan.shard_rows)) {
        fail("%zu rows for a shard of %lld", rows.size(), plan.shard_rows);
    }
    long long failed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string &row = rows[i];
        if (row.empty() || row.find('\n') != row.size() - 1) {
            fail("row %zu is not one whole line: %s", i, row.c_str());
        }
        if (i < header) {
            continue;
        }
        const long long index = plan.shard_index + static_cast<long long>(i - header) * plan.shard_count;
        const std::string head =
            plan.format == SWEEP_CSV ? std::to_string(index) + "," : "{\"case\":" + std::to_string(index) + ",";
        if (row.compare(0, head.size(), head) != 0) {
            fail("row %zu should be case %lld: %s", i, index, row.c_str());
        }
        const char *failed_status = plan.format == SWEEP_CSV ? "failed," : "\"status\":\"failed\"";
        failed += row.compare(head.size(), std::strlen(failed_status), failed_status) == 0 ? 1 : 0;
    }
    if (failed != outcome.rows_failed) {
        fail("%lld failed rows seen, %lld counted", failed, outcome.rows_failed);
    }
    return 0;
}
