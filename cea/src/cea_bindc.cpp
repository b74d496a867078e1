// The C interface layer: argument checks, handles, the process-wide
// database and last-error text. The library is built without exceptions
// and without the C++ runtime: every failure is a status code and a text,
// and memory comes from malloc or, for the database, the mapped arena.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "equilibrium_solver.h"
#include "library_status.h"
#include "mixture.h"
#include "state_properties.h"
#include "thermo_database.h"

#include "cea_bindc.h"

// The sixteen operations are the library's only exported symbols.
#define CEA_EXPORT __attribute__((visibility("default")))

namespace {

enum object_kind { kind_mixture = 1, kind_solver = 2, kind_solution = 3 };

// A loaded database and the number of its holders: the library while it is
// the current one, and every mixture and solver made from it.
struct shared_database {
    cea_impl::thermo_database db;
    int holders;
};

// Every object begins with this header; the live objects form a list, which
// lets a stale or foreign handle be refused instead of followed.
struct object_header {
    int kind;
    object_header *next;
};

} // namespace

struct cea_mixture_t {
    object_header header;
    shared_database *owner;
    cea_impl::mixture mix;
};

struct cea_eqsolver_t {
    object_header header;
    shared_database *owner;
    cea_impl::equilibrium_solver solver;
};

struct cea_eqsolution_t {
    object_header header;
    cea_impl::equilibrium_solution solution;
};

