#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(WorkerThread, RunsTheJobsInTheirOrderBesideTheGiver) {
    WorkerThread worker(2);
    std::vector<int> ran;  // written by the worker only, read after Wait()
    std::atomic<bool> elsewhere{true};
    const auto giver = std::this_thread::get_id();
    for (int i = 0; i < 1000; ++i)
        worker.Post([&, i] {
            ran.push_back(i);
            if (std::this_thread::get_id() == giver) elsewhere = false;
        });
    worker.Wait();
    ASSERT_EQ(ran.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[static_cast<size_t>(i)], i);
    EXPECT_TRUE(elsewhere) << "the jobs ran on the giver's thread";
}

TEST(WorkerThread, AGiverAheadOfItsJobsWaits) {
    WorkerThread worker(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    worker.Post([released] { released.wait(); });  // runs, and holds the worker
    // One more may wait while it runs...
    std::promise<void> started;
    worker.Post([&] { started.set_value(); });
    // ...a third must not be taken until the first is done.
    std::atomic<bool> posted{false};
    std::thread third([&] {
        worker.Post([] {});
        posted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(posted) << "a third job was queued beside a full queue";
    release.set_value();
    third.join();
    EXPECT_TRUE(posted);
    started.get_future().wait();
    worker.Wait();
}

TEST(WorkerThread, AFailingJobEndsTheWorkAndGoesToTheGiver) {
    WorkerThread worker(4);
    std::atomic<int> ran{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    worker.Post([released] { released.wait(); });
    worker.Post([] { throw std::runtime_error("Platte voll"); });
    worker.Post([&] { ++ran; });  // after the failure: dropped
    release.set_value();
    try {
        worker.Wait();
        FAIL() << "the failure was not rethrown";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "Platte voll");
    }
    EXPECT_EQ(ran, 0) << "a job after the failing one ran";
    // Told once: the giver may go on.
    worker.Post([&] { ++ran; });
    worker.Wait();
    EXPECT_EQ(ran, 1);
}

TEST(WorkerThread, AFailureIsRethrownByTheNextPost) {
    WorkerThread worker(1);
    worker.Post([] { throw std::runtime_error("kaputt"); });
    // The failure arrives while the giver goes on posting.
    bool thrown = false;
    for (int i = 0; i < 1000 && !thrown; ++i) {
        try {
            worker.Post([] {});
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        if (!thrown) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(thrown);
}

TEST(WorkerThread, DiscardDropsTheWaitingJobsAndForgetsAFailure) {
    WorkerThread worker(8);
    std::atomic<int> ran{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    worker.Post([released] { released.wait(); });
    for (int i = 0; i < 5; ++i) worker.Post([&] { ++ran; });
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.set_value();
    });
    worker.Discard();  // returns once the running job is done
    releaser.join();
    worker.Wait();
    EXPECT_EQ(ran, 0) << "a dropped job ran";

    std::promise<void> failing;
    worker.Post([&] {
        failing.set_value();
        throw std::runtime_error("vergessen");
    });
    failing.get_future().wait();
    worker.Discard();  // waits until the job is out, its failure noted, then forgets it
    EXPECT_NO_THROW(worker.Wait()) << "a discarded failure came back";
}

TEST(WorkerThread, GoingAwayWaitsForTheRunningJob) {
    std::atomic<bool> finished{false};
    {
        WorkerThread worker;
        std::promise<void> started;
        worker.Post([&] {
            started.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            finished = true;
        });
        started.get_future().wait();
    }
    EXPECT_TRUE(finished) << "the worker went while its job still ran";
}

}  // namespace
