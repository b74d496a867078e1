// One reader per quantity that a report prints (see the header).
#include "case_quantities.h"

#include "engine_modules.h"

namespace case_quantity {

double reference_pressure_mpa(const solved_case *c) { return c->reference->p_c / pa_per_mpa; }
double lambda_percent(const solved_case *c) { return percent_per_unit * c->operating->lambda; }
double altitude_km(const solved_case *c) { return c->operating->h / m_per_km; }
double burn_s(const solved_case *c) { return c->operating->t_b; }
double chamber_k(const solved_case *c) { return c->state->t_c; }
double molecular_weight(const solved_case *c) { return c->state->m_r; }
double gamma(const solved_case *c) { return c->state->gamma; }
double engine_flow(const solved_case *c) { return c->results->m_dot_en; }
double oxidizer_flow(const solved_case *c) { return c->results->m_dot_o_en; }
double fuel_flow(const solved_case *c) { return c->results->m_dot_f_en; }
double other_flow(const solved_case *c) { return c->results->m_dot_other; }
double chamber_flow(const solved_case *c) { return c->results->m_dot; }
double operating_pressure_mpa(const solved_case *c) { return c->operating->p_c / pa_per_mpa; }
double throat_area(const solved_case *c) { return c->results->a_t; }
double exit_area(const solved_case *c) { return c->results->a_e; }
double exit_pressure_mpa(const solved_case *c) { return c->results->p_e / pa_per_mpa; }
double c_star_ideal(const solved_case *c) { return c->results->c_star_id; }
double c_star(const solved_case *c) { return c->results->c_star; }
double exhaust_ideal(const solved_case *c) { return c->results->u_e_id; }
double exhaust(const solved_case *c) { return c->results->u_e; }
double cf_vacuum_ideal(const solved_case *c) { return c->results->c_f_v_id; }
double cf_vacuum(const solved_case *c) { return c->results->c_f_v; }
double eta_c_f_derived(const solved_case *c) { return c->results->eta_c_f; }
double engine_thrust_kn(const solved_case *c) { return c->results->f_en / n_per_kn; }
double thrust_vacuum_kn(const solved_case *c) { return c->results->f_v / n_per_kn; }
double isp_vacuum(const solved_case *c) { return c->results->i_s_v; }
double ambient_pa(const solved_case *c) { return c->results->p_a; }
double cf_sea_level_ideal(const solved_case *c) { return c->results->c_f_sl_id; }
double cf_sea_level(const solved_case *c) { return c->results->c_f_sl; }
double cf_altitude_ideal(const solved_case *c) { return c->results->c_f_h_id; }
double cf_altitude(const solved_case *c) { return c->results->c_f_h; }
double throttled_thrust_kn(const solved_case *c) { return c->operating->thrust_ref * c->operating->lambda / n_per_kn; }
double thrust_altitude_kn(const solved_case *c) { return c->results->f_h / n_per_kn; }
double thrust_sea_level_kn(const solved_case *c) { return c->results->f_sl / n_per_kn; }
double isp_sea_level(const solved_case *c) { return c->results->i_s_sl; }
double isp_altitude(const solved_case *c) { return c->results->i_s_h; }
double impulse_vacuum(const solved_case *c) { return c->results->i_t_v / ns_per_mns; }
double impulse_engine(const solved_case *c) { return c->results->i_t_en / ns_per_mns; }
double impulse_sea_level(const solved_case *c) { return c->results->i_t_sl / ns_per_mns; }
double impulse_altitude(const solved_case *c) { return c->results->i_t_h / ns_per_mns; }
double zero(const solved_case *) { return 0.0; }
double ambient_reference_pa(const solved_case *c) { return c->operating->p_atm; }
double reference_thrust_reference_kn(const solved_case *c) { return c->reference->thrust_ref / n_per_kn; }
double operating_thrust_reference_kn(const solved_case *c) { return c->operating->thrust_ref / n_per_kn; }
double reference_isp_reference(const solved_case *c) { return c->reference->isp_ref; }
double operating_isp_reference(const solved_case *c) { return c->operating->isp_ref; }
double reference_engine_ratio(const solved_case *c) { return c->reference->k_en; }
double operating_engine_ratio(const solved_case *c) { return c->operating->k_en; }
double reference_chamber_ratio(const solved_case *c) { return c->reference->k; }
double operating_chamber_ratio(const solved_case *c) { return c->operating->k; }
double reference_beta(const solved_case *c) { return c->reference->beta; }
double operating_beta(const solved_case *c) { return c->operating->beta; }
double reference_epsilon(const solved_case *c) { return c->reference->epsilon; }
double operating_epsilon(const solved_case *c) { return c->operating->epsilon; }
double reference_eta_c_star(const solved_case *c) { return c->reference->eta_c_star; }
double operating_eta_c_star(const solved_case *c) { return c->operating->eta_c_star; }
double reference_eta_c_f_estimate(const solved_case *c) { return c->reference->eta_c_f; }
double operating_eta_c_f_estimate(const solved_case *c) { return c->operating->eta_c_f; }
double reference_oxidizer_k(const solved_case *c) { return c->reference->t_o; }
double operating_oxidizer_k(const solved_case *c) { return c->operating->t_o; }
double reference_fuel_k(const solved_case *c) { return c->reference->t_f; }
double operating_fuel_k(const solved_case *c) { return c->operating->t_f; }

} // namespace case_quantity
