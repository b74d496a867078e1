// The sweep engine: each case of the plan built from the base case, its case
// line and its axis values, solved on the one open chamber, and written as a
// whole row. A case allocates nothing: its records and its row live on the
// stack of the run.
#include "sweep_run.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "case_options.h"
#include "case_solver.h"
#include "engine_modules.h"
#include "json_output.h"

namespace {

enum { case_line_size = 4096, max_case_words = 256 };

// Golden-section search: the interval shrinks by this factor per evaluation,
// and ends below this width relative to the larger bound's magnitude.
const double golden_ratio_inverse = 0.6180339887498949;
const double maximize_tolerance = 1e-6;
const int max_maximize_evaluations = 200;

// "%.12g" by the standard library's shortest-path conversion: the same
// characters as printf's (it is defined so), about six times faster, which
// is a third of a case's cost.
int write_number(char *buffer, int size, double value)
{
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + size - 1, value, std::chars_format::general, 12);
    *written.ptr = '\0';
    return static_cast<int>(written.ptr - buffer);
}

// One solved or failed case, with every record the rows read.
struct case_result {
    int ok;
    engine_case reference;
    engine_case operating;
    chamber_state state;
    engine_results results;
    char message[error_buffer_size];
};

// Marks the case failed with a message, cut to the record's buffer.
void set_failure(case_result *result, const char *message)
{
    result->ok = 0;
    std::snprintf(result->message, sizeof result->message, "%s", message);
}

// Applies the words of one case line; 0 with the failure in result.
int apply_case_line(const sweep_plan *plan, const char *line, std::size_t length, engine_case *reference,
                    case_result *result)
{
    char text[case_line_size];
    if (length >= sizeof text) {
        result->ok = 0;
        std::snprintf(result->message, sizeof result->message, "Case line longer than %d characters.",
                      static_cast<int>(case_line_size) - 1);
        return 0;
    }
    std::memcpy(text, line, length);
    text[length] = '\0';
    const char *words[max_case_words];
    int count = 0;
    for (char *at = text; *at != '\0';) {
        while (*at == ' ' || *at == '\t' || *at == '\r') {
            *at++ = '\0';
        }
        if (*at == '\0') {
            break;
        }
        if (count == max_case_words) {
            result->ok = 0;
            std::snprintf(result->message, sizeof result->message, "Case line of more than %d words.",
                          static_cast<int>(max_case_words));
            return 0;
        }
        words[count++] = at;
        while (*at != '\0' && *at != ' ' && *at != '\t' && *at != '\r') {
            ++at;
        }
    }
    for (int i = 0; i < count; i += 2) {
        if (std::strcmp(words[i], "--engine") == 0) {
            set_failure(result, "--engine in a case line: the module cannot be varied, one module per sweep.");
            return 0;
        }
        if (std::strcmp(words[i], "--json") == 0) {
            --i;
            continue;
        }
        const char *value = i + 1 < count ? words[i + 1] : nullptr;
        if (apply_case_option(plan->module, words[i], value, reference, result->message, sizeof result->message) !=
            OPTION_APPLIED) {
            result->ok = 0;
            return 0;
        }
    }
    return 1;
}

// Builds the case (base, case line, axis values, the searched value last)
// and solves it. The failure message is the line lre-perf would print.
void solve_case(const sweep_plan *plan, cea_chamber *chamber, const char *line, std::size_t line_length,
                const long long *axis_index, int searched, double searched_value, case_result *result)
{
    result->reference = plan->base;
    result->message[0] = '\0';
    if (line != nullptr && !apply_case_line(plan, line, line_length, &result->reference, result)) {
        return;
    }
    for (int a = 0; a < plan->axis_count; ++a) {
        const sweep_axis *axis = &plan->axes[a];
        apply_case_value(plan->module, case_option_at(axis->option)->name, sweep_axis_value(axis, axis_index[a]),
                         &result->reference, nullptr, 0);
    }
    if (searched) {
        apply_case_value(plan->module, case_option_at(plan->over_option)->name, searched_value, &result->reference,
                         nullptr, 0);
    }
    if (!validate_case_ranges(plan->module, &result->reference, result->message, sizeof result->message)) {
        result->ok = 0;
        return;
    }
    char error[error_buffer_size] = {0};
    if (!calculate_case(chamber, &result->reference, &result->operating, &result->state, &result->results, error,
                        error_buffer_size)) {
        result->ok = 0;
        std::snprintf(result->message, sizeof result->message, "Calculation failed: %s", error);
        return;
    }
    result->ok = 1;
}

solved_case solved_of(const sweep_plan *plan, const case_result *result)
{
    return {plan->module, &result->reference, &result->operating, &result->state, &result->results};
}

// The searched member's value, or -infinity for a failed case or an absent member.
double objective(const sweep_plan *plan, const case_result *result)
{
    if (!result->ok) {
        return -HUGE_VAL;
    }
    double values[json_max_members];
    int present[json_max_members];
    const solved_case solved = solved_of(plan, result);
    json_case_values(&solved, values, present, json_max_members);
    return present[plan->member_index] ? values[plan->member_index] : -HUGE_VAL;
}

