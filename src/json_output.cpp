// The JSON document of a solved case, read by a separate user interface.
// The layout is fixed byte for byte (the interface and the checked-in
// documents depend on it): two-space indentation per level, one member per
// line, numbers as "%.12g". The compact form carries the same members on one
// line. One table of members, in document order, serves every form.
#include "json_output.h"

#include <cstdarg>
#include <cstddef>
#include <cstring>

#include "case_quantities.h"
#include "engine_modules.h"

namespace {

using namespace case_quantity;

enum { group_known, group_estimated, group_operating, group_calculated, group_count };
const char *const group_names[group_count] = {"known", "estimated", "operating", "calculated"};

struct json_member {
    int group;
    const char *name;
    int modules;   // set of modules (engine_modules.h) whose document has it
    int burn_only; // written only for a case with a burn time
    double (*value)(const solved_case *solved);
};

const int tq12b = modules_tq12b;
const int tq15b = modules_tq15b;
const int yf100k = modules_yf100k;
const int tq = modules_tq;
const int sea_level = modules_sea_level;
const int all = modules_all;

// The throttle range the command line enforces, shown to the interface as a
// known limit of the module.
double throttle_min(const solved_case *c)
{
    return c->module == ENGINE_YF100K ? yf100k_throttle_min_percent : tq12b_throttle_min_percent;
}
double throttle_max(const solved_case *c)
{
    return c->module == ENGINE_YF100K ? yf100k_throttle_max_percent : tq12b_throttle_max_percent;
}

const json_member members[] = {
    {group_known, "F_en_SL_reference_kN", sea_level, 0, reference_thrust_reference_kn},
    {group_known, "I_s_en_SL_reference_mps", sea_level, 0, reference_isp_reference},
    {group_known, "K_en", sea_level, 0, reference_engine_ratio},
    {group_known, "p_c_reference_MPa", yf100k, 0, reference_pressure_mpa},
    {group_known, "lambda_min_percent", sea_level, 0, throttle_min},
    {group_known, "lambda_max_percent", sea_level, 0, throttle_max},
    {group_known, "F_en_v_reference_kN", tq15b, 0, reference_thrust_reference_kn},
    {group_known, "I_s_en_v_reference_mps", tq15b, 0, reference_isp_reference},
    {group_estimated, "K", all, 0, reference_chamber_ratio},
    {group_estimated, "beta", all, 0, reference_beta},
    {group_estimated, "p_c_reference_MPa", tq, 0, reference_pressure_mpa},
    {group_estimated, "epsilon", all, 0, reference_epsilon},
    {group_estimated, "eta_c_star", all, 0, reference_eta_c_star},
    {group_estimated, "eta_C_F", tq, 0, reference_eta_c_f_estimate},
    {group_estimated, "T_o_K", all, 0, reference_oxidizer_k},
    {group_estimated, "T_f_K", all, 0, reference_fuel_k},
    {group_operating, "lambda_percent", sea_level, 0, lambda_percent},
    {group_operating, "h_km", sea_level, 0, altitude_km},
    // No burn time means no burn members at all, not a zero.
    {group_operating, "t_b_s", all, 1, burn_s},
    {group_calculated, "T_c_K", all, 0, chamber_k},
    {group_calculated, "M_r_kg_per_kmol", all, 0, molecular_weight},
    {group_calculated, "gamma", all, 0, gamma},
    {group_calculated, "m_dot_en_kg_per_s", all, 0, engine_flow},
    {group_calculated, "m_dot_o_en_kg_per_s", all, 0, oxidizer_flow},
    {group_calculated, "m_dot_f_en_kg_per_s", all, 0, fuel_flow},
    {group_calculated, "m_dot_other_kg_per_s", tq, 0, other_flow},
    {group_calculated, "m_dot_kg_per_s", all, 0, chamber_flow},
    {group_calculated, "p_c_MPa", all, 0, operating_pressure_mpa},
    {group_calculated, "A_t_m2", all, 0, throat_area},
    {group_calculated, "A_e_m2", all, 0, exit_area},
    {group_calculated, "p_e_MPa", all, 0, exit_pressure_mpa},
    {group_calculated, "c_star_ideal_mps", all, 0, c_star_ideal},
    {group_calculated, "c_star_mps", all, 0, c_star},
    {group_calculated, "u_e_ideal_mps", all, 0, exhaust_ideal},
    {group_calculated, "u_e_mps", all, 0, exhaust},
    {group_calculated, "C_F_v_ideal", all, 0, cf_vacuum_ideal},
    {group_calculated, "C_F_v", all, 0, cf_vacuum},
    {group_calculated, "eta_C_F", yf100k, 0, eta_c_f_derived},
    // tq15b's reference condition is vacuum: its engine thrust is a vacuum
    // figure, and the name says so.
    {group_calculated, "F_en_v_kN", tq15b, 0, engine_thrust_kn},
    {group_calculated, "F_v_kN", tq15b, 0, thrust_vacuum_kn},
    {group_calculated, "I_s_v_mps", tq15b, 0, isp_vacuum},
    {group_calculated, "p_a_Pa", sea_level, 0, ambient_pa},
    {group_calculated, "C_F_SL_ideal", sea_level, 0, cf_sea_level_ideal},
    {group_calculated, "C_F_SL", sea_level, 0, cf_sea_level},
    {group_calculated, "C_F_h_ideal", sea_level, 0, cf_altitude_ideal},
    {group_calculated, "C_F_h", sea_level, 0, cf_altitude},
    {group_calculated, "F_en_SL_kN", sea_level, 0, throttled_thrust_kn},
    // The staged engine is one flow path: its engine figures are the
    // thrust chamber's.
    {group_calculated, "F_en_h_kN", yf100k, 0, thrust_altitude_kn},
    {group_calculated, "F_en_v_kN", yf100k, 0, thrust_vacuum_kn},
    {group_calculated, "I_s_en_SL_mps", yf100k, 0, isp_sea_level},
    {group_calculated, "I_s_en_h_mps", yf100k, 0, isp_altitude},
    {group_calculated, "I_s_en_v_mps", yf100k, 0, isp_vacuum},
    {group_calculated, "F_SL_kN", sea_level, 0, thrust_sea_level_kn},
    {group_calculated, "F_h_kN", sea_level, 0, thrust_altitude_kn},
    {group_calculated, "F_v_kN", sea_level, 0, thrust_vacuum_kn},
    {group_calculated, "I_s_SL_mps", sea_level, 0, isp_sea_level},
    {group_calculated, "I_s_h_mps", sea_level, 0, isp_altitude},
    {group_calculated, "I_s_v_mps", sea_level, 0, isp_vacuum},
    // Total impulses exist only for a given burn duration.
    {group_calculated, "I_t_v_MN_s", all, 1, impulse_vacuum},
    {group_calculated, "I_t_en_v_MN_s", tq15b, 1, impulse_engine},
    {group_calculated, "I_t_SL_MN_s", sea_level, 1, impulse_sea_level},
    {group_calculated, "I_t_h_MN_s", sea_level, 1, impulse_altitude},
    {group_calculated, "I_t_en_SL_MN_s", sea_level, 1, impulse_engine},
    {group_calculated, "I_t_en_h_MN_s", yf100k, 1, impulse_altitude},
    {group_calculated, "I_t_en_v_MN_s", yf100k, 1, impulse_vacuum},
};
const int member_count = static_cast<int>(sizeof members / sizeof members[0]);

// Where a document goes: a stream, or a caller's buffer that keeps what
// fits (always terminated) while the length counts the whole document.
struct json_sink {
    std::FILE *file;
    char *buffer;
    int size;
    int length;
    json_number_writer number; // nullptr: "%.12g"
};

__attribute__((format(printf, 2, 3))) void emit(json_sink *sink, const char *format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    if (sink->file != nullptr) {
        std::vfprintf(sink->file, format, arguments);
    } else {
        const int room = sink->length < sink->size ? sink->size - sink->length : 0;
        char *at = room > 0 ? sink->buffer + sink->length : nullptr;
        const int written = std::vsnprintf(at, static_cast<std::size_t>(room), format, arguments);
        sink->length += written > 0 ? written : 0;
    }
    va_end(arguments);
}

// The key as a JSON string. The three module keys need no escaping; any
// other text is escaped so that the document stays valid JSON.
void emit_string(json_sink *sink, const char *text)
{
    emit(sink, "\"");
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            emit(sink, "\\%c", *c);
        } else if (*c < 0x20) {
            emit(sink, "\\u%04x", static_cast<unsigned int>(*c));
        } else {
            emit(sink, "%c", *c);
        }
    }
    emit(sink, "\"");
}

