#include "ceflib/bridges/download_handler.h"

namespace ceflib {

TCefDownloadHandlerOwn::TCefDownloadHandlerOwn() {
  Bind<&TCefDownloadHandlerOwn::ReceivedData>(record()->received_data);
  Bind<&TCefDownloadHandlerOwn::Complete>(record()->complete);
}

}  // namespace ceflib
