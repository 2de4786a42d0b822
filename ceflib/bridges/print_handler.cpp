#include "ceflib/bridges/print_handler.h"

namespace ceflib {

TCefPrintHandlerOwn::TCefPrintHandlerOwn() {
  cef_print_handler_t* r = record();
  Bind<&TCefPrintHandlerOwn::GetPrintOptions>(r->get_print_options);
  Bind<&TCefPrintHandlerOwn::GetPrintHeaderFooter>(r->get_print_header_footer);
}

bool TCefPrintHandlerOwn::GetPrintOptions(const RefPtr<ICefBrowser>&, TCefPrintOptions&) { return false; }
bool TCefPrintHandlerOwn::GetPrintHeaderFooter(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                                               const TCefPrintInfo&, const ustring&, const ustring&, int, int,
                                               ustring&, ustring&, ustring&, ustring&, ustring&, ustring&) {
  return false;
}

}  // namespace ceflib
