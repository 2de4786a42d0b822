// ceflib::CefSplitPluginPaths on arbitrary text: it never crashes, an item holds a
// separator (';' or a blank) only when the text quotes, and splitting a join of quoted
// items gives the items back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ceflib/core/engine_library.h"

namespace {

using ceflib::ustring;

// A failed property aborts, so libFuzzer keeps the input; the line tells which one.
void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

bool IsSeparator(char16_t c) { return c == u';' || (c >= 1 && c <= u' '); }

// One item quoted the way the splitter reads it: a doubled quote stands for one.
ustring Quoted(const ustring& item) {
  ustring out = u"\"";
  for (char16_t c : item) {
    if (c == u'"') out += u'"';
    out += c;
  }
  return out + u"\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);

  // 1. Arbitrary text (also with NULs: the splitter reads up to the first one).
  const auto units = in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes() / 2);
  ustring text;
  for (size_t i = 0; i < units; ++i) text += static_cast<char16_t>(in.ConsumeIntegral<uint16_t>());
  const auto items = ceflib::CefSplitPluginPaths(text);
  const ustring read(text.c_str());  // the part before the first NUL
  if (read.find(u'"') == ustring::npos) {
    for (const ustring& item : items) {
      for (char16_t c : item) Check(!IsSeparator(c) && c != 0);
    }
  }
  for (const ustring& item : items) Check(item.find(char16_t{0}) == ustring::npos);

  // 2. Quoted items joined with ';' and blanks around the separators come back as given.
  std::vector<ustring> given;
  while (in.remaining_bytes() > 0 && given.size() < 64) {
    ustring item;
    const auto length = in.ConsumeIntegralInRange<size_t>(0, 16);
    for (size_t i = 0; i < length && in.remaining_bytes() >= 2; ++i) {
      char16_t c = static_cast<char16_t>(in.ConsumeIntegral<uint16_t>());
      item += c == 0 ? u'"' : c;  // a NUL would end the text
    }
    given.push_back(std::move(item));
  }
  static constexpr char16_t kBlanks[] = {u' ', u'\t', u'\r', u'\n'};
  ustring joined;
  for (size_t i = 0; i < given.size(); ++i) {
    if (i > 0) {
      joined += kBlanks[given[i].size() % 4];
      joined += u';';
      joined += kBlanks[given[i - 1].size() % 4];
    }
    joined += Quoted(given[i]);
  }
  Check(ceflib::CefSplitPluginPaths(joined) == given);
  return 0;
}