struct search_state {
    const sweep_plan *plan;
    cea_chamber *chamber;
    const char *line;
    std::size_t line_length;
    const long long *axis_index;
    int evaluations;
    double best_value;
    double best_x;
    int have_failure;
    case_result trial;
    case_result *best;
    char first_failure[error_buffer_size];
};

double evaluate(search_state *search, double x)
{
    solve_case(search->plan, search->chamber, search->line, search->line_length, search->axis_index, 1, x,
               &search->trial);
    ++search->evaluations;
    const double value = objective(search->plan, &search->trial);
    if (!search->trial.ok && !search->have_failure) {
        search->have_failure = 1;
        std::memcpy(search->first_failure, search->trial.message, sizeof search->first_failure);
    }
    if (value > search->best_value) {
        search->best_value = value;
        search->best_x = x;
        *search->best = search->trial;
    }
    return value;
}

// Golden-section search over [over_low, over_high], the bounds evaluated
// too: the best case seen is the row. Returns whether it lies on a bound.
int maximize(search_state *search)
{
    const sweep_plan *plan = search->plan;
    double a = plan->over_low;
    double b = plan->over_high;
    const double stop_width = maximize_tolerance * std::fmax(std::fabs(a), std::fabs(b));
    evaluate(search, a);
    evaluate(search, b);
    double x1 = b - golden_ratio_inverse * (b - a);
    double x2 = a + golden_ratio_inverse * (b - a);
    double f1 = evaluate(search, x1);
    double f2 = evaluate(search, x2);
    while (b - a > stop_width && search->evaluations < max_maximize_evaluations) {
        if (f1 < f2) {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + golden_ratio_inverse * (b - a);
            f2 = evaluate(search, x2);
        } else {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - golden_ratio_inverse * (b - a);
            f1 = evaluate(search, x1);
        }
    }
    if (search->best_value == -HUGE_VAL) {
        search->best->ok = 0;
        if (search->have_failure) {
            std::memcpy(search->best->message, search->first_failure, sizeof search->best->message);
        } else {
            std::snprintf(search->best->message, sizeof search->best->message,
                          "No case of the search has the member %s (it needs a burn time).", plan->member);
        }
        return 0;
    }
    return search->best_x == plan->over_low || search->best_x == plan->over_high;
}

// A row being written into a fixed buffer; a row that would not fit is cut
// and reported as failed to write (it cannot happen with the fixed members).
struct row_text {
    char *buffer;
    int size;
    int length;
};

void append(row_text *row, const char *text)
{
    const std::size_t length = std::strlen(text);
    if (row->length < row->size) {
        const std::size_t room = static_cast<std::size_t>(row->size - row->length);
        std::memcpy(row->buffer + row->length, text, length < room ? length : room);
    }
    row->length += static_cast<int>(length);
}

void append_char(row_text *row, char c)
{
    const char text[2] = {c, '\0'};
    append(row, text);
}

void append_integer(row_text *row, long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    append(row, text);
}

void append_csv_text(row_text *row, const char *text)
{
    if (std::strpbrk(text, ",\"\n\r") == nullptr) {
        append(row, text);
        return;
    }
    append(row, "\"");
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c == '"') {
            append(row, "\"\"");
        } else {
            append_char(row, *c);
        }
    }
    append(row, "\"");
}

void append_json_text(row_text *row, const char *text)
{
    append(row, "\"");
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            append(row, "\\");
            append_char(row, static_cast<char>(*c));
        } else if (*c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned int>(*c));
            append(row, escaped);
        } else {
            append_char(row, static_cast<char>(*c));
        }
    }
    append(row, "\"");
}

void format_row(const sweep_plan *plan, long long index, const case_result *result, int evaluations, int at_bound,
                row_text *row)
{
    row->length = 0;
    const solved_case solved = solved_of(plan, result);
    if (plan->format == SWEEP_JSONL) {
        append(row, "{\"case\":");
        append_integer(row, index);
        append(row, result->ok ? ",\"status\":\"ok\"," : ",\"status\":\"failed\",");
        if (result->ok) {
            append(row, "\"document\":");
            const int room = row->length < row->size ? row->size - row->length : 0;
            row->length += format_json_case(row->buffer + row->length, room, &solved, JSON_COMPACT, write_number);
        } else {
            append(row, "\"message\":");
            append_json_text(row, result->message);
        }
        if (plan->maximize) {
            append(row, ",\"evaluations\":");
            append_integer(row, evaluations);
            append(row, at_bound ? ",\"at_bound\":true" : ",\"at_bound\":false");
        }
        append(row, "}\n");
        return;
    }
    append_integer(row, index);
    append(row, result->ok ? ",ok," : ",failed,");
    append_csv_text(row, result->ok ? "" : result->message);
    double values[json_max_members];
    int present[json_max_members];
    const int count = result->ok ? json_case_values(&solved, values, present, json_max_members)
                                 : json_module_members(plan->module, nullptr, 0);
    for (int i = 0; i < count; ++i) {
        append(row, ",");
        const int room = row->length < row->size ? row->size - row->length : 0;
        if (result->ok && present[i] && room > 32) {
            row->length += write_number(row->buffer + row->length, room, values[i]);
        }
    }
    if (plan->maximize) {
        append(row, ",");
        append_integer(row, evaluations);
        append(row, at_bound ? ",true" : ",false");
    }
    append(row, "\n");
}

} // namespace

