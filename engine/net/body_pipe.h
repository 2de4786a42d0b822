// A response body handed from its transfer thread to the main thread while it arrives
// (a download), instead of collected whole: at most a window of bytes waits between the
// two, so a file of any size takes little memory and a slow reader holds the transfer
// back rather than letting it pile up.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace cef_engine::net {

class BodyPipe {
 public:
  // What waited for the reader: the bytes, and whether the body ended (and how).
  struct Taken {
    std::string bytes;
    bool finished = false;
    int error = 0;  // with `finished`: 0 when the body arrived whole
  };

  // Transfer thread: appends bytes; waits while the window is full. False once the pipe
  // is closed (the reader went, or the transfer was aborted): the transfer stops.
  bool Push(std::string_view bytes);
  // A producer that must never wait (the IO thread): appends bytes whatever the window
  // holds. False once the pipe is closed.
  bool Append(std::string_view bytes);
  // A producer that must never wait: true while the window has room or the pipe is closed;
  // else false, and `room` runs (it must only post work) once the reader has taken what
  // waits, or the pipe closes.
  bool HasRoom(std::function<void()> room);
  // Producer: the body ended; `error` 0 when it arrived whole.
  void Finish(int error);
  // Any thread: nothing more goes through; a waiting Push returns false.
  void Close();

  // Reader: `wake` runs (on whatever thread pushes, or at once) whenever something waits
  // for a reader that has taken everything before. It must only post work. Once the body
  // has ended and the reader was woken for it, the pipe lets go of `wake` (and of what it
  // holds, e.g. the reader itself).
  void SetWake(std::function<void()> wake);
  // Reader: everything that waits; the next push wakes the reader again.
  Taken Take();

 private:
  static constexpr size_t kWindow = size_t{1} << 20;
  bool AppendLocked(std::unique_lock<std::mutex>& lock, std::string_view bytes);
  void WakeIfWaiting(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable room_;
  std::string queued_;
  bool finished_ = false, closed_ = false, woken_ = false;
  int error_ = 0;
  std::function<void()> wake_;
  std::function<void()> room_wake_;
};

// The reader's hold on a pipe: letting go of it closes the pipe, so a body nobody reads
// any more stops its transfer. It may also keep the producer alive (a load that reads a
// program's handler in steps, which nothing else holds once its head went out).
class BodyReader {
 public:
  explicit BodyReader(std::shared_ptr<BodyPipe> pipe, std::shared_ptr<void> producer = nullptr)
      : pipe_(std::move(pipe)), producer_(std::move(producer)) {}
  BodyReader(const BodyReader&) = delete;
  BodyReader& operator=(const BodyReader&) = delete;
  ~BodyReader() { pipe_->Close(); }
  BodyPipe& pipe() { return *pipe_; }

 private:
  std::shared_ptr<BodyPipe> pipe_;
  std::shared_ptr<void> producer_;
};

}  // namespace cef_engine::net
