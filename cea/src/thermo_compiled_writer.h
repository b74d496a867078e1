// The compiler of the text database into its compiled form (thermo.lib).
#ifndef CEA_THERMO_COMPILED_WRITER_H
#define CEA_THERMO_COMPILED_WRITER_H

#include <cstddef>

#include "library_status.h"

namespace cea_impl {

// Bytes in memory, from malloc.
struct byte_buffer {
    unsigned char *data;
    std::size_t length;
    std::size_t capacity;
};

// Frees the bytes and leaves the buffer empty.
void release_byte_buffer(byte_buffer *buffer);

// Compiles the text database held in memory into *out (empty on entry,
// released by the caller). A text that the text reader refuses is refused
// with its status and message; so, with CEA_MALFORMED_DATABASE and a text
// that names the line, is a record that the compiled form cannot hold (a
// name of more than 15 characters, a gas of more than three intervals or a
// negative phase, a record without fits among the products, a gas after a
// condensed record of the products, a name with an unprintable byte or a
// leading '*').
int compile_thermo_text(const char *text, std::size_t length, const char *source, byte_buffer *out, failure *error);

} // namespace cea_impl

#endif
