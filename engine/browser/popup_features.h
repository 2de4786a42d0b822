// The features a page names in window.open(url, name, features), as the engine's
// pop-up features record.
#pragma once

#include <string_view>

#include "cef/cef_types.h"

namespace cef_engine::browser {

// Owns the record's list of additional features.
class PopupFeatures {
 public:
  // "left=10,top=20,width=300,height=200,menubar=yes,..." the way browsers read it: an
  // empty text keeps every bar visible and the window resizable; otherwise only what the
  // text turns on is on. Unknown names turned on go into additionalFeatures.
  explicit PopupFeatures(std::u16string_view text);
  ~PopupFeatures();
  PopupFeatures(const PopupFeatures&) = delete;
  PopupFeatures& operator=(const PopupFeatures&) = delete;

  cef_popup_features_t* record() { return &record_; }

 private:
  cef_popup_features_t record_{};
};

}  // namespace cef_engine::browser
