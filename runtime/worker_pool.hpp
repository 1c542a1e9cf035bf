// A fixed pool of 2 to 4 worker threads running queued tasks in arrival order. Destroying
// the pool runs every task still queued, then joins the workers.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace runtime {

class WorkerPool {
 public:
  WorkerPool();
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues a task at the back. False (and the task is not queued) for an empty task and once
  // the pool is stopping.
  bool submit(std::function<void()> task);

  std::size_t workerCount() const { return workers.size(); }

  // The number of workers for a reported hardware thread count (0 when unknown): 2 to 4.
  static unsigned workerCountFor(unsigned hardwareThreads);

 private:
  static void runWorker(WorkerPool* pool);
  void stopAndJoin() noexcept;

  std::mutex mutex;
  std::condition_variable wakeup;
  std::deque<std::function<void()>> tasks;
  bool stopping = false;
  std::vector<std::thread> workers;
};

}  // namespace runtime
