#include "ceflib/bridges/content_filter.h"

namespace ceflib {

TCefContentFilterOwn::TCefContentFilterOwn() {
  Bind<&TCefContentFilterOwn::ProcessData>(record()->process_data);
  Bind<&TCefContentFilterOwn::Drain>(record()->drain);
}

}  // namespace ceflib
