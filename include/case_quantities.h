// The quantities that the reports print, each read from a solved case in
// the unit that the reports show it in. The text report reads the case
// inputs from the operating case, the JSON document from the reference case
// (the two hold the same inputs but for the throttle and the staged
// iteration's held values); every result is the operating point's.
#ifndef LRE_CASE_QUANTITIES_H
#define LRE_CASE_QUANTITIES_H

#include "engine_records.h"

namespace case_quantity {

double reference_pressure_mpa(const solved_case *solved);
double lambda_percent(const solved_case *solved);
double altitude_km(const solved_case *solved);
double burn_s(const solved_case *solved);
double chamber_k(const solved_case *solved);
double molecular_weight(const solved_case *solved);
double gamma(const solved_case *solved);
double engine_flow(const solved_case *solved);
double oxidizer_flow(const solved_case *solved);
double fuel_flow(const solved_case *solved);
double other_flow(const solved_case *solved);
double chamber_flow(const solved_case *solved);
double operating_pressure_mpa(const solved_case *solved);
double throat_area(const solved_case *solved);
double exit_area(const solved_case *solved);
double exit_pressure_mpa(const solved_case *solved);
double c_star_ideal(const solved_case *solved);
double c_star(const solved_case *solved);
double exhaust_ideal(const solved_case *solved);
double exhaust(const solved_case *solved);
double cf_vacuum_ideal(const solved_case *solved);
double cf_vacuum(const solved_case *solved);
double eta_c_f_derived(const solved_case *solved);
double engine_thrust_kn(const solved_case *solved);
double thrust_vacuum_kn(const solved_case *solved);
double isp_vacuum(const solved_case *solved);
double ambient_pa(const solved_case *solved);
double cf_sea_level_ideal(const solved_case *solved);
double cf_sea_level(const solved_case *solved);
double cf_altitude_ideal(const solved_case *solved);
double cf_altitude(const solved_case *solved);
double throttled_thrust_kn(const solved_case *solved);
double thrust_altitude_kn(const solved_case *solved);
double thrust_sea_level_kn(const solved_case *solved);
double isp_sea_level(const solved_case *solved);
double isp_altitude(const solved_case *solved);
double impulse_vacuum(const solved_case *solved);
double impulse_engine(const solved_case *solved);
double impulse_sea_level(const solved_case *solved);
double impulse_altitude(const solved_case *solved);
double zero(const solved_case *solved);
double ambient_reference_pa(const solved_case *solved);
double reference_thrust_reference_kn(const solved_case *solved);
double operating_thrust_reference_kn(const solved_case *solved);
double reference_isp_reference(const solved_case *solved);
double operating_isp_reference(const solved_case *solved);
double reference_engine_ratio(const solved_case *solved);
double operating_engine_ratio(const solved_case *solved);
double reference_chamber_ratio(const solved_case *solved);
double operating_chamber_ratio(const solved_case *solved);
double reference_beta(const solved_case *solved);
double operating_beta(const solved_case *solved);
double reference_epsilon(const solved_case *solved);
double operating_epsilon(const solved_case *solved);
double reference_eta_c_star(const solved_case *solved);
double operating_eta_c_star(const solved_case *solved);
double reference_eta_c_f_estimate(const solved_case *solved);
double operating_eta_c_f_estimate(const solved_case *solved);
double reference_oxidizer_k(const solved_case *solved);
double operating_oxidizer_k(const solved_case *solved);
double reference_fuel_k(const solved_case *solved);
double operating_fuel_k(const solved_case *solved);

} // namespace case_quantity

#endif
