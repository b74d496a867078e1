// The JSON document of a solved case, read by a separate user interface.
// The layout is fixed byte for byte (the interface and the checked-in
// documents depend on it): two-space indentation per level, one member per
// line, numbers as "%.12g".
#include "json_output.h"

#include <cstdio>
#include <cstring>

// Which modules write a member: a member table row carries a set of these.
static const int json_tq12b = 1;
static const int json_tq15b = 2;
static const int json_yf100k = 4;
static const int json_tq = json_tq12b | json_tq15b;
static const int json_sea_level = json_tq12b | json_yf100k;
static const int json_all = json_tq12b | json_tq15b | json_yf100k;

struct json_member {
    const char *name;
    int modules; // set of the json_* module bits
    double value;
};

static const double newtons_per_kilonewton = 1000.0;
static const double metres_per_kilometre = 1000.0;
static const double pascals_per_megapascal = 1000000.0;
static const double newton_seconds_per_meganewton_second = 1000000.0;
static const double percent_per_fraction = 100.0;

// The throttle ranges that the command line enforces, shown to the user
// interface as known limits of each module.
static const double tq12b_lambda_min_percent = 40.0;
static const double tq12b_lambda_max_percent = 110.0;
static const double yf100k_lambda_min_percent = 65.0;
static const double yf100k_lambda_max_percent = 105.0;

// The member set depends on the key alone; an unknown key gets tq12b's.
static int module_bit(const char *engine_key)
{
    if (std::strcmp(engine_key, "tq15b") == 0) {
        return json_tq15b;
    }
    if (std::strcmp(engine_key, "yf100k") == 0) {
        return json_yf100k;
    }
    return json_tq12b;
}

// One member on its own line; the comma that separates it from the previous
// member ends that member's line.
static void print_number(const char *name, double value, int *first_member)
{
    std::printf("%s\n    \"%s\": %.12g", *first_member ? "" : ",", name, value);
    *first_member = 0;
}

static void print_members(const json_member *members, int count, int module, int *first_member)
{
    for (int i = 0; i < count; ++i) {
        if (members[i].modules & module) {
            print_number(members[i].name, members[i].value, first_member);
        }
    }
}

// The key as a JSON string. The three module keys need no escaping; any
// other text is escaped so that the document stays valid JSON.
static void print_json_string(const char *text)
{
    std::putchar('"');
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            std::printf("\\%c", *c);
        } else if (*c < 0x20) {
            std::printf("\\u%04x", static_cast<unsigned int>(*c));
        } else {
            std::putchar(*c);
        }
    }
    std::putchar('"');
}

static void print_known(const char *engine_key, const engine_case *reference)
{
    const int module = module_bit(engine_key);
    const int yf100k = module == json_yf100k;
    const json_member members[] = {
        {"F_en_SL_reference_kN", json_sea_level, reference->thrust_ref / newtons_per_kilonewton},
        {"I_s_en_SL_reference_mps", json_sea_level, reference->isp_ref},
        {"K_en", json_sea_level, reference->k_en},
        {"p_c_reference_MPa", json_yf100k, reference->p_c / pascals_per_megapascal},
        {"lambda_min_percent", json_sea_level, yf100k ? yf100k_lambda_min_percent : tq12b_lambda_min_percent},
        {"lambda_max_percent", json_sea_level, yf100k ? yf100k_lambda_max_percent : tq12b_lambda_max_percent},
        {"F_en_v_reference_kN", json_tq15b, reference->thrust_ref / newtons_per_kilonewton},
        {"I_s_en_v_reference_mps", json_tq15b, reference->isp_ref},
    };
    int first_member = 1;
    std::fputs("  \"known\": {", stdout);
    print_members(members, static_cast<int>(sizeof members / sizeof members[0]), module, &first_member);
    std::puts("\n  },");
}

static void print_estimated(const char *engine_key, const engine_case *reference)
{
    const json_member members[] = {
        {"K", json_all, reference->k},
        {"beta", json_all, reference->beta},
        {"p_c_reference_MPa", json_tq, reference->p_c / pascals_per_megapascal},
        {"epsilon", json_all, reference->epsilon},
        {"eta_c_star", json_all, reference->eta_c_star},
        {"eta_C_F", json_tq, reference->eta_c_f},
        {"T_o_K", json_all, reference->t_o},
        {"T_f_K", json_all, reference->t_f},
    };
    int first_member = 1;
    std::fputs("  \"estimated\": {", stdout);
    print_members(members, static_cast<int>(sizeof members / sizeof members[0]), module_bit(engine_key), &first_member);
    std::puts("\n  },");
}

static void print_operating(const char *engine_key, const engine_case *operating)
{
    const json_member members[] = {
        {"lambda_percent", json_sea_level, percent_per_fraction * operating->lambda},
        {"h_km", json_sea_level, operating->h / metres_per_kilometre},
        // No burn time means no burn members at all, not a zero.
        {"t_b_s", operating->t_b > 0.0 ? json_all : 0, operating->t_b},
    };
    int first_member = 1;
    std::fputs("  \"operating\": {", stdout);
    print_members(members, static_cast<int>(sizeof members / sizeof members[0]), module_bit(engine_key), &first_member);
    std::puts("\n  },");
}

