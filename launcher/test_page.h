// The launcher's built-in self-test page, served on client://test/.
#pragma once

#include <sstream>

#include "ceflib/bridges/scheme.h"
#include "ceflib/wrappers/scheme_registrar.h"

namespace tessaril {

using ceflib::ustring;

// Serves the self-test page: the same 454-byte body for every address of the scheme.
class TScheme : public ceflib::TCefSchemeHandlerOwn {
 public:
  TScheme(bool SyncMainThread, const ustring& scheme, const ceflib::RefPtr<ceflib::ICefBrowser>& browser,
          const ceflib::RefPtr<ceflib::ICefRequest>& request);

  bool ProcessRequest(const ceflib::RefPtr<ceflib::ICefRequest>& request,
                      const ceflib::RefPtr<ceflib::ICefSchemeHandlerCallback>& callback) override;
  void GetResponseHeaders(const ceflib::RefPtr<ceflib::ICefResponse>& response, int64_t& responseLength,
                          ustring& redirectUrl) override;
  bool ReadResponse(void* dataOut, int bytesToRead, int& bytesRead,
                    const ceflib::RefPtr<ceflib::ICefSchemeHandlerCallback>& callback) override;

 private:
  void WriteText(const ustring& text);

  std::stringstream FResponse;  // the whole body; read from its current position
};

// Declares "client" to the engine as a standard scheme.
void RegisterSchemes(const ceflib::RefPtr<ceflib::ICefSchemeRegistrar>& registrar);

}  // namespace tessaril
