// The JSON document of a solved case, for a separate user interface, and the
// enumeration of its members (for tables such as the sweep's CSV rows). One
// member table serves the document, its compact one-line form and the
// enumerations. Nothing here allocates.
#ifndef LRE_JSON_OUTPUT_H
#define LRE_JSON_OUTPUT_H

#include <cstdio>

#include "engine_records.h"

// Writes the document to standard output. engine_key is "tq12b", "tq15b" or
// "yf100k"; any other key gets the tq12b members.
void print_json_case(const char *engine_key, const engine_case *reference, const engine_case *operating,
                     const chamber_state *state, const engine_results *results);

enum json_layout {
    JSON_DOCUMENT = 0, // lre-perf --json's layout, byte for byte, final newline included
    JSON_COMPACT = 1,  // the same members on one line, no spaces, no newline (a JSONL row)
};

// Writes the document of the solved case (key engine_key(module)) to out.
void write_json_case(std::FILE *out, const solved_case *solved, int layout);

// Writes the document into buffer like snprintf: at most size - 1 bytes and a
// terminator (when size > 0). Returns the document's whole length; a result
// of size or more means the document was cut. 8192 bytes always suffice.
// number, when given, writes each number instead of snprintf's "%.12g" and
// must write the same characters (the sweep passes a faster one).
typedef int (*json_number_writer)(char *buffer, int size, double value);
int format_json_case(char *buffer, int size, const solved_case *solved, int layout,
                     json_number_writer number = nullptr);
enum { json_document_max_size = 8192 };

// Writes a number as the document does ("%.12g"); same return as snprintf.
int format_json_number(char *buffer, int size, double value);

// A member of a module's document: group "known", "estimated", "operating"
// or "calculated", and its name there.
struct json_member_info {
    const char *group;
    const char *name;
    int burn_only; // present only when the operating case has a burn time
};

// Every member a module's document can hold, in document order, burn members
// included. At most json_max_members for any module. Returns the count
// written (all of them when capacity suffices).
enum { json_max_members = 64 };
int json_module_members(int module, json_member_info *members, int capacity);

// The position of "group.name" in json_module_members' list, or -1.
int json_find_member(int module, const char *group_dot_name);

// The values of json_module_members' list for a solved case: values[i] and
// present[i] (0 for a burn member of a case without a burn time; its value
// is then 0). Returns the count, as json_module_members does.
int json_case_values(const solved_case *solved, double *values, int *present, int capacity);

#endif
