// The sweep plan: lre-perf's options for the base case, then the sweep's
// own words, read into a plan that refers to the words instead of copying.
#include "sweep_plan.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "case_options.h"
#include "engine_modules.h"
#include "json_output.h"

namespace {

// A range "FROM:TO:STEP" includes TO when TO lies this close to a step,
// relative to the step.
const double range_end_tolerance = 1e-9;
// Values of one range axis; far beyond any row limit, and small enough that
// the row count of three axes and the case lines cannot overflow.
const double max_axis_values = 1e9;
// Rows of one plan before any limit is applied: the product stays exact.
const long long max_plan_rows = 1000000000000000LL;
// A number inside an axis or shard text is copied out to be read whole.
enum { number_text_size = 64 };

__attribute__((format(printf, 3, 4))) int refuse(char *message, int message_size, const char *format, ...)
{
    if (message != nullptr && message_size > 0) {
        std::va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(message, static_cast<std::size_t>(message_size), format, arguments);
        va_end(arguments);
    }
    return 0;
}

// Reads text[0..length) as one number by lre-perf's rules.
int read_number(const char *text, std::size_t length, double *value)
{
    char copy[number_text_size];
    if (length == 0 || length >= sizeof copy) {
        return 0;
    }
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return parse_number(copy, value);
}

// Reads one to nine digits as a whole number.
int read_digits(const char *text, long long *number)
{
    long long value = 0;
    int digits = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || digits == 9) {
            return 0;
        }
        value = value * 10 + (*c - '0');
        ++digits;
    }
    *number = value;
    return digits > 0;
}

// Reads "K/N" with 1 <= K <= N, digits only.
int read_shard(const char *text, long long *index, long long *count)
{
    long long numbers[2] = {0, 0};
    int part = 0;
    int digits = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c == '/' && part == 0 && digits > 0) {
            part = 1;
            digits = 0;
        } else if (*c >= '0' && *c <= '9' && digits < 9) {
            numbers[part] = numbers[part] * 10 + (*c - '0');
            ++digits;
        } else {
            return 0;
        }
    }
    if (part != 1 || digits == 0 || numbers[0] < 1 || numbers[0] > numbers[1]) {
        return 0;
    }
    *index = numbers[0] - 1;
    *count = numbers[1];
    return 1;
}

// "NAME=..." with NAME a numeric option the module accepts. Returns the
// option's index and the text after '=', or 0 with a message.
int read_axis_name(const sweep_plan *plan, const char *word, const char *what, int *option_index, const char **rest,
                   char *message, int message_size)
{
    const char *equals = std::strchr(word, '=');
    if (equals == nullptr) {
        return refuse(message, message_size, "%s \"%s\" must read NAME=VALUES.", what, word);
    }
    char name[number_text_size];
    const std::size_t length = static_cast<std::size_t>(equals - word);
    if (length >= sizeof name) {
        return refuse(message, message_size, "%s \"%s\": no such option.", what, word);
    }
    std::memcpy(name, word, length);
    name[length] = '\0';
    if (std::strcmp(name, "engine") == 0) {
        return refuse(message, message_size, "%s engine: the module cannot be varied, one module per sweep.", what);
    }
    const case_option *option = find_case_option_bare(name);
    if (option == nullptr) {
        return refuse(message, message_size, "%s %s: no such numeric option.", what, name);
    }
    engine_case scratch = plan->base;
    char refusal[sweep_message_size];
    if (apply_case_value(plan->module, option->name, 0.0, &scratch, refusal, sizeof refusal) != OPTION_APPLIED) {
        return refuse(message, message_size, "%s", refusal);
    }
    for (int i = 0; i < case_option_count(); ++i) {
        if (case_option_at(i) == option) {
            *option_index = i;
        }
    }
    *rest = equals + 1;
    return 1;
}

