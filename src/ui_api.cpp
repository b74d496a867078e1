// The calculation API of lre-ui over the shared performance core. A request's
// parameters become the option words of lre-perf or lre-sweep, in the order
// given, and go through the same option handling, so that names, rules and
// messages are theirs.
#include "ui_api.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "case_options.h"
#include "case_solver.h"
#include "engine_modules.h"
#include "json_output.h"
#include "sweep_plan.h"
#include "sweep_run.h"
#include "text_report.h"
#include "ui_query.h"

// Room for the solver's message with lre-perf's prefix.
static const int message_size = 2 * error_buffer_size;

enum {
    // Option words of one request: every pair can give two words, and a
    // sweep adds its format and the database path.
    words_max = 2 * query_max_pairs + 4,
    word_size = query_max_name + query_max_value + 4,
};

// The words of a command line built from a query, in fixed storage.
struct option_words {
    int count;
    const char *words[words_max];
    char storage[words_max][word_size];
};

// Appends text as the inside of a JSON string.
static void append_json_text(std::string *out, const char *text)
{
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(*c));
        } else if (*c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned int>(*c));
            out->append(escape);
        } else {
            out->push_back(static_cast<char>(*c));
        }
    }
}

static void append_json_string(std::string *out, const char *text)
{
    out->push_back('"');
    append_json_text(out, text);
    out->push_back('"');
}

static void append_json_number(std::string *out, double value)
{
    char text[64];
    format_json_number(text, sizeof text, value);
    out->append(text);
}

// A range limit, or null for an option whose values only the model judges.
static void append_limit(std::string *out, int enforced, double value)
{
    if (enforced) {
        append_json_number(out, value);
    } else {
        out->append("null");
    }
}

void ui_set_error(ui_answer *answer, int status, const char *message)
{
    answer->status = status;
    answer->content_type = "application/json";
    answer->body = "{\"error\": \"";
    append_json_text(&answer->body, message);
    answer->body += "\"}\n";
}

static void add_word(option_words *words, const char *prefix, const char *text)
{
    char *slot = words->storage[words->count];
    std::snprintf(slot, word_size, "%s%s", prefix, text);
    words->words[words->count] = slot;
    words->count = words->count + 1;
}

// ---- /api/modules -----------------------------------------------------------

static const char *tag_name(int tag)
{
    if (tag == REPORT_KNOWN) {
        return "KNOWN";
    }
    return tag == REPORT_ESTIMATED ? "ESTIMATED" : "CALCULATED";
}

// The report row of a document member, or null when the text report has no
// line for it.
static const report_row *row_of_member(int module, const char *group, const char *name)
{
    char member[128];
    std::snprintf(member, sizeof member, "%s.%s", group, name);
    for (int i = 0; i < report_row_count(); ++i) {
        const report_row *row = report_row_at(i);
        if ((row->modules & module_bit(module)) != 0 && row->json_member != nullptr &&
            std::strcmp(row->json_member, member) == 0) {
            return row;
        }
    }
    return nullptr;
}

// A member without a line of its own is tagged like its group's lines.
static const char *group_tag(const char *group)
{
    if (std::strcmp(group, "estimated") == 0) {
        return "ESTIMATED";
    }
    return std::strcmp(group, "calculated") == 0 ? "CALCULATED" : "KNOWN";
}

