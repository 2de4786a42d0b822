#include "net/body_pipe.h"

#include <utility>

namespace cef_engine::net {

bool BodyPipe::Push(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [this] { return closed_ || queued_.size() < kWindow; });
  if (closed_) return false;
  queued_.append(bytes);
  WakeIfWaiting(lock);
  return true;
}

void BodyPipe::Finish(int error) {
  std::unique_lock lock(mutex_);
  if (closed_ || finished_) return;
  finished_ = true;
  error_ = error;
  WakeIfWaiting(lock);
}

void BodyPipe::Close() {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    std::string().swap(queued_);
    wake = std::move(wake_);
  }
  room_.notify_all();
}

void BodyPipe::SetWake(std::function<void()> wake) {
  std::unique_lock lock(mutex_);
  if (closed_) return;
  wake_ = std::move(wake);
  woken_ = false;
  WakeIfWaiting(lock);
}

BodyPipe::Taken BodyPipe::Take() {
  Taken taken;
  {
    std::lock_guard lock(mutex_);
    taken.bytes.swap(queued_);
    taken.finished = finished_;
    taken.error = error_;
    woken_ = false;
  }
  room_.notify_all();
  return taken;
}

// The wake runs outside the lock: it posts work, which may take locks of its own.
void BodyPipe::WakeIfWaiting(std::unique_lock<std::mutex>& lock) {
  if (woken_ || !wake_ || (queued_.empty() && !finished_)) return;
  woken_ = true;
  auto wake = wake_;
  lock.unlock();
  wake();
}

}  // namespace cef_engine::net