static void print_calculated(const char *engine_key, const engine_case *operating, const chamber_state *state,
                             const engine_results *results)
{
    const json_member members[] = {
        {"T_c_K", json_all, state->t_c},
        {"M_r_kg_per_kmol", json_all, state->m_r},
        {"gamma", json_all, state->gamma},
        {"m_dot_en_kg_per_s", json_all, results->m_dot_en},
        {"m_dot_o_en_kg_per_s", json_all, results->m_dot_o_en},
        {"m_dot_f_en_kg_per_s", json_all, results->m_dot_f_en},
        {"m_dot_other_kg_per_s", json_tq, results->m_dot_other},
        {"m_dot_kg_per_s", json_all, results->m_dot},
        {"p_c_MPa", json_all, operating->p_c / pascals_per_megapascal},
        {"A_t_m2", json_all, results->a_t},
        {"A_e_m2", json_all, results->a_e},
        {"p_e_MPa", json_all, results->p_e / pascals_per_megapascal},
        {"c_star_ideal_mps", json_all, results->c_star_id},
        {"c_star_mps", json_all, results->c_star},
        {"u_e_ideal_mps", json_all, results->u_e_id},
        {"u_e_mps", json_all, results->u_e},
        {"C_F_v_ideal", json_all, results->c_f_v_id},
        {"C_F_v", json_all, results->c_f_v},
        {"eta_C_F", json_yf100k, results->eta_c_f},
        // tq15b's reference condition is vacuum: its engine thrust is a
        // vacuum figure, and the name says so.
        {"F_en_v_kN", json_tq15b, results->f_en / newtons_per_kilonewton},
        {"F_v_kN", json_tq15b, results->f_v / newtons_per_kilonewton},
        {"I_s_v_mps", json_tq15b, results->i_s_v},
        {"p_a_Pa", json_sea_level, results->p_a},
        {"C_F_SL_ideal", json_sea_level, results->c_f_sl_id},
        {"C_F_SL", json_sea_level, results->c_f_sl},
        {"C_F_h_ideal", json_sea_level, results->c_f_h_id},
        {"C_F_h", json_sea_level, results->c_f_h},
        {"F_en_SL_kN", json_sea_level, operating->thrust_ref * operating->lambda / newtons_per_kilonewton},
        // The staged engine is one flow path: its engine figures are the
        // thrust chamber's.
        {"F_en_h_kN", json_yf100k, results->f_h / newtons_per_kilonewton},
        {"F_en_v_kN", json_yf100k, results->f_v / newtons_per_kilonewton},
        {"I_s_en_SL_mps", json_yf100k, results->i_s_sl},
        {"I_s_en_h_mps", json_yf100k, results->i_s_h},
        {"I_s_en_v_mps", json_yf100k, results->i_s_v},
        {"F_SL_kN", json_sea_level, results->f_sl / newtons_per_kilonewton},
        {"F_h_kN", json_sea_level, results->f_h / newtons_per_kilonewton},
        {"F_v_kN", json_sea_level, results->f_v / newtons_per_kilonewton},
        {"I_s_SL_mps", json_sea_level, results->i_s_sl},
        {"I_s_h_mps", json_sea_level, results->i_s_h},
        {"I_s_v_mps", json_sea_level, results->i_s_v},
    };
    // Total impulses exist only for a given burn duration.
    const json_member burn_members[] = {
        {"I_t_v_MN_s", json_all, results->i_t_v / newton_seconds_per_meganewton_second},
        {"I_t_en_v_MN_s", json_tq15b, results->i_t_en / newton_seconds_per_meganewton_second},
        {"I_t_SL_MN_s", json_sea_level, results->i_t_sl / newton_seconds_per_meganewton_second},
        {"I_t_h_MN_s", json_sea_level, results->i_t_h / newton_seconds_per_meganewton_second},
        {"I_t_en_SL_MN_s", json_sea_level, results->i_t_en / newton_seconds_per_meganewton_second},
        {"I_t_en_h_MN_s", json_yf100k, results->i_t_h / newton_seconds_per_meganewton_second},
        {"I_t_en_v_MN_s", json_yf100k, results->i_t_v / newton_seconds_per_meganewton_second},
    };
    const int module = module_bit(engine_key);
    int first_member = 1;
    std::fputs("  \"calculated\": {", stdout);
    print_members(members, static_cast<int>(sizeof members / sizeof members[0]), module, &first_member);
    if (operating->t_b > 0.0) {
        print_members(burn_members, static_cast<int>(sizeof burn_members / sizeof burn_members[0]), module,
                      &first_member);
    }
    std::puts("\n  }");
}

void print_json_case(const char *engine_key, const engine_case *reference, const engine_case *operating,
                     const chamber_state *state, const engine_results *results)
{
    // Nothing to describe without the records; a half document would be
    // worse than none.
    if (reference == nullptr || operating == nullptr || state == nullptr || results == nullptr) {
        return;
    }
    const char *key = engine_key != nullptr ? engine_key : "tq12b";
    std::fputs("{\n  \"schema_version\": 1,\n  \"engine\": ", stdout);
    print_json_string(key);
    std::fputs(",\n", stdout);
    print_known(key, reference);
    print_estimated(key, reference);
    print_operating(key, operating);
    print_calculated(key, operating, state, results);
    std::puts("}");
}
