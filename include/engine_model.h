// Ideal-nozzle performance model: a one-dimensional isentropic expansion of a
// perfect gas at the chamber's frozen gamma, with c* and C_F efficiencies.
#ifndef LRE_ENGINE_MODEL_H
#define LRE_ENGINE_MODEL_H

#include "engine_records.h"

// Fills *results from the case and its chamber state. Returns 1 on success,
// 0 when the input is invalid or physically inconsistent (no message).
int engine_calculate(const engine_case *input, const chamber_state *chamber, engine_results *results);

#endif
