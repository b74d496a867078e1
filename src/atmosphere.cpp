// U.S. Standard Atmosphere 1976: static pressure from geometric altitude,
// 0 to 86 km, by the hydrostatic equation over seven layers of linear (or
// constant) temperature in geopotential height.
#include "atmosphere.h"

#include <cmath>

int standard_atmosphere_pressure(double altitude_m, double *pressure_pa)
{
    static const double earth_radius_m = 6356766.0;
    static const double gravity_m_s2 = 9.80665;
    // 8314.32 J/(kmol K) over 28.9644 kg/kmol, the standard's own constants,
    // held to full double precision.
    static const double air_gas_constant_j_kg_k = 287.05307204706463;
    static const double max_altitude_m = 86000.0;
    // The top of the seventh layer; above it the standard changes its model,
    // so heights between here and 86 km geometric stay on this layer's top.
    static const double max_geopotential_height_m = 84852.0;

    enum { layer_count = 7 };
    static const double layer_base_height_m[layer_count] = {0.0, 11000.0, 20000.0, 32000.0, 47000.0, 51000.0, 71000.0};
    static const double layer_lapse_rate_k_m[layer_count] = {-0.0065, 0.0, 0.001, 0.0028, 0.0, -0.0028, -0.002};
    static const double layer_base_temperature_k[layer_count] = {288.15, 216.65, 216.65, 228.65,
                                                                 270.65, 270.65, 214.65};
    // The standard's tabulated base pressures, not recomputed from the layers
    // below, so that each layer starts from the published figure.
    static const double layer_base_pressure_pa[layer_count] = {101325.0, 22632.06, 5474.89, 868.02,
                                                               110.91,   66.94,    3.96};

    if (pressure_pa == nullptr) {
        return 0;
    }
    // Written as a negated range test so that NaN fails it too.
    if (!(altitude_m >= 0.0 && altitude_m <= max_altitude_m)) {
        return 0;
    }

    double height_m = earth_radius_m * altitude_m / (earth_radius_m + altitude_m);
    if (height_m > max_geopotential_height_m) {
        height_m = max_geopotential_height_m;
    }

    // A height exactly on a layer base belongs to the layer that starts there.
    int layer = -1;
    for (int i = layer_count - 1; i >= 0; --i) {
        if (layer_base_height_m[i] <= height_m) {
            layer = i;
            break;
        }
    }
    if (layer < 0) {
        return 0;
    }

    const double base_height_m = layer_base_height_m[layer];
    const double lapse_rate_k_m = layer_lapse_rate_k_m[layer];
    const double base_temperature_k = layer_base_temperature_k[layer];
    const double base_pressure_pa = layer_base_pressure_pa[layer];
    const double delta_height_m = height_m - base_height_m;

    double pressure;
    if (lapse_rate_k_m == 0.0) {
        pressure = base_pressure_pa *
                   std::exp(-gravity_m_s2 * delta_height_m / (air_gas_constant_j_kg_k * base_temperature_k));
    } else {
        pressure =
            base_pressure_pa * std::pow((lapse_rate_k_m * delta_height_m + base_temperature_k) / base_temperature_k,
                                        -gravity_m_s2 / (air_gas_constant_j_kg_k * lapse_rate_k_m));
    }

    *pressure_pa = pressure;
    return std::isfinite(pressure) && pressure > 0.0 ? 1 : 0;
}
