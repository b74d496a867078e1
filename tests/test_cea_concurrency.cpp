// The library from several threads at once: each worker makes its own
// objects for both fuels, solves the program's chamber states between calls
// that fail (a name of its own, a NaN enthalpy, another solver's solution)
// and makes them again each round, while another thread loads the database
// again and again and fails to load a broken one. Every thread gets, bit for
// bit, the results and error texts that the same calls give on one thread
// alone: the error text is each thread's own, and every success leaves it
// empty. The tsan preset runs it under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cea_chamber_objects.h"

namespace {

// Each call's status, the error text after it, and the values a solve read.
std::vector<std::string> work(int id)
{
    const double cases[][2] = {{14e6, 2.9}, {7e6, 3.6}, {0.5e6, 1.0}, {100e6, 0.3}, {0.01e6, 30.0}};
    const double w[2] = {0.75, 0.25};
    const std::string own_name = "no-such-species-of-thread-" + std::to_string(id);
    const char *names[1] = {own_name.c_str()};
    std::vector<std::string> log;
    auto after = [&log](int status, double value = 0.0) {
        char text[64];
        std::snprintf(text, sizeof text, "%d %a ", status, value);
        log.push_back(text + last_error());
    };
    if (id < 0) {
        for (int i = 0; i < 6; ++i) {
            after(cea_init_thermo(CEA_TEST_DATA_DIR "/thermo_garbage.inp"));
            after(cea_init_thermo(LRE_THERMO_DATABASE));
        }
        return log;
    }
    for (int round = 0; round < 3; ++round) {
        chamber_objects fuels[2] = {chamber_objects("CH4(L)"), chamber_objects("RP-1")};
        for (int n = 0; n < 10; ++n) {
            int f = (n + id) % 2;
            chamber_objects &c = fuels[f];
            after(CEA_OK, c.solve_chamber(cases[(n + id) % 5][0], cases[(n + id) % 5][1], 90.0, f ? 298.15 : 111.0));
            for (int property : {CEA_TEMPERATURE, CEA_M, CEA_GAMMA_S}) {
                double value = 0.0;
                after(cea_eqsolution_get_property(c.solution, property, &value), value);
            }
            for (int k = 0; k < 6; ++k) {
                cea_mixture none = nullptr;
                after(k % 3 == 0   ? cea_mixture_create(&none, 1, names)
                      : k % 3 == 1 ? cea_eqsolver_solve(c.solver, CEA_HP, NAN, 10.0, w, c.solution)
                                   : cea_eqsolver_solve(c.solver, CEA_TP, 3e3, 1.0, w, fuels[1 - f].solution));
            }
        }
    }
    return log;
}

TEST(concurrency, each_thread_gets_what_it_gets_alone)
{
    const int workers = 4;
    ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
    std::vector<std::vector<std::string>> alone(workers + 1), together(workers + 1);
    for (int id = 0; id <= workers; ++id) {
        alone[id] = work(id < workers ? id : -1);
    }
    std::atomic<int> ready(0);
    std::vector<std::thread> threads;
    for (int id = 0; id <= workers; ++id) {
        threads.emplace_back([id, &together, &ready] {
            for (++ready; ready.load() <= workers;) {
                std::this_thread::yield(); // all start together
            }
            together[id] = work(id < workers ? id : -1);
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (int id = 0; id <= workers; ++id) {
        EXPECT_EQ(together[id], alone[id]) << "thread " << id;
        int failures = 0;
        for (const std::string &call : alone[id]) {
            bool ok = call.rfind("0 ", 0) == 0;
            failures += !ok;
            EXPECT_EQ(ok, call.back() == ' ') << call; // a success leaves no text
        }
        EXPECT_GT(failures, 0);
    }
}

} // namespace
