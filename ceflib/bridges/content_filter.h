// The content filter: sees a response's body chunk by chunk and may replace it, on the
// engine's UI thread.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/request.h"

namespace ceflib {

class ICefContentFilter : public virtual ICefBase {
 public:
  // One chunk of the body, lent for the call; a stream set in substituteData replaces it.
  virtual void ProcessData(const void* data, int dataSize, RefPtr<ICefStreamReader>& substituteData) = 0;
  // At the end of the body: a stream set in remainder adds what the filter held back.
  virtual void Drain(RefPtr<ICefStreamReader>& remainder) = 0;
};

// Default: every chunk passes unchanged, nothing is added at the end.
class TCefContentFilterOwn : public TCefOwn<cef_content_filter_t>, public ICefContentFilter {
 public:
  TCefContentFilterOwn();
  void ProcessData(const void*, int, RefPtr<ICefStreamReader>&) override {}
  void Drain(RefPtr<ICefStreamReader>&) override {}
};

}  // namespace ceflib
