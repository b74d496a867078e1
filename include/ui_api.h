// The calculation API of lre-ui, apart from HTTP: a raw query string in, a
// status, a content type and a body out.
#ifndef LRE_UI_API_H
#define LRE_UI_API_H

#include <atomic>
#include <string>

#include "ui_chambers.h"

// The most cases one sweep request may ask for.
enum { ui_sweep_max_cases = 5000 };

struct ui_answer {
    int status; // HTTP status
    const char *content_type;
    std::string body;
};

// The modules, their options with ranges and presets, and the labels, units,
// tags and decimals of the text report, for the page's form and report.
void ui_api_modules(ui_answer *answer);

// One case: 200 with the JSON document, 422 when the case fails (with the
// message lre-perf prints), 400 for a bad query.
void ui_api_case(ui_chambers *chambers, const char *raw_query, ui_answer *answer);

// A sweep as CSV or JSON lines; each case takes its own turn at the library.
// More than max_cases cases get 413. Stops early, with 503, once *stopping
// is set.
void ui_api_sweep(ui_chambers *chambers, const char *raw_query, long long max_cases, const std::atomic<int> *stopping,
                  ui_answer *answer);

// A JSON object {"error": message} as the answer.
void ui_set_error(ui_answer *answer, int status, const char *message);

#endif
