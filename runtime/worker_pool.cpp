#include "runtime/worker_pool.hpp"

#include <utility>

namespace runtime {

unsigned WorkerPool::workerCountFor(unsigned hardwareThreads) {
  if (hardwareThreads < 2) return 2;
  if (hardwareThreads > 4) return 4;
  return hardwareThreads;
}

WorkerPool::WorkerPool() {
  const unsigned count = workerCountFor(std::thread::hardware_concurrency());
  workers.reserve(count);
  try {
    for (unsigned i = 0; i < count; ++i) workers.emplace_back(&WorkerPool::runWorker, this);
  } catch (...) {
    // The workers already running must be stopped before the error leaves.
    stopAndJoin();
    throw;
  }
}

WorkerPool::~WorkerPool() { stopAndJoin(); }

bool WorkerPool::submit(std::function<void()> task) {
  // An empty task would throw std::bad_function_call on a worker thread and end the process.
  if (!task) return false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return false;
    tasks.push_back(std::move(task));
  }
  wakeup.notify_one();
  return true;
}

void WorkerPool::runWorker(WorkerPool* pool) {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(pool->mutex);
      pool->wakeup.wait(lock, [pool] { return pool->stopping || !pool->tasks.empty(); });
      if (pool->stopping && pool->tasks.empty()) return;
      task = std::move(pool->tasks.front());
      pool->tasks.pop_front();
    }
    task();
  }
}

void WorkerPool::stopAndJoin() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wakeup.notify_all();
  for (std::thread& worker : workers) {
    if (worker.joinable()) worker.join();
  }
}

}  // namespace runtime
