// The pool behind the host's iterations: every part runs once per Run, whoever else is
// using the pool at the time, and no Run starts threads once the pool has enough.
#include "core/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace corvelle {
namespace {

struct Tally {
    std::vector<std::atomic<int>> runs;
    explicit Tally(unsigned parts) : runs(parts) {}
};

void Count(void* context, unsigned part) {
    static_cast<Tally*>(context)->runs[part].fetch_add(1);
}

void ExpectEachPartOnce(const Tally& tally) {
    for (std::size_t part = 0; part < tally.runs.size(); ++part) {
        EXPECT_EQ(tally.runs[part].load(), 1) << "part " << part;
    }
}

TEST(WorkerPool, RunsEveryPartOnceForAnyCount) {
    WorkerPool pool;
    for (unsigned parts : {0u, 1u, 2u, 7u, 3u, 16u}) {
        Tally tally(parts);
        pool.Run(parts, Count, &tally);
        ExpectEachPartOnce(tally);
    }
}

TEST(WorkerPool, KeepsItsThreadsFromOneRunToTheNext) {
    WorkerPool pool;
    Tally first(4);
    pool.Run(4, Count, &first);
    const std::size_t threads = pool.ThreadCount();
    EXPECT_EQ(threads, 3u);
    for (int run = 0; run < 50; ++run) {
        Tally tally(4);
        pool.Run(4, Count, &tally);
        ExpectEachPartOnce(tally);
    }
    EXPECT_EQ(pool.ThreadCount(), threads);
}

// A second caller while the pool is busy does its parts itself rather than wait or mix jobs.
TEST(WorkerPool, SharesWithCallersOnOtherThreads) {
    WorkerPool pool;
    std::vector<std::thread> callers;
    std::vector<Tally> tallies;
    tallies.reserve(4);
    for (int i = 0; i < 4; ++i) {
        tallies.emplace_back(5);
    }
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([&pool, &tallies, i] {
            for (int run = 0; run < 20; ++run) {
                Tally tally(5);
                pool.Run(5, Count, &tally);
                for (std::size_t part = 0; part < 5; ++part) {
                    tallies[static_cast<std::size_t>(i)].runs[part].fetch_add(tally.runs[part].load());
                }
            }
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    for (const Tally& tally : tallies) {
        for (const std::atomic<int>& runs : tally.runs) {
            EXPECT_EQ(runs.load(), 20);
        }
    }
}

}   // namespace
}   // namespace corvelle
