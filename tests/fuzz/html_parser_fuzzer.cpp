// The engine's HTML tokenizer and tree builder on arbitrary bytes, read as UTF-8 as a
// page from a site is, and as the UTF-16 text the engine converts them to: parsing never
// crashes, both make the same document, and the document answers its queries.
// Each script block writes its own text back once (document.write), so written markup
// is parsed where the script stands; writes stop after a few, so the page stays finite.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "cef_engine.h"
#include "dom/document.h"
#include "dom/html_parser.h"

namespace {

// A failed property aborts, so libFuzzer keeps the input; the line tells which one.
void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

using cef_engine::dom::Document;
using cef_engine::dom::HtmlParser;
using cef_engine::dom::SourceText;

std::shared_ptr<Document> ParseWithWrites(SourceText html) {
  auto document = std::make_shared<Document>(u"http://fuzz.example/dir/page.html");
  document->set_source(std::move(html));
  HtmlParser parser(*document);
  int writes = 0;
  HtmlParser::ScriptRunner run = [&](std::u16string_view code, int line) {
    Check(line >= 1);
    if (writes++ < 4) parser.Write(code, run);
  };
  parser.Parse(document->source(), run);
  Check(!parser.parsing());
  const std::u16string text = document->source()->ToString();
  parser.Write(text.substr(0, 256), run);  // after parsing: appended at the end
  return document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  cef_string_utf16_t text{};
  cef_string_utf8_to_utf16(bytes.data(), bytes.size(), &text);
  const std::u16string html(text.str ? text.str : u"", text.length);
  cef_string_utf16_clear(&text);

  const auto document = ParseWithWrites(SourceText::Utf8(bytes));
  const auto wide = ParseWithWrites(html);
  Check(document->root().Markup() == wide->root().Markup());
  Check(document->TextRuns().ToString() == wide->Text());

  Check(document->Html() != nullptr && document->Body() != nullptr);
  (void)document->Title();
  (void)document->IFrames();
  (void)document->IconUrls();
  (void)document->BaseUrl();
  document->SetTitle(html.substr(0, 64));
  document->Close();
  wide->Close();
  return 0;
}
