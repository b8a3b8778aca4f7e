// Detached threads: every one started runs its work exactly once and then
// lets go of what it owns, also when many start while the starting thread
// waits on a condition variable.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/detached_thread.h"

namespace qb::platform {
namespace {

struct Tally {
    std::mutex mutex;
    std::condition_variable changed;
    int ran = 0;
    int released = 0;
};

// Work that counts its run and, when destroyed, its release.
class CountingWork {
public:
    explicit CountingWork(std::shared_ptr<Tally> tally) : tally_(std::move(tally)) {}
    CountingWork(CountingWork&& other) noexcept = default;
    ~CountingWork() {
        if (!tally_) return;
        {
            std::lock_guard lock(tally_->mutex);
            ++tally_->released;
        }
        tally_->changed.notify_all();
    }
    void operator()() {
        std::lock_guard lock(tally_->mutex);
        ++tally_->ran;
        tally_->changed.notify_all();
    }

private:
    std::shared_ptr<Tally> tally_;
};

TEST(DetachedThread, EveryThreadStartedRunsItsWorkAndReleasesIt) {
    // Two at a time, with the starter waiting on a condition variable in
    // between: the pattern that lost threads to the runtime's detach race.
    constexpr int kPairs = 3000;
    auto tally = std::make_shared<Tally>();
    for (int pair = 0; pair < kPairs; ++pair) {
        ASSERT_TRUE(StartDetachedThread(CountingWork(tally)));
        ASSERT_TRUE(StartDetachedThread(CountingWork(tally)));
        std::unique_lock lock(tally->mutex);
        ASSERT_TRUE(tally->changed.wait_for(lock, std::chrono::seconds(20), [&] { return tally->ran == 2 * (pair + 1); }))
            << "pair " << pair << ": " << tally->ran << " of " << 2 * (pair + 1) << " ran";
    }
    std::unique_lock lock(tally->mutex);
    EXPECT_TRUE(tally->changed.wait_for(lock, std::chrono::seconds(20), [&] { return tally->released == 2 * kPairs; }))
        << tally->released;
}

TEST(DetachedThread, TheWorkRunsOnAnotherThread) {
    std::promise<std::thread::id> where;
    std::future<std::thread::id> answer = where.get_future();
    ASSERT_TRUE(StartDetachedThread([&where] { where.set_value(std::this_thread::get_id()); }));
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_NE(answer.get(), std::this_thread::get_id());
}

}  // namespace
}  // namespace qb::platform
