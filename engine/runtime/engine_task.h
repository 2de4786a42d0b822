// Engine work posted to one of its threads: a closure inside a task record, so that it
// shares the program's task queues and their ordering.
#pragma once

#include <functional>
#include <utility>

#include "cef/cef_records.h"
#include "objects/engine_object.h"

namespace cef_engine {

class ClosureTask final : public EngineObject<cef_task_t> {
 public:
  explicit ClosureTask(std::function<void()> work) : work_(std::move(work)) { record()->execute = &Execute; }

 private:
  static void CEF_CALLBACK Execute(cef_task_t* self, cef_thread_id_t) {
    auto* task = static_cast<ClosureTask*>(FromRecord(self));
    if (auto work = std::exchange(task->work_, nullptr)) work();
  }
  std::function<void()> work_;
};

}  // namespace cef_engine
