// The reader of the text database, with what the compiler needs of it
// besides the records: the lines that it read them from.
#ifndef CEA_THERMO_TEXT_READER_H
#define CEA_THERMO_TEXT_READER_H

#include <cstddef>

#include "thermo_database.h"

namespace cea_impl {

struct line_view;

// The chunk of a streamed file: large enough that the read calls are few
// (each costs about as much as copying 20 kB), small enough to be a
// handful of pages. It sits at the start of the arena, on the huge page
// where there is one, and once the text is read it holds the record
// offsets and the name index when they fit.
static const std::size_t text_read_chunk_bytes = 65536;

// Told of each part of a text in memory as the reader accepts it, with the
// lines it came from (which stay valid as long as the text). A nonzero
// status from a call ends the parse with that status, and the call has then
// set the error.
struct thermo_text_listener {
    void *context;
    // The line of the common temperature bounds.
    int (*bounds)(void *context, const line_view *line, failure *error);
    // A record, once all of it is read: its name line, its second line and,
    // for a record without fits, the line of its temperature (else null).
    int (*record)(void *context, const species_record *record, const line_view *name_line, const line_view *line2,
                  const line_view *line3, failure *error);
};

// parse_thermo_text, telling the listener (which may be null).
int parse_thermo_text_listened(const char *text, std::size_t length, const char *source,
                               const thermo_text_listener *listener, thermo_database *database, failure *error);

} // namespace cea_impl

#endif
