// Memory for objects made and dropped at a high rate, such as the wrapper of every
// engine object that a call answers: the freed blocks of one class are kept per thread
// and handed out again, so in the steady state such an object costs no heap call. Every
// object is still a new object; only its memory is reused. A block freed on another
// thread than the one that took it joins that thread's list; nothing is shared between
// threads, so no lock is needed.
#pragma once

#include <cstddef>
#include <new>

namespace ceflib {

template <class T>
class TCefRecycledBlocks {
 public:
  // A block for an object of `size` bytes; blocks for classes derived from T, which are
  // larger, come from the heap.
  static void* Take(std::size_t size) {
    if constexpr (kRecycle) {
      if (size == sizeof(T) && !Closed()) {
        if (Node* node = Blocks().Pop()) return node;
      }
    }
    return ::operator new(size);
  }
  static void Give(void* block, std::size_t size) noexcept {
    if constexpr (kRecycle) {
      if (size == sizeof(T) && !Closed() && Blocks().Push(block)) return;
    }
    ::operator delete(block);
  }

 private:
  // Under AddressSanitizer every block goes back to the heap, which keeps its checks
  // of freed memory. With MinGW, every block goes there too: its run-time frees a
  // thread's thread-local storage before it runs the destructors of the thread's
  // thread-local objects, so the list would be read from freed memory at the thread's
  // end (seen as a thread spinning forever over a corrupted list under Wine).
#if defined(__SANITIZE_ADDRESS__) || defined(__MINGW32__)
  static constexpr bool kRecycle = false;
#else
  static constexpr bool kRecycle = true;
#endif
  static constexpr unsigned kKept = 64;  // per thread; more are freed

  struct Node {
    Node* next;
  };
  class List {
   public:
    Node* Pop() noexcept {
      Node* node = head_;
      if (node) {
        head_ = node->next;
        --count_;
      }
      return node;
    }
    bool Push(void* block) noexcept {
      if (count_ == kKept) return false;
      head_ = ::new (block) Node{head_};
      ++count_;
      return true;
    }
    // At the thread's end the kept blocks go back to the heap; blocks freed after that
    // go there directly.
    ~List() {
      Closed() = true;
      while (Node* node = Pop()) ::operator delete(node);
    }

   private:
    Node* head_ = nullptr;
    unsigned count_ = 0;
  };

  static List& Blocks() noexcept {
    thread_local List blocks;
    return blocks;
  }
  // Trivial, so it stays readable after the list is gone.
  static bool& Closed() noexcept {
    thread_local bool closed = false;
    return closed;
  }
};

}  // namespace ceflib
