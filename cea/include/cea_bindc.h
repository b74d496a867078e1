/*
 * cea_bindc.h - C interface of the chemical-equilibrium library.
 *
 * Sixteen operations over the NASA Glenn thermodynamic database: load the
 * database, build reactant and product mixtures, and solve for the chemical
 * equilibrium of a product mixture by minimising its Gibbs energy.
 *
 * Every operation returns an int status: CEA_OK (0) on success, otherwise one
 * of the codes below, and then sets the calling thread's last-error text,
 * which cea_last_error_message_len / cea_last_error_message_buf read back.
 * Every other operation that returns CEA_OK clears that text (its length is
 * then 0); those two readers neither set nor clear it. The library never
 * writes to standard output or error, never exits, and never lets an
 * exception escape.
 *
 * Handles are pointers to incomplete structs, opaque values that are never
 * addresses to follow. They are created through the address of a handle and
 * destroyed through it; destroy sets the handle to null, and destroying a
 * null handle does nothing and returns CEA_OK. A handle is never given
 * twice in a process: a copy of a destroyed handle is refused with
 * CEA_NULL_HANDLE by every operation, even once new objects of its kind
 * exist, and so is a handle of another kind.
 *
 * Threads. The library may be used from several threads at once:
 * - distinct objects may be used from different threads at the same time;
 *   a solver and its solutions are used by one thread at a time (a solve
 *   writes into both), and an object is not destroyed while another thread
 *   uses it;
 * - a mixture may be read by several threads at once (the ratio to weights,
 *   the enthalpy, the creation of solvers and products from it);
 * - the last-error text is the calling thread's own: a failure on one thread
 *   never replaces the text that another reads;
 * - cea_init_thermo may run while objects of the database before are in use
 *   on other threads: each object keeps the database it was made from for
 *   its whole life, and creations made meanwhile take either database.
 */
#ifndef CEA_BINDC_H
#define CEA_BINDC_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cea_mixture_t *cea_mixture;
typedef struct cea_eqsolver_t *cea_eqsolver;
typedef struct cea_eqsolution_t *cea_eqsolution;

/* Status codes. Codes 0 to 8 are those of the reference interface; 9 and
 * up name the other kinds of failure. */
enum {
    CEA_OK = 0,
    CEA_INVALID_FILENAME = 1,         /* database missing or unreadable */
    CEA_INVALID_PROPERTY_TYPE = 2,    /* property selector unknown or not provided (15 to 19) */
    CEA_INVALID_EQUILIBRIUM_TYPE = 3, /* problem type unknown or not provided */
    CEA_INVALID_INDEX = 6,            /* index out of range */
    CEA_INVALID_SIZE = 7,             /* bad count, or a null array */
    CEA_NOT_CONVERGED = 8,            /* a property asked of a solution without a converged result */
    CEA_MALFORMED_DATABASE = 9,       /* database text cannot be read (empty, truncated, garbled);
                                         the message names the line */
    CEA_UNKNOWN_SPECIES = 10,         /* a species name is not in the database */
    CEA_TEMPERATURE_RANGE = 11,       /* temperature outside a record's range */
    CEA_INVALID_ARGUMENT = 12,        /* a numeric argument is NaN, infinite or out of its domain */
    CEA_NULL_HANDLE = 13,             /* a null handle or result pointer, or a handle that is not a
                                         live object of its kind (destroyed, or another kind) */
    CEA_NO_DATABASE = 14,             /* no database has been loaded */
    CEA_MIXTURE_MISMATCH = 15,        /* handles that do not belong together */
    CEA_OUT_OF_MEMORY = 16,           /* an allocation failed */
    CEA_INTERNAL_ERROR = 17           /* an unexpected internal failure */
};

/* Equilibrium problem types (the two state variables held fixed). Only
 * CEA_TP and CEA_HP are solved; the others return
 * CEA_INVALID_EQUILIBRIUM_TYPE. */
enum {
    CEA_TP = 0, /* supported: temperature (K), pressure (bar) */
    CEA_HP = 1, /* supported: enthalpy h/R (kmol K/kg), pressure (bar) */
    CEA_SP = 2, /* not supported (entropy, pressure) */
    CEA_TV = 3, /* not supported (temperature, volume) */
    CEA_UV = 4, /* not supported (internal energy, volume) */
    CEA_SV = 5  /* not supported (entropy, volume) */
};

/* Property selectors. A solution (cea_eqsolution_get_property) provides 0
 * to 14, in the units given; a mixture (cea_mixture_calc_property_multitemp)
 * provides CEA_ENTHALPY only, in J/kg, where a solution gives kJ/kg. The
 * transport properties 15 to 19 are provided by neither and return
 * CEA_INVALID_PROPERTY_TYPE, as does any selector outside 0 to 19. */
