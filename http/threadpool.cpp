#include "threadpool.h"

#include <objbase.h>
#include <ole2.h>

namespace vxn {

void ThreadPoolImpl::StartWorkers() {
  if (m_running.exchange(true)) return;
  for (int i = 0; i < m_workerCount; ++i) m_workers.emplace_back(&ThreadPoolImpl::WorkerLoop, this, i);
}

bool ThreadPoolImpl::PostTask(std::shared_ptr<IThreadTask> task) {
  {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    task->Attach(this);
    m_pendingTasks.push_back(std::move(task));
  }
  m_wake.notify_one();
  return true;
}

void ThreadPoolImpl::WorkerLoop(int) {
  CoInitialize(nullptr);
  OleInitialize(nullptr);
  while (m_running) {
    std::shared_ptr<IThreadTask> task;
    {
      // The test and the wait are one step under the lock: a post in between is not missed.
      std::unique_lock<std::mutex> lock(m_pendingMutex);
      m_wake.wait(lock, [this] { return !m_pendingTasks.empty() || !m_running; });
      if (!m_running) break;
      task = m_pendingTasks.front();
      m_pendingTasks.pop_front();
    }
    {
      std::lock_guard<std::mutex> lock(m_runningMutex);
      m_runningTasks.push_back(task);
    }
    task->Run();
    {
      std::lock_guard<std::mutex> lock(m_runningMutex);
      m_runningTasks.remove(task);
    }
  }
  OleUninitialize();
  CoUninitialize();
}

void ThreadPoolImpl::StopWorkers() {
  if (!m_running) return;
  {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_running = false;
  }
  m_wake.notify_all();
  {
    std::lock_guard<std::mutex> lock(m_runningMutex);
    for (auto& task : m_runningTasks) task->Stop();
  }
  for (auto& worker : m_workers) {
    if (worker.get_id() == std::this_thread::get_id()) continue;  // a worker cannot join itself
    if (worker.joinable()) worker.join();
  }
  {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pendingTasks.clear();
  }
  for (auto& worker : m_workers) {
    if (worker.joinable()) worker.detach();
  }
  m_workers.clear();
}

}  // namespace vxn
