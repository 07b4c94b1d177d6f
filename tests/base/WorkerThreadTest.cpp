#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A job that holds the worker until the gate opens.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    std::function<void()> Job() const {
        return [opened = opened] { opened.wait(); };
    }
};

// In their order, beside the giver; a giver ahead of its jobs waits once
// `waiting` jobs wait.
TEST(WorkerThread, RunsTheJobsInTheirOrderAndHoldsBackAGiverAheadOfThem) {
    WorkerThread worker(1);
    Gate gate;
    worker.Post(gate.Job());
    std::vector<int> ran;  // written by the worker only, read after Wait()
    worker.Post([&] { ran.push_back(0); });
    std::atomic<bool> posted{false};
    std::thread giver([&] {
        for (int i = 1; i < 1000; ++i) {
            worker.Post([&, i] { ran.push_back(i); });
            posted = true;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(posted) << "a job was queued beside a full queue";
    gate.open.set_value();
    giver.join();
    worker.Wait();
    ASSERT_EQ(ran.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[static_cast<size_t>(i)], i);
}

// A failing job ends the work: the jobs after it are dropped and its failure
// goes to the giver once; Discard forgets one and drops the jobs waiting.
TEST(WorkerThread, AFailureEndsTheWorkAndDiscardBeginsItAgain) {
    WorkerThread worker(4);
    std::atomic<int> ran{0};
    Gate gate;
    worker.Post(gate.Job());
    worker.Post([] { throw std::runtime_error("Platte voll"); });
    worker.Post([&] { ++ran; });
    gate.open.set_value();
    EXPECT_THROW(worker.Wait(), std::runtime_error);
    EXPECT_EQ(ran, 0) << "a job after the failing one ran";
    worker.Post([&] { ++ran; });
    EXPECT_NO_THROW(worker.Wait()) << "the failure was told twice";
    EXPECT_EQ(ran, 1);

    Gate second;
    worker.Post(second.Job());
    worker.Post([] { throw std::runtime_error("vergessen"); });
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        second.open.set_value();
    });
    worker.Discard();  // drops the failing job waiting, then waits for the gate
    opener.join();
    EXPECT_NO_THROW(worker.Wait()) << "a discarded job failed the work";
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