enum {
    CEA_TEMPERATURE = 0,               /* solution: K */
    CEA_PRESSURE = 1,                  /* solution: bar */
    CEA_VOLUME = 2,                    /* solution: m^3/kg */
    CEA_DENSITY = 3,                   /* solution: kg/m^3 */
    CEA_M = 4,                         /* solution: 1/n, kg/kmol, n = gas moles per kg */
    CEA_MW = 5,                        /* solution: kg/kmol over the moles of every phase */
    CEA_ENTHALPY = 6,                  /* solution: kJ/kg; mixture: J/kg */
    CEA_ENERGY = 7,                    /* solution: kJ/kg */
    CEA_ENTROPY = 8,                   /* solution: kJ/(kg K) */
    CEA_GIBBS_ENERGY = 9,              /* solution: kJ/kg */
    CEA_GAMMA_S = 10,                  /* solution: isentropic exponent (1) */
    CEA_FROZEN_CP = 11,                /* solution: kJ/(kg K) */
    CEA_FROZEN_CV = 12,                /* solution: kJ/(kg K) */
    CEA_EQUILIBRIUM_CP = 13,           /* solution: kJ/(kg K) */
    CEA_EQUILIBRIUM_CV = 14,           /* solution: kJ/(kg K) */
    CEA_VISCOSITY = 15,                /* not provided */
    CEA_FROZEN_CONDUCTIVITY = 16,      /* not provided */
    CEA_EQUILIBRIUM_CONDUCTIVITY = 17, /* not provided */
    CEA_FROZEN_PRANDTL = 18,           /* not provided */
    CEA_EQUILIBRIUM_PRANDTL = 19       /* not provided */
};

/* Accepted and ignored: the library never writes anything. */
int cea_set_log_level(int level);

/* Loads the thermodynamic database for every later call: the text form
 * (thermo.inp format, LF or CRLF) or the compiled form (thermo.lib, as
 * thermo-compile writes it), told apart by the file's first bytes, never by
 * its name, on every thread. A malformed file is refused with CEA_MALFORMED_DATABASE and a
 * text that names the line (text) or the record and its byte offset
 * (compiled). A second successful load replaces the database for later
 * creations; a failed load keeps the one loaded before, if any. Objects
 * already created keep the database they were made from alive and keep
 * working either way, also while the load runs on another thread.
 *
 * The compiled form holds less than the text, and loading it changes this:
 * a gas's intervals are taken over the file's common temperature bounds
 * (200, 1000, 6000, 20000 K), so a gas whose text starts above 200 K (220
 * of data/thermo.inp, from 298.15 K) has data from 200 K, and K2+, which
 * stops at 3000 K in the text, to 6000 K; the third interval that the
 * compiler makes up for a gas with two is left out, so a gas has data only
 * up to where its text does. Air has the compiler's atom counts (N 1.56168,
 * O 0.41959, AR 0.009365, C 0.000319). Names have at most 15 characters.
 * Every chamber state of O2(L) with CH4(L) or RP-1 is the same, bit for bit,
 * on either form. The compiled file stays mapped while the database is
 * loaded: replace it by renaming a new file over it (as thermo-compile
 * does), never by rewriting it in place. */
int cea_init_thermo(const char *path);

/* A mixture of the named species, looked up exactly in the whole database
 * (the first record of a name that several phase records share). An
 * unknown name fails with CEA_UNKNOWN_SPECIES and a text that names it. */
int cea_mixture_create(cea_mixture *mix, int n, const char *const names[]);

/* The products that the named reactants can form: every species of the
 * database's products part whose elements all occur in the reactants, gases
 * and condensed phases, less the n_omit names in omit (omit may be null when
 * n_omit is 0). */
int cea_mixture_create_from_reactants(cea_mixture *mix, int n, const char *const names[], int n_omit,
                                      const char *const omit[]);

/* An equilibrium solver over a product mixture, fed by a reactant mixture. */
int cea_eqsolver_create_with_reactants(cea_eqsolver *solver, cea_mixture products, cea_mixture reactants);

/* Storage for the state that a solver computes. Only this solver may solve
 * into it (another one, even over the same species, gets
 * CEA_MIXTURE_MISMATCH); it may be read after the solver is destroyed. */
int cea_eqsolution_create(cea_eqsolution *solution, cea_eqsolver solver);

/* Reactant mass fractions at oxidizer-to-fuel mass ratio of_ratio, from the
 * oxidant and fuel compositions (n weights each, in the mixture's order, each
 * composition taken per unit mass): weights[i] = (of_ratio * oxidant[i] +
 * fuel[i]) / (1 + of_ratio) for normalised compositions. */
