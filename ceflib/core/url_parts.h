// Addresses taken apart and put together by the engine's own address rules.
#pragma once

#include "ceflib/core/strings.h"

namespace ceflib {

// The parts of an address; `spec` is the whole address as the engine writes it.
struct TCefUrlParts {
  ustring spec;
  ustring scheme;
  ustring username;
  ustring password;
  ustring host;
  ustring port;
  ustring path;
  ustring query;

  bool operator==(const TCefUrlParts&) const = default;
};

// Parses `url` into `parts`; false (and `parts` left as it was) when the engine cannot
// parse it.
bool CefParseUrl(const ustring& url, TCefUrlParts& parts);
// Writes the address of `parts` into `url`: `spec` when it is not empty, otherwise the
// address made of the other parts; false (and `url` left as it was) when the engine
// makes no valid address of them.
bool CefCreateUrl(const TCefUrlParts& parts, ustring& url);

}  // namespace ceflib
