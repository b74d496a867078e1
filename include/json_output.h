// The JSON document of a solved case, for a separate user interface.
#ifndef LRE_JSON_OUTPUT_H
#define LRE_JSON_OUTPUT_H

#include "engine_records.h"

// Writes the document to standard output. engine_key is "tq12b", "tq15b" or
// "yf100k"; any other key gets the tq12b members.
void print_json_case(const char *engine_key, const engine_case *reference, const engine_case *operating,
                     const chamber_state *state, const engine_results *results);

#endif
