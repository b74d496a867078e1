// The text report: one table of rows, each marked with the modules whose
// report carries it; a module's report is its rows in table order.
#include "text_report.h"

#include "case_quantities.h"
#include "engine_modules.h"

namespace {

using namespace case_quantity;

// Most labels are padded to 36 columns; those with a percent sign, to 35
// (the report has always been laid out so), and one YF-100K label to 34.
const int label_columns = 36;
const int percent_label_columns = 35;

const int known = REPORT_KNOWN;
const int estimated = REPORT_ESTIMATED;
const int calculated = REPORT_CALCULATED;
const int tq12b = modules_tq12b;
const int tq15b = modules_tq15b;
const int yf100k = modules_yf100k;
const int tq = modules_tq;
const int sea_level = modules_sea_level;
const int all = modules_all;

const int w = label_columns;
const int wp = percent_label_columns;

const report_row rows[] = {
    {known, "lambda", w, 1, "%", sea_level, 0, "operating.lambda_percent", lambda_percent},
    {known, "h", w, 3, "km geometric", sea_level, 0, "operating.h_km", altitude_km},
    {known, "p_atm", w, 0, "Pa", sea_level, 0, nullptr, ambient_reference_pa},
    {known, "p_a,v", w, 0, "Pa", yf100k, 0, nullptr, zero},
    {calculated, "p_a(h)", w, 3, "Pa", sea_level, 0, "calculated.p_a_Pa", ambient_pa},
    {known, "F_en,SL(100%)", wp, 3, "kN", sea_level, 0, "known.F_en_SL_reference_kN", operating_thrust_reference_kn},
    {calculated, "F_en,SL(lambda)", w, 3, "kN", tq12b, 0, "calculated.F_en_SL_kN", engine_thrust_kn},
    {calculated, "F_en,SL(lambda)", w, 3, "kN", yf100k, 0, "calculated.F_en_SL_kN", throttled_thrust_kn},
    {known, "I_s,en,SL(100%)", wp, 3, "m/s", sea_level, 0, "known.I_s_en_SL_reference_mps", operating_isp_reference},
    {known, "F_en,v(100%)", wp, 3, "kN", tq15b, 0, "known.F_en_v_reference_kN", operating_thrust_reference_kn},
    {calculated, "F_en,v", w, 3, "kN", tq15b, 0, "calculated.F_en_v_kN", engine_thrust_kn},
    {known, "I_s,en,v(100%)", wp, 3, "m/s", tq15b, 0, "known.I_s_en_v_reference_mps", operating_isp_reference},
    {known, "p_a", w, 0, "Pa", tq15b, 0, nullptr, zero},
    {known, "K_en", w, 3, "", sea_level, 0, "known.K_en", operating_engine_ratio},
    {estimated, "K", w, 3, "", sea_level, 0, "estimated.K", operating_chamber_ratio},
    {estimated, "K_en = K", w, 3, "", tq15b, 0, "estimated.K", operating_chamber_ratio},
    {estimated, "beta", w, 3, "", tq, 0, "estimated.beta", operating_beta},
    {estimated, "p_c(100%)", wp, 3, "MPa", tq12b, 0, "estimated.p_c_reference_MPa", reference_pressure_mpa},
    {known, "p_c(100%)", wp, 3, "MPa", yf100k, 0, "known.p_c_reference_MPa", reference_pressure_mpa},
    {estimated, "p_c", w, 3, "MPa", tq15b, 0, "estimated.p_c_reference_MPa", operating_pressure_mpa},
    {calculated, "p_c(lambda)", w, 3, "MPa", sea_level, 0, "calculated.p_c_MPa", operating_pressure_mpa},
    {estimated, "epsilon", w, 3, "", all, 0, "estimated.epsilon", operating_epsilon},
    {estimated, "T_o", w, 1, "K", tq, 0, "estimated.T_o_K", operating_oxidizer_k},
    {estimated, "T_o", w, 2, "K", yf100k, 0, "estimated.T_o_K", operating_oxidizer_k},
    {estimated, "T_f", w, 1, "K", tq, 0, "estimated.T_f_K", operating_fuel_k},
    {estimated, "T_f", w, 2, "K", yf100k, 0, "estimated.T_f_K", operating_fuel_k},
    {estimated, "eta_c*", w, 3, "", all, 0, "estimated.eta_c_star", operating_eta_c_star},
    {estimated, "eta_C_F", w, 3, "", tq, 0, "estimated.eta_C_F", operating_eta_c_f_estimate},
    // The chamber state and the nozzle, which every module reports.
    {calculated, "T_c", w, 3, "K", all, 0, "calculated.T_c_K", chamber_k},
    {calculated, "M_r", w, 4, "kg/kmol", all, 0, "calculated.M_r_kg_per_kmol", molecular_weight},
    {calculated, "gamma", w, 5, "", all, 0, "calculated.gamma", gamma},
    {calculated, "m_dot_en", w, 3, "kg/s", all, 0, "calculated.m_dot_en_kg_per_s", engine_flow},
    {calculated, "m_dot_o,en", w, 3, "kg/s", all, 0, "calculated.m_dot_o_en_kg_per_s", oxidizer_flow},
    {calculated, "m_dot_f,en", w, 3, "kg/s", all, 0, "calculated.m_dot_f_en_kg_per_s", fuel_flow},
    // Only the gas-generator cycle has an other branch.
    {calculated, "m_dot_other", w, 3, "kg/s", tq, 0, "calculated.m_dot_other_kg_per_s", other_flow},
    {calculated, "m_dot", w, 3, "kg/s", all, 0, "calculated.m_dot_kg_per_s", chamber_flow},
    {calculated, "A_t", w, 6, "m^2", all, 0, "calculated.A_t_m2", throat_area},
    {calculated, "A_e", w, 6, "m^2", all, 0, "calculated.A_e_m2", exit_area},
    {calculated, "p_e", w, 4, "MPa", all, 0, "calculated.p_e_MPa", exit_pressure_mpa},
    {calculated, "c*_id", w, 3, "m/s", all, 0, "calculated.c_star_ideal_mps", c_star_ideal},
    {calculated, "c*_ac", w, 3, "m/s", all, 0, "calculated.c_star_mps", c_star},
    {calculated, "u_e,id", w, 3, "m/s", all, 0, "calculated.u_e_ideal_mps", exhaust_ideal},
    {calculated, "u_e", w, 3, "m/s", all, 0, "calculated.u_e_mps", exhaust},
    {calculated, "C_F,v,id", w, 5, "", all, 0, "calculated.C_F_v_ideal", cf_vacuum_ideal},
    // The staged cycle derives its thrust-coefficient efficiency.
    {calculated, "eta_C_F", w, 5, "", yf100k, 0, "calculated.eta_C_F", eta_c_f_derived},
    {calculated, "C_F,v,ac", w, 5, "", all, 0, "calculated.C_F_v", cf_vacuum},
    {calculated, "C_F,SL,id", w, 5, "", sea_level, 0, "calculated.C_F_SL_ideal", cf_sea_level_ideal},
    {calculated, "C_F,SL", w, 5, "", sea_level, 0, "calculated.C_F_SL", cf_sea_level},
    {calculated, "C_F,id(p_a)", w, 5, "", sea_level, 0, "calculated.C_F_h_ideal", cf_altitude_ideal},
    {calculated, "C_F,ac(p_a)", w, 5, "", sea_level, 0, "calculated.C_F_h", cf_altitude},
    {calculated, "F_v", w, 3, "kN", tq, 0, "calculated.F_v_kN", thrust_vacuum_kn},
    {calculated, "F_SL", w, 3, "kN", tq12b, 0, "calculated.F_SL_kN", thrust_sea_level_kn},
    {calculated, "F(p_a)", w, 3, "kN", tq12b, 0, "calculated.F_h_kN", thrust_altitude_kn},
    {calculated, "I_s,v", w, 3, "m/s", tq, 0, "calculated.I_s_v_mps", isp_vacuum},
    {calculated, "I_s,SL", w, 3, "m/s", tq12b, 0, "calculated.I_s_SL_mps", isp_sea_level},
    {calculated, "I_s(p_a)", w, 3, "m/s", tq12b, 0, "calculated.I_s_h_mps", isp_altitude},
    // The staged engine is one flow path: its engine figures are the chamber's.
    {calculated, "F_en,SL = F_SL", w, 3, "kN", yf100k, 0, "calculated.F_SL_kN", thrust_sea_level_kn},
    {calculated, "F_en(p_a) = F(p_a)", w, 3, "kN", yf100k, 0, "calculated.F_h_kN", thrust_altitude_kn},
    {calculated, "F_en,v = F_v", w, 3, "kN", yf100k, 0, "calculated.F_v_kN", thrust_vacuum_kn},
    {calculated, "I_s,en,SL = I_s,SL", w, 3, "m/s", yf100k, 0, "calculated.I_s_SL_mps", isp_sea_level},
    {calculated, "I_s,en(p_a) = I_s(p_a)", w, 3, "m/s", yf100k, 0, "calculated.I_s_h_mps", isp_altitude},
    {calculated, "I_s,en,v = I_s,v", w, 3, "m/s", yf100k, 0, "calculated.I_s_v_mps", isp_vacuum},
    // Total impulses, for a given burn duration only.
    {estimated, "t_b", w, 3, "s", all, 1, "operating.t_b_s", burn_s},
    {calculated, "I_t,SL", w, 3, "MN*s", tq12b, 1, "calculated.I_t_SL_MN_s", impulse_sea_level},
    {calculated, "I_t,v", w, 3, "MN*s", tq, 1, "calculated.I_t_v_MN_s", impulse_vacuum},
    {calculated, "I_t(p_a)", w, 3, "MN*s", tq12b, 1, "calculated.I_t_h_MN_s", impulse_altitude},
    {calculated, "I_t,en,SL", w, 3, "MN*s", tq12b, 1, "calculated.I_t_en_SL_MN_s", impulse_engine},
    {calculated, "I_t,en,v", w, 3, "MN*s", tq15b, 1, "calculated.I_t_en_v_MN_s", impulse_engine},
    {calculated, "I_t,en,SL = I_t,SL", w, 3, "MN*s", yf100k, 1, "calculated.I_t_SL_MN_s", impulse_sea_level},
    {calculated, "I_t,en(p_a) = I_t(p_a)", 34, 3, "MN*s", yf100k, 1, "calculated.I_t_h_MN_s", impulse_altitude},
    {calculated, "I_t,en,v = I_t,v", w, 3, "MN*s", yf100k, 1, "calculated.I_t_v_MN_s", impulse_vacuum},
};

} // namespace

