// The download handler: receives an accepted download piece by piece, on the engine's
// UI thread.
#pragma once

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefDownloadHandler : public virtual ICefBase {
 public:
  // The next piece of the file, lent for the call; false aborts the download.
  virtual bool ReceivedData(void* data, int dataSize) = 0;
  // After the last piece.
  virtual void Complete() = 0;
};

// Default: refuses the first piece (the download is aborted), nothing on completion.
class TCefDownloadHandlerOwn : public TCefOwn<cef_download_handler_t>, public ICefDownloadHandler {
 public:
  TCefDownloadHandlerOwn();
  bool ReceivedData(void*, int) override { return false; }
  void Complete() override {}
};

}  // namespace ceflib
