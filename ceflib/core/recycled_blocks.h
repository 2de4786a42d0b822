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
      List& list = blocks;
      if (size == sizeof(T) && list.head) return list.Pop();
    }
    return ::operator new(size);
  }
  static void Give(void* block, std::size_t size) noexcept {
    if constexpr (kRecycle) {
      List& list = blocks;
      if (size == sizeof(T) && list.state == kOpen && list.count < kKept) return list.Push(block);
      if (size == sizeof(T) && list.state == kNew) return Open(list, block);
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
  // The thread's kept blocks. Trivial and constant-initialised, so using it costs one
  // thread-local access and no initialisation check, and it stays readable after the
  // thread's end has emptied it: blocks freed after that go to the heap.
  enum State : unsigned char { kNew, kOpen, kClosed };
  struct List {
    Node* head;
    unsigned count;
    State state;

    void* Pop() noexcept {
      Node* node = head;
      head = node->next;
      --count;
      return node;
    }
    void Push(void* block) noexcept {
      head = ::new (block) Node{head};
      ++count;
    }
  };
  static constinit inline thread_local List blocks{nullptr, 0, kNew};

  // At the thread's end the kept blocks go back to the heap.
  struct Closer {
    ~Closer() {
      List& list = blocks;
      list.state = kClosed;
      while (list.head) ::operator delete(list.Pop());
    }
  };
  // The first block a thread keeps arranges for the thread's end.
  [[gnu::noinline]] static void Open(List& list, void* block) noexcept {
    static thread_local Closer closer;
    (void)&closer;
    list.state = kOpen;
    list.Push(block);
  }
};

}  // namespace ceflib
