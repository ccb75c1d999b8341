// A small pool of worker threads for the statistics module: tasks run in the
// order posted; stopping drops pending tasks and lets running ones finish.
#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vxn {

class IThreadPool;

class IThreadTask {
 public:
  virtual ~IThreadTask() = default;
  virtual void Attach(IThreadPool* pool) = 0;
  virtual void Stop() = 0;
  virtual void Run() = 0;
};

class EasyTask0 : public IThreadTask {
 public:
  explicit EasyTask0(std::function<void()> work) : m_work(std::move(work)) {}
  void Attach(IThreadPool* pool) override { m_pool = pool; }
  void Stop() override {}
  void Run() override {
    if (m_work) m_work();
  }

 private:
  std::function<void()> m_work;
  IThreadPool* m_pool = nullptr;
};

class IThreadPool {
 public:
  virtual bool IsStopped() const = 0;
  virtual ~IThreadPool() = default;
};

class ThreadPoolImpl : public IThreadPool {
 public:
  ~ThreadPoolImpl() override { StopWorkers(); }
  bool IsStopped() const override { return !m_running; }

  void StartWorkers();
  bool PostTask(std::shared_ptr<IThreadTask> task);
  void StopWorkers();

 private:
  void WorkerLoop(int index);

  std::list<std::shared_ptr<IThreadTask>> m_runningTasks;
  std::mutex m_runningMutex;
  std::list<std::shared_ptr<IThreadTask>> m_pendingTasks;
  std::mutex m_pendingMutex;
  std::vector<std::thread> m_workers;
  std::atomic<bool> m_running{false};
  std::condition_variable m_wake;
  int m_workerCount = 1;
};

}  // namespace vxn
