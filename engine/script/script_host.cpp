// A page: its document parsed with its scripts running where they stand.
#include "script/script_host.h"

#include "dom/html_parser.h"
#include "script/context.h"
#include "script/extensions.h"

namespace cef_engine::script {

std::unique_ptr<Page> Page::Load(dom::SourceText html, const std::u16string& url, FrameHooks& hooks) {
  std::unique_ptr<Page> page(new Page());
  Page* self = page.get();
  page->url_ = url;
  page->document_ = std::make_shared<dom::Document>(url);
  page->document_->set_source(std::move(html));
  page->parser_ = std::make_unique<dom::HtmlParser>(*page->document_);
  page->script_ = std::make_shared<ContextState>(page->document_, &hooks, [self](std::u16string_view text) {
    self->parser_->Write(text, [self](std::u16string_view code, int line) { self->Run(code, line); });
  });
  page->script_->InstallPageObjects();
  RunExtensions(*page->script_);
  {
    const auto context = ProgramRef<cef_v8context_t>::Adopt(page->ShareV8Context());
    hooks.ContextCreated(context.get());
  }
  // The source is shared and never changed: the parse reads it in place.
  page->parser_->Parse(page->document_->source(),
                       [self](std::u16string_view code, int line) { self->Run(code, line); });
  page->document_->Dispatch(page->document_->root(), u"DOMContentLoaded", DOM_EVENT_CATEGORY_UNKNOWN, true,
                            false);
  return page;
}

Page::~Page() {
  script_->Close();
  document_->Close();
}

void Page::Run(std::u16string_view code, int line) { script_->RunPageScript(code, url_, line); }

std::u16string Page::Title() const { return document_->Title(); }
std::u16string Page::Text() const { return document_->Text(); }
std::shared_ptr<const dom::SourceText> Page::Source() const { return document_->source(); }
std::vector<dom::IFrameInfo> Page::Frames() const { return document_->IFrames(); }
std::vector<std::u16string> Page::IconUrls() const { return document_->IconUrls(); }
std::vector<std::u16string> Page::ImageUrls() const { return document_->ImageUrls(); }

void Page::ExecuteJavaScript(std::u16string_view code, std::u16string_view script_url, int start_line) {
  script_->RunPageScript(code, script_url.empty() ? std::u16string_view(url_) : script_url, start_line);
}

cef_v8context_t* Page::ShareV8Context() { return NewContextRecord(script_); }

void Page::VisitDom(ProgramRef<cef_domvisitor_t> visitor) { document_->Visit(std::move(visitor)); }

void Page::FireLoad() {
  document_->Dispatch(document_->root(), u"load", DOM_EVENT_CATEGORY_UNKNOWN, false, false);
  script_->FireWindowLoad();
}

}  // namespace cef_engine::script
