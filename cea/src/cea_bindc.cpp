// The C interface layer: argument checks, handles, the current database
// and the last-error text. The library is built without exceptions and
// without the C++ runtime: every failure is a status code and a text, and
// memory comes from malloc or, for the database, the mapped arena.
//
// Threads: the handle table and the current database are shared under the
// registry's lock (object_registry.h), the last-error text is the calling
// thread's own (last_error.h), and an object is used by one thread at a
// time, so nothing else here is shared.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "equilibrium_solver.h"
#include "last_error.h"
#include "library_status.h"
#include "mixture.h"
#include "object_registry.h"
#include "state_properties.h"
#include "thermo_database.h"

#include "cea_bindc.h"

// The sixteen operations are the library's only exported symbols.
#define CEA_EXPORT __attribute__((visibility("default")))

namespace {

using cea_impl::kind_mixture;
using cea_impl::kind_solution;
using cea_impl::kind_solver;
using cea_impl::object_handle;
using cea_impl::shared_database;

// A handle carries its serial number in place of an address: it is never
// followed, only looked up.
static_assert(sizeof(std::uintptr_t) >= sizeof(object_handle), "handles hold 64-bit serial numbers");

template <typename Handle>
object_handle serial_of(Handle handle)
{
    return static_cast<object_handle>(reinterpret_cast<std::uintptr_t>(handle));
}

template <typename Handle>
Handle handle_of(object_handle serial)
{
    // A serial number in a pointer's clothes: no pointer is made from an
    // address here, and none is ever followed.
    return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(serial)); // NOLINT(performance-no-int-to-ptr)
}

struct mixture_object {
    shared_database *owner;
    cea_impl::mixture mix;
};

struct solver_object {
    shared_database *owner;
    cea_impl::equilibrium_solver solver;
};

struct solution_object {
    object_handle solver; // the one solver that may solve into it
    cea_impl::equilibrium_solution solution;
};

int publish(const cea_impl::failure *f) { return cea_impl::publish_failure(f); }

// Every call that succeeds leaves the calling thread without an error text.
int succeeded()
{
    cea_impl::clear_last_error();
    return CEA_OK;
}

int report(int status, const char *text)
{
    cea_impl::failure f;
    f.status = status;
    std::strncpy(f.text, text, sizeof f.text - 1);
    f.text[sizeof f.text - 1] = '\0';
    return publish(&f);
}

int out_of_memory(const char *operation)
{
    cea_impl::failure f;
    cea_impl::fail(&f, CEA_OUT_OF_MEMORY, "%s: out of memory", operation);
    return publish(&f);
}

int null_handle(const char *operation, const char *what)
{
    cea_impl::failure f;
    cea_impl::fail(&f, CEA_NULL_HANDLE, "%s: %s", operation, what);
    return publish(&f);
}

int not_live(const char *operation, const char *name)
{
    cea_impl::failure f;
    cea_impl::fail(&f, CEA_NULL_HANDLE, "%s: the %s handle is not a live %s (destroyed, or of another kind)", operation,
                   name, name);
    return publish(&f);
}

// The live object behind a handle, or null with the failure published in
// *status.
template <typename Object, typename Handle>
Object *find(Handle handle, int kind, const char *operation, const char *name, int *status)
{
    *status = CEA_OK;
    if (handle == nullptr) {
        cea_impl::failure f;
        cea_impl::fail(&f, CEA_NULL_HANDLE, "%s: the %s handle is null", operation, name);
        *status = publish(&f);
        return nullptr;
    }
    Object *object = static_cast<Object *>(cea_impl::find_object(serial_of(handle), kind));
    if (object == nullptr) {
        *status = not_live(operation, name);
    }
    return object;
}

// The checks that every destroy shares: the object to destroy, taken out of
// the table, or null with *status set (CEA_OK for a null handle).
template <typename Object, typename Handle>
Object *take_for_destroy(Handle *handle, int kind, const char *operation, const char *name, int *status)
{
    *status = CEA_OK;
    if (handle == nullptr) {
        *status = null_handle(operation, "the address of the handle is null");
        return nullptr;
    }
    if (*handle == nullptr) {
        return nullptr;
    }
    Object *object = static_cast<Object *>(cea_impl::unregister_object(serial_of(*handle), kind));
    if (object == nullptr) {
        *status = not_live(operation, name);
    }
    return object;
}

