// The library from several threads at once: each worker makes its own
// objects for both fuels, solves the program's chamber states between calls
// that fail (a name of its own, a NaN enthalpy, another solver's solution,
// a stale solution), and makes them again each round, while another thread
// loads the database again and again, and fails to load a broken one. Every
// thread gets, bit for bit, the results and error texts that the same calls
// give on one thread alone: the error text is each thread's own, and every
// success leaves it empty. The tsan preset runs it under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cea_chamber_objects.h"

namespace {

// A call's status and the calling thread's error text afterwards, and what
// a chamber solve read.
struct outcome {
    int status;
    std::string text;
    double values[4];
    bool operator==(const outcome &o) const
    {
        return status == o.status && text == o.text && std::memcmp(values, o.values, sizeof values) == 0;
    }
};

std::vector<outcome> work(int id)
{
    const double cases[][2] = {{14e6, 2.9}, {7e6, 3.6}, {0.5e6, 1.0}, {100e6, 0.3}, {0.01e6, 30.0}};
    const double w[2] = {0.75, 0.25};
    const std::string own_name = "no-such-species-of-thread-" + std::to_string(id);
    std::vector<outcome> log;
    auto after = [&log](int status, const double *v = nullptr) {
        log.push_back({status, last_error(), {v ? v[0] : 0.0, v ? v[1] : 0.0, v ? v[2] : 0.0, v ? v[3] : 0.0}});
    };
    for (int round = 0; round < 3; ++round) {
        chamber_objects fuels[2] = {chamber_objects("CH4(L)"), chamber_objects("RP-1")};
        for (int n = 0; n < 10; ++n) {
            chamber_objects &c = fuels[(n + id) % 2];
            double v[4] = {
                c.solve_chamber(cases[(n + id) % 5][0], cases[(n + id) % 5][1], 90.0, (n + id) % 2 ? 298.15 : 111.0)};
            int status = cea_eqsolution_get_property(c.solution, CEA_TEMPERATURE, &v[1]) |
                         cea_eqsolution_get_property(c.solution, CEA_M, &v[2]) |
                         cea_eqsolution_get_property(c.solution, CEA_GAMMA_S, &v[3]);
            after(status, v);
            for (int k = 0; k < 8; ++k) {
                cea_mixture none = nullptr;
                const char *names[1] = {own_name.c_str()};
                cea_eqsolution old = c.solution;
                int flag = 0;
                switch ((n + k + round) % 4) {
                case 0: after(cea_mixture_create(&none, 1, names)); break;
                case 1: after(cea_eqsolver_solve(c.solver, CEA_HP, NAN, 10.0, w, c.solution)); break;
                case 2: after(cea_eqsolver_solve(c.solver, CEA_TP, 3e3, 1.0, w, fuels[1].solution)); break;
                default:
                    after(cea_eqsolution_destroy(&c.solution) | cea_eqsolution_create(&c.solution, c.solver));
                    after(cea_eqsolution_get_converged(old, &flag));
                }
            }
        }
    }
    return log;
}

std::vector<outcome> reload()
{
    std::vector<outcome> log;
    auto after = [&log](int status) { log.push_back({status, last_error(), {0.0, 0.0, 0.0, 0.0}}); };
    for (int i = 0; i < 6; ++i) {
        after(cea_init_thermo(CEA_TEST_DATA_DIR "/thermo_garbage.inp"));
        after(cea_init_thermo(LRE_THERMO_DATABASE));
    }
    return log;
}

TEST(concurrency, each_thread_gets_what_it_gets_alone)
{
    const int workers = 4;
    ASSERT_EQ(cea_init_thermo(LRE_THERMO_DATABASE), CEA_OK);
    std::vector<std::vector<outcome>> alone(workers + 1), together(workers + 1);
    for (int id = 0; id < workers; ++id) {
        alone[id] = work(id);
    }
    alone[workers] = reload();
    std::atomic<int> ready(0);
    std::vector<std::thread> threads;
    for (int id = 0; id <= workers; ++id) {
        threads.emplace_back([id, &together, &ready] {
            for (++ready; ready.load() <= workers;) {
                std::this_thread::yield(); // all start together
            }
            together[id] = id < workers ? work(id) : reload();
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (int id = 0; id <= workers; ++id) {
        SCOPED_TRACE("thread " + std::to_string(id));
        ASSERT_EQ(together[id].size(), alone[id].size());
        int failures = 0;
        for (std::size_t i = 0; i < alone[id].size(); ++i) {
            failures += alone[id][i].status != CEA_OK;
            EXPECT_EQ(alone[id][i].status == CEA_OK, alone[id][i].text.empty()) << alone[id][i].text;
            EXPECT_TRUE(together[id][i] == alone[id][i]) << "call " << i << ": " << together[id][i].text;
        }
        EXPECT_GT(failures, 0);
    }
}

} // namespace
