// The properties of a solved equilibrium state, by the selectors of the C
// interface, computed in one place so that the solve can check that a
// converged state has every one of them as a finite number before the C
// interface hands them out.
#ifndef CEA_STATE_PROPERTIES_H
#define CEA_STATE_PROPERTIES_H

#include "equilibrium_solution.h"

namespace cea_impl {

// Property `selector` (CEA_TEMPERATURE to CEA_EQUILIBRIUM_CV) of a solution
// that holds a result. CEA_OK; CEA_NOT_CONVERGED for gamma_s and the
// equilibrium cp and cv when the derivatives could not be solved;
// CEA_INVALID_PROPERTY_TYPE for any other selector.
int state_property(const equilibrium_solution *solution, int selector, double *value);

// Short name of a property selector for messages ("density").
const char *state_property_name(int selector);

// For a converged state: drops the equilibrium derivatives when a property
// that rests on them is not a finite number, then returns the first other
// property that is not, or -1 when every one is.
int unrepresentable_property(equilibrium_solution *solution);

} // namespace cea_impl

#endif
