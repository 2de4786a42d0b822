#include "net/body_pipe.h"

#include <utility>

namespace cef_engine::net {

bool BodyPipe::Push(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [this] { return closed_ || queued_.size() < kWindow; });
  return AppendLocked(lock, bytes);
}

bool BodyPipe::Append(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  return AppendLocked(lock, bytes);
}

bool BodyPipe::AppendLocked(std::unique_lock<std::mutex>& lock, std::string_view bytes) {
  if (closed_) return false;
  queued_.append(bytes);
  WakeIfWaiting(lock);
  return true;
}

bool BodyPipe::HasRoom(std::function<void()> room) {
  std::lock_guard lock(mutex_);
  if (closed_ || queued_.size() < kWindow) return true;
  room_wake_ = std::move(room);
  return false;
}

void BodyPipe::Finish(int error) {
  std::unique_lock lock(mutex_);
  if (closed_ || finished_) return;
  finished_ = true;
  error_ = error;
  WakeIfWaiting(lock);
}

void BodyPipe::Close() {
  std::function<void()> wake, room;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    std::string().swap(queued_);
    wake = std::move(wake_);
    room = std::move(room_wake_);
  }
  room_.notify_all();
  if (room) room();
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
  std::function<void()> room;
  {
    std::lock_guard lock(mutex_);
    taken.bytes.swap(queued_);
    taken.finished = finished_;
    taken.error = error_;
    woken_ = false;
    room = std::move(room_wake_);
  }
  room_.notify_all();
  if (room) room();
  return taken;
}

// The wake runs outside the lock: it posts work, which may take locks of its own. The
// wake that tells of the body's end (or one still pending when it ends) is the last: the
// pipe then lets go of it and of whatever it holds.
void BodyPipe::WakeIfWaiting(std::unique_lock<std::mutex>& lock) {
  if (!wake_ || (queued_.empty() && !finished_)) return;
  const bool fire = !std::exchange(woken_, true);
  auto wake = finished_ ? std::exchange(wake_, nullptr) : fire ? wake_ : nullptr;
  lock.unlock();
  if (fire) wake();
}

}  // namespace cef_engine::net
