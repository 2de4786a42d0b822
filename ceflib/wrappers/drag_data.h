// What is being dragged, as the engine describes it to the drag handler: a link, a
// fragment of a page (text and HTML), or files.
#pragma once

#include <vector>

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefDragData : public virtual ICefBase {
 public:
  virtual bool IsLink() = 0;
  virtual bool IsFragment() = 0;
  virtual bool IsFile() = 0;
  virtual ustring GetLinkUrl() = 0;
  virtual ustring GetLinkTitle() = 0;
  virtual ustring GetLinkMetadata() = 0;
  virtual ustring GetFragmentText() = 0;
  virtual ustring GetFragmentHtml() = 0;
  virtual ustring GetFragmentBaseUrl() = 0;
  virtual ustring GetFileName() = 0;
  // The names of the files a drag from outside brings; false when the engine has none.
  virtual bool GetFileNames(std::vector<ustring>& names) = 0;
};

class TCefDragDataRef final : public TCefRef<TCefDragDataRef, ICefDragData, cef_drag_data_t> {
 public:
  using TCefRef::TCefRef;
  bool IsLink() override { return Call<bool>(&cef_drag_data_t::is_link); }
  bool IsFragment() override { return Call<bool>(&cef_drag_data_t::is_fragment); }
  bool IsFile() override { return Call<bool>(&cef_drag_data_t::is_file); }
  ustring GetLinkUrl() override { return Call<ustring>(&cef_drag_data_t::get_link_url); }
  ustring GetLinkTitle() override { return Call<ustring>(&cef_drag_data_t::get_link_title); }
  ustring GetLinkMetadata() override { return Call<ustring>(&cef_drag_data_t::get_link_metadata); }
  ustring GetFragmentText() override { return Call<ustring>(&cef_drag_data_t::get_fragment_text); }
  ustring GetFragmentHtml() override { return Call<ustring>(&cef_drag_data_t::get_fragment_html); }
  ustring GetFragmentBaseUrl() override { return Call<ustring>(&cef_drag_data_t::get_fragment_base_url); }
  ustring GetFileName() override { return Call<ustring>(&cef_drag_data_t::get_file_name); }
  bool GetFileNames(std::vector<ustring>& names) override;
};

template <>
struct TCefWrapperOf<ICefDragData> {
  using type = TCefDragDataRef;
};

}  // namespace ceflib