// A new mixture object around the current database, with its list filled
// by `build`.
template <typename Build>
int create_mixture(cea_mixture *mix, const char *op, Build build)
{
    if (mix == nullptr) {
        return null_handle(op, "the address of the handle is null");
    }
    shared_database *database = cea_impl::hold_current_database();
    if (database == nullptr) {
        cea_impl::failure f;
        cea_impl::fail(&f, CEA_NO_DATABASE, "%s: no thermodynamic database is loaded (call cea_init_thermo first)", op);
        return publish(&f);
    }
    mixture_object *object = static_cast<mixture_object *>(std::malloc(sizeof(mixture_object)));
    if (object == nullptr) {
        cea_impl::let_go_database(database);
        return out_of_memory(op);
    }
    cea_impl::failure f;
    if (build(&database->db, &object->mix, &f) != CEA_OK) {
        std::free(object);
        cea_impl::let_go_database(database);
        return publish(&f);
    }
    object->owner = database;
    object_handle serial = cea_impl::register_object(object, kind_mixture);
    if (serial == 0) {
        cea_impl::release_mixture(&object->mix);
        std::free(object);
        cea_impl::let_go_database(database);
        return out_of_memory(op);
    }
    *mix = handle_of<cea_mixture>(serial);
    return succeeded();
}

} // namespace