void sweep_cursor_start(sweep_cursor *cursor) { *cursor = sweep_cursor{nullptr, 0, 0, -1}; }

int sweep_format_header(const sweep_plan *plan, char *buffer, int size)
{
    if (plan->format != SWEEP_CSV) {
        return 0;
    }
    row_text row = {buffer, size, 0};
    append(&row, "case,status,message");
    json_member_info members[json_max_members];
    const int count = json_module_members(plan->module, members, json_max_members);
    for (int i = 0; i < count; ++i) {
        append(&row, ",");
        append(&row, members[i].group);
        append(&row, ".");
        append(&row, members[i].name);
    }
    if (plan->maximize) {
        append(&row, ",evaluations,at_bound");
    }
    append(&row, "\n");
    return row.length;
}

int sweep_format_case(const sweep_plan *plan, cea_chamber *chamber, sweep_cursor *cursor, long long index, char *buffer,
                      int size, int *failed)
{
    // The case line of the row: found by walking the text forwards, since
    // a cursor's rows come in case order.
    const long long wanted_line = index / plan->grid_rows;
    while (plan->cases_text != nullptr && cursor->line_index < wanted_line) {
        sweep_next_case_line(plan->cases_text, plan->cases_length, &cursor->position, &cursor->line,
                             &cursor->line_length);
        ++cursor->line_index;
    }
    long long axis_index[sweep_max_axes] = {0, 0, 0};
    long long grid_index = index % plan->grid_rows;
    for (int a = plan->axis_count - 1; a >= 0; --a) {
        axis_index[a] = grid_index % plan->axes[a].count;
        grid_index /= plan->axes[a].count;
    }
    case_result result;
    int evaluations = 1;
    int at_bound = 0;
    if (plan->maximize) {
        search_state search;
        search.plan = plan;
        search.chamber = chamber;
        search.line = cursor->line;
        search.line_length = cursor->line_length;
        search.axis_index = axis_index;
        search.evaluations = 0;
        search.best_value = -HUGE_VAL;
        search.best_x = 0.0;
        search.have_failure = 0;
        search.best = &result;
        search.first_failure[0] = '\0';
        at_bound = maximize(&search);
        evaluations = search.evaluations;
    } else {
        solve_case(plan, chamber, cursor->line, cursor->line_length, axis_index, 0, 0.0, &result);
    }
    row_text row = {buffer, size, 0};
    format_row(plan, index, &result, evaluations, at_bound, &row);
    *failed = result.ok ? 0 : 1;
    return row.length;
}

int sweep_open_chamber(const sweep_plan *plan, cea_chamber *chamber, char *message, int message_size)
{
    char error[error_buffer_size] = {0};
    if (!cea_chamber_open(chamber, plan->thermo_lib, engine_fuel_rp1(plan->module), error, error_buffer_size)) {
        if (message != nullptr && message_size > 0) {
            std::snprintf(message, static_cast<std::size_t>(message_size), "CEA initialization: %s", error);
        }
        return 0;
    }
    return 1;
}

int sweep_run(const sweep_plan *plan, cea_chamber *chamber, const sweep_callbacks *callbacks, sweep_outcome *outcome)
{
    *outcome = sweep_outcome{0, 0, 0, 0};
    char buffer[sweep_row_max_size];
    const int header = sweep_format_header(plan, buffer, sweep_row_max_size);
    if (header >= sweep_row_max_size ||
        (header > 0 && !callbacks->write_row(callbacks->row_user, buffer, static_cast<std::size_t>(header)))) {
        outcome->write_failed = 1;
        return 0;
    }
    sweep_cursor cursor;
    sweep_cursor_start(&cursor);
    for (long long index = plan->shard_index; index < plan->row_count; index += plan->shard_count) {
        if (callbacks->cancel != nullptr && *callbacks->cancel != 0) {
            outcome->cancelled = 1;
            return 1;
        }
        int failed = 0;
        const int length = sweep_format_case(plan, chamber, &cursor, index, buffer, sweep_row_max_size, &failed);
        if (length >= sweep_row_max_size ||
            !callbacks->write_row(callbacks->row_user, buffer, static_cast<std::size_t>(length))) {
            outcome->write_failed = 1;
            return 0;
        }
        outcome->rows_written += 1;
        outcome->rows_failed += failed;
        if (callbacks->progress != nullptr) {
            callbacks->progress(callbacks->progress_user, outcome->rows_written, plan->shard_rows,
                                outcome->rows_failed);
        }
    }
    return 1;
}
