// libFuzzer target over lre-sweep's words and case lines: the plan's parser,
// the case-line reader and the run of the plan on the real library (one
// chamber per fuel, opened once). Input: NUL-separated words, the first the
// case text (used when the words ask for --cases), the rest lre-sweep's words
// after the database path. Checked: a refusal has a message; an accepted plan
// of at most 32 rows (2 searches) writes its header (CSV) and exactly its shard's rows, in
// case order, each a whole line.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "engine_modules.h"
#include "fuzz_input.h"
#include "sweep_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::istringstream input(std::string(reinterpret_cast<const char *>(data), size));
    std::string cases;
    std::getline(input, cases, '\0');
    std::vector<std::string> words{LRE_THERMO_DATABASE};
    for (std::string word; words.size() < 32 && std::getline(input, word, '\0');) {
        words.push_back(word);
    }
    std::vector<const char *> argv;
    for (const std::string &word : words) {
        argv.push_back(word.c_str());
    }
    static sweep_plan plan;
    static cea_chamber chambers[2];
    char message[sweep_message_size] = "";
    if (!sweep_plan_parse(&plan, static_cast<int>(argv.size()), argv.data(), message, sizeof message) ||
        (plan.cases_path && !sweep_plan_set_cases(&plan, cases.data(), cases.size(), message, sizeof message)) ||
        !sweep_plan_check_limit(&plan, plan.maximize ? 2 : 32, message, sizeof message)) {
        return message[0] != '\0' ? 0 : (lre_fuzz::fail("a refusal without a message"), 0);
    }
    cea_chamber *chamber = &chambers[engine_fuel_rp1(plan.module)];
    if (chamber->solver == nullptr && !sweep_open_chamber(&plan, chamber, message, sizeof message)) {
        lre_fuzz::fail("the chamber did not open: %s", message);
    }
    std::string rows;
    const sweep_callbacks callbacks = {[](void *user, const char *row, std::size_t length) {
                                           return static_cast<std::string *>(user)->append(row, length), 1;
                                       },
                                       &rows, nullptr, nullptr, nullptr};
    sweep_outcome outcome = {};
    const int ran = sweep_run(&plan, chamber, &callbacks, &outcome);
    std::istringstream lines(rows);
    std::string row;
    for (long long i = plan.shard_index - (plan.format == SWEEP_CSV) * plan.shard_count; std::getline(lines, row);
         i += plan.shard_count) {
        const std::string head = (plan.format == SWEEP_CSV ? "" : "{\"case\":") + std::to_string(i) + ",";
        if ((i >= 0 && row.compare(0, head.size(), head) != 0) || lines.eof()) {
            lre_fuzz::fail("row of case %lld is not one whole line: %s", i, row.c_str());
        }
    }
    if (!ran || outcome.rows_written != plan.shard_rows ||
        std::count(rows.begin(), rows.end(), '\n') != plan.shard_rows + (plan.format == SWEEP_CSV)) {
        lre_fuzz::fail("%lld rows for a shard of %lld", outcome.rows_written, plan.shard_rows);
    }
    return 0;
}
