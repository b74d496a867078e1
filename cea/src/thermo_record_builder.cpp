// The parts of a species record that both database forms build alike: the
// formula from its pairs as written, and the record's tail (amounts,
// symbols, name) behind its intervals in the arena.
#include <cstring>

#include "thermo_database_build.h"

namespace cea_impl {

static int is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int add_formula_pair(formula *f, const char *symbol, std::size_t symbol_width, double amount)
{
    if (amount == 0.0) {
        return 1; // an unused pair, whatever its symbol columns hold
    }
    char text[element_symbol_size] = {0, 0, 0};
    std::size_t n = 0;
    for (std::size_t i = 0; i < symbol_width && n < 2; ++i) {
        if (symbol[i] != ' ') {
            text[n++] = symbol[i];
        }
    }
    if (n == 0 || !is_letter(text[0]) || (n == 2 && !is_letter(text[1]))) {
        return 0;
    }
    for (int e = 0; e < f->count; ++e) {
        if (f->symbols[e][0] == text[0] && f->symbols[e][1] == text[1]) {
            f->amounts[e] += amount;
            return 1;
        }
    }
    f->symbols[f->count][0] = text[0];
    f->symbols[f->count][1] = text[1];
    f->symbols[f->count][2] = '\0';
    f->amounts[f->count] = amount;
    ++f->count;
    return 1;
}

std::size_t finish_record(species_record *record, const formula *f, const char *name, std::size_t name_length)
{
    record->element_count = static_cast<unsigned char>(f->count);
    double *amounts =
        reinterpret_cast<double *>(reinterpret_cast<thermo_interval *>(record + 1) + record->interval_count);
    std::memcpy(amounts, f->amounts, static_cast<std::size_t>(f->count) * sizeof(double));
    char *symbols = reinterpret_cast<char *>(amounts + f->count);
    std::memcpy(symbols, f->symbols, static_cast<std::size_t>(f->count) * element_symbol_size);
    char *stored_name = symbols + static_cast<std::ptrdiff_t>(f->count) * element_symbol_size;
    std::memcpy(stored_name, name, name_length);
    stored_name[name_length] = '\0';
    return align_up(static_cast<std::size_t>(stored_name + name_length + 1 - reinterpret_cast<char *>(record)));
}

void commit_record(thermo_database *db, species_record *record, const formula *f, const char *name,
                   std::size_t name_length)
{
    db->arena_used += finish_record(record, f, name, name_length);
    poison_unused(db);
    db->interval_count += record->interval_count;
    ++db->species_count;
}

} // namespace cea_impl