// "NAME=FROM:TO:STEP" or "NAME=V1,V2,...".
int read_axis(const sweep_plan *plan, const char *word, sweep_axis *axis, char *message, int message_size)
{
    const char *values = nullptr;
    if (!read_axis_name(plan, word, "--vary", &axis->option, &values, message, message_size) || values == nullptr) {
        return 0;
    }
    if (std::strchr(values, ':') != nullptr) {
        double parts[3] = {0.0, 0.0, 0.0};
        const char *start = values;
        for (int i = 0; i < 3; ++i) {
            const char *end = i < 2 ? std::strchr(start, ':') : start + std::strlen(start);
            if (end == nullptr || !read_number(start, static_cast<std::size_t>(end - start), &parts[i]) ||
                (i == 2 && std::strchr(start, ':') != nullptr)) {
                return refuse(message, message_size, "--vary %s: a range must read FROM:TO:STEP with three numbers.",
                              word);
            }
            start = end + 1;
        }
        const double steps = (parts[1] - parts[0]) / parts[2];
        if (parts[2] == 0.0 || !std::isfinite(steps) || steps < -range_end_tolerance) {
            return refuse(message, message_size, "--vary %s: the step never leads from FROM to TO.", word);
        }
        if (steps + 1.0 > max_axis_values) {
            return refuse(message, message_size, "--vary %s: more than %.0f values.", word, max_axis_values);
        }
        axis->is_list = 0;
        axis->from = parts[0];
        axis->to = parts[1];
        axis->step = parts[2];
        axis->count = static_cast<long long>(std::floor(steps + range_end_tolerance)) + 1;
        return 1;
    }
    axis->is_list = 1;
    axis->count = 0;
    const char *start = values;
    for (;;) {
        const char *comma = std::strchr(start, ',');
        const char *end = comma != nullptr ? comma : start + std::strlen(start);
        if (axis->count == sweep_max_list_values) {
            return refuse(message, message_size, "--vary %s: more than %d values in a list.", word,
                          static_cast<int>(sweep_max_list_values));
        }
        if (!read_number(start, static_cast<std::size_t>(end - start), &axis->values[axis->count])) {
            return refuse(message, message_size, "--vary %s: \"%.*s\" is not a number.", word,
                          static_cast<int>(end - start), start);
        }
        ++axis->count;
        if (comma == nullptr) {
            return 1;
        }
        start = comma + 1;
    }
}

int read_over(sweep_plan *plan, const char *word, char *message, int message_size)
{
    const char *bounds = nullptr;
    if (!read_axis_name(plan, word, "--over", &plan->over_option, &bounds, message, message_size) ||
        bounds == nullptr) {
        return 0;
    }
    const char *colon = std::strchr(bounds, ':');
    if (colon == nullptr || !read_number(bounds, static_cast<std::size_t>(colon - bounds), &plan->over_low) ||
        !read_number(colon + 1, std::strlen(colon + 1), &plan->over_high) || !(plan->over_low < plan->over_high)) {
        return refuse(message, message_size, "--over %s: must read NAME=LO:HI with LO below HI.", word);
    }
    return 1;
}

// The words of the sweep itself that take a value.
int takes_value(const char *word)
{
    static const char *const words[] = {"--vary",   "--cases",  "--maximize", "--over",
                                        "--format", "--output", "--shard",    "--jobs"};
    for (const char *sweep_word : words) {
        if (std::strcmp(word, sweep_word) == 0) {
            return 1;
        }
    }
    return 0;
}

int read_sweep_word(sweep_plan *plan, const char *word, const char *value, char *message, int message_size)
{
    if (std::strcmp(word, "--vary") == 0) {
        if (plan->axis_count == sweep_max_axes) {
            return refuse(message, message_size, "At most %d --vary axes.", static_cast<int>(sweep_max_axes));
        }
        if (!read_axis(plan, value, &plan->axes[plan->axis_count], message, message_size)) {
            return 0;
        }
        for (int i = 0; i < plan->axis_count; ++i) {
            if (plan->axes[i].option == plan->axes[plan->axis_count].option) {
                return refuse(message, message_size, "--vary %s: that option is varied already.", value);
            }
        }
        ++plan->axis_count;
    } else if (std::strcmp(word, "--cases") == 0) {
        plan->cases_path = value;
    } else if (std::strcmp(word, "--maximize") == 0) {
        plan->maximize = 1;
        plan->member = value;
    } else if (std::strcmp(word, "--over") == 0) {
        if (!read_over(plan, value, message, message_size)) {
            return 0;
        }
        plan->over_given = 1;
    } else if (std::strcmp(word, "--format") == 0) {
        if (std::strcmp(value, "csv") == 0) {
            plan->format = SWEEP_CSV;
        } else if (std::strcmp(value, "jsonl") == 0) {
            plan->format = SWEEP_JSONL;
        } else {
            return refuse(message, message_size, "--format %s: the format is csv or jsonl.", value);
        }
    } else if (std::strcmp(word, "--output") == 0) {
        plan->output_path = value;
    } else if (std::strcmp(word, "--jobs") == 0) {
        long long jobs = 0;
        if (!read_digits(value, &jobs) || jobs < 1 || jobs > sweep_max_jobs) {
            return refuse(message, message_size, "--jobs %s: a whole number from 1 to %d.", value,
                          static_cast<int>(sweep_max_jobs));
        }
        plan->jobs = static_cast<int>(jobs);
    } else if (!read_shard(value, &plan->shard_index, &plan->shard_count)) {
        return refuse(message, message_size, "--shard %s: must read K/N with 1 <= K <= N.", value);
    }
    return 1;
}