extern "C" {

CEA_EXPORT int cea_set_log_level(int level)
{
    (void)level;
    return succeeded();
}

CEA_EXPORT int cea_init_thermo(const char *path)
{
    if (path == nullptr || path[0] == '\0') {
        return report(CEA_INVALID_FILENAME, "cea_init_thermo: the database path is null or empty");
    }
    shared_database *loaded = static_cast<shared_database *>(std::malloc(sizeof(shared_database)));
    if (loaded == nullptr) {
        return out_of_memory("cea_init_thermo");
    }
    // Read without the lock: other threads go on with the current database.
    cea_impl::failure f;
    if (cea_impl::load_thermo_file(path, &loaded->db, &f) != CEA_OK) {
        std::free(loaded);
        return publish(&f); // the database loaded before, if any, stays
    }
    loaded->holders = 1;
    cea_impl::install_database(loaded);
    return succeeded();
}

CEA_EXPORT int cea_mixture_create(cea_mixture *mix, int n, const char *const names[])
{
    return create_mixture(
        mix, "cea_mixture_create",
        [n, names](const cea_impl::thermo_database *db, cea_impl::mixture *out, cea_impl::failure *f) {
            return cea_impl::mixture_from_names(db, n, names, out, f);
        });
}

CEA_EXPORT int cea_mixture_create_from_reactants(cea_mixture *mix, int n, const char *const names[], int n_omit,
                                                 const char *const omit[])
{
    return create_mixture(
        mix, "cea_mixture_create_from_reactants",
        [n, names, n_omit, omit](const cea_impl::thermo_database *db, cea_impl::mixture *out, cea_impl::failure *f) {
            return cea_impl::mixture_of_products(db, n, names, n_omit, omit, out, f);
        });
}

CEA_EXPORT int cea_eqsolver_create_with_reactants(cea_eqsolver *solver, cea_mixture products, cea_mixture reactants)
{
    const char *op = "cea_eqsolver_create_with_reactants";
    if (solver == nullptr) {
        return null_handle(op, "the address of the handle is null");
    }
    int status = CEA_OK;
    mixture_object *product_mix = find<mixture_object>(products, kind_mixture, op, "product mixture", &status);
    if (product_mix == nullptr) {
        return status;
    }
    mixture_object *reactant_mix = find<mixture_object>(reactants, kind_mixture, op, "reactant mixture", &status);
    if (reactant_mix == nullptr) {
        return status;
    }
    solver_object *object = static_cast<solver_object *>(std::malloc(sizeof(solver_object)));
    if (object == nullptr) {
        return out_of_memory(op);
    }
    cea_impl::failure f;
    if (cea_impl::create_equilibrium_solver(&product_mix->mix, &reactant_mix->mix, &object->solver, &f) != CEA_OK) {
        std::free(object);
        return publish(&f);
    }
    // The solver reads the product records where they are.
    object->owner = product_mix->owner;
    cea_impl::hold_database(object->owner);
    object_handle serial = cea_impl::register_object(object, kind_solver);
    if (serial == 0) {
        cea_impl::release_equilibrium_solver(&object->solver);
        cea_impl::let_go_database(object->owner);
        std::free(object);
        return out_of_memory(op);
    }
    *solver = handle_of<cea_eqsolver>(serial);
    return succeeded();
}

CEA_EXPORT int cea_eqsolution_create(cea_eqsolution *solution, cea_eqsolver solver)
{
    const char *op = "cea_eqsolution_create";
    if (solution == nullptr) {
        return null_handle(op, "the address of the handle is null");
    }
    int status = CEA_OK;
    solver_object *owner = find<solver_object>(solver, kind_solver, op, "solver", &status);
    if (owner == nullptr) {
        return status;
    }
    solution_object *object = static_cast<solution_object *>(std::malloc(sizeof(solution_object)));
    if (object == nullptr) {
        return out_of_memory(op);
    }
    cea_impl::failure f;
    if (cea_impl::create_equilibrium_solution(&owner->solver, &object->solution, &f) != CEA_OK) {
        std::free(object);
        return publish(&f);
    }
    object->solver = serial_of(solver);
    object_handle serial = cea_impl::register_object(object, kind_solution);
    if (serial == 0) {
        cea_impl::release_equilibrium_solution(&object->solution);
        std::free(object);
        return out_of_memory(op);
    }
    *solution = handle_of<cea_eqsolution>(serial);
    return succeeded();
}

CEA_EXPORT int cea_mixture_of_ratio_to_weights(cea_mixture mix, int n, const double oxidant[], const double fuel[],
                                               double of_ratio, double weights[])
{
    int status = CEA_OK;
    mixture_object *object =
        find<mixture_object>(mix, kind_mixture, "cea_mixture_of_ratio_to_weights", "mixture", &status);
    if (object == nullptr) {
        return status;
    }
    cea_impl::failure f;
    if (cea_impl::ratio_to_weights(&object->mix, n, oxidant, fuel, of_ratio, weights, &f) != CEA_OK) {
        return publish(&f);
    }
    return succeeded();
}

CEA_EXPORT int cea_mixture_calc_property_multitemp(cea_mixture mix, int property, int n_weights, const double weights[],
                                                   int n_temperatures, const double temperatures[], double *value)
{
    const char *op = "cea_mixture_calc_property_multitemp";
    int status = CEA_OK;
    mixture_object *object = find<mixture_object>(mix, kind_mixture, op, "mixture", &status);
    if (object == nullptr) {
        return status;
    }
    if (value == nullptr) {
        return null_handle(op, "the result pointer is null");
    }
    cea_impl::failure f;
    if (property != CEA_ENTHALPY) {
        cea_impl::fail(&f, CEA_INVALID_PROPERTY_TYPE, "%s: mixture property %d is not provided (6 is the enthalpy)", op,
                       property);
        return publish(&f);
    }
    double h = 0.0;
    if (cea_impl::reactant_enthalpy(&object->mix, n_weights, weights, n_temperatures, temperatures, &h, &f) != CEA_OK) {
        return publish(&f);
    }
    *value = h;
    return succeeded();
}

CEA_EXPORT int cea_eqsolver_solve(cea_eqsolver solver, int type, double state1, double state2, const double amounts[],
                                  cea_eqsolution solution)
{
    const char *op = "cea_eqsolver_solve";
    int status = CEA_OK;
    solver_object *s = find<solver_object>(solver, kind_solver, op, "solver", &status);
    if (s == nullptr) {
        return status;
    }
    solution_object *into = find<solution_object>(solution, kind_solution, op, "solution", &status);
    if (into == nullptr) {
        return status;
    }
    cea_impl::failure f;
    if (into->solver != serial_of(solver)) {
        cea_impl::fail(&f, CEA_MIXTURE_MISMATCH, "%s: the solution was created for another solver", op);
        return publish(&f);
    }
    if (cea_impl::solve_equilibrium(&s->solver, type, state1, state2, amounts, nullptr, &into->solution, &f) !=
        CEA_OK) {
        return publish(&f);
    }
    return succeeded();
}

CEA_EXPORT int cea_eqsolution_get_converged(cea_eqsolution solution, int *converged)
{
    const char *op = "cea_eqsolution_get_converged";
    int status = CEA_OK;
    solution_object *object = find<solution_object>(solution, kind_solution, op, "solution", &status);
    if (object == nullptr) {
        return status;
    }
    if (converged == nullptr) {
        return null_handle(op, "the result pointer is null");
    }
    *converged = object->solution.has_result && object->solution.converged ? 1 : 0;
    return succeeded();
}

CEA_EXPORT int cea_eqsolution_get_property(cea_eqsolution solution, int property, double *value)
{
    const char *op = "cea_eqsolution_get_property";
    int status = CEA_OK;
    solution_object *object = find<solution_object>(solution, kind_solution, op, "solution", &status);
    if (object == nullptr) {
        return status;
    }
    if (value == nullptr) {
        return null_handle(op, "the result pointer is null");
    }
    const cea_impl::equilibrium_solution &s = object->solution;
    cea_impl::failure f;
    if (property < CEA_TEMPERATURE || property > CEA_EQUILIBRIUM_PRANDTL) {
        cea_impl::fail(&f, CEA_INVALID_PROPERTY_TYPE, "%s: property %d is unknown (0 to 19)", op, property);
        return publish(&f);
    }
    if (property >= CEA_VISCOSITY) {
        cea_impl::fail(&f, CEA_INVALID_PROPERTY_TYPE, "%s: transport property %d is not provided", op, property);
        return publish(&f);
    }
    if (!s.has_result) {
        cea_impl::fail(&f, CEA_NOT_CONVERGED, "%s: the solution holds no result (no successful solve yet)", op);
        return publish(&f);
    }
    if (!s.converged) {
        char reason[256];
        cea_impl::describe_unconverged(&s, reason, sizeof reason);
        cea_impl::fail(&f, CEA_NOT_CONVERGED, "%s: the last solve into this solution did not converge%s", op, reason);
        return publish(&f);
    }
    double v = 0.0;
    if (cea_impl::state_property(&s, property, &v) != CEA_OK) {
        cea_impl::fail(&f, CEA_NOT_CONVERGED, "%s: the equilibrium derivatives could not be solved", op);
        return publish(&f);
    }
    *value = v;
    return succeeded();
}

// The two readers of the error text neither set nor clear it, whatever they
// return.
CEA_EXPORT int cea_last_error_message_len(int *length)
{
    if (length == nullptr) {
        return CEA_NULL_HANDLE;
    }
    *length = cea_impl::last_error_length();
    return CEA_OK;
}

CEA_EXPORT int cea_last_error_message_buf(char *buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return CEA_INVALID_SIZE;
    }
    int length = cea_impl::last_error_length();
    int n = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, cea_impl::last_error_text(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n == length ? CEA_OK : CEA_INVALID_SIZE;
}

CEA_EXPORT int cea_eqsolution_destroy(cea_eqsolution *solution)
{
    int status = CEA_OK;
    solution_object *object =
        take_for_destroy<solution_object>(solution, kind_solution, "cea_eqsolution_destroy", "solution", &status);
    if (object == nullptr) {
        return status == CEA_OK ? succeeded() : status;
    }
    cea_impl::release_equilibrium_solution(&object->solution);
    std::free(object);
    *solution = nullptr;
    return succeeded();
}

CEA_EXPORT int cea_eqsolver_destroy(cea_eqsolver *solver)
{
    int status = CEA_OK;
    solver_object *object =
        take_for_destroy<solver_object>(solver, kind_solver, "cea_eqsolver_destroy", "solver", &status);
    if (object == nullptr) {
        return status == CEA_OK ? succeeded() : status;
    }
    cea_impl::release_equilibrium_solver(&object->solver);
    cea_impl::let_go_database(object->owner);
    std::free(object);
    *solver = nullptr;
    return succeeded();
}

CEA_EXPORT int cea_mixture_destroy(cea_mixture *mix)
{
    int status = CEA_OK;
    mixture_object *object =
        take_for_destroy<mixture_object>(mix, kind_mixture, "cea_mixture_destroy", "mixture", &status);
    if (object == nullptr) {
        return status == CEA_OK ? succeeded() : status;
    }
    cea_impl::release_mixture(&object->mix);
    cea_impl::let_go_database(object->owner);
    std::free(object);
    *mix = nullptr;
    return succeeded();
}

} // extern "C"
