// The print handler: the program's say over how a page prints (paper, orientation,
// margins) and what goes into each printed page's header and footer. Every method runs
// on the main (UI) thread, while the browser's page prints.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"

namespace ceflib {

using TCefPrintOptions = cef_print_options_t;
using TCefPrintInfo = cef_print_info_t;

class ICefPrintHandler : public virtual ICefBase {
 public:
  virtual bool GetPrintOptions(const RefPtr<ICefBrowser>& browser, TCefPrintOptions& printOptions) = 0;
  virtual bool GetPrintHeaderFooter(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                    const TCefPrintInfo& printInfo, const ustring& url, const ustring& title,
                                    int currentPage, int maxPages, ustring& topLeft, ustring& topCenter,
                                    ustring& topRight, ustring& bottomLeft, ustring& bottomCenter,
                                    ustring& bottomRight) = 0;
};

class TCefPrintHandlerOwn : public TCefOwn<cef_print_handler_t>, public ICefPrintHandler {
 public:
  TCefPrintHandlerOwn();
  // Before printing starts: change paper, orientation or margins (inches) and answer
  // true to have them used. Default: false, the engine's defaults (A4, portrait).
  bool GetPrintOptions(const RefPtr<ICefBrowser>& browser, TCefPrintOptions& printOptions) override;
  // For each page: printInfo describes it (lent for the call); write text into any of
  // the six slots and answer false to have the engine print it, or draw header and
  // footer yourself (Windows: on printInfo.m_hDC) and answer true. Default: false,
  // slots left as the engine filled them.
  bool GetPrintHeaderFooter(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                            const TCefPrintInfo& printInfo, const ustring& url, const ustring& title,
                            int currentPage, int maxPages, ustring& topLeft, ustring& topCenter,
                            ustring& topRight, ustring& bottomLeft, ustring& bottomCenter,
                            ustring& bottomRight) override;
};

}  // namespace ceflib
