// libFuzzer target over lre-ui's requests: any bytes as the raw query of a
// case or a sweep request, through the query parser, the core's option
// handling and sweep plan, and the real library on the shipped database.
//
// Input: the first byte picks the endpoint (even: /api/case, odd:
// /api/sweep); the rest is the query, cut at the first NUL as a request
// target would be.
//
// Checked: every answer has a documented status (200, 400, 413 or 422;
// never 503 without a stop); a refusal's body is one {"error": "..."}
// object; a case's document opens as lre-perf's does, and a sweep's rows are
// whole lines.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "ui_api.h"
#include "ui_chambers.h"

// A sweep here is at most this many cases, so that an input costs little.
static const long long fuzz_sweep_max_cases = 40;

static ui_chambers *open_chambers()
{
    static ui_chambers chambers;
    static int opened = 0;
    if (!opened) {
        char message[512];
        if (!ui_chambers_open(&chambers, LRE_THERMO_DATABASE, message, sizeof message)) {
            lre_fuzz::fail("cannot open the chambers: %s", message);
        }
        opened = 1;
    }
    return &chambers;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const int sweep = data[0] & 1;
    std::string query(reinterpret_cast<const char *>(data + 1), size - 1);
    query = query.substr(0, query.find('\0'));
    ui_chambers *chambers = open_chambers();
    const std::atomic<int> running(0);
    ui_answer answer;
    if (sweep) {
        ui_api_sweep(chambers, query.c_str(), fuzz_sweep_max_cases, &running, &answer);
    } else {
        ui_api_case(chambers, query.c_str(), &answer);
    }
    const std::string &body = answer.body;
    if (answer.status != 200 && answer.status != 400 && answer.status != 413 && answer.status != 422) {
        lre_fuzz::fail("status %d for %s", answer.status, query.c_str());
    }
    if (answer.status != 200) {
        if (body.compare(0, 11, "{\"error\": \"") != 0 || body.size() < 14 ||
            body.compare(body.size() - 3, 3, "\"}\n") != 0) {
            lre_fuzz::fail("refusal body %s", body.c_str());
        }
    } else if (!sweep && body.compare(0, 21, "{\n  \"schema_version\":") != 0) {
        lre_fuzz::fail("document %s", body.c_str());
    } else if (sweep && (body.empty() || body.back() != '\n')) {
        lre_fuzz::fail("rows not whole: %s", body.c_str());
    }
    return 0;
}
