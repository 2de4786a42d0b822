// The cookie store on arbitrary Set-Cookie lines (UTF-8, several per input, split at
// newlines): taking them never crashes, a cookie taken is bounded in size and holds no
// control character, and the Cookie header it gives out is one line.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/cookies.h"
#include "net/text_util.h"

namespace {

void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cef_engine::net;
  const std::u16string text = ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  CookieStore store;
  const auto page = *ParseUrl(u"http://www.example.test/dir/page");
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(u'\n', start), text.size());
    store.SetFromLine(page, std::u16string_view(text).substr(start, end - start), true);
    start = end + 1;
  }
  for (const auto& cookie : store.All()) {
    Check(cookie.name.size() + cookie.value.size() <= kMaxCookieNameValue);
    for (char16_t c : cookie.name + cookie.value + cookie.domain + cookie.path) Check(c >= 0x20 && c != 0x7F);
  }
  const auto header = store.HeaderFor(page, true);
  Check(header.find(u'\n') == std::u16string::npos && header.find(u'\r') == std::u16string::npos);
  int64_t ms = 0;
  cef_engine::net::ParseCookieDate(text, ms);
  return 0;
}
