#include "object_registry.h"

#include <pthread.h>

#include <cstdlib>

namespace cea_impl {

namespace {

// An open-addressing table with linear probing; a serial of 0 marks an
// empty entry.
struct entry {
    object_handle handle;
    void *object;
    int kind;
};

const std::size_t first_table_capacity = 16; // a power of two

// Process-wide, zero at load: no constructor runs.
struct registry {
    entry *table;
    std::size_t capacity; // 0 or a power of two
    std::size_t count;
    object_handle last_serial;
    shared_database *current;
};

registry live;
pthread_mutex_t live_lock = PTHREAD_MUTEX_INITIALIZER;

// Holds the lock for the scope: every path out of a function unlocks.
struct scoped_lock {
    scoped_lock() { pthread_mutex_lock(&live_lock); }
    ~scoped_lock() { pthread_mutex_unlock(&live_lock); }
    scoped_lock(const scoped_lock &) = delete;
    scoped_lock &operator=(const scoped_lock &) = delete;
};

// Fibonacci hashing spreads the consecutive serials over the table.
std::size_t home_of(object_handle handle, std::size_t capacity)
{
    return static_cast<std::size_t>(handle * 0x9e3779b97f4a7c15ULL) & (capacity - 1);
}

void place(entry *table, std::size_t capacity, const entry &e)
{
    std::size_t i = home_of(e.handle, capacity);
    while (table[i].handle != 0) {
        i = (i + 1) & (capacity - 1);
    }
    table[i] = e;
}

// Room for one more entry at a load of at most one half. 0 when the larger
// table cannot be had.
int make_room()
{
    if ((live.count + 1) * 2 <= live.capacity) {
        return 1;
    }
    std::size_t capacity = live.capacity == 0 ? first_table_capacity : live.capacity * 2;
    entry *table = static_cast<entry *>(std::calloc(capacity, sizeof(entry)));
    if (table == nullptr) {
        return 0;
    }
    for (std::size_t i = 0; i < live.capacity; ++i) {
        if (live.table[i].handle != 0) {
            place(table, capacity, live.table[i]);
        }
    }
    std::free(live.table);
    live.table = table;
    live.capacity = capacity;
    return 1;
}

// Index of the entry of that handle, or capacity when there is none.
std::size_t index_of(object_handle handle)
{
    if (handle == 0 || live.capacity == 0) {
        return live.capacity;
    }
    for (std::size_t i = home_of(handle, live.capacity);; i = (i + 1) & (live.capacity - 1)) {
        if (live.table[i].handle == handle) {
            return i;
        }
        if (live.table[i].handle == 0) {
            return live.capacity;
        }
    }
}

// Empties entry `hole` and moves later entries of its run back into it
// where their probe passed it, so that no lookup stops early.
void remove_at(std::size_t hole)
{
    std::size_t mask = live.capacity - 1;
    for (std::size_t j = (hole + 1) & mask; live.table[j].handle != 0; j = (j + 1) & mask) {
        std::size_t home = home_of(live.table[j].handle, live.capacity);
        if (((j - home) & mask) >= ((j - hole) & mask)) {
            live.table[hole] = live.table[j];
            hole = j;
        }
    }
    live.table[hole] = entry{0, nullptr, 0};
    --live.count;
}

// One holder fewer, under the lock: the database to release, or null.
shared_database *drop_holder(shared_database *database)
{
    return database != nullptr && --database->holders == 0 ? database : nullptr;
}

void release(shared_database *database)
{
    if (database != nullptr) {
        release_thermo_database(&database->db);
        std::free(database);
    }
}

} // namespace

object_handle register_object(void *object, int kind)
{
    scoped_lock lock;
    if (!make_room()) {
        return 0;
    }
    entry e = {++live.last_serial, object, kind};
    place(live.table, live.capacity, e);
    ++live.count;
    return e.handle;
}

void *find_object(object_handle handle, int kind)
{
    scoped_lock lock;
    std::size_t i = index_of(handle);
    return i < live.capacity && live.table[i].kind == kind ? live.table[i].object : nullptr;
}

void *unregister_object(object_handle handle, int kind)
{
    scoped_lock lock;
    std::size_t i = index_of(handle);
    if (i == live.capacity || live.table[i].kind != kind) {
        return nullptr;
    }
    void *object = live.table[i].object;
    remove_at(i);
    return object;
}

shared_database *hold_current_database()
{
    scoped_lock lock;
    if (live.current != nullptr) {
        ++live.current->holders;
    }
    return live.current;
}

void hold_database(shared_database *database)
{
    scoped_lock lock;
    ++database->holders;
}

void let_go_database(shared_database *database)
{
    shared_database *unheld = nullptr;
    {
        scoped_lock lock;
        unheld = drop_holder(database);
    }
    release(unheld); // unmapping needs no lock: nothing refers to it any more
}

void install_database(shared_database *loaded)
{
    shared_database *unheld = nullptr;
    {
        scoped_lock lock;
        unheld = drop_holder(live.current);
        live.current = loaded;
    }
    release(unheld);
}

} // namespace cea_impl
