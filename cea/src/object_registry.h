// The live objects behind the C interface's handles, and the databases that
// they hold, shared by every thread of the process.
//
// A handle is a serial number, 64 bits wide and never given twice in a
// process, looked up in a table of the live objects: a destroyed handle is
// refused even when its object's memory now holds another object of the
// same kind, and a handle of another kind or an arbitrary value is refused
// too. The table and the holder counts are kept under one lock; an object
// found is then used without it, by the one thread that uses that object.
#ifndef CEA_OBJECT_REGISTRY_H
#define CEA_OBJECT_REGISTRY_H

#include <cstdint>

#include "thermo_database.h"

namespace cea_impl {

enum object_kind { kind_mixture = 1, kind_solver = 2, kind_solution = 3 };

typedef std::uint64_t object_handle; // 0 is never a live object

// A loaded database and the number of its holders: the library while it is
// the current one, and every mixture and solver made from it.
struct shared_database {
    thermo_database db;
    int holders;
};

// Enters object as a live object of that kind: its new handle, or 0 when
// the table cannot grow (out of memory).
object_handle register_object(void *object, int kind);

// The live object of that handle and kind, or null.
void *find_object(object_handle handle, int kind);

// Takes the object out of the table and returns it, or null when the handle
// is not a live object of that kind. From then on the handle is refused.
void *unregister_object(object_handle handle, int kind);

// The current database with one holder more, or null when none is loaded.
shared_database *hold_current_database();

// One holder more of a database that is already held.
void hold_database(shared_database *database);

// One holder fewer (null does nothing); the last one releases the database.
void let_go_database(shared_database *database);

// Makes `loaded`, whose one holder is the library, the current database;
// the library lets go of the one before.
void install_database(shared_database *loaded);

} // namespace cea_impl

#endif
