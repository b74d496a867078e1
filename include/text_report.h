// The text report of a solved case, for people: a heading that names the
// module, its propellants and its cycle, a line for the ambient condition,
// then one tagged line per quantity from one table of rows.
#ifndef LRE_TEXT_REPORT_H
#define LRE_TEXT_REPORT_H

#include <cstdio>

#include "engine_records.h"

enum report_tag {
    REPORT_KNOWN = 0,      // reference data and the selected operating point
    REPORT_ESTIMATED = 1,  // the model's assumed inputs
    REPORT_CALCULATED = 2, // results
};

// One quantity line: "<tag padded to 13><label padded to label_width>= "
// then the value with `decimals` digits and the unit ("%" follows the number
// directly, any other unit after a space).
struct report_row {
    int tag;                 // report_tag
    const char *label;       // "p_c(lambda)"
    int label_width;         // columns the label is padded to (36, fewer for a few labels)
    int decimals;            // digits after the decimal point
    const char *unit;        // "MPa", "%", "km geometric", or "" for none
    int modules;             // set of modules (engine_modules.h) whose report has the line
    int burn_only;           // 1: only when the operating case has a burn time (t_b > 0)
    const char *json_member; // the document member of the same quantity, "calculated.T_c_K", or nullptr
    double (*value)(const solved_case *solved);
};

// The rows in report order; each module's report is the rows it is marked for.
int report_row_count();
const report_row *report_row_at(int index);
// "[KNOWN]", "[ESTIMATED]", "[CALCULATED]".
const char *report_tag_text(int tag);
// The second heading line, the ambient condition: "Standard atmosphere | steady nominal state".
const char *report_condition(int module);
// 1 when the row is a line of this case's report.
int report_row_shown(const report_row *row, const solved_case *solved);

// Writes the whole report to out (lre-perf: standard output).
void write_text_report(std::FILE *out, const solved_case *solved);

#endif
