#include "worker_thread.h"

namespace cef_engine {

void WorkerThread::Start() {
  if (thread_.joinable()) return;
  tasks_.Open();
  thread_ = std::thread([this] {
    while (auto task = tasks_.WaitForTask()) RunTask(std::move(task), id_);
  });
}

std::vector<TaskQueue::Task> WorkerThread::Stop() {
  auto dropped = tasks_.Close();
  if (thread_.joinable()) {
    // A task may stop the engine from this very thread; it cannot wait for itself.
    if (IsCurrent()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  return dropped;
}

}  // namespace cef_engine
