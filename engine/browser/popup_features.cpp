#include "browser/popup_features.h"

#include <cstdint>
#include <string>

#include "cef_engine.h"
#include "dom/text_util.h"

namespace cef_engine::browser {
namespace {

bool IsSeparator(char16_t c) { return dom::IsSpace(c) || c == u'=' || c == u','; }

// "yes" and a name without a value mean 1; otherwise the leading decimal number (with
// an optional sign), 0 when there is none.
int ValueOf(std::u16string_view value) {
  if (value.empty() || dom::EqualsIgnoringAsciiCase(value, u"yes")) return 1;
  size_t i = 0;
  const bool negative = value[0] == u'-';
  if (value[0] == u'-' || value[0] == u'+') ++i;
  int64_t number = 0;
  for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
    number = number * 10 + (value[i] - u'0');
    if (number > INT32_MAX) return 0;  // out of range, like any other unreadable value
  }
  return static_cast<int>(negative ? -number : number);
}

}  // namespace

PopupFeatures::PopupFeatures(std::u16string_view text) {
  record_.additionalFeatures = cef_string_list_alloc();
  const bool given = !text.empty();
  for (bool* bar : {&record_.menuBarVisible, &record_.statusBarVisible, &record_.toolBarVisible,
                    &record_.locationBarVisible, &record_.scrollbarsVisible, &record_.resizable})
    *bar = !given;

  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsSeparator(text[i])) ++i;
    const std::u16string name = dom::AsciiLower(text.substr(start, i - start));
    while (i < text.size() && dom::IsSpace(text[i])) ++i;
    std::u16string_view value;
    if (i < text.size() && text[i] == u'=') {
      while (i < text.size() && IsSeparator(text[i])) ++i;
      start = i;
      while (i < text.size() && !IsSeparator(text[i])) ++i;
      value = text.substr(start, i - start);
    }
    if (name.empty()) continue;
    const int number = ValueOf(value);
    const auto place = [&](int& where, bool& set) { where = number, set = true; };
    if (name == u"left" || name == u"screenx") {
      place(record_.x, record_.xSet);
    } else if (name == u"top" || name == u"screeny") {
      place(record_.y, record_.ySet);
    } else if (name == u"width" || name == u"innerwidth") {
      place(record_.width, record_.widthSet);
    } else if (name == u"height" || name == u"innerheight") {
      place(record_.height, record_.heightSet);
    } else if (name == u"menubar") {
      record_.menuBarVisible = number != 0;
    } else if (name == u"status") {
      record_.statusBarVisible = number != 0;
    } else if (name == u"toolbar") {
      record_.toolBarVisible = number != 0;
    } else if (name == u"location") {
      record_.locationBarVisible = number != 0;
    } else if (name == u"scrollbars") {
      record_.scrollbarsVisible = number != 0;
    } else if (name == u"resizable") {
      record_.resizable = number != 0;
    } else if (name == u"fullscreen") {
      record_.fullscreen = number != 0;
    } else if (number == 1) {
      const cef_string_t item{const_cast<char16_t*>(name.data()), name.size(), nullptr};
      cef_string_list_append(record_.additionalFeatures, &item);
    }
  }
}

PopupFeatures::~PopupFeatures() { cef_string_list_free(record_.additionalFeatures); }

}  // namespace cef_engine::browser
