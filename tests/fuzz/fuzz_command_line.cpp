// libFuzzer target over the program's command line: an arbitrary argument
// vector through parsing, validation, the run sequence and the reports, in
// process (lre_perf_run, the whole program that main calls).
//
// Input: words separated by NUL bytes, as an argument vector holds them. The
// first word is a control word, the rest is the argument vector from the
// program name on (so an input of one word runs the program with no
// arguments at all).
//
// Built twice from this source:
// - over the scripted stand-in for the equilibrium library (the default),
//   so that a run costs microseconds and the fuzzing goes to parsing,
//   validation and reporting; the control word scripts the stand-in's
//   chamber states, failures and error texts;
// - with LRE_FUZZ_REAL_LIBRARY, over the real library and the shipped
//   database (a run costs milliseconds); the control word's first byte then
//   picks the database path: the shipped database (for '0' to '9' and 2
//   values in 16 of the others), else a missing, garbled or empty file or a
//   folder ('<', '=', '>', '?'). The argument vector's own database
//   word is replaced (except a "--help" there), so that no fuzzed path is
//   ever opened.
//
// Checked: the run ends with status 0 or 1 and one of the documented
// outputs: the usage text on standard output (status 1, or 0 for "--help");
// one documented message on standard error and nothing on standard output
// (status 1); or a report (status 0, nothing on standard error): a text
// report whose every value is a finite number, or a valid JSON document.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../expected_usage.h"
#include "fuzz_input.h"
#include "stdout_capture.h"
#ifndef LRE_FUZZ_REAL_LIBRARY
#include "cea_double.h"
#endif

#include "lre_perf_run.h"

// The program's messages go to a temporary file, so that they can be checked
// while the real standard error still carries sanitizer reports and failed
// checks.
static std::FILE *captured_stderr = nullptr;

