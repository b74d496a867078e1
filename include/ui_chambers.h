// The open chambers of lre-ui, one per fuel, opened once at start, and the
// turn-taking that serialises every use of the equilibrium library.
#ifndef LRE_UI_CHAMBERS_H
#define LRE_UI_CHAMBERS_H

#include <condition_variable>
#include <mutex>

#include "cea_chamber.h"

enum { ui_fuel_methane = 0, ui_fuel_rp1 = 1, ui_fuel_count = 2 };

// The library keeps its database and its last error text for the whole
// process, so one lock covers every chamber. It is a ticket lock: requests
// take their turns in arrival order, and a long sweep that takes one turn
// per case cannot starve a single case that arrives meanwhile.
struct ui_chambers {
    const char *thermo_lib; // the database they were opened on
    cea_chamber chambers[ui_fuel_count];
    int open[ui_fuel_count];
    std::mutex mutex;
    std::condition_variable turn_changed;
    unsigned long next_ticket;
    unsigned long now_serving;
};

// Opens both chambers on the database; 1, or 0 with the chamber's message
// (both closed then).
int ui_chambers_open(ui_chambers *chambers, const char *thermo_lib, char *error_buffer, int error_size);

void ui_chambers_close(ui_chambers *chambers);

// Waits for this caller's turn, then returns the chamber of the fuel; every
// call is followed by one ui_chambers_release.
cea_chamber *ui_chambers_acquire(ui_chambers *chambers, int fuel);

void ui_chambers_release(ui_chambers *chambers);

#endif
