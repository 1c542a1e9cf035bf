// The worker pool: 2 to 4 workers, queued tasks all run, and the destructor drains the queue
// before it joins.
#include "runtime/worker_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "runtime/interface_base.hpp"

namespace runtime {
namespace {

// A one-shot gate that tasks wait on until the test opens it.
class Gate {
 public:
  void open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

TEST(WorkerPoolTest, WorkerCountIsClampedToTwoToFour) {
  EXPECT_EQ(WorkerPool::workerCountFor(0), 2u);
  EXPECT_EQ(WorkerPool::workerCountFor(1), 2u);
  EXPECT_EQ(WorkerPool::workerCountFor(2), 2u);
  EXPECT_EQ(WorkerPool::workerCountFor(3), 3u);
  EXPECT_EQ(WorkerPool::workerCountFor(4), 4u);
  EXPECT_EQ(WorkerPool::workerCountFor(5), 4u);
  EXPECT_EQ(WorkerPool::workerCountFor(16), 4u);
  EXPECT_EQ(WorkerPool::workerCountFor(4294967295u), 4u);

  WorkerPool pool;
  EXPECT_EQ(pool.workerCount(), WorkerPool::workerCountFor(std::thread::hardware_concurrency()));
}

TEST(WorkerPoolTest, DestroyingAPoolWithAnEmptyQueueReturns) {
  std::atomic<bool> ran{false};
  Gate done;
  auto pool = std::make_unique<WorkerPool>();
  ASSERT_TRUE(pool->submit([&] {
    ran = true;
    done.open();
  }));
  done.wait();
  pool.reset();
  EXPECT_TRUE(ran.load());
}

TEST(WorkerPoolTest, RunsTasksOnItsWorkersConcurrently) {
  WorkerPool pool;
  const std::size_t workers = pool.workerCount();
  std::mutex mutex;
  std::condition_variable arrived;
  std::set<std::thread::id> threads;
  Gate gate;
  for (std::size_t i = 0; i < workers; ++i) {
    EXPECT_TRUE(pool.submit([&] {
      {
        std::lock_guard<std::mutex> lock(mutex);
        threads.insert(std::this_thread::get_id());
      }
      arrived.notify_all();
      gate.wait();
    }));
  }
  bool allArrived = false;
  {
    // Every worker holds one task at the same time: the tasks do not wait for each other.
    std::unique_lock<std::mutex> lock(mutex);
    allArrived = arrived.wait_for(lock, std::chrono::seconds(60), [&] { return threads.size() == workers; });
  }
  gate.open();
  EXPECT_TRUE(allArrived);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
}

TEST(WorkerPoolTest, DestructorRunsEveryQueuedTask) {
  std::atomic<int> ran{0};
  Gate gate;
  auto pool = std::make_unique<WorkerPool>();
  const std::size_t workers = pool->workerCount();
  // Occupy every worker so that the rest stays queued while the destructor starts.
  for (std::size_t i = 0; i < workers; ++i) {
    EXPECT_TRUE(pool->submit([&] {
      gate.wait();
      ++ran;
    }));
  }
  constexpr int kQueued = 500;
  for (int i = 0; i < kQueued; ++i) EXPECT_TRUE(pool->submit([&] { ++ran; }));
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.open();
  });
  pool.reset();
  EXPECT_EQ(ran.load(), kQueued + static_cast<int>(workers));
  opener.join();
}

TEST(WorkerPoolTest, SubmitIsRefusedOnceStoppingButAcceptedTasksStillRun) {
  std::atomic<int> accepted{0};
  std::atomic<int> ran{0};
  std::atomic<bool> refused{false};
  Gate started;
  auto pool = std::make_unique<WorkerPool>();
  WorkerPool* raw = pool.get();
  ASSERT_TRUE(pool->submit([&] {
    started.open();
    // Keep queueing until the destructor on the test thread has set the stopping flag.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!raw->submit([&] { ++ran; })) {
        refused = true;
        return;
      }
      ++accepted;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }));
  started.wait();
  pool.reset();
  EXPECT_TRUE(refused.load());
  EXPECT_EQ(ran.load(), accepted.load());
}

TEST(WorkerPoolTest, EmptyTaskIsRefused) {
  WorkerPool pool;
  EXPECT_FALSE(pool.submit(std::function<void()>()));
}

TEST(InterfaceBaseTest, DerivedInterfacesAreDestroyedThroughTheBase) {
  struct Derived : InterfaceBase {
    explicit Derived(int& destroyed) : destroyed_(destroyed) {}
    ~Derived() override { ++destroyed_; }
    int& destroyed_;
  };
  int destroyed = 0;
  std::unique_ptr<InterfaceBase> object = std::make_unique<Derived>(destroyed);
  object.reset();
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace runtime
