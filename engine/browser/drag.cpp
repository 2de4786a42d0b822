// Drags: the drag data record, a drag the page starts (a link, or a fragment of the
// page's text and markup) and something dragged from outside that is dropped onto the
// browser (a link is loaded, as browsers do). Our windows take part in no system drag and
// drop, so both are started by the program through two diagnostic exports (tests).
#include <utility>

#include "browser/browser.h"
#include "cef_engine.h"
#include "strings/text.h"

namespace cef_engine::browser {
namespace {

class DragData final : public EngineObject<cef_drag_data_t> {
 public:
  using Record = cef_drag_data_t;
  explicit DragData(DragContent content) : content_(std::move(content)) {
    auto* r = record();
    r->is_link = &Flag<&DragContent::link>;
    r->is_fragment = &Flag<&DragContent::fragment>;
    r->is_file = &Flag<&DragContent::file>;
    r->get_link_url = &Text<&DragContent::link_url>;
    r->get_link_title = &Text<&DragContent::link_title>;
    r->get_link_metadata = &Text<&DragContent::link_metadata>;
    r->get_fragment_text = &Text<&DragContent::fragment_text>;
    r->get_fragment_html = &Text<&DragContent::fragment_html>;
    r->get_fragment_base_url = &Text<&DragContent::fragment_base_url>;
    r->get_file_name = &Text<&DragContent::file_name>;
    r->get_file_names = &FileNames;
  }

 private:
  static const DragContent& Of(cef_drag_data_t* self) {
    return static_cast<DragData*>(FromRecord(self))->content_;
  }
  template <bool DragContent::*Field>
  static int CEF_CALLBACK Flag(cef_drag_data_t* self) {
    return Of(self).*Field ? 1 : 0;
  }
  template <std::u16string DragContent::*Field>
  static cef_string_userfree_t CEF_CALLBACK Text(cef_drag_data_t* self) {
    return NewUserfree(Of(self).*Field);
  }
  // Appends the names to the program's list; 0 when there are none (or no list).
  static int CEF_CALLBACK FileNames(cef_drag_data_t* self, cef_string_list_t names) {
    const auto& files = Of(self).file_names;
    if (!names || files.empty()) return 0;
    for (const auto& name : files) {
      const cef_string_t item = View(name);
      cef_string_list_append(names, &item);
    }
    return 1;
  }

  const DragContent content_;
};

}  // namespace

std::optional<DragContent> Frame::DragContentOf(const std::u16string& element_id) {
  if (!page_) return std::nullopt;
  auto& document = page_->document();
  const dom::Node* node = document.ElementById(element_id);
  if (!node) return std::nullopt;
  DragContent content;
  const std::u16string* href = node->name() == u"a" ? node->FindAttribute(u"href") : nullptr;
  content.fragment = true;
  content.fragment_text = node->InnerText();
  content.fragment_html = node->Markup();
  content.fragment_base_url = url();
  if (href) {
    const std::u16string* title = node->FindAttribute(u"title");
    content.link = true;
    content.link_url = document.CompleteUrl(*href);
    content.link_title = title ? *title : content.fragment_text;
  }
  return content;
}

int Browser::DragElement(const std::u16string& element_id) {
  auto main = MainFrame();
  const auto content = main ? main->DragContentOf(element_id) : std::nullopt;
  if (!content) return -1;
  if (!drag_ || !drag_->on_drag_start) return 1;
  const auto mask = static_cast<cef_drag_operations_mask_t>(
      content->link ? DRAG_OPERATION_COPY | DRAG_OPERATION_LINK | DRAG_OPERATION_MOVE
                    : DRAG_OPERATION_COPY | DRAG_OPERATION_MOVE);
  return drag_->on_drag_start(drag_.get(), Share(), NewEngineRecord<DragData>(*content), mask) ? 0 : 1;
}

int Browser::Drop(DragContent content) {
  if (drag_ && drag_->on_drag_enter &&
      drag_->on_drag_enter(drag_.get(), Share(), NewEngineRecord<DragData>(content), DRAG_OPERATION_EVERY))
    return 0;
  auto main = MainFrame();
  if (content.link && main && !closed_)
    main->Load({content.link_url, u"GET", {}, {}}, true, NAVTYPE_LINKDROPPED);
  return 1;
}

}  // namespace cef_engine::browser

using cef_engine::browser::Browser;
using cef_engine::browser::DragContent;

extern "C" {

int cef_engine_drag_element(cef_browser_t* browser, const cef_string_t* element_id) {
  if (!Browser::IsOurs(browser)) return -1;
  return static_cast<Browser*>(Browser::FromRecord(browser))
      ->DragElement(std::u16string(cef_engine::ViewOf(element_id)));
}

int cef_engine_drop(cef_browser_t* browser, const cef_string_t* url, const cef_string_t* text,
                    cef_string_list_t file_names) {
  if (!Browser::IsOurs(browser)) return 0;
  DragContent content;
  content.link_url = std::u16string(cef_engine::ViewOf(url));
  content.link = !content.link_url.empty();
  content.link_title = content.link_url;
  content.fragment_text = std::u16string(cef_engine::ViewOf(text));
  content.fragment = !content.fragment_text.empty();
  const int files = file_names ? cef_string_list_size(file_names) : 0;
  for (int i = 0; i < files; ++i) {
    cef_string_t name{};
    cef_string_list_value(file_names, i, &name);
    content.file_names.emplace_back(cef_engine::ViewOf(&name));
    cef_engine::ClearRecord(&name);
  }
  content.file = !content.file_names.empty();
  if (content.file) content.file_name = content.file_names.front();
  return static_cast<Browser*>(Browser::FromRecord(browser))->Drop(std::move(content));
}

}  // extern "C"
