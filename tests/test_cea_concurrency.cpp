// The library from several threads at once: each worker has its own
// mixtures, solvers and solutions for both fuels, and mixes the program's
// chamber solves with calls that fail, recreating its objects between
// rounds, while another thread loads the database again and again (and
// fails to load broken ones). Every thread must get, bit for bit, the
// results and the error texts that the same calls give on one thread
// alone: the last-error text is each thread's own, and every success
// leaves it empty. Run under ThreadSanitizer by the tsan preset.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cea_bindc.h"

namespace {

const int worker_count = 4;
const int round_count = 3;
const int reload_count = 6;
// Failing calls are short: many of them give the other threads' calls a
// chance to fall between a failure and the reading of its text.
const int failures_per_solve = 8;

const char *const fuels[2] = {"CH4(L)", "RP-1"};
const double fuel_inlet_k[2] = {111.0, 298.15};
const double oxygen_inlet_k = 90.0;

// Chamber pressure (Pa) and mixture ratio: the presets' states, solid
// carbon, far-off pressures.
const double cases[][2] = {{14e6, 2.9}, {7e6, 3.6}, {0.5e6, 1.0}, {20e6, 2.6}, {100e6, 0.3}, {0.01e6, 30.0}};
const int case_count = static_cast<int>(sizeof cases / sizeof cases[0]);
const int properties[8] = {CEA_TEMPERATURE, CEA_M,         CEA_MW,        CEA_ENTHALPY,
                           CEA_ENTROPY,     CEA_FROZEN_CP, CEA_FROZEN_CV, CEA_GAMMA_S};

std::string error_text()
{
    int length = -1;
    char text[1024] = "";
    if (cea_last_error_message_len(&length) != CEA_OK || length < 0 || length >= static_cast<int>(sizeof text)) {
        return "<unreadable error text>";
    }
    cea_last_error_message_buf(text, sizeof text);
    return text;
}

// What one call, or one chamber solve, left: its status, the calling
// thread's error text, and the values read.
struct outcome {
    int status;
    std::string text;
    double values[9]; // the inlet enthalpy, then the properties
    bool operator==(const outcome &o) const
    {
        return status == o.status && text == o.text && std::memcmp(values, o.values, sizeof values) == 0;
    }
};

outcome after(int status)
{
    outcome o = {status, error_text(), {}};
    return o;
}

struct fuel_objects {
    cea_mixture reactants, products;
    cea_eqsolver solver;
    cea_eqsolution solution;
};

struct thread_objects {
    fuel_objects fuel[2];
    std::vector<outcome> made; // every creation and destruction
};

void open_objects(thread_objects *t)
{
    for (int f = 0; f < 2; ++f) {
        const char *names[2] = {"O2(L)", fuels[f]};
        fuel_objects &o = t->fuel[f];
        t->made.push_back(after(cea_mixture_create(&o.reactants, 2, names)));
        t->made.push_back(after(cea_mixture_create_from_reactants(&o.products, 2, names, 0, nullptr)));
        t->made.push_back(after(cea_eqsolver_create_with_reactants(&o.solver, o.products, o.reactants)));
        t->made.push_back(after(cea_eqsolution_create(&o.solution, o.solver)));
    }
}

void close_objects(thread_objects *t)
{
    for (fuel_objects &o : t->fuel) {
        t->made.push_back(after(cea_eqsolution_destroy(&o.solution)));
        t->made.push_back(after(cea_eqsolver_destroy(&o.solver)));
        t->made.push_back(after(cea_mixture_destroy(&o.products)));
        t->made.push_back(after(cea_mixture_destroy(&o.reactants)));
    }
}

// The program's sequence for one chamber state, stopping at the first
// failure.
outcome chamber_solve(const fuel_objects &o, int fuel, double p_c_pa, double k)
{
    const double oxidant[2] = {1.0, 0.0};
    const double fuel_only[2] = {0.0, 1.0};
    const double temperatures[2] = {oxygen_inlet_k, fuel_inlet_k[fuel]};
    double weights[2] = {0.0, 0.0};
    outcome r = {CEA_OK, "", {}};
    int status = cea_mixture_of_ratio_to_weights(o.reactants, 2, oxidant, fuel_only, k, weights);
    if (status == CEA_OK) {
        status =
            cea_mixture_calc_property_multitemp(o.reactants, CEA_ENTHALPY, 2, weights, 2, temperatures, &r.values[0]);
    }
    if (status == CEA_OK) {
        status = cea_eqsolver_solve(o.solver, CEA_HP, r.values[0] / 8314.51, p_c_pa / 100000.0, weights, o.solution);
    }
    for (int i = 0; i < 8 && status == CEA_OK; ++i) {
        status = cea_eqsolution_get_property(o.solution, properties[i], &r.values[i + 1]);
    }
    r.status = status;
    r.text = error_text();
    return r;
}

// Failing call number `which` (0 to 3) of thread `id`, on its own objects.
outcome failing_call(thread_objects *t, int id, int which)
{
    const double weights[2] = {0.75, 0.25};
    fuel_objects &o = t->fuel[which & 1];
    switch (which) {
    case 0: { // a name of this thread only
        std::string name = "no-such-species-of-thread-" + std::to_string(id);
        const char *names[1] = {name.c_str()};
        cea_mixture none = nullptr;
        return after(cea_mixture_create(&none, 1, names));
    }
    case 1: return after(cea_eqsolver_solve(o.solver, CEA_HP, NAN, 10.0, weights, o.solution));
    case 2: // the other fuel's solution: the same species, another solver
        return after(cea_eqsolver_solve(o.solver, CEA_TP, 3000.0, 10.0, weights, t->fuel[1].solution));
    default: { // a destroyed solution, after a new one took its place
        cea_eqsolution old = o.solution;
        t->made.push_back(after(cea_eqsolution_destroy(&o.solution)));
        t->made.push_back(after(cea_eqsolution_create(&o.solution, o.solver)));
        int converged = 0;
        return after(cea_eqsolution_get_converged(old, &converged));
    }
    }
}

// Everything one worker does, in its order; the same on one thread alone.
std::vector<outcome> work(int id)
{
    std::vector<outcome> log;
    thread_objects t;
    for (int round = 0; round < round_count; ++round) {
        open_objects(&t);
        for (int n = 0; n < 2 * case_count; ++n) {
            int i = (n + id) % case_count;
            int fuel = (n / case_count + id) % 2;
            log.push_back(chamber_solve(t.fuel[fuel], fuel, cases[i][0], cases[i][1]));
            for (int k = 0; k < failures_per_solve; ++k) {
                log.push_back(failing_call(&t, id, (n + id + round + k) % 4));
            }
        }
        close_objects(&t);
    }
    log.insert(log.end(), t.made.begin(), t.made.end());
    return log;
}

std::vector<outcome> reload()
{
    std::vector<outcome> log;
    for (int i = 0; i < reload_count; ++i) {
        log.push_back(after(cea_init_thermo(CEA_TEST_DATA_DIR "/thermrgarbage.inp")));
        log.push_back(after(cea_init_thermo(LRE_THERMO_DATABASE)));
    }
    return log;
}

TEST(threads, each_thread_gets_what_it_gets_alone)
{
    ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
    std::vector<std::vector<outcome>> alone(worker_count + 1);
    for (int id = 0; id < worker_count; ++id) {
        alone[id] = work(id);
    }
    alone[worker_count] = reload();

    // Every thread starts when the last one is ready, so that they overlap.
    std::vector<std::vector<outcome>> together(worker_count + 1);
    std::atomic<int> ready(0);
    auto start = [&ready] {
        ++ready;
        while (ready.load() <= worker_count) {
            std::this_thread::yield();
        }
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < worker_count; ++id) {
        threads.emplace_back([id, &together, &start] {
            start();
            together[id] = work(id);
        });
    }
    threads.emplace_back([&together, &start] {
        start();
        together[worker_count] = reload();
    });
    for (std::thread &thread : threads) {
        thread.join();
    }

    for (int id = 0; id <= worker_count; ++id) {
        SCOPED_TRACE(id < worker_count ? "worker " + std::to_string(id) : std::string("database loads"));
        ASSERT_EQ(together[id].size(), alone[id].size());
        int failures = 0;
        for (std::size_t i = 0; i < alone[id].size(); ++i) {
            const outcome &a = alone[id][i];
            const outcome &b = together[id][i];
            // Both kinds are present, and a success leaves no text.
            failures += a.status != CEA_OK;
            EXPECT_EQ(a.status == CEA_OK, a.text.empty()) << "call " << i << ": " << a.text;
            EXPECT_TRUE(b == a) << "call " << i << ": status " << b.status << " (alone " << a.status << "), '" << b.text
                                << "' (alone '" << a.text << "'), T " << b.values[1] << " (alone " << a.values[1]
                                << ")";
        }
        EXPECT_GT(failures, 0);
        EXPECT_LT(failures, static_cast<int>(alone[id].size()));
    }
}

} // namespace