static void append_module(std::string *out, int module)
{
    engine_case presets;
    set_defaults(module, &presets);
    *out += "{\"key\": ";
    append_json_string(out, engine_key(module));
    *out += ", \"name\": ";
    append_json_string(out, engine_name(module));
    *out += ", \"propellants\": ";
    append_json_string(out, engine_propellants(module));
    *out += ", \"cycle\": ";
    append_json_string(out, engine_cycle_name(module));
    *out += ",\n   \"options\": [";
    int first = 1;
    for (int i = 0; i < case_option_count(); ++i) {
        const case_option *option = case_option_at(i);
        if ((option->modules & module_bit(module)) == 0) {
            continue;
        }
        const option_range *range = &option->range[module];
        *out += first ? "\n    {\"name\": " : ",\n    {\"name\": ";
        first = 0;
        append_json_string(out, option->name + 2);
        *out += ", \"label\": ";
        append_json_string(out, option->description);
        *out += ", \"unit\": ";
        append_json_string(out, option->unit);
        *out += ", \"preset\": ";
        append_json_number(out, option->value(&presets));
        *out += ", \"min\": ";
        append_limit(out, range->enforced, range->low);
        *out += ", \"max\": ";
        append_limit(out, range->enforced, range->high);
        *out += "}";
    }
    *out += "],\n   \"report\": [";
    json_member_info members[json_max_members];
    const int count = json_module_members(module, members, json_max_members);
    for (int i = 0; i < count; ++i) {
        const report_row *row = row_of_member(module, members[i].group, members[i].name);
        *out += i == 0 ? "\n    {\"group\": " : ",\n    {\"group\": ";
        append_json_string(out, members[i].group);
        *out += ", \"member\": ";
        append_json_string(out, members[i].name);
        *out += ", \"tag\": ";
        append_json_string(out, row != nullptr ? tag_name(row->tag) : group_tag(members[i].group));
        *out += ", \"label\": ";
        append_json_string(out, row != nullptr ? row->label : members[i].name);
        *out += ", \"unit\": ";
        append_json_string(out, row != nullptr ? row->unit : "");
        *out += ", \"decimals\": ";
        if (row != nullptr) {
            append_json_number(out, row->decimals);
        } else {
            *out += "null";
        }
        *out += "}";
    }
    *out += "]}";
}

void ui_api_modules(ui_answer *answer)
{
    answer->status = 200;
    answer->content_type = "application/json";
    answer->body = "{\"version\": \"" LRE_VERSION "\", \"modules\": [\n  ";
    for (int module = 0; module < engine_module_count; ++module) {
        if (module > 0) {
            answer->body += ",\n  ";
        }
        append_module(&answer->body, module);
    }
    answer->body += "\n]}\n";
}

// ---- /api/case --------------------------------------------------------------

static void bad_parameter(ui_answer *answer, const char *name, const char *value, option_outcome outcome)
{
    char message[message_size];
    if (outcome == OPTION_UNKNOWN) {
        std::snprintf(message, sizeof message, "unknown parameter '%s'", name);
    } else {
        std::snprintf(message, sizeof message, "parameter '%s': '%s' is not a number", name, value);
    }
    ui_set_error(answer, 400, message);
}

void ui_api_case(ui_chambers *chambers, const char *raw_query, ui_answer *answer)
{
    char message[message_size] = {0};
    query_params params;
    if (!parse_query(raw_query, &params, message, message_size)) {
        ui_set_error(answer, 400, message);
        return;
    }
    option_words words;
    words.count = 0;
    for (int i = 0; i < params.count; ++i) {
        if (std::strcmp(params.pairs[i].name, "json") == 0) {
            bad_parameter(answer, "json", "", OPTION_UNKNOWN);
            return;
        }
        add_word(&words, "--", params.pairs[i].name);
        add_word(&words, "", params.pairs[i].value);
    }
    // lre-perf's two passes: the module first, then each option in order.
    int module = ENGINE_TQ12B;
    if (select_engine_module(words.count, words.words, &module, message, message_size) != OPTION_APPLIED) {
        ui_set_error(answer, 422, message);
        return;
    }
    engine_case reference;
    set_defaults(module, &reference);
    for (int i = 0; i < params.count; ++i) {
        if (std::strcmp(params.pairs[i].name, "engine") == 0) {
            continue;
        }
        const std::size_t name_word = static_cast<std::size_t>(i) * 2;
        const option_outcome outcome = apply_case_option(module, words.words[name_word], words.words[name_word + 1],
                                                         &reference, message, message_size);
        if (outcome == OPTION_REFUSED) {
            ui_set_error(answer, 422, message);
            return;
        }
        if (outcome != OPTION_APPLIED) {
            bad_parameter(answer, params.pairs[i].name, params.pairs[i].value, outcome);
            return;
        }
    }
    if (!validate_case_ranges(module, &reference, message, message_size)) {
        ui_set_error(answer, 422, message);
        return;
    }

    engine_case operating;
    chamber_state state;
    engine_results results;
    char error_buffer[error_buffer_size] = {0};
    cea_chamber *chamber = ui_chambers_acquire(chambers, engine_fuel_rp1(module) ? ui_fuel_rp1 : ui_fuel_methane);
    const int solved_ok =
        calculate_case(chamber, &reference, &operating, &state, &results, error_buffer, error_buffer_size);
    ui_chambers_release(chambers);
    if (!solved_ok) {
        std::snprintf(message, sizeof message, "Calculation failed: %s", error_buffer);
        ui_set_error(answer, 422, message);
        return;
    }
    const solved_case solved = {module, &reference, &operating, &state, &results};
    char document[json_document_max_size];
    const int length = format_json_case(document, json_document_max_size, &solved, JSON_DOCUMENT);
    answer->status = 200;
    answer->content_type = "application/json";
    answer->body.assign(document, static_cast<std::size_t>(length));
}