// What the plan asks beyond each word on its own.
int check_plan(sweep_plan *plan, char *message, int message_size)
{
    if (plan->maximize != plan->over_given) {
        return refuse(message, message_size, "--maximize and --over go together.");
    }
    if (plan->maximize) {
        plan->member_index = json_find_member(plan->module, plan->member);
        if (plan->member_index < 0) {
            return refuse(message, message_size, "The %s document has no member \"%s\".", engine_key(plan->module),
                          plan->member);
        }
        for (int i = 0; i < plan->axis_count; ++i) {
            if (plan->axes[i].option == plan->over_option) {
                return refuse(message, message_size, "--over %s: that option is varied already.",
                              case_option_at(plan->over_option)->name + 2);
            }
        }
    }
    long long rows = 1;
    for (int i = 0; i < plan->axis_count; ++i) {
        if (rows > max_plan_rows / plan->axes[i].count) {
            return refuse(message, message_size, "More than %lld cases.", max_plan_rows);
        }
        rows *= plan->axes[i].count;
    }
    plan->grid_rows = rows;
    plan->row_count = rows;
    sweep_plan_count_shard(plan);
    return 1;
}

} // namespace

void sweep_plan_count_shard(sweep_plan *plan)
{
    const long long first = plan->shard_index;
    plan->shard_rows =
        plan->row_count > first ? (plan->row_count - first + plan->shard_count - 1) / plan->shard_count : 0;
}

int sweep_plan_parse(sweep_plan *plan, int count, const char *const *words, char *message, int message_size)
{
    std::memset(plan, 0, sizeof *plan);
    plan->shard_count = 1;
    plan->over_option = -1;
    plan->member_index = -1;
    if (count < 1 || words[0] == nullptr) {
        return refuse(message, message_size, "No database path (THERMO_LIB) given.");
    }
    plan->thermo_lib = words[0];
    // The module first, wherever "--engine" stands, as in lre-perf.
    char module_message[sweep_message_size];
    const option_outcome selected =
        select_engine_module(count - 1, words + 1, &plan->module, module_message, sizeof module_message);
    if (selected != OPTION_APPLIED) {
        return refuse(message, message_size, "%s", module_message);
    }
    set_defaults(plan->module, &plan->base);

    for (int i = 1; i < count; ++i) {
        const char *word = words[i];
        const char *value = i + 1 < count ? words[i + 1] : nullptr;
        if (std::strcmp(word, "--engine") == 0) {
            ++i;
        } else if (std::strcmp(word, "--json") == 0) {
            // lre-perf's output switch: a sweep's rows always hold the document.
        } else if (std::strcmp(word, "--progress") == 0) {
            plan->progress = 1;
        } else if (takes_value(word)) {
            if (value == nullptr) {
                return refuse(message, message_size, "%s needs a value.", word);
            }
            if (!read_sweep_word(plan, word, value, message, message_size)) {
                return 0;
            }
            ++i;
        } else {
            if (apply_case_option(plan->module, word, value, &plan->base, message, message_size) != OPTION_APPLIED) {
                return 0;
            }
            ++i;
        }
    }
    return check_plan(plan, message, message_size);
}

// The next case line at or after text[*position]: non-empty, not a comment.
int sweep_next_case_line(const char *text, std::size_t length, std::size_t *position, const char **line,
                         std::size_t *line_length)
{
    while (*position < length) {
        const char *start = text + *position;
        const void *newline = std::memchr(start, '\n', length - *position);
        const std::size_t size = newline != nullptr
                                     ? static_cast<std::size_t>(static_cast<const char *>(newline) - start)
                                     : length - *position;
        *position += size + 1;
        std::size_t first = 0;
        while (first < size && (start[first] == ' ' || start[first] == '\t' || start[first] == '\r')) {
            ++first;
        }
        if (first < size && start[first] != '#') {
            *line = start;
            *line_length = size;
            return 1;
        }
    }
    return 0;
}

int sweep_plan_set_cases(sweep_plan *plan, const char *text, std::size_t length, char *message, int message_size)
{
    plan->cases_text = text;
    plan->cases_length = length;
    plan->case_line_count = 0;
    std::size_t position = 0;
    const char *line = nullptr;
    std::size_t line_length = 0;
    while (sweep_next_case_line(text, length, &position, &line, &line_length)) {
        ++plan->case_line_count;
    }
    if (plan->case_line_count == 0) {
        return refuse(message, message_size, "The case text %s holds no case.",
                      plan->cases_path != nullptr ? plan->cases_path : "");
    }
    if (plan->grid_rows > max_plan_rows / plan->case_line_count) {
        return refuse(message, message_size, "More than %lld cases.", max_plan_rows);
    }
    plan->row_count = plan->grid_rows * plan->case_line_count;
    sweep_plan_count_shard(plan);
    return 1;
}

int sweep_plan_check_limit(const sweep_plan *plan, long long max_rows, char *message, int message_size)
{
    if (plan->shard_rows > max_rows) {
        return refuse(message, message_size, "The sweep has %lld cases, more than the limit of %lld.", plan->shard_rows,
                      max_rows);
    }
    return 1;
}

double sweep_axis_value(const sweep_axis *axis, long long index)
{
    if (axis->is_list) {
        return axis->values[index];
    }
    const double value = axis->from + static_cast<double>(index) * axis->step;
    // The last value of a range that ends on a step is TO itself.
    if (std::fabs(value - axis->to) <= range_end_tolerance * std::fabs(axis->step)) {
        return axis->to;
    }
    return value;
}
