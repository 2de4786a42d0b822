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
  // Transfer thread: the body ended; `error` 0 when it arrived whole.
  void Finish(int error);
  // Any thread: nothing more goes through; a waiting Push returns false.
  void Close();

  // Reader: `wake` runs (on whatever thread pushes, or at once) whenever something waits
  // for a reader that has taken everything before. It must only post work.
  void SetWake(std::function<void()> wake);
  // Reader: everything that waits; the next push wakes the reader again.
  Taken Take();

 private:
  static constexpr size_t kWindow = size_t{1} << 20;
  void WakeIfWaiting(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable room_;
  std::string queued_;
  bool finished_ = false, closed_ = false, woken_ = false;
  int error_ = 0;
  std::function<void()> wake_;
};

// The reader's hold on a pipe: letting go of it closes the pipe, so a body nobody reads
// any more stops its transfer.
class BodyReader {
 public:
  explicit BodyReader(std::shared_ptr<BodyPipe> pipe) : pipe_(std::move(pipe)) {}
  BodyReader(const BodyReader&) = delete;
  BodyReader& operator=(const BodyReader&) = delete;
  ~BodyReader() { pipe_->Close(); }
  BodyPipe& pipe() { return *pipe_; }

 private:
  std::shared_ptr<BodyPipe> pipe_;
};

}  // namespace cef_engine::net
