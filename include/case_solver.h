// The case solver: the 100 % point of a reference case, and for a throttled
// case the chamber pressure that holds the cycle's constraint, found by
// bisection (the 100 % throat for the gas-generator cycle, the throttled
// sea-level thrust for the staged cycle).
#ifndef LRE_CASE_SOLVER_H
#define LRE_CASE_SOLVER_H

#include "cea_chamber.h"
#include "engine_records.h"

// Size of the buffer that carries a failure message up to a front end.
enum { error_buffer_size = 512 };

// Solves the reference case on an open chamber. Returns 1 with the operating
// case, its chamber state and results filled; 0 with a message in
// error_buffer (which a front end prefixes with "Calculation failed: ").
// Allocates nothing.
int calculate_case(cea_chamber *chamber, const engine_case *reference, engine_case *operating, chamber_state *state,
                   engine_results *results, char *error_buffer, int error_size);

#endif
