// Turn-taking over the open chambers of lre-ui.
#include "ui_chambers.h"

int ui_chambers_open(ui_chambers *chambers, const char *thermo_lib, char *error_buffer, int error_size)
{
    chambers->thermo_lib = thermo_lib;
    chambers->next_ticket = 0;
    chambers->now_serving = 0;
    for (int fuel = 0; fuel < ui_fuel_count; ++fuel) {
        chambers->chambers[fuel] = cea_chamber{};
        chambers->open[fuel] = 0;
    }
    for (int fuel = 0; fuel < ui_fuel_count; ++fuel) {
        if (!cea_chamber_open(&chambers->chambers[fuel], thermo_lib, fuel == ui_fuel_rp1 ? 1 : 0, error_buffer,
                              error_size)) {
            ui_chambers_close(chambers);
            return 0;
        }
        chambers->open[fuel] = 1;
    }
    return 1;
}

void ui_chambers_close(ui_chambers *chambers)
{
    for (int fuel = ui_fuel_count - 1; fuel >= 0; --fuel) {
        if (chambers->open[fuel]) {
            cea_chamber_close(&chambers->chambers[fuel]);
            chambers->open[fuel] = 0;
        }
    }
}

cea_chamber *ui_chambers_acquire(ui_chambers *chambers, int fuel)
{
    std::unique_lock<std::mutex> guard(chambers->mutex);
    const unsigned long ticket = chambers->next_ticket;
    chambers->next_ticket = ticket + 1;
    chambers->turn_changed.wait(guard, [chambers, ticket] { return chambers->now_serving == ticket; });
    return &chambers->chambers[fuel == ui_fuel_rp1 ? ui_fuel_rp1 : ui_fuel_methane];
}

void ui_chambers_release(ui_chambers *chambers)
{
    {
        std::lock_guard<std::mutex> guard(chambers->mutex);
        chambers->now_serving = chambers->now_serving + 1;
    }
    chambers->turn_changed.notify_all();
}
