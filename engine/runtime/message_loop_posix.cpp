// Linux: the loop is the task queue itself; waiting, waking and quitting all go
// through its condition variable.
#include "runtime/message_loop.h"

namespace cef_engine {
namespace {

class QueueLoop final : public MainLoop {
 public:
  explicit QueueLoop(TaskQueue& tasks) : tasks_(tasks) {}

  void Run() override {
    while (auto task = tasks_.WaitForTask()) RunTask(std::move(task));
  }
  void Quit() override { tasks_.RequestQuit(); }
  void TasksChanged() override {}

 private:
  TaskQueue& tasks_;
};

}  // namespace

std::shared_ptr<MainLoop> MainLoop::Create(TaskQueue& tasks) { return std::make_shared<QueueLoop>(tasks); }

}  // namespace cef_engine
