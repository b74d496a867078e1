// libFuzzer target over lre-sweep's words and case lines: the plan's parser,
// the case-line reader and the run of the plan on the real library and the
// shipped database, one chamber per fuel opened once.
//
// Input: words separated by NUL bytes. The first word is the case text (its
// lines split on newlines, as a case file holds them), used when the words
// ask for --cases; the rest are lre-sweep's words after the database path.
//
// Checked: a refusal has a message; an accepted plan within a row limit runs
// to its end and writes its header (CSV) and exactly its shard's rows, in
// case order, each a whole line, with as many failed rows as it counts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine_modules.h"
#include "fuzz_input.h"
#include "sweep_run.h"

namespace {

int collect_row(void *user, const char *row, std::size_t length)
{
    static_cast<std::vector<std::string> *>(user)->emplace_back(row, length);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::string cases = input.substr(0, input.find('\0'));
    std::vector<std::string> words{LRE_THERMO_DATABASE};
    for (std::size_t at = cases.size(); at < size && words.size() < 32; at = input.find('\0', at + 1)) {
        words.push_back(input.substr(at + 1, input.find('\0', at + 1) - at - 1));
    }
    std::vector<const char *> argv;
    for (const std::string &word : words) {
        argv.push_back(word.c_str());
    }
    static sweep_plan plan;
    char message[sweep_message_size] = "";
    if (!sweep_plan_parse(&plan, static_cast<int>(argv.size()), argv.data(), message, sizeof message) ||
        (plan.cases_path != nullptr &&
         !sweep_plan_set_cases(&plan, cases.data(), cases.size(), message, sizeof message)) ||
        !sweep_plan_check_limit(&plan, 32, message, sizeof message)) {
        if (message[0] == '\0') {
            lre_fuzz::fail("a refusal without a message");
        }
        return 0;
    }
    static cea_chamber chambers[2];
    cea_chamber *chamber = &chambers[engine_fuel_rp1(plan.module) ? 1 : 0];
    if (chamber->solver == nullptr && !sweep_open_chamber(&plan, chamber, message, sizeof message)) {
        lre_fuzz::fail("the chamber did not open: %s", message);
    }
    std::vector<std::string> rows;
    const sweep_callbacks callbacks = {collect_row, &rows, nullptr, nullptr, nullptr};
    sweep_outcome outcome = {};
    const std::size_t header = plan.format == SWEEP_CSV ? 1 : 0;
    if (!sweep_run(&plan, chamber, &callbacks, &outcome) || outcome.cancelled ||
        outcome.rows_written != plan.shard_rows || rows.size() != header + static_cast<std::size_t>(plan.shard_rows)) {
        lre_fuzz::fail("%zu rows for a shard of %lld", rows.size(), plan.shard_rows);
    }
    long long failed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string &row = rows[i];
        const long long index = plan.shard_index + static_cast<long long>(i - header) * plan.shard_count;
        const std::string head = (plan.format == SWEEP_CSV ? "" : "{\"case\":") + std::to_string(index) + ",";
        if (row.find('\n') != row.size() - 1 || (i >= header && row.compare(0, head.size(), head) != 0)) {
            lre_fuzz::fail("row %zu is not case %lld as one whole line: %s", i, index, row.c_str());
        }
        const std::string status = header ? ",failed," : "\"status\":\"failed\"";
        failed += i >= header && row.compare(head.size() - header, status.size(), status) == 0;
    }
    if (failed != outcome.rows_failed) {
        lre_fuzz::fail("%lld failed rows seen, %lld counted", failed, outcome.rows_failed);
    }
    return 0;
}