int member_written(const json_member *member, const solved_case *solved)
{
    if ((member->modules & module_bit(solved->module)) == 0) {
        return 0;
    }
    return !member->burn_only || solved->operating->t_b > 0.0;
}

int complete(const solved_case *solved)
{
    return solved != nullptr && solved->reference != nullptr && solved->operating != nullptr &&
           solved->state != nullptr && solved->results != nullptr;
}

// In the document layout each member stands on its own line; the comma that
// separates it from the previous member ends that member's line.
void emit_document(json_sink *sink, const char *key, const solved_case *solved, int layout)
{
    const int compact = layout == JSON_COMPACT;
    emit(sink, compact ? "{\"schema_version\":1,\"engine\":" : "{\n  \"schema_version\": 1,\n  \"engine\": ");
    emit_string(sink, key);
    int index = 0;
    for (int group = 0; group < group_count; ++group) {
        emit(sink, compact ? ",\"%s\":{" : ",\n  \"%s\": {", group_names[group]);
        int first_member = 1;
        for (; index < member_count && members[index].group == group; ++index) {
            const json_member *member = &members[index];
            if (!member_written(member, solved)) {
                continue;
            }
            if (sink->number == nullptr) {
                emit(sink, compact ? "%s\"%s\":%.12g" : "%s\n    \"%s\": %.12g", first_member ? "" : ",", member->name,
                     member->value(solved));
            } else {
                char number[64];
                sink->number(number, sizeof number, member->value(solved));
                emit(sink, compact ? "%s\"%s\":%s" : "%s\n    \"%s\": %s", first_member ? "" : ",", member->name,
                     number);
            }
            first_member = 0;
        }
        emit(sink, compact ? "}" : "\n  }");
    }
    emit(sink, compact ? "}" : "\n}\n");
}