namespace {

// Process-wide state of the library, zero at load: no constructor runs.
struct library_state {
    shared_database *database;
    object_header *live;
    char last_error[cea_impl::failure_text_capacity];
    int last_error_length;
};

library_state state;

int publish(const cea_impl::failure *f)
{
    std::size_t n = std::strlen(f->text);
    if (n >= sizeof state.last_error) {
        n = sizeof state.last_error - 1;
    }
    std::memcpy(state.last_error, f->text, n);
    state.last_error[n] = '\0';
    state.last_error_length = static_cast<int>(n);
    return f->status;
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

// Looks the pointer up among the live objects before anything reads
// through it.
int is_live(const void *object, int kind)
{
    for (const object_header *h = state.live; h != nullptr; h = h->next) {
        if (static_cast<const void *>(h) == object) {
            return h->kind == kind;
        }
    }
    return 0;
}

void link_object(object_header *h, int kind)
{
    h->kind = kind;
    h->next = state.live;
    state.live = h;
}

void unlink_object(const object_header *h)
{
    for (object_header **at = &state.live; *at != nullptr; at = &(*at)->next) {
        if (*at == h) {
            *at = h->next;
            return;
        }
    }
}

void hold(shared_database *d) { ++d->holders; }

void let_go(shared_database *d)
{
    if (d != nullptr && --d->holders == 0) {
        cea_impl::release_thermo_database(&d->db);
        std::free(d);
    }
}

int null_handle(const char *operation, const char *what)
{
    cea_impl::failure f;
    cea_impl::fail(&f, CEA_NULL_HANDLE, "%s: %s", operation, what);
    return publish(&f);
}

int check_handle(const void *object, int kind, const char *operation, const char *name)
{
    cea_impl::failure f;
    if (object == nullptr) {
        cea_impl::fail(&f, CEA_NULL_HANDLE, "%s: the %s handle is null", operation, name);
        return publish(&f);
    }
    if (!is_live(object, kind)) {
        cea_impl::fail(&f, CEA_NULL_HANDLE, "%s: the %s handle is not a live %s (destroyed, or of another kind)",
                       operation, name, name);
        return publish(&f);
    }
    return CEA_OK;
}

int need_database(const char *operation)
{
    if (state.database == nullptr) {
        cea_impl::failure f;
        cea_impl::fail(&f, CEA_NO_DATABASE, "%s: no thermodynamic database is loaded (call cea_init_thermo first)",
                       operation);
        return publish(&f);
    }
    return CEA_OK;
}

// The checks that every destroy shares. 1 when *handle is a live object to
// destroy, else 0 with *status set.
template <typename T>
int destroyable(T **handle, int kind, const char *operation, const char *name, int *status)
{
    *status = CEA_OK;
    if (handle == nullptr) {
        *status = null_handle(operation, "the address of the handle is null");
        return 0;
    }
    if (*handle == nullptr) {
        return 0;
    }
    *status = check_handle(*handle, kind, operation, name);
    return *status == CEA_OK;
}

// A new mixture object around the current database, with its list filled
// by `build`.
template <typename Build>
int create_mixture(cea_mixture *mix, const char *op, Build build)
{
    if (mix == nullptr) {
        return null_handle(op, "the address of the handle is null");
    }
    int status = need_database(op);
    if (status != CEA_OK) {
        return status;
    }
    cea_mixture_t *object = static_cast<cea_mixture_t *>(std::malloc(sizeof(cea_mixture_t)));
    if (object == nullptr) {
        return out_of_memory(op);
    }
    cea_impl::failure f;
    if (build(&state.database->db, &object->mix, &f) != CEA_OK) {
        std::free(object);
        return publish(&f);
    }
    object->owner = state.database;
    hold(object->owner);
    link_object(&object->header, kind_mixture);
    *mix = object;
    return CEA_OK;
}

} // namespace

extern "C" {

CEA_EXPORT int cea_set_log_level(int level)
{
    (void)level;
    return CEA_OK;
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
    cea_impl::failure f;
    if (cea_impl::load_thermo_file(path, &loaded->db, &f) != CEA_OK) {
        std::free(loaded);
        return publish(&f); // the database loaded before, if any, stays
    }
    loaded->holders = 1;
    let_go(state.database);
    state.database = loaded;
    return CEA_OK;
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
    int status = check_handle(products, kind_mixture, op, "product mixture");
    if (status == CEA_OK) {
        status = check_handle(reactants, kind_mixture, op, "reactant mixture");
    }
    if (status != CEA_OK) {
        return status;
    }
    cea_eqsolver_t *object = static_cast<cea_eqsolver_t *>(std::malloc(sizeof(cea_eqsolver_t)));
    if (object == nullptr) {
        return out_of_memory(op);
    }
    cea_impl::failure f;
    if (cea_impl::create_equilibrium_solver(&products->mix, &reactants->mix, &object->solver, &f) != CEA_OK) {
        std::free(object);
        return publish(&f);
    }
    // The solver reads the product records where they are.
    object->owner = products->owner;
    hold(object->owner);
    link_object(&object->header, kind_solver);
    *solver = object;
    return CEA_OK;
}

CEA_EXPORT int cea_eqsolution_create(cea_eqsolution *solution, cea_eqsolver solver)
{
    const char *op = "cea_eqsolution_create";
    if (solution == nullptr) {
        return null_handle(op, "the address of the handle is null");
    }
    int status = check_handle(solver, kind_solver, op, "solver");
    if (status != CEA_OK) {
        return status;
    }
    cea_eqsolution_t *object = static_cast<cea_eqsolution_t *>(std::malloc(sizeof(cea_eqsolution_t)));
    if (object == nullptr) {
        return out_of_memory(op);
    }
    cea_impl::failure f;
    if (cea_impl::create_equilibrium_solution(&solver->solver, &object->solution, &f) != CEA_OK) {
        std::free(object);
        return publish(&f);
    }
    link_object(&object->header, kind_solution);
    *solution = object;
    return CEA_OK;
}

CEA_EXPORT int cea_mixture_of_ratio_to_weights(cea_mixture mix, int n, const double oxidant[], const double fuel[],
                                               double of_ratio, double weights[])
{
    int status = check_handle(mix, kind_mixture, "cea_mixture_of_ratio_to_weights", "mixture");
    if (status != CEA_OK) {
        return status;
    }
    cea_impl::failure f;
    if (cea_impl::ratio_to_weights(&mix->mix, n, oxidant, fuel, of_ratio, weights, &f) != CEA_OK) {
        return publish(&f);
    }
    return CEA_OK;
}

CEA_EXPORT int cea_mixture_calc_property_multitemp(cea_mixture mix, int property, int n_weights, const double weights[],
                                                   int n_temperatures, const double temperatures[], double *value)
{
    const char *op = "cea_mixture_calc_property_multitemp";
    int status = check_handle(mix, kind_mixture, op, "mixture");
    if (status != CEA_OK) {
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
    if (cea_impl::reactant_enthalpy(&mix->mix, n_weights, weights, n_temperatures, temperatures, &h, &f) != CEA_OK) {
        return publish(&f);
    }
    *value = h;
    return CEA_OK;
}

CEA_EXPORT int cea_eqsolver_solve(cea_eqsolver solver, int type, double state1, double state2, const double amounts[],
                                  cea_eqsolution solution)
{
    const char *op = "cea_eqsolver_solve";
    int status = check_handle(solver, kind_solver, op, "solver");
    if (status == CEA_OK) {
        status = check_handle(solution, kind_solution, op, "solution");
    }
    if (status != CEA_OK) {
        return status;
    }
    cea_impl::failure f;
    if (solution->solution.species_count != solver->solver.species_count ||
        solution->solution.element_count != solver->solver.element_count) {
        cea_impl::fail(&f, CEA_MIXTURE_MISMATCH, "%s: the solution was created for another solver", op);
        return publish(&f);
    }
    if (cea_impl::solve_equilibrium(&solver->solver, type, state1, state2, amounts, nullptr, &solution->solution, &f) !=
        CEA_OK) {
        return publish(&f);
    }
    return CEA_OK;
}

CEA_EXPORT int cea_eqsolution_get_converged(cea_eqsolution solution, int *converged)
{
    const char *op = "cea_eqsolution_get_converged";
    int status = check_handle(solution, kind_solution, op, "solution");
    if (status != CEA_OK) {
        return status;
    }
    if (converged == nullptr) {
        return null_handle(op, "the result pointer is null");
    }
    *converged = solution->solution.has_result && solution->solution.converged ? 1 : 0;
    return CEA_OK;
}

CEA_EXPORT int cea_eqsolution_get_property(cea_eqsolution solution, int property, double *value)
{
    const char *op = "cea_eqsolution_get_property";
    int status = check_handle(solution, kind_solution, op, "solution");
    if (status != CEA_OK) {
        return status;
    }
    if (value == nullptr) {
        return null_handle(op, "the result pointer is null");
    }
    const cea_impl::equilibrium_solution &s = solution->solution;
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
    return CEA_OK;
}

CEA_EXPORT int cea_last_error_message_len(int *length)
{
    if (length == nullptr) {
        return CEA_NULL_HANDLE; // reading the error must not replace it
    }
    *length = state.last_error_length;
    return CEA_OK;
}

CEA_EXPORT int cea_last_error_message_buf(char *buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return CEA_INVALID_SIZE; // reading the error must not replace it
    }
    int n = state.last_error_length < size - 1 ? state.last_error_length : size - 1;
    std::memcpy(buffer, state.last_error, static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n == state.last_error_length ? CEA_OK : CEA_INVALID_SIZE;
}

CEA_EXPORT int cea_eqsolution_destroy(cea_eqsolution *solution)
{
    int status = CEA_OK;
    if (destroyable(solution, kind_solution, "cea_eqsolution_destroy", "solution", &status)) {
        unlink_object(&(*solution)->header);
        cea_impl::release_equilibrium_solution(&(*solution)->solution);
        std::free(*solution);
        *solution = nullptr;
    }
    return status;
}

CEA_EXPORT int cea_eqsolver_destroy(cea_eqsolver *solver)
{
    int status = CEA_OK;
    if (destroyable(solver, kind_solver, "cea_eqsolver_destroy", "solver", &status)) {
        unlink_object(&(*solver)->header);
        cea_impl::release_equilibrium_solver(&(*solver)->solver);
        let_go((*solver)->owner);
        std::free(*solver);
        *solver = nullptr;
    }
    return status;
}

CEA_EXPORT int cea_mixture_destroy(cea_mixture *mix)
{
    int status = CEA_OK;
    if (destroyable(mix, kind_mixture, "cea_mixture_destroy", "mixture", &status)) {
        unlink_object(&(*mix)->header);
        cea_impl::release_mixture(&(*mix)->mix);
        let_go((*mix)->owner);
        std::free(*mix);
        *mix = nullptr;
    }
    return status;
}

} // extern "C"
