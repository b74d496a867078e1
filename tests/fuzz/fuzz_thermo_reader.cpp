// libFuzzer target over the database reader: any text either parses or is
// refused with CEA_MALFORMED_DATABASE, without a crash, a hang or undefined
// behaviour.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "thermo_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    cea_impl::thermo_database database;
    cea_impl::failure error;
    int status = cea_impl::parse_thermo_text(reinterpret_cast<const char *>(data), size, "fuzz", &database, &error);
    if (status != CEA_OK && status != CEA_MALFORMED_DATABASE) {
        std::abort();
    }
    if (status == CEA_OK) {
        // What the reader accepted is internally consistent.
        for (const cea_impl::species_record &s : database.species) {
            if (s.first_interval + s.interval_count > static_cast<int>(database.intervals.size()) ||
                cea_impl::find_species(&database, s.name) < 0) {
                std::abort();
            }
        }
    }
    return 0;
}