// ---- /api/sweep -------------------------------------------------------------

// lre-sweep's options that name files or the terminal, or choose its threads,
// have no meaning here: the server takes its own turns at the library.
static int is_command_line_only(const char *name)
{
    static const char *const names[] = {"cases", "output", "shard", "progress", "jobs", "json"};
    for (const char *refused : names) {
        if (std::strcmp(name, refused) == 0) {
            return 1;
        }
    }
    return 0;
}

// "NAME:SPEC" as a request writes an axis, or "NAME=SPEC" as lre-sweep does.
static void add_axis_word(option_words *words, const char *value)
{
    add_word(words, "", value);
    char *word = words->storage[words->count - 1];
    char *colon = std::strchr(word, ':');
    if (std::strchr(word, '=') == nullptr && colon != nullptr) {
        *colon = '=';
    }
}

struct sweep_sink {
    std::string *body;
    ui_chambers *chambers;
    const std::atomic<int> *stopping;
};

// Each row ends the turn at the library, so that other requests are served
// between the cases of a long sweep.
static int collect_row(void *user, const char *row, std::size_t length)
{
    sweep_sink *sink = static_cast<sweep_sink *>(user);
    sink->body->append(row, length);
    ui_chambers_release(sink->chambers);
    ui_chambers_acquire(sink->chambers, ui_fuel_methane);
    return sink->stopping->load() == 0;
}

void ui_api_sweep(ui_chambers *chambers, const char *raw_query, long long max_cases, const std::atomic<int> *stopping,
                  ui_answer *answer)
{
    char message[message_size] = {0};
    query_params params;
    if (!parse_query(raw_query, &params, message, message_size)) {
        ui_set_error(answer, 400, message);
        return;
    }
    option_words words;
    // The database path is the plan's first word; it is not copied (it may
    // be longer than a word of a request).
    words.words[0] = chambers->thermo_lib;
    words.count = 1;
    int has_format = 0;
    for (int i = 0; i < params.count; ++i) {
        const char *name = params.pairs[i].name;
        if (is_command_line_only(name)) {
            std::snprintf(message, sizeof message, "parameter '%s' is not available here", name);
            ui_set_error(answer, 400, message);
            return;
        }
        has_format = has_format || std::strcmp(name, "format") == 0;
        add_word(&words, "--", name);
        if (std::strcmp(name, "vary") == 0 || std::strcmp(name, "over") == 0) {
            add_axis_word(&words, params.pairs[i].value);
        } else {
            add_word(&words, "", params.pairs[i].value);
        }
    }
    if (!has_format) {
        add_word(&words, "", "--format");
        add_word(&words, "", "csv");
    }
    sweep_plan plan_record;
    sweep_plan *plan = &plan_record;
    if (!sweep_plan_parse(plan, words.count, words.words, message, message_size)) {
        ui_set_error(answer, 400, message);
        return;
    }
    if (!sweep_plan_check_limit(plan, max_cases, message, message_size)) {
        ui_set_error(answer, 413, message);
        return;
    }

    answer->body.clear();
    sweep_sink sink = {&answer->body, chambers, stopping};
    const sweep_callbacks callbacks = {collect_row, &sink, nullptr, nullptr, nullptr};
    sweep_outcome outcome = {};
    const int fuel = engine_fuel_rp1(plan->module) ? ui_fuel_rp1 : ui_fuel_methane;
    cea_chamber *chamber = ui_chambers_acquire(chambers, fuel);
    sweep_run(plan, chamber, &callbacks, &outcome);
    ui_chambers_release(chambers);
    if (outcome.write_failed) {
        ui_set_error(answer, 503, "the server is stopping");
        return;
    }
    answer->status = 200;
    answer->content_type = plan->format == SWEEP_JSONL ? "application/jsonl" : "text/csv";
}