namespace {

using lre_fuzz::fail;

// Argument vectors longer than this add nothing but time.
const std::size_t max_words = 48;

// --- the documented messages ---------------------------------------------------

int starts_with(const std::string &text, const char *prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Labels of the chamber's library steps: those of opening it (reported as
// "CEA initialization: ...") and those of a solve ("Calculation failed: ...").
const char *const open_steps[] = {
    "CEA log setup",       "CEA thermo database",    "CEA reactant mixture",
    "CEA product mixture", "CEA equilibrium solver", "CEA equilibrium solution",
};
const char *const solve_steps[] = {
    "CEA mixture ratio",       "CEA inlet enthalpy",   "CEA HP equilibrium",          "CEA convergence check",
    "CEA chamber temperature", "CEA molecular weight", "CEA frozen heat capacity cp", "CEA frozen heat capacity cv",
};

// "<step> failed (CEA code N)", then ": <library text>" when the library
// gave one.
template <std::size_t count>
int is_step_failure(const std::string &detail, const char *const (&steps)[count])
{
    for (const char *step : steps) {
        const std::string head = std::string(step) + " failed (CEA code ";
        if (!starts_with(detail, head.c_str())) {
            continue;
        }
        const char *rest = detail.c_str() + head.size();
        char *end = nullptr;
        errno = 0;
        std::strtol(rest, &end, 10);
        if (end == rest || errno != 0) {
            return 0;
        }
        return std::strcmp(end, ")") == 0 || (std::strncmp(end, "): ", 3) == 0 && end[3] != '\0');
    }
    return 0;
}

int is_calculation_detail(const std::string &detail)
{
    static const char *const fixed[] = {
        "",
        "CEA HP equilibrium did not converge",
        "CEA returned an invalid chamber state",
        "Invalid or physically inconsistent model input.",
        "Could not bracket chamber pressure while preserving throat area.",
        "Throttle iteration did not preserve the reference throat area.",
        "Could not bracket the selected sea-level thrust below the target.",
        "Could not bracket the selected sea-level thrust above the target.",
        "Throttle iteration did not reach the selected sea-level thrust.",
    };
    for (const char *text : fixed) {
        if (detail == text) {
            return 1;
        }
    }
    return is_step_failure(detail, solve_steps);
}

int is_documented_message(const std::string &text)
{
    static const char *const fixed[] = {
        "Engine must be tq12b, tq15b, or yf100k.\n",
        "Throttle input is available for TQ-12B and YF-100K only.\n",
        "YF-100K throttle percentage must be between 65 and 105.\n",
        "TQ-12B throttle percentage must be between 40 and 110.\n",
        "Altitude must be between 0 and 86 km geometric altitude.\n",
        "The TQ-15B module uses vacuum conditions and does not vary altitude.\n",
        "YF-100K epsilon must be between 20 and 36.\n",
    };
    for (const char *message : fixed) {
        if (text == message) {
            return 1;
        }
    }
    static const char *const fixed_for_yf100k[] = {
        "--beta", "--pc-mpa", "--k", "--eta-c-star", "--eta-cf", "--t-oxygen-k", "--t-methane-k",
    };
    for (const char *option : fixed_for_yf100k) {
        if (text == std::string(option) + " is not adjustable in the YF-100K module.\n") {
            return 1;
        }
    }
    if (text.empty() || text.back() != '\n') {
        return 0;
    }
    const std::string line = text.substr(0, text.size() - 1);
    if (line.find('\n') != std::string::npos) {
        return 0;
    }
    const char *const open_prefix = "CEA initialization: ";
    const char *const solve_prefix = "Calculation failed: ";
    if (starts_with(line, open_prefix)) {
        const std::string detail = line.substr(std::strlen(open_prefix));
        return detail.size() <= 511 && is_step_failure(detail, open_steps);
    }
    if (starts_with(line, solve_prefix)) {
        const std::string detail = line.substr(std::strlen(solve_prefix));
        return detail.size() <= 511 && is_calculation_detail(detail);
    }
    return 0;
}

// --- the reports ---------------------------------------------------------------

// Every line after the two heading lines is "[TAG] name = value [unit]" with
// a finite value.
int is_text_report(const std::string &text)
{
    static const char *const headings[] = {
        "\nTQ-12B | LOX / liquid methane | gas-generator cycle\nStandard atmosphere | steady nominal state\n",
        "\nTQ-15B | LOX / liquid methane | gas-generator cycle\n"
        "Vacuum reference condition | p_a = 0 Pa | steady nominal state\n",
        "\nYF-100K family | LOX / RP-1 | oxidizer-rich staged combustion\n"
        "Standard atmosphere | steady selected state\n",
    };
    std::size_t position = std::string::npos;
    for (const char *heading : headings) {
        if (starts_with(text, heading)) {
            position = std::strlen(heading);
        }
    }
    if (position == std::string::npos || text.back() != '\n') {
        return 0;
    }
    int lines = 0;
    while (position < text.size()) {
        const std::size_t end = text.find('\n', position);
        const std::string line = text.substr(position, end - position);
        position = end + 1;
        if (!starts_with(line, "[KNOWN]      ") && !starts_with(line, "[CALCULATED] ") &&
            !starts_with(line, "[ESTIMATED]  ")) {
            return 0;
        }
        // The last " = ": some names are equations themselves ("F_en,v = F_v").
        const std::size_t equals = line.rfind(" = ");
        if (equals == std::string::npos) {
            return 0;
        }
        const char *value = line.c_str() + equals + 3;
        char *value_end = nullptr;
        const double number = std::strtod(value, &value_end);
        if (value_end == value || !std::isfinite(number) ||
            (*value_end != '\0' && *value_end != ' ' && *value_end != '%')) {
            return 0;
        }
        ++lines;
    }
    return lines > 0;
}

// A JSON value by the grammar of RFC 8259 (so "nan" or "inf" is refused).
struct json_reader {
    const char *at;
    int depth;
};

void skip_space(json_reader *r)
{
    while (*r->at == ' ' || *r->at == '\n' || *r->at == '\t' || *r->at == '\r') {
        ++r->at;
    }
}

int json_value(json_reader *r);

int json_string(json_reader *r)
{
    if (*r->at != '"') {
        return 0;
    }
    ++r->at;
    while (*r->at != '"') {
        const unsigned char c = static_cast<unsigned char>(*r->at);
        if (c < 0x20) { // the terminator or a control character
            return 0;
        }
        if (c == '\\') {
            ++r->at;
            if (*r->at == 'u') {
                for (int i = 1; i <= 4; ++i) {
                    if (!std::isxdigit(static_cast<unsigned char>(r->at[i]))) {
                        return 0;
                    }
                }
                r->at += 4;
            } else if (std::strchr("\"\\/bfnrt", *r->at) == nullptr || *r->at == '\0') {
                return 0;
            }
        }
        ++r->at;
    }
    ++r->at;
    return 1;
}

int json_digits(json_reader *r)
{
    if (!std::isdigit(static_cast<unsigned char>(*r->at))) {
        return 0;
    }
    while (std::isdigit(static_cast<unsigned char>(*r->at))) {
        ++r->at;
    }
    return 1;
}

int json_number(json_reader *r)
{
    if (*r->at == '-') {
        ++r->at;
    }
    if (*r->at == '0') {
        ++r->at;
    } else if (!json_digits(r)) {
        return 0;
    }
    if (*r->at == '.') {
        ++r->at;
        if (!json_digits(r)) {
            return 0;
        }
    }
    if (*r->at == 'e' || *r->at == 'E') {
        ++r->at;
        if (*r->at == '+' || *r->at == '-') {
            ++r->at;
        }
        if (!json_digits(r)) {
            return 0;
        }
    }
    return 1;
}

// Members (objects) or elements (arrays) up to the closing bracket.
int json_container(json_reader *r, char close, int members)
{
    ++r->at;
    skip_space(r);
    if (*r->at == close) {
        ++r->at;
        return 1;
    }
    for (;;) {
        skip_space(r);
        if (members) {
            if (!json_string(r)) {
                return 0;
            }
            skip_space(r);
            if (*r->at != ':') {
                return 0;
            }
            ++r->at;
        }
        if (!json_value(r)) {
            return 0;
        }
        skip_space(r);
        if (*r->at == ',') {
            ++r->at;
            continue;
        }
        if (*r->at != close) {
            return 0;
        }
        ++r->at;
        return 1;
    }
}

int json_value(json_reader *r)
{
    if (++r->depth > 64) {
        return 0;
    }
    skip_space(r);
    int ok = 0;
    if (*r->at == '{') {
        ok = json_container(r, '}', 1);
    } else if (*r->at == '[') {
        ok = json_container(r, ']', 0);
    } else if (*r->at == '"') {
        ok = json_string(r);
    } else if (std::strncmp(r->at, "true", 4) == 0 || std::strncmp(r->at, "null", 4) == 0) {
        r->at += 4;
        ok = 1;
    } else if (std::strncmp(r->at, "false", 5) == 0) {
        r->at += 5;
        ok = 1;
    } else {
        ok = json_number(r);
    }
    --r->depth;
    return ok;
}

int is_json_document(const std::string &text)
{
    if (text.empty() || text[0] != '{' || text.back() != '\n' || text.find('\0') != std::string::npos) {
        return 0;
    }
    json_reader r = {text.c_str(), 0};
    if (!json_value(&r)) {
        return 0;
    }
    skip_space(&r);
    return *r.at == '\0';
}

// --- the equilibrium library's side of the run ----------------------------------

// The control word cannot hold a NUL, so its bytes count from the digit '0':
// "0", like a missing byte, is 0, and "0123" reads as 0, 1, 2, 3.
std::uint8_t control_byte(const std::string &control, std::size_t index)
{
    if (index >= control.size()) {
        return 0;
    }
    return static_cast<std::uint8_t>(static_cast<unsigned char>(control[index]) - '0');
}

#ifdef LRE_FUZZ_REAL_LIBRARY

// The database word of the argument vector, chosen by the control word.
std::string database_path(const std::string &control)
{
    switch (control_byte(control, 0) % 16) {
    case 12: return CEA_TEST_DATA_DIR "/no_such_file.inp";
    case 13: return CEA_TEST_DATA_DIR "/thermo_garbage.inp";
    case 14: return CEA_TEST_DATA_DIR "/thermo_empty.inp";
    case 15: return CEA_TEST_DATA_DIR;
    default: return LRE_THERMO_DATABASE;
    }
}

#else

// Control word of the scripted library, byte by byte (a missing byte is 0,
// and all zeros give a library that works; see control_byte):
//   1: chamber states: 0-3 those of the module's propellants; 4 not
//      converged at the nth solve; 5 an invalid value at the nth solve;
//      6 scaled T, M and cp; 7 varying with pressure
//   2: n (0: every solve); 3, 4: which value, or the scale factors
//   5: 1 to fail an operation: 6 which, 7 on its nth call (0: every call),
//      8 with which status
//   9: the error text: 0 none, 1 short, 2-4 lengths at the program's limits,
//      5 conversion specifications, 6 unterminated, 7 a wrong length
//   10: the wrong length
struct scripted_chamber {
    int mode;
    int nth;
    std::uint8_t value_choice;
    std::uint8_t scale;
    int solves;
};

void scripted_state(double p_bar, const double *, cea_double_state *state, void *user)
{
    scripted_chamber *script = static_cast<scripted_chamber *>(user);
    script->solves += 1;
    // States near the real ones: liquid methane, or RP-1 for YF-100K.
    const int rp1 = std::strcmp(cea_double_last_args()->reactant_names[1], "RP-1") == 0;
    *state = rp1 ? cea_double_state{3813.0, 23.8, 2.043, 1.6937, 1} : cea_double_state{3500.0, 21.5, 2.0, 1.6, 1};
    const int this_one = script->nth == 0 || script->nth == script->solves;
    if (script->mode == 4 && this_one) {
        state->converged = 0;
    } else if (script->mode == 5 && this_one) {
        const double nan = std::nan("");
        const double inf = HUGE_VAL;
        switch (script->value_choice % 8) {
        case 0: state->t_c = nan; break;
        case 1: state->t_c = 0.0; break;
        case 2: state->t_c = -1.0; break;
        case 3: state->m_r = inf; break;
        case 4: state->cv = state->cp; break;
        case 5: state->cv = 0.0; break;
        case 6: state->cp = 0.5 * state->cv; break;
        default: state->m_r = 0.0; break;
        }
    } else if (script->mode == 6) {
        state->t_c *= 0.25 + script->value_choice / 64.0;
        state->m_r *= 0.25 + script->scale / 64.0;
        state->cp = state->cv * (1.0 + script->scale / 256.0);
    } else if (script->mode == 7 && p_bar > 0.0) {
        const double exponent = (script->value_choice - 128) / 1280.0;
        state->t_c *= std::pow(p_bar / 140.0, exponent);
    }
}

void script_library(const std::string &control, scripted_chamber *script)
{
    cea_double_reset();
    const std::uint8_t mode = control_byte(control, 1) % 8;
    *script = scripted_chamber{mode < 4 ? 0 : mode, control_byte(control, 2) % 8, control_byte(control, 3),
                               control_byte(control, 4), 0};
    cea_double_set_state_function(scripted_state, script);

    if (control_byte(control, 5) % 4 == 1) {
        static const int statuses[] = {1, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, -1, 99};
        const int count = static_cast<int>(sizeof statuses / sizeof statuses[0]);
        cea_double_fail(control_byte(control, 6) % CEA_DOUBLE_OP_COUNT, control_byte(control, 7) % 8,
                        statuses[control_byte(control, 8) % count]);
    }
    const std::string long_text(600, 'e');
    switch (control_byte(control, 9) % 8) {
    case 0: break;
    case 1: cea_double_set_error("species 'X' is not in the thermodynamic database", -1); break;
    case 2: cea_double_set_error(long_text.substr(0, 254).c_str(), -1); break;
    case 3: cea_double_set_error(long_text.substr(0, 255).c_str(), -1); break;
    case 4: cea_double_set_error(long_text.substr(0, 511).c_str(), -1); break;
    case 5: cea_double_set_error("%s%n%d%%", -1); break;
    case 6:
        cea_double_set_error("an error text without its terminator", -1);
        cea_double_set_unterminated_error(1);
        break;
    default: {
        static const int lengths[] = {-5, 0, 1, 40, 41, 42, 255, 256, 100000};
        cea_double_set_error("a text of forty characters, exactly 40.", lengths[control_byte(control, 10) % 9]);
        break;
    }
    }
}

#endif

// --- the run -------------------------------------------------------------------

void check_run(int status, const std::vector<std::string> &words, const std::string &out, const std::string &err)
{
    const int argc = static_cast<int>(words.size());
    const std::string program_name = argc > 0 && !words[0].empty() ? words[0] : "lre-perf";
    const int help = argc >= 2 && words[1] == "--help";
    if (status != 0 && status != 1) {
        fail("exit status %d", status);
    }
    if (out == lre_test::expected_usage(program_name)) {
        if (!err.empty()) {
            fail("the usage text came with a message: %s", err.c_str());
        }
        if (status != (help ? 0 : 1)) {
            fail("the usage text came with status %d", status);
        }
        return;
    }
    if (out.empty()) {
        if (status != 1) {
            fail("status %d with nothing printed", status);
        }
        if (!is_documented_message(err)) {
            fail("not a documented message: \"%s\"", err.c_str());
        }
        return;
    }
    if (status != 0 || !err.empty() || help || argc < 2) {
        fail("a report with status %d and the message \"%s\"", status, err.c_str());
    }
    int json_asked = 0;
    for (int i = 2; i < argc; ++i) {
        json_asked = json_asked || words[static_cast<std::size_t>(i)] == "--json";
    }
    // "--json" anywhere else than as an option word ends the run before
    // any report: as a value it is not a number, nor a module.
    if (json_asked ? !is_json_document(out) : !is_text_report(out)) {
        fail("not a %s report:\n%s", json_asked ? "JSON" : "text", out.c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static lre_fuzz::stdout_capture capture = {nullptr, -1};
    if (captured_stderr == nullptr) {
        captured_stderr = std::tmpfile();
        if (captured_stderr == nullptr) {
            fail("cannot create a temporary file for standard error");
        }
    }

    // Words as an argument vector holds them; the control word first.
    std::vector<std::string> words;
    std::string control;
    const char *text = reinterpret_cast<const char *>(data);
    std::size_t start = 0;
    int have_control = 0;
    for (std::size_t i = 0; i <= size && words.size() < max_words; ++i) {
        if (i == size || data[i] == 0) {
            if (have_control) {
                words.emplace_back(text + start, i - start);
            } else {
                control.assign(text + start, i - start);
                have_control = 1;
            }
            start = i + 1;
        }
    }

#ifdef LRE_FUZZ_REAL_LIBRARY
    if (words.size() >= 2 && words[1] != "--help") {
        words[1] = database_path(control);
    }
#else
    scripted_chamber script;
    script_library(control, &script);
#endif

    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    std::rewind(captured_stderr);
    if (ftruncate(fileno(captured_stderr), 0) != 0) {
        fail("cannot empty the captured standard error");
    }
    lre_fuzz::begin_capture(&capture);
    const int status = lre_perf_run(static_cast<int>(words.size()), argv.data(), stdout, captured_stderr);
    const std::string out = lre_fuzz::end_capture(&capture);
    std::fflush(captured_stderr);
    std::string err;
    std::rewind(captured_stderr);
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, captured_stderr)) > 0) {
        err.append(chunk, got);
    }
    check_run(status, words, out, err);
    return 0;
}
