// Option handling: one option word and its value applied to a reference
// case, the module pass, and the range checks of the command line.
#include "case_options.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine_modules.h"

int parse_number(const char *text, double *value)
{
    if (text == nullptr || value == nullptr) {
        return 0;
    }
    char *end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    *value = parsed;
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed)) {
        return 0;
    }
    return 1;
}

// snprintf into the caller's buffer, which may be absent.
static void write_message(char *message, int message_size, const char *format, const char *word)
{
    if (message != nullptr && message_size > 0) {
        std::snprintf(message, static_cast<std::size_t>(message_size), format, word != nullptr ? word : "");
    }
}

// The record field of each option, in the option's unit.
static void set_option(int module, const char *name, double value, engine_case *reference)
{
    if (std::strcmp(name, "--beta") == 0) {
        reference->beta = value;
    } else if (std::strcmp(name, "--pc-mpa") == 0) {
        reference->p_c = value * pa_per_mpa;
    } else if (std::strcmp(name, "--k") == 0) {
        reference->k = value;
        // TQ-15B has one mixture ratio for chamber and engine alike.
        if (module == ENGINE_TQ15B) {
            reference->k_en = value;
        }
    } else if (std::strcmp(name, "--epsilon") == 0) {
        reference->epsilon = value;
    } else if (std::strcmp(name, "--eta-c-star") == 0) {
        reference->eta_c_star = value;
    } else if (std::strcmp(name, "--eta-cf") == 0) {
        reference->eta_c_f = value;
    } else if (std::strcmp(name, "--t-oxygen-k") == 0) {
        reference->t_o = value;
    } else if (std::strcmp(name, "--t-methane-k") == 0) {
        reference->t_f = value;
    } else if (std::strcmp(name, "--throttle-pct") == 0) {
        reference->lambda = value / percent_per_unit;
    } else if (std::strcmp(name, "--altitude-km") == 0) {
        reference->h = value * m_per_km;
    } else if (std::strcmp(name, "--burn-s") == 0) {
        reference->t_b = value;
    }
}

option_outcome apply_case_option(int module, const char *option_word, const char *value_word, engine_case *reference,
                                 char *message, int message_size)
{
    if (option_word == nullptr || reference == nullptr) {
        write_message(message, message_size, "%s", "No option given.");
        return OPTION_UNKNOWN;
    }
    // The value is read before the option word is looked at, so an unknown
    // option with a number fails as unknown, one without as a bad value.
    double value = 0.0;
    if (value_word == nullptr) {
        write_message(message, message_size, "%s needs a value.", option_word);
        return OPTION_BAD_VALUE;
    }
    if (!parse_number(value_word, &value)) {
        write_message(message, message_size, "Not a number: \"%s\".", value_word);
        return OPTION_BAD_VALUE;
    }
    return apply_case_value(module, option_word, value, reference, message, message_size);
}

option_outcome apply_case_value(int module, const char *option_word, double value, engine_case *reference,
                                char *message, int message_size)
{
    if (option_word == nullptr || reference == nullptr) {
        write_message(message, message_size, "%s", "No option given.");
        return OPTION_UNKNOWN;
    }
    const case_option *option = find_case_option(option_word);
    if (option != nullptr && (option->modules & module_bit(module)) == 0) {
        if (module == ENGINE_YF100K) {
            write_message(message, message_size, "%s is not adjustable in the YF-100K module.", option_word);
        } else {
            // The throttle is the one option TQ-15B refuses.
            write_message(message, message_size, "%s", "Throttle input is available for TQ-12B and YF-100K only.");
        }
        return OPTION_REFUSED;
    }
    if (option == nullptr) {
        write_message(message, message_size, "Unknown option \"%s\".", option_word);
        return OPTION_UNKNOWN;
    }
    set_option(module, option->name, value, reference);
    return OPTION_APPLIED;
}

option_outcome select_engine_module(int count, const char *const *words, int *module, char *message, int message_size)
{
    int selected = ENGINE_TQ12B;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(words[i], "--engine") != 0) {
            continue;
        }
        if (i + 1 >= count) {
            write_message(message, message_size, "%s needs a value.", "--engine");
            return OPTION_BAD_VALUE;
        }
        if (!parse_engine_key(words[i + 1], &selected)) {
            write_message(message, message_size, "%s", "Engine must be tq12b, tq15b, or yf100k.");
            return OPTION_REFUSED;
        }
        ++i;
    }
    *module = selected;
    return OPTION_APPLIED;
}

// Inclusive range test in the option's unit that also refuses NaN. The
// record's SI value is compared with the limit converted the same way the
// option converts its value.
static int within(double value, double low, double high) { return value >= low && value <= high; }

// The limits are printed with "%g", which writes each of them as the
// integer the messages have always named.
int validate_case_ranges(int module, const engine_case *reference, char *message, int message_size)
{
    const char *format = nullptr;
    double low = 0.0;
    double high = 0.0;
    if (module == ENGINE_YF100K && !within(reference->lambda, yf100k_throttle_min_percent / percent_per_unit,
                                           yf100k_throttle_max_percent / percent_per_unit)) {
        format = "YF-100K throttle percentage must be between %g and %g.";
        low = yf100k_throttle_min_percent;
        high = yf100k_throttle_max_percent;
    } else if (module == ENGINE_TQ12B && !within(reference->lambda, tq12b_throttle_min_percent / percent_per_unit,
                                                 tq12b_throttle_max_percent / percent_per_unit)) {
        format = "TQ-12B throttle percentage must be between %g and %g.";
        low = tq12b_throttle_min_percent;
        high = tq12b_throttle_max_percent;
    } else if (!within(reference->h, altitude_min_km * m_per_km, altitude_max_km * m_per_km)) {
        format = "Altitude must be between %g and %g km geometric altitude.";
        low = altitude_min_km;
        high = altitude_max_km;
    } else if (module == ENGINE_TQ15B && reference->h != 0.0) {
        format = "The TQ-15B module uses vacuum conditions and does not vary altitude.";
    } else if (module == ENGINE_YF100K && !within(reference->epsilon, yf100k_epsilon_min, yf100k_epsilon_max)) {
        format = "YF-100K epsilon must be between %g and %g.";
        low = yf100k_epsilon_min;
        high = yf100k_epsilon_max;
    }
    if (format == nullptr) {
        return 1;
    }
    if (message != nullptr && message_size > 0) {
        std::snprintf(message, static_cast<std::size_t>(message_size), format, low, high);
    }
    return 0;
}
