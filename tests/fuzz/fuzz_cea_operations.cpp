// libFuzzer target over the equilibrium library's C operations. The input is
// read as a short program of calls (ratio to weights, reactant enthalpy,
// solves, property reads, error-text reads, whole create-solve-destroy chains
// over named species, handle misuse, failed database loads), each with
// numbers that range from plausible to hostile: NaN, infinities, zeros,
// negatives, huge and tiny values, any bit pattern.
//
// The shipped database is loaded once per process, with a reactant mixture,
// product mixture, solver and two solutions for each fuel (liquid methane and
// RP-1, each with liquid oxygen). After every call:
// - a failure is a documented nonzero status with a readable last-error text,
//   and a success leaves no last-error text;
// - a converged state is finite and plausible: T within the temperatures the
//   C-H-O product data cover, p as asked, M and MW > 0, cp > cv > 0, h as
//   asked in an enthalpy-pressure problem;
// - a solve that refuses its arguments leaves the solution without a result.
// At the end, the first solve of the run is repeated and must give the same
// bits, whatever was solved, refused or destroyed in between; and nothing may
// have been written to standard output.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cea_bindc.h"
#include "fuzz_input.h"
#include "stdout_capture.h"

namespace {

using lre_fuzz::byte_reader;
using lre_fuzz::fail;
using lre_fuzz::take_byte;
using lre_fuzz::take_choice;
using lre_fuzz::take_number;

// The library's gas constant: h/R in, kJ/kg out.
const double gas_constant_kj_kmol_k = 8.31451;
const double gas_constant_j_kmol_k = 8314.51;

// Every C-H-O species of the database's products part has fits between
// 200 K and 20000 K (the widest gas records reach 20000 K).
const double data_min_temperature_k = 200.0;
const double data_max_temperature_k = 20000.0;

// Recorded temperatures of the assigned-enthalpy reactants.
const double oxygen_assigned_k = 90.17;
const double fuel_assigned_k[2] = {111.643, 298.15};
const char *const fuel_names[2] = {"CH4(L)", "RP-1"};

// Operations per input, so that one input cannot run for long.
const int max_operations = 24;
// Largest species list a fuzzed call passes.
const int max_list = 4;
// More than the database's species records (2086).
const std::size_t database_species_bound = 4096;

struct propellant_set {
    cea_mixture reactants;
    cea_mixture products;
    cea_eqsolver solver;
    cea_eqsolution solution;
    cea_eqsolution spare;
};

struct fixture {
    propellant_set fuels[2];
};

// The first solve of a run through a fixture solver, repeated at the end.
struct recorded_solve {
    int valid;
    int fuel;
    int type;
    double state1;
    double state2;
    double amounts[2];
    int converged;
    double values[5]; // T, M, h, frozen cp, frozen cv
};

struct run_state {
    fixture *objects;
    recorded_solve first;
};

// --- checks --------------------------------------------------------------

// The calling thread's error text, which must not be empty unless
// empty_allowed.
std::string last_error_text(const char *operation, int empty_allowed = 0)
{
    int length = -1;
    if (cea_last_error_message_len(&length) != CEA_OK) {
        fail("%s: cea_last_error_message_len failed", operation);
    }
    if (length < (empty_allowed ? 0 : 1) || length > 4096) {
        fail("%s: the error text length is %d", operation, length);
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    if (cea_last_error_message_buf(&text[0], length + 1) != CEA_OK) {
        fail("%s: cea_last_error_message_buf refused a buffer of length + 1", operation);
    }
    if (std::strlen(text.c_str()) != static_cast<std::size_t>(length)) {
        fail("%s: the error text is %zu characters, its length says %d", operation, std::strlen(text.c_str()), length);
    }
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// A nonzero status must be one of the documented codes (an out-of-memory or
// internal failure is a fault here: nothing the fuzzer passes needs much
// memory) with a printable, non-empty last-error text.
void check_failure(int status, const char *operation)
{
    const int documented[] = {
        CEA_INVALID_FILENAME,   CEA_INVALID_PROPERTY_TYPE, CEA_INVALID_EQUILIBRIUM_TYPE,
        CEA_INVALID_INDEX,      CEA_INVALID_SIZE,          CEA_NOT_CONVERGED,
        CEA_MALFORMED_DATABASE, CEA_UNKNOWN_SPECIES,       CEA_TEMPERATURE_RANGE,
        CEA_INVALID_ARGUMENT,   CEA_NULL_HANDLE,           CEA_NO_DATABASE,
        CEA_MIXTURE_MISMATCH,
    };
    int known = 0;
    for (int code : documented) {
        known = known || status == code;
    }
    if (!known) {
        fail("%s: status %d is not a documented failure", operation, status);
    }
    const std::string text = last_error_text(operation);
    for (char c : text) {
        if (c < 0x20 || c > 0x7e) {
            fail("%s: the error text has the byte 0x%02x: %s", operation, static_cast<unsigned char>(c), text.c_str());
        }
    }
}

void expect_status(int status, int expected, const char *operation)
{
    if (status != expected) {
        fail("%s: status %d, expected %d", operation, status, expected);
    }
    if (status != CEA_OK) {
        check_failure(status, operation);
    } else if (!last_error_text(operation, 1).empty()) {
        fail("%s succeeded and left the error text '%s'", operation, last_error_text(operation, 1).c_str());
    }
}

double property_of(cea_eqsolution solution, int property)
{
    double value = std::nan("");
    const int status = cea_eqsolution_get_property(solution, property, &value);
    if (status != CEA_OK) {
        fail("property %d of a converged solution: status %d", property, status);
    }
    if (!std::isfinite(value)) {
        fail("property %d of a converged solution is %g", property, value);
    }
    return value;
}

int within_relative(double value, double expected, double tolerance)
{
    return std::fabs(value - expected) <= tolerance * std::fabs(expected);
}

// What a solve into `solution` left: either no converged result (and then
// every property says so), or a finite, plausible state.
void check_solution(cea_eqsolution solution, int type, double state1, double state2, recorded_solve *record)
{
    int converged = -1;
    expect_status(cea_eqsolution_get_converged(solution, &converged), CEA_OK, "get_converged");
    if (converged != 0 && converged != 1) {
        fail("converged flag %d", converged);
    }
    if (record != nullptr) {
        record->converged = converged;
    }
    if (converged == 0) {
        double value = 0.0;
        expect_status(cea_eqsolution_get_property(solution, CEA_TEMPERATURE, &value), CEA_NOT_CONVERGED,
                      "temperature of an unconverged solution");
        return;
    }
    const double t = property_of(solution, CEA_TEMPERATURE);
    const double p = property_of(solution, CEA_PRESSURE);
    const double m = property_of(solution, CEA_M);
    const double mw = property_of(solution, CEA_MW);
    const double h = property_of(solution, CEA_ENTHALPY);
    const double cp = property_of(solution, CEA_FROZEN_CP);
    const double cv = property_of(solution, CEA_FROZEN_CV);
    for (int property : {CEA_VOLUME, CEA_DENSITY, CEA_ENERGY, CEA_ENTROPY, CEA_GIBBS_ENERGY}) {
        property_of(solution, property);
    }
    const char *problem = type == CEA_TP ? "TP" : "HP";
    if (!(t >= data_min_temperature_k && t <= data_max_temperature_k)) {
        fail("%s at %.17g, %.17g bar converged at T = %.17g K, outside the data", problem, state1, state2, t);
    }
    if (type == CEA_TP && !within_relative(t, state1, 1e-12)) {
        fail("TP at %.17g K converged at T = %.17g K", state1, t);
    }
    if (!within_relative(p, state2, 1e-12)) {
        fail("%s at %.17g bar converged at p = %.17g bar", problem, state2, p);
    }
    // MW counts the moles of every phase, M the gas moles only.
    if (!(m > 0.0) || !(mw > 0.0) || mw > m * (1.0 + 1e-12)) {
        fail("%s at %.17g, %.17g bar: M = %.17g, MW = %.17g", problem, state1, state2, m, mw);
    }
    if (!(cv > 0.0) || !(cp > cv)) {
        fail("%s at %.17g, %.17g bar: frozen cp = %.17g, cv = %.17g", problem, state1, state2, cp, cv);
    }
    if (type == CEA_HP) {
        const double asked = state1 * gas_constant_kj_kmol_k;
        // Relative to the enthalpy itself and to cp T, its scale near zero.
        if (std::fabs(h - asked) > 1e-8 * (std::fabs(asked) + cp * t)) {
            fail("HP asked h = %.17g kJ/kg at %.17g bar and converged at h = %.17g", asked, state2, h);
        }
    }
    for (int property : {CEA_GAMMA_S, CEA_EQUILIBRIUM_CP, CEA_EQUILIBRIUM_CV}) {
        double value = 0.0;
        const int status = cea_eqsolution_get_property(solution, property, &value);
        if (status == CEA_OK ? !std::isfinite(value) : status != CEA_NOT_CONVERGED) {
            fail("equilibrium property %d: status %d, value %g", property, status, value);
        }
    }
    if (record != nullptr) {
        const double values[5] = {t, m, h, cp, cv};
        std::memcpy(record->values, values, sizeof values);
    }
}

// --- handles ---------------------------------------------------------------

// A handle of the wrong kind: a live object, but not a mixture (or not a
// solver, not a solution).
template <typename To, typename From>
To wrong_kind(From handle)
{
    return reinterpret_cast<To>(handle);
}

struct mixture_pick {
    cea_mixture mix;
    int refused; // null or of the wrong kind
    int species; // species count when usable
};

mixture_pick pick_mixture(byte_reader *in, fixture *objects)
{
    const int choice = take_choice(in, 8);
    propellant_set &set = objects->fuels[choice & 1];
    switch (choice >> 1) {
    case 0: return {set.reactants, 0, 2};
    case 1: return {set.products, 0, 124};
    case 2: return {nullptr, 1, 0};
    default: return {wrong_kind<cea_mixture>(set.solution), 1, 0};
    }
}

// A list of up to max_list numbers, or no list at all.
const double *take_list(byte_reader *in, double *storage, double low, double high)
{
    if (take_choice(in, 8) == 0) {
        return nullptr;
    }
    for (int i = 0; i < max_list; ++i) {
        storage[i] = take_number(in, low, high);
    }
    return storage;
}

// --- operations --------------------------------------------------------------

void op_ratio_to_weights(byte_reader *in, run_state *run)
{
    const mixture_pick pick = pick_mixture(in, run->objects);
    const int n = take_choice(in, 6) - 1;
    double oxidant_storage[max_list];
    double fuel_storage[max_list];
    const double *oxidant = take_list(in, oxidant_storage, 0.0, 1.0);
    const double *fuel = take_list(in, fuel_storage, 0.0, 1.0);
    const double of_ratio = take_number(in, 0.01, 100.0);
    double weights[max_list] = {-1.0, -1.0, -1.0, -1.0};
    const int status = cea_mixture_of_ratio_to_weights(pick.mix, n, oxidant, fuel, of_ratio,
                                                       take_choice(in, 8) == 0 ? nullptr : weights);
    if (status != CEA_OK) {
        check_failure(status, "of_ratio_to_weights");
        return;
    }
    if (pick.refused) {
        fail("of_ratio_to_weights accepted a null or foreign mixture handle");
    }
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(weights[i]) || weights[i] < 0.0) {
            fail("of_ratio_to_weights at ratio %.17g gave weight %d = %.17g", of_ratio, i, weights[i]);
        }
        sum += weights[i];
    }
    if (!(std::fabs(sum - 1.0) <= 1e-12)) {
        fail("of_ratio_to_weights at ratio %.17g gave weights that sum to %.17g", of_ratio, sum);
    }
}

void op_reactant_enthalpy(byte_reader *in, run_state *run)
{
    const mixture_pick pick = pick_mixture(in, run->objects);
    const int property = take_choice(in, 4) == 0 ? take_choice(in, 24) - 2 : CEA_ENTHALPY;
    const int n_weights = take_choice(in, 6) - 1;
    const int n_temperatures = take_choice(in, 6) - 1;
    double weight_storage[max_list];
    double temperature_storage[max_list];
    const double *weights = take_list(in, weight_storage, 0.0, 1.0);
    const double *temperatures = temperature_storage;
    if (take_choice(in, 8) == 0) {
        temperatures = nullptr;
    } else {
        // Near the recorded temperatures of the reactants, or anywhere.
        for (int i = 0; i < max_list; ++i) {
            const double near = i == 0 ? oxygen_assigned_k : fuel_assigned_k[take_choice(in, 2)];
            temperature_storage[i] =
                take_choice(in, 2) == 0 ? near + take_number(in, -12.0, 12.0) : take_number(in, 10.0, 30000.0);
        }
    }
    double value = std::nan("");
    const int status = cea_mixture_calc_property_multitemp(pick.mix, property, n_weights, weights, n_temperatures,
                                                           temperatures, take_choice(in, 16) == 0 ? nullptr : &value);
    if (status != CEA_OK) {
        check_failure(status, "calc_property_multitemp");
        return;
    }
    if (pick.refused || property != CEA_ENTHALPY) {
        fail("calc_property_multitemp accepted property %d on %s", property,
             pick.refused ? "a bad handle" : "a mixture");
    }
    if (!std::isfinite(value)) {
        fail("calc_property_multitemp gave the enthalpy %.17g", value);
    }
}

// A solve with arbitrary arguments on a fixture solver.
void op_solve(byte_reader *in, run_state *run)
{
    const int fuel = take_choice(in, 2);
    propellant_set &set = run->objects->fuels[fuel];
    const int solver_choice = take_choice(in, 8);
    cea_eqsolver solver = set.solver;
    if (solver_choice == 0) {
        solver = nullptr;
    } else if (solver_choice == 1) {
        solver = wrong_kind<cea_eqsolver>(set.reactants);
    }
    const int solution_choice = take_choice(in, 8);
    cea_eqsolution solution = solution_choice < 4 ? set.solution : set.spare;
    if (solution_choice == 0) {
        solution = nullptr;
    } else if (solution_choice == 1) {
        solution = wrong_kind<cea_eqsolution>(set.solver);
    } else if (solution_choice == 2) {
        // A solution of the other fuel's solver: the same species and
        // elements, but not made for this solver.
        solution = run->objects->fuels[1 - fuel].solution;
    }
    const int type_choice = take_choice(in, 8);
    const int type = type_choice < 3 ? CEA_TP : type_choice < 6 ? CEA_HP : take_choice(in, 12) - 3;
    const double state1 = type == CEA_TP ? take_number(in, 50.0, 40000.0) : take_number(in, -2000.0, 2000.0);
    const double state2 = take_number(in, 1e-4, 1e5);
    double amount_storage[max_list];
    const double *amounts = take_list(in, amount_storage, 0.0, 1.0);

    const int status = cea_eqsolver_solve(solver, type, state1, state2, amounts, solution);
    const int handles_good = solver_choice > 1 && solution_choice > 2;
    if (solver_choice > 1 && solution_choice == 2) {
        expect_status(status, CEA_MIXTURE_MISMATCH, "eqsolver_solve into another solver's solution");
        return;
    }
    if (status != CEA_OK) {
        check_failure(status, "eqsolver_solve");
        if (handles_good) {
            // Refused arguments leave the solution without a result.
            int converged = -1;
            expect_status(cea_eqsolution_get_converged(solution, &converged), CEA_OK, "get_converged");
            if (converged != 0) {
                fail("a refused solve (status %d) left a converged result", status);
            }
        }
        return;
    }
    if (!handles_good) {
        fail("eqsolver_solve accepted a null or foreign handle");
    }
    recorded_solve *record = nullptr;
    if (!run->first.valid && solution == set.solution) {
        run->first = recorded_solve{1, fuel, type, state1, state2, {amounts[0], amounts[1]}, 0, {}};
        record = &run->first;
    }
    check_solution(solution, type, state1, state2, record);
}

// The chamber's own sequence at a fuzzed mixture ratio, inlet temperatures
// and pressure, solved twice into two solutions: the same bits both times.
void op_chamber_solve(byte_reader *in, run_state *run)
{
    const int fuel = take_choice(in, 2);
    propellant_set &set = run->objects->fuels[fuel];
    const double of_ratio = take_number(in, 0.3, 30.0);
    const double temperatures[2] = {oxygen_assigned_k + take_number(in, -10.0, 10.0),
                                    fuel_assigned_k[fuel] + take_number(in, -10.0, 10.0)};
    const double p_bar = take_number(in, 0.01, 1000.0);
    const double oxidant[2] = {1.0, 0.0};
    const double fuel_only[2] = {0.0, 1.0};
    double weights[2] = {0.0, 0.0};
    int status = cea_mixture_of_ratio_to_weights(set.reactants, 2, oxidant, fuel_only, of_ratio, weights);
    if (status != CEA_OK) {
        check_failure(status, "of_ratio_to_weights");
        return;
    }
    double h = 0.0;
    status = cea_mixture_calc_property_multitemp(set.reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &h);
    if (status != CEA_OK) {
        check_failure(status, "calc_property_multitemp");
        return;
    }
    const double h_over_r = h / gas_constant_j_kmol_k;
    status = cea_eqsolver_solve(set.solver, CEA_HP, h_over_r, p_bar, weights, set.solution);
    if (status != CEA_OK) {
        check_failure(status, "eqsolver_solve");
        return;
    }
    recorded_solve record = {1, fuel, CEA_HP, h_over_r, p_bar, {weights[0], weights[1]}, 0, {}};
    check_solution(set.solution, CEA_HP, h_over_r, p_bar, &record);
    expect_status(cea_eqsolver_solve(set.solver, CEA_HP, h_over_r, p_bar, weights, set.spare), CEA_OK,
                  "eqsolver_solve again");
    recorded_solve again = record;
    check_solution(set.spare, CEA_HP, h_over_r, p_bar, &again);
    if (again.converged != record.converged ||
        (record.converged && std::memcmp(again.values, record.values, sizeof record.values) != 0)) {
        fail("HP at k %.17g, %.17g bar: a second solve gave other results", of_ratio, p_bar);
    }
    if (!run->first.valid) {
        run->first = record;
    }
}

void op_read_property(byte_reader *in, run_state *run)
{
    propellant_set &set = run->objects->fuels[take_choice(in, 2)];
    const int choice = take_choice(in, 8);
    cea_eqsolution solution = choice < 4 ? set.solution : set.spare;
    const int refused = choice < 2;
    if (choice == 0) {
        solution = nullptr;
    } else if (choice == 1) {
        solution = wrong_kind<cea_eqsolution>(set.products);
    }
    const int property = take_choice(in, 4) == 0 ? static_cast<int>(take_byte(in)) - 128 : take_choice(in, 24) - 2;
    const int null_result = take_choice(in, 16) == 0;
    double value = std::nan("");
    const int status = cea_eqsolution_get_property(solution, property, null_result ? nullptr : &value);
    if (refused || null_result) {
        expect_status(status, CEA_NULL_HANDLE, "get_property with a null or foreign handle");
        return;
    }
    if (property < CEA_TEMPERATURE || property >= CEA_VISCOSITY) {
        expect_status(status, CEA_INVALID_PROPERTY_TYPE, "get_property of an unknown or transport property");
        return;
    }
    if (status != CEA_OK) {
        expect_status(status, CEA_NOT_CONVERGED, "get_property");
        return;
    }
    if (!std::isfinite(value)) {
        fail("property %d is %g", property, value);
    }
}

// The error-text pair after a failure or a success: reading never changes
// the text, a buffer of length + 1 takes it whole, a smaller one is refused
// but still terminated.
void op_error_text(byte_reader *in, run_state *)
{
    const int after_failure = take_choice(in, 2) == 0;
    if (after_failure) {
        const char *const unknown[1] = {"no-such-species"};
        cea_mixture mix = nullptr;
        expect_status(cea_mixture_create(&mix, 1, unknown), CEA_UNKNOWN_SPECIES, "mixture of an unknown species");
    } else {
        expect_status(cea_set_log_level(0), CEA_OK, "set_log_level");
    }
    const std::string before = last_error_text("error text", !after_failure);
    const int length = static_cast<int>(before.size());
    char buffer[1024];
    std::memset(buffer, 'x', sizeof buffer);
    const int size_choice = take_choice(in, 4);
    int size = take_choice(in, 256) - 2;
    if (size_choice == 0) {
        size = length + 1;
    } else if (size_choice == 1) {
        size = length;
    }
    const int null_buffer = take_choice(in, 8) == 0;
    const int status = cea_last_error_message_buf(null_buffer ? nullptr : buffer, size);
    if (null_buffer || size <= 0) {
        if (status == CEA_OK) {
            fail("cea_last_error_message_buf accepted a null buffer or the size %d", size);
        }
    } else if (size > length) {
        if (status != CEA_OK || before != buffer) {
            fail("cea_last_error_message_buf with size %d of a text of %d: status %d", size, length, status);
        }
    } else if (status == CEA_OK || buffer[size - 1] != '\0' ||
               before.compare(0, static_cast<std::size_t>(size - 1), buffer) != 0) {
        fail("cea_last_error_message_buf with size %d of a text of %d: status %d, not a terminated prefix", size,
             length, status);
    }
    if (cea_last_error_message_len(nullptr) == CEA_OK) {
        fail("cea_last_error_message_len accepted a null pointer");
    }
    if (last_error_text("error text", !after_failure) != before) {
        fail("reading the error text changed it");
    }
}

// Species names: those of the fixture, other real ones, near misses, and
// texts built from the input (printable, possibly long, possibly holding
// conversion specifications).
const char *take_name(byte_reader *in, std::string *storage)
{
    static const char *const names[] = {
        "O2(L)", "CH4(L)", "RP-1",  "H2",      "O2",    "H2O", "C(gr)",  "N2",        "CH4",
        "Ar",    "He",     "H2(L)", "N2O4(L)", "o2(l)", "",    "%s%n%d", "C2H5OH(L)", "CO2",
    };
    const int count = static_cast<int>(sizeof names / sizeof names[0]);
    const int choice = take_choice(in, count + 2);
    if (choice < count) {
        return names[choice];
    }
    if (choice == count) {
        storage->assign(static_cast<std::size_t>(take_byte(in)) * 8 + 1, 'A');
    } else {
        const int length = take_choice(in, 24);
        storage->clear();
        for (int i = 0; i < length; ++i) {
            storage->push_back(static_cast<char>(0x20 + take_byte(in) % 0x5f));
        }
    }
    return storage->c_str();
}

struct name_list {
    int n;
    const char *const *names; // null when the list itself is null
    const char *slots[max_list];
    std::string texts[max_list];
};

void take_names(byte_reader *in, name_list *list)
{
    list->n = take_choice(in, 6) - 1;
    for (int i = 0; i < max_list; ++i) {
        list->slots[i] = take_choice(in, 32) == 0 ? nullptr : take_name(in, &list->texts[i]);
    }
    list->names = take_choice(in, 16) == 0 ? nullptr : list->slots;
}

// A whole life of library objects over named species: create, solve, destroy
// (in a fuzzed order), then the stale handles must be refused.
void op_object_chain(byte_reader *in, run_state *run)
{
    name_list reactant_names;
    name_list omit;
    take_names(in, &reactant_names);
    take_names(in, &omit);
    cea_mixture reactants = nullptr;
    cea_mixture products = nullptr;
    int status = cea_mixture_create(&reactants, reactant_names.n, reactant_names.names);
    if (status != CEA_OK) {
        check_failure(status, "mixture_create");
        if (reactants != nullptr) {
            fail("a failed mixture_create wrote a handle");
        }
        return;
    }
    status = cea_mixture_create_from_reactants(&products, reactant_names.n, reactant_names.names, omit.n, omit.names);
    if (status != CEA_OK) {
        check_failure(status, "mixture_create_from_reactants");
        expect_status(cea_mixture_destroy(&reactants), CEA_OK, "mixture_destroy");
        return;
    }
    // Now and then the wrong way round: reactants as the products.
    const int swapped = take_choice(in, 8) == 0;
    cea_eqsolver solver = nullptr;
    cea_eqsolution solution = nullptr;
    status =
        cea_eqsolver_create_with_reactants(&solver, swapped ? reactants : products, swapped ? products : reactants);
    if (status != CEA_OK) {
        check_failure(status, "eqsolver_create_with_reactants");
    } else {
        expect_status(cea_eqsolution_create(&solution, solver), CEA_OK, "eqsolution_create");
    }

    const int type = take_choice(in, 2) == 0 ? CEA_TP : CEA_HP;
    const double state1 = type == CEA_TP ? take_number(in, 100.0, 30000.0) : take_number(in, -2000.0, 2000.0);
    const double state2 = take_number(in, 1e-3, 1e4);
    // One amount per reactant; swapped, the "reactants" are a product list,
    // which may hold any number of the database's species.
    double fuzzed[max_list];
    for (double &a : fuzzed) {
        a = take_number(in, 0.0, 1.0);
    }
    std::vector<double> amount_storage(database_species_bound);
    for (std::size_t i = 0; i < amount_storage.size(); ++i) {
        amount_storage[i] = fuzzed[i % max_list];
    }
    const double *amounts = amount_storage.data();
    const int destroy_order = take_choice(in, 4);
    for (int round = 0; round < 2 && solver != nullptr; ++round) {
        status = cea_eqsolver_solve(solver, type, state1, state2, amounts, solution);
        if (status != CEA_OK) {
            check_failure(status, "eqsolver_solve");
        } else {
            check_solution(solution, type, state1, state2, nullptr);
        }
        // The solver keeps its own copies: it must work on without the
        // mixtures it was made from.
        if (round == 0 && destroy_order == 0) {
            expect_status(cea_mixture_destroy(&reactants), CEA_OK, "mixture_destroy");
            expect_status(cea_mixture_destroy(&products), CEA_OK, "mixture_destroy");
        }
    }

    cea_eqsolution stale_solution = solution;
    cea_mixture stale_mixture = products;
    if (destroy_order == 1) {
        expect_status(cea_mixture_destroy(&products), CEA_OK, "mixture_destroy");
        expect_status(cea_mixture_destroy(&reactants), CEA_OK, "mixture_destroy");
    }
    expect_status(cea_eqsolution_destroy(&solution), CEA_OK, "eqsolution_destroy");
    expect_status(cea_eqsolver_destroy(&solver), CEA_OK, "eqsolver_destroy");
    expect_status(cea_mixture_destroy(&reactants), CEA_OK, "mixture_destroy");
    expect_status(cea_mixture_destroy(&products), CEA_OK, "mixture_destroy");
    if (solution != nullptr || solver != nullptr || reactants != nullptr || products != nullptr) {
        fail("a destroy left its handle set");
    }
    // A new object of each kind, which may well take the memory of a
    // destroyed one: the stale handles stay refused all the same.
    const char *const fixture_names[2] = {"O2(L)", fuel_names[0]};
    cea_mixture fresh_mixture = nullptr;
    cea_eqsolution fresh_solution = nullptr;
    expect_status(cea_mixture_create(&fresh_mixture, 2, fixture_names), CEA_OK, "mixture_create");
    expect_status(cea_eqsolution_create(&fresh_solution, run->objects->fuels[0].solver), CEA_OK, "eqsolution_create");
    if (stale_solution != nullptr) {
        int converged = 0;
        expect_status(cea_eqsolution_get_converged(stale_solution, &converged), CEA_NULL_HANDLE,
                      "get_converged on a destroyed solution");
        expect_status(cea_eqsolution_destroy(&stale_solution), CEA_NULL_HANDLE, "destroying a solution twice");
    }
    if (stale_mixture != nullptr) {
        expect_status(cea_mixture_destroy(&stale_mixture), CEA_NULL_HANDLE, "destroying a mixture twice");
    }
    expect_status(cea_eqsolution_destroy(&fresh_solution), CEA_OK, "eqsolution_destroy");
    expect_status(cea_mixture_destroy(&fresh_mixture), CEA_OK, "mixture_destroy");
}

// Database loads that fail, handle destruction through null addresses, and
// the log level: afterwards the loaded database still serves.
void op_misuse(byte_reader *in, run_state *)
{
    static const char *const bad_paths[] = {
        "",
        CEA_TEST_DATA_DIR "/no_such_file.inp",
        CEA_TEST_DATA_DIR "/thermo_empty.inp",
        CEA_TEST_DATA_DIR "/thermo_garbage.inp",
        CEA_TEST_DATA_DIR "/thermo_truncated.inp",
        CEA_TEST_DATA_DIR,
    };
    const int count = static_cast<int>(sizeof bad_paths / sizeof bad_paths[0]);
    switch (take_choice(in, 4)) {
    case 0: {
        const int choice = take_choice(in, count + 1);
        const int status = cea_init_thermo(choice == count ? nullptr : bad_paths[choice]);
        if (status != CEA_INVALID_FILENAME && status != CEA_MALFORMED_DATABASE) {
            fail("loading a bad database gave status %d", status);
        }
        check_failure(status, "init_thermo");
        const char *const names[2] = {"O2(L)", "CH4(L)"};
        cea_mixture mix = nullptr;
        expect_status(cea_mixture_create(&mix, 2, names), CEA_OK, "mixture_create after a failed load");
        expect_status(cea_mixture_destroy(&mix), CEA_OK, "mixture_destroy");
        break;
    }
    case 1:
        expect_status(cea_mixture_destroy(nullptr), CEA_NULL_HANDLE, "mixture_destroy(null)");
        expect_status(cea_eqsolver_destroy(nullptr), CEA_NULL_HANDLE, "eqsolver_destroy(null)");
        expect_status(cea_eqsolution_destroy(nullptr), CEA_NULL_HANDLE, "eqsolution_destroy(null)");
        break;
    case 2: {
        cea_mixture mix = nullptr;
        cea_eqsolver solver = nullptr;
        cea_eqsolution solution = nullptr;
        expect_status(cea_mixture_destroy(&mix), CEA_OK, "destroying a null mixture");
        expect_status(cea_eqsolver_destroy(&solver), CEA_OK, "destroying a null solver");
        expect_status(cea_eqsolution_destroy(&solution), CEA_OK, "destroying a null solution");
        break;
    }
    default: {
        int level = 0;
        for (int i = 0; i < 4; ++i) {
            level = level << 8 | take_byte(in);
        }
        expect_status(cea_set_log_level(level), CEA_OK, "set_log_level");
        break;
    }
    }
}

// --- the run -------------------------------------------------------------------

fixture *open_fixture()
{
    static fixture objects;
    static int opened = 0;
    if (opened) {
        return &objects;
    }
    if (cea_init_thermo(LRE_THERMO_DATABASE) != CEA_OK) {
        fail("cannot load %s", LRE_THERMO_DATABASE);
    }
    for (int f = 0; f < 2; ++f) {
        propellant_set &set = objects.fuels[f];
        const char *const names[2] = {"O2(L)", fuel_names[f]};
        if (cea_mixture_create(&set.reactants, 2, names) != CEA_OK ||
            cea_mixture_create_from_reactants(&set.products, 2, names, 0, nullptr) != CEA_OK ||
            cea_eqsolver_create_with_reactants(&set.solver, set.products, set.reactants) != CEA_OK ||
            cea_eqsolution_create(&set.solution, set.solver) != CEA_OK ||
            cea_eqsolution_create(&set.spare, set.solver) != CEA_OK) {
            fail("cannot create the library objects for O2(L) and %s", fuel_names[f]);
        }
    }
    opened = 1;
    return &objects;
}

// Repeats the run's first solve on its solver and solution: the same
// status, the same convergence, the same bits.
void repeat_first_solve(run_state *run)
{
    const recorded_solve &first = run->first;
    if (!first.valid) {
        return;
    }
    propellant_set &set = run->objects->fuels[first.fuel];
    expect_status(cea_eqsolver_solve(set.solver, first.type, first.state1, first.state2, first.amounts, set.solution),
                  CEA_OK, "eqsolver_solve repeated");
    recorded_solve again = first;
    check_solution(set.solution, first.type, first.state1, first.state2, &again);
    if (again.converged != first.converged ||
        (first.converged && std::memcmp(again.values, first.values, sizeof first.values) != 0)) {
        fail("%s at %.17g, %.17g bar, amounts %.17g %.17g: repeated later, the solve gave other results",
             first.type == CEA_TP ? "TP" : "HP", first.state1, first.state2, first.amounts[0], first.amounts[1]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static lre_fuzz::stdout_capture capture = {nullptr, -1};
    run_state run = {open_fixture(), {}};
    byte_reader in = lre_fuzz::make_reader(data, size);
    lre_fuzz::begin_capture(&capture);
    for (int op = 0; op < max_operations && in.position < in.size; ++op) {
        switch (take_choice(&in, 9)) {
        case 0: op_ratio_to_weights(&in, &run); break;
        case 1: op_reactant_enthalpy(&in, &run); break;
        case 2:
        case 3: op_solve(&in, &run); break;
        case 4:
        case 5: op_chamber_solve(&in, &run); break;
        case 6: op_read_property(&in, &run); break;
        case 7: op_error_text(&in, &run); break;
        default:
            if (take_choice(&in, 2) == 0) {
                op_object_chain(&in, &run);
            } else {
                op_misuse(&in, &run);
            }
            break;
        }
    }
    repeat_first_solve(&run);
    const std::string written = lre_fuzz::end_capture(&capture);
    if (!written.empty()) {
        fail("the library wrote %zu bytes to standard output", written.size());
    }
    return 0;
}