int report_row_count() { return static_cast<int>(sizeof rows / sizeof rows[0]); }

const report_row *report_row_at(int index)
{
    if (index < 0 || index >= report_row_count()) {
        return nullptr;
    }
    return &rows[index];
}

const char *report_tag_text(int tag)
{
    if (tag == REPORT_KNOWN) {
        return "[KNOWN]";
    }
    if (tag == REPORT_ESTIMATED) {
        return "[ESTIMATED]";
    }
    return "[CALCULATED]";
}

const char *report_condition(int module)
{
    if (module == ENGINE_TQ15B) {
        return "Vacuum reference condition | p_a = 0 Pa | steady nominal state";
    }
    if (module == ENGINE_YF100K) {
        return "Standard atmosphere | steady selected state";
    }
    return "Standard atmosphere | steady nominal state";
}

int report_row_shown(const report_row *row, const solved_case *solved)
{
    if ((row->modules & module_bit(solved->module)) == 0) {
        return 0;
    }
    return !row->burn_only || solved->operating->t_b > 0.0;
}

void write_text_report(std::FILE *out, const solved_case *solved)
{
    // The module value picks the heading and the rows alike, so that any
    // value other than TQ-15B and YF-100K reads as TQ-12B throughout.
    const int module = module_bit(solved->module) == modules_tq12b ? ENGINE_TQ12B : solved->module;
    std::fprintf(out, "\n%s | %s | %s\n%s\n", engine_name(module), engine_propellants(module),
                 engine_cycle_name(module), report_condition(module));
    for (const report_row &row : rows) {
        if (!report_row_shown(&row, solved)) {
            continue;
        }
        // "%" follows the number; any other unit stands after a space.
        const char *separator = row.unit[0] == '\0' || row.unit[0] == '%' ? "" : " ";
        std::fprintf(out, "%-13s%-*s= %.*f%s%s\n", report_tag_text(row.tag), row.label_width, row.label, row.decimals,
                     row.value(solved), separator, row.unit);
    }
}
