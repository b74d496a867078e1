// libFuzzer target over lre-ui's requests: the first byte picks the endpoint
// (even: /api/case, odd: /api/sweep of at most 40 cases), the rest up to a
// NUL is the raw query, through the query parser, the core's option handling
// and sweep plan and the real library. Checked: every answer has a documented
// status (200, 400, 413 or 422; never 503 without a stop); a refusal's body
// is one {"error": "..."} object; a case's document opens as lre-perf's
// does; a sweep's rows are whole lines.
#include <atomic>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "ui_api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static ui_chambers chambers;
    static char message[512] = "";
    static const int opened = ui_chambers_open(&chambers, LRE_THERMO_DATABASE, message, sizeof message);
    if (!opened || size == 0) {
        return opened ? 0 : (lre_fuzz::fail("cannot open the chambers: %s", message), 0);
    }
    const std::string input(reinterpret_cast<const char *>(data) + 1, size - 1);
    const std::string query = input.substr(0, input.find('\0'));
    const std::atomic<int> running(0);
    ui_answer answer;
    if (data[0] & 1) {
        ui_api_sweep(&chambers, query.c_str(), 40, &running, &answer);
    } else {
        ui_api_case(&chambers, query.c_str(), &answer);
    }
    const std::string &body = answer.body;
    const std::string opening = answer.status != 200 ? "{\"error\": \"" : data[0] & 1 ? "" : "{\n  \"schema_version\":";
    const std::string ending = answer.status != 200 ? "\"}\n" : "\n";
    if ((answer.status != 200 && answer.status != 400 && answer.status != 413 && answer.status != 422) ||
        body.size() < opening.size() + ending.size() || body.compare(0, opening.size(), opening) != 0 ||
        body.compare(body.size() - ending.size(), ending.size(), ending) != 0) {
        lre_fuzz::fail("status %d for %s: %s", answer.status, query.c_str(), body.c_str());
    }
    return 0;
}
