// Tolerant HTML parser: a tokenizer and a simplified tree builder. It never fails:
// unknown or unclosed tags, stray end tags, unterminated comments and attributes are
// repaired the way browsers roughly do. Scripts run where they stand, and text they
// write (document.write) is parsed right after their </script>.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dom/document.h"

namespace cef_engine::dom {

// Decodes character references (&amp; &lt; &#65; &#x41; ...); unknown ones stay as written.
std::u16string DecodeEntities(std::u16string_view text);

// innerHTML: the children of `parent` replaced by `html` parsed as body content. Scripts in
// it do not run, as in browsers.
void ReplaceChildrenWithMarkup(Node& parent, std::u16string_view html);

class HtmlParser {
 public:
  // Called with the text of each <script> block and its first line number.
  using ScriptRunner = std::function<void(std::u16string_view code, int line)>;

  explicit HtmlParser(Document& document);

  // Parses `html` to the end, calling `run` for each script as its end tag is reached.
  // The parser reads the shared text in place (it must not change) and copies it only
  // when document.write inserts into it while it is being parsed.
  void Parse(std::shared_ptr<const SourceText> html, const ScriptRunner& run);
  void Parse(std::u16string_view html, const ScriptRunner& run);  // parses a copy
  // document.write: while a script runs, inserts `text` after that script's end tag
  // (successive writes keep their order); after parsing, the text is parsed at the end
  // of the document.
  void Write(std::u16string_view text, const ScriptRunner& run);
  bool parsing() const noexcept { return parsing_; }

 private:
  enum class Mode { kBeforeHtml, kBeforeHead, kInHead, kAfterHead, kInBody };

  void Run(const ScriptRunner& run);
  // Makes the input the parser's own (UTF-16), so that written text can be inserted into it.
  void OwnInput();
  size_t InputSize() const noexcept;
  int LineAt(size_t pos);
  // The readers take the input in its form, UTF-8 or UTF-16.
  template <class Char>
  bool StartsWithAt(std::basic_string_view<Char> in, size_t pos, std::u16string_view what) const;
  template <class Char>
  void ReadText(std::basic_string_view<Char> in);
  template <class Char>
  void ReadComment(std::basic_string_view<Char> in, size_t skip, std::u16string_view end);
  template <class Char>
  void ReadDeclaration(std::basic_string_view<Char> in);
  template <class Char>
  bool ReadTag(std::basic_string_view<Char> in, const ScriptRunner& run);
  template <class Char>
  std::u16string ReadRawText(std::basic_string_view<Char> in, std::u16string_view tag);

  // `source`, when given, holds `text`: the node refers to the run instead of copying it.
  // `whole`, when given, is the string `text` views: a new node takes it without a copy.
  void InsertText(TextSpan text, const std::shared_ptr<const SourceText>& source,
                  std::u16string* whole = nullptr);
  void InsertText(std::u16string text) { InsertText(std::u16string_view(text), nullptr, &text); }
  void InsertComment(std::u16string text);
  Node& StartElement(const std::u16string& name, std::vector<Attribute> attributes);
  void EndElement(const std::u16string& name);
  void EnsureBody();
  void EnsureHead();
  Node& Current();
  void CloseImplied(const std::u16string& name);
  bool InScope(const std::u16string& name, std::initializer_list<std::u16string_view> barriers) const;
  void PopUntil(const std::u16string& name);

  Document& document_;
  std::shared_ptr<const SourceText> shared_;  // the text input_ reads, while not written to
  std::u16string owned_;                      // the text input_ reads once written to
  TextSpan input_;
  std::vector<bool> written_;  // per unit of input_: came from document.write (empty: none)
  int lines_before_ = 0;       // lines of the page parsed before input_ began
  // LineAt counts on from where it last ended: scripts ask in the order they stand, and
  // a page may hold thousands of them in many megabytes.
  size_t counted_pos_ = 0;
  int counted_lines_ = 0;  // line breaks of the page before counted_pos_
  size_t pos_ = 0;
  size_t write_pos_ = 0;  // where document.write inserts while a script runs
  bool in_script_ = false;
  bool parsing_ = false;
  Mode mode_ = Mode::kBeforeHtml;
  Node* html_ = nullptr;
  Node* head_ = nullptr;
  Node* body_ = nullptr;
  std::vector<Node*> open_;    // open elements below html, innermost last
  bool skip_newline_ = false;  // a newline right after <pre> is dropped
};

}  // namespace cef_engine::dom