// The member set depends on the key alone; an unknown key gets tq12b's.
int module_of_key(const char *key)
{
    int module = ENGINE_TQ12B;
    return parse_engine_key(key, &module) ? module : ENGINE_TQ12B;
}

} // namespace

void print_json_case(const char *engine_key, const engine_case *reference, const engine_case *operating,
                     const chamber_state *state, const engine_results *results)
{
    const char *key = engine_key != nullptr ? engine_key : "tq12b";
    const solved_case solved = {module_of_key(key), reference, operating, state, results};
    // Nothing to describe without the records; a half document would be
    // worse than none.
    if (!complete(&solved)) {
        return;
    }
    json_sink sink = {stdout, nullptr, 0, 0, nullptr};
    emit_document(&sink, key, &solved, JSON_DOCUMENT);
}

void write_json_case(std::FILE *out, const solved_case *solved, int layout)
{
    if (out == nullptr || !complete(solved)) {
        return;
    }
    json_sink sink = {out, nullptr, 0, 0, nullptr};
    emit_document(&sink, engine_key(solved->module), solved, layout);
}

int format_json_case(char *buffer, int size, const solved_case *solved, int layout, json_number_writer number)
{
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    if (!complete(solved)) {
        return 0;
    }
    json_sink sink = {nullptr, buffer, buffer != nullptr ? size : 0, 0, number};
    emit_document(&sink, engine_key(solved->module), solved, layout);
    return sink.length;
}

int format_json_number(char *buffer, int size, double value)
{
    return std::snprintf(buffer, size > 0 ? static_cast<std::size_t>(size) : 0, "%.12g", value);
}

int json_module_members(int module, json_member_info *infos, int capacity)
{
    int count = 0;
    for (const json_member &member : members) {
        if ((member.modules & module_bit(module)) == 0) {
            continue;
        }
        if (infos != nullptr && count < capacity) {
            infos[count] = {group_names[member.group], member.name, member.burn_only};
        }
        ++count;
    }
    return count;
}

int json_find_member(int module, const char *group_dot_name)
{
    if (group_dot_name == nullptr) {
        return -1;
    }
    int position = 0;
    for (const json_member &member : members) {
        if ((member.modules & module_bit(module)) == 0) {
            continue;
        }
        const char *group = group_names[member.group];
        const std::size_t group_length = std::strlen(group);
        if (std::strncmp(group_dot_name, group, group_length) == 0 && group_dot_name[group_length] == '.' &&
            std::strcmp(group_dot_name + group_length + 1, member.name) == 0) {
            return position;
        }
        ++position;
    }
    return -1;
}

int json_case_values(const solved_case *solved, double *values, int *present, int capacity)
{
    if (!complete(solved)) {
        return 0;
    }
    int count = 0;
    for (const json_member &member : members) {
        if ((member.modules & module_bit(solved->module)) == 0) {
            continue;
        }
        if (count < capacity) {
            const int written = member_written(&member, solved);
            if (values != nullptr) {
                values[count] = written ? member.value(solved) : 0.0;
            }
            if (present != nullptr) {
                present[count] = written;
            }
        }
        ++count;
    }
    return count;
}
