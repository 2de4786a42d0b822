// What the custom stream reader and writer share: the object's lock held for a scope, the
// byte count moved through a stream buffer in pieces a std::streamsize can count, and the
// stream origins by the engine's whence values.
#pragma once

#include <algorithm>
#include <ios>
#include <limits>
#include <optional>
#include <streambuf>

#include "ceflib/core/object_bridge.h"

namespace ceflib::stream_io {

// Holds an object's lock for a scope, also when the stream throws.
class Locked {
 public:
  explicit Locked(TCefBaseOwn& object) : object_(object) { object_.Lock(); }
  ~Locked() { object_.Unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  TCefBaseOwn& object_;
};

// Calls `move(offset, piece)` for consecutive pieces of `wanted` bytes until one moves
// fewer bytes than asked; answers the bytes moved.
template <class Move>
size_t MoveInPieces(size_t wanted, Move move) {
  constexpr auto kMaxPiece = static_cast<size_t>(std::numeric_limits<std::streamsize>::max());
  size_t moved = 0;
  while (moved < wanted) {
    const auto piece = static_cast<std::streamsize>(std::min(wanted - moved, kMaxPiece));
    const std::streamsize done = move(moved, piece);
    if (done > 0) moved += static_cast<size_t>(done);
    if (done < piece) break;
  }
  return moved;
}

// SEEK_SET, SEEK_CUR and SEEK_END as stream origins; nothing for other values.
inline std::optional<std::ios_base::seekdir> Origin(int whence) {
  static constexpr std::ios_base::seekdir kOrigins[] = {std::ios_base::beg, std::ios_base::cur,
                                                        std::ios_base::end};
  if (whence < 0 || whence > 2) return std::nullopt;
  return kOrigins[whence];
}

}  // namespace ceflib::stream_io
