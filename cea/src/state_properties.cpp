#include "state_properties.h"

#include <cmath>

#include "cea_bindc.h"
#include "physical_constants.h"

namespace cea_impl {

// Each property computes only what it needs: the solve checks them all
// after every convergence.
static double specific_volume_m3_kg(const equilibrium_solution *s)
{
    return s->n_gas * gas_constant_j_kmol_k * s->t_k / (s->p_bar * pascals_per_bar);
}

static double equilibrium_cv_over_r(const equilibrium_solution *s)
{
    return s->cp_equilibrium_over_r + s->n_gas * s->dlnv_dlnt * s->dlnv_dlnt / s->dlnv_dlnp;
}

int state_property(const equilibrium_solution *s, int selector, double *value)
{
    if (selector < CEA_TEMPERATURE || selector > CEA_EQUILIBRIUM_CV) {
        return CEA_INVALID_PROPERTY_TYPE;
    }
    if ((selector == CEA_GAMMA_S || selector == CEA_EQUILIBRIUM_CP || selector == CEA_EQUILIBRIUM_CV) &&
        !s->derivatives_valid) {
        return CEA_NOT_CONVERGED;
    }
    const double r_kj = gas_constant_j_kmol_k / joules_per_kilojoule;
    double v = 0.0;
    switch (selector) {
    case CEA_TEMPERATURE: v = s->t_k; break;
    case CEA_PRESSURE: v = s->p_bar; break;
    case CEA_VOLUME: v = specific_volume_m3_kg(s); break;
    case CEA_DENSITY: v = 1.0 / specific_volume_m3_kg(s); break;
    case CEA_M: v = 1.0 / s->n_gas; break;
    case CEA_MW: v = 1.0 / s->n_total; break;
    case CEA_ENTHALPY: v = s->h_over_r * r_kj; break;
    case CEA_ENERGY: v = s->h_over_r * r_kj - s->n_gas * r_kj * s->t_k; break; // h - pV
    case CEA_ENTROPY: v = s->s_over_r * r_kj; break;
    case CEA_GIBBS_ENERGY: v = s->h_over_r * r_kj - s->t_k * (s->s_over_r * r_kj); break;
    case CEA_GAMMA_S: v = -(s->cp_equilibrium_over_r / equilibrium_cv_over_r(s)) / s->dlnv_dlnp; break;
    case CEA_FROZEN_CP: v = s->cp_frozen_over_r * r_kj; break;
    case CEA_FROZEN_CV: v = s->cp_frozen_over_r * r_kj - r_kj * s->n_gas; break;
    case CEA_EQUILIBRIUM_CP: v = s->cp_equilibrium_over_r * r_kj; break;
    default: v = equilibrium_cv_over_r(s) * r_kj; break; // CEA_EQUILIBRIUM_CV
    }
    *value = v;
    return CEA_OK;
}

const char *state_property_name(int selector)
{
    static const char *const names[] = {
        "temperature", "pressure",  "volume",          "density",        "M",
        "MW",          "enthalpy",  "internal energy", "entropy",        "Gibbs energy",
        "gamma_s",     "frozen cp", "frozen cv",       "equilibrium cp", "equilibrium cv",
    };
    if (selector < CEA_TEMPERATURE || selector > CEA_EQUILIBRIUM_CV) {
        return "property";
    }
    return names[selector];
}

static int is_derivative_property(int selector)
{
    return selector == CEA_GAMMA_S || selector == CEA_EQUILIBRIUM_CP || selector == CEA_EQUILIBRIUM_CV;
}

int unrepresentable_property(equilibrium_solution *s)
{
    double v = 0.0;
    int first = -1;
    for (int selector = CEA_TEMPERATURE; selector <= CEA_EQUILIBRIUM_CV; ++selector) {
        int status = state_property(s, selector, &v);
        if (is_derivative_property(selector)) {
            if (status == CEA_OK && !std::isfinite(v)) {
                s->derivatives_valid = 0;
            }
        } else if (first < 0 && !std::isfinite(v)) {
            first = selector;
        }
    }
    return first;
}

} // namespace cea_impl