int cea_mixture_of_ratio_to_weights(cea_mixture mix, int n, const double oxidant[], const double fuel[],
                                    double of_ratio, double weights[]);

/* A property of the weighted mixture, each species at its own temperature
 * (n_weights and n_temperatures equal to the mixture's species count). Only
 * CEA_ENTHALPY is provided, in J/kg (a solution's is in kJ/kg): the sum of
 * w_i H_i(T_i)/M_i. A fitted record
 * needs T_i inside its intervals; a record with an assigned enthalpy only
 * (O2(L), CH4(L), RP-1) gives that enthalpy within 10 K of its recorded
 * temperature, ends included, and fails with CEA_TEMPERATURE_RANGE further
 * away. A species of zero weight is not looked at. */
int cea_mixture_calc_property_multitemp(cea_mixture mix, int property, int n_weights, const double weights[],
                                        int n_temperatures, const double temperatures[], double *value);

/* Solves the equilibrium problem `type` at state1, state2 for the reactant
 * weights `amounts`. For CEA_HP, state1 is h/R in kmol K/kg (R = 8314.51
 * J/(kmol K)) and state2 the pressure in bar; for CEA_TP, T in K and bar.
 * Other types return CEA_INVALID_EQUILIBRIUM_TYPE. The solution must have
 * been created for this solver (CEA_MIXTURE_MISMATCH otherwise). A solve that runs returns
 * CEA_OK and sets the solution's converged flag; every solve starts from the
 * library's own first estimate, so its result depends on its arguments only.
 * Bad arguments leave the solution without a result.
 *
 * Trace species, as in the published method (Gordon & McBride, NASA
 * RP-1311, section 3.2) and the reference results: a product gas whose mole
 * fraction at equilibrium is below 1e-8 (1e-11 once a condensed species has
 * formed during the solve; lower still when an element's amount is below
 * 1e-5 of the largest) is left out: it holds no atoms in the element
 * balances and no moles in n, and the state is the Gibbs minimum over the
 * other species, whose moles give CEA_M = 1/n, the enthalpy, the entropy
 * and the equilibrium derivatives. Its equilibrium amount still adds to the
 * frozen cp (CEA_FROZEN_CP; CEA_FROZEN_CV is that cp less R n). The exact
 * minimum over every gas differs from this state by up to about 1e-7
 * relative in T and M.
 *
 * Converged means: every element's amount and, for CEA_HP, the enthalpy
 * balance to 1e-10 of themselves over the species not left out; the
 * temperature lies where every product gas that the reactants can form has
 * data (200 K to 6000 K for C-H-O products); and every property it gives is
 * a finite number (gamma_s and the equilibrium cp and cv report
 * CEA_NOT_CONVERGED instead when the equilibrium derivatives cannot be
 * solved). So:
 * - a CEA_TP temperature outside those data returns CEA_TEMPERATURE_RANGE;
 * - a CEA_HP problem whose state lies outside them (the assigned enthalpy
 *   is below that of the equilibrium products at the lower limit, or above
 *   it at the upper) returns CEA_OK with the converged flag 0 (like any
 *   other solve that does not converge), and reading a property then says
 *   why, with the limit and both enthalpies;
 * - a pressure at which the converged state has a property that is not a
 *   finite number (a volume of 0 at 1e308 bar) returns
 *   CEA_INVALID_ARGUMENT;
 * - reactant amounts that give an element less than 1e-305 kmol/kg (but
 *   not none) return CEA_INVALID_ARGUMENT: its balance cannot be met. */
int cea_eqsolver_solve(cea_eqsolver solver, int type, double state1, double state2, const double amounts[],
                       cea_eqsolution solution);

/* 1 when the last solve into this solution converged, else 0. */
int cea_eqsolution_get_converged(cea_eqsolution solution, int *converged);

/* A property of the last solve into this solution (selectors above);
 * CEA_NOT_CONVERGED when that solve did not converge or there was none. */
int cea_eqsolution_get_property(cea_eqsolution solution, int property, double *value);

/* Length of the calling thread's last error text without its terminating
 * NUL; 0 when none, as after any call that succeeded. */
int cea_last_error_message_len(int *length);

/* Copies the last error text, always terminated. A nonzero status when the
 * buffer is null or too small for the whole text. These two reading
 * operations never replace the text they read. */
int cea_last_error_message_buf(char *buffer, int size);

int cea_eqsolution_destroy(cea_eqsolution *solution);
int cea_eqsolver_destroy(cea_eqsolver *solver);
int cea_mixture_destroy(cea_mixture *mix);

#ifdef __cplusplus
}
#endif

#endif
