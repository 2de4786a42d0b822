// Tolerant HTML tokenizer and tree builder.
#include "dom/html_parser.h"

#include <algorithm>
#include <array>
#include <utility>

#include "dom/text_util.h"

namespace cef_engine::dom {
namespace {

struct NamedEntity {
  std::u16string_view name;
  char16_t value;
};

constexpr std::array<NamedEntity, 33> kEntities{{
    {u"amp", u'&'},     {u"lt", u'<'},       {u"gt", u'>'},       {u"quot", u'"'},     {u"apos", u'\''},
    {u"nbsp", 0x00A0},  {u"copy", 0x00A9},   {u"reg", 0x00AE},    {u"trade", 0x2122},  {u"hellip", 0x2026},
    {u"mdash", 0x2014}, {u"ndash", 0x2013},  {u"laquo", 0x00AB},  {u"raquo", 0x00BB},  {u"lsquo", 0x2018},
    {u"rsquo", 0x2019}, {u"ldquo", 0x201C},  {u"rdquo", 0x201D},  {u"bull", 0x2022},   {u"middot", 0x00B7},
    {u"times", 0x00D7}, {u"divide", 0x00F7}, {u"euro", 0x20AC},   {u"pound", 0x00A3},  {u"yen", 0x00A5},
    {u"cent", 0x00A2},  {u"sect", 0x00A7},   {u"deg", 0x00B0},    {u"plusmn", 0x00B1}, {u"frac12", 0x00BD},
    {u"shy", 0x00AD},   {u"iexcl", 0x00A1},  {u"iquest", 0x00BF},
}};

// How deep elements nest; browsers stop at about the same depth.
constexpr size_t kMaxDepth = 512;

bool IsAsciiAlpha(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiAlnum(char16_t c) { return IsAsciiAlpha(c) || (c >= u'0' && c <= u'9'); }

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// One character reference at text[i] == '&'; returns the characters consumed (0: none).
size_t DecodeReference(std::u16string_view text, size_t i, std::u16string& out) {
  size_t j = i + 1;
  if (j < text.size() && text[j] == u'#') {
    ++j;
    const bool hex = j < text.size() && (text[j] == u'x' || text[j] == u'X');
    if (hex) ++j;
    const size_t digits_start = j;
    char32_t cp = 0;
    for (; j < text.size(); ++j) {
      const char16_t c = text[j];
      int digit = -1;
      if (c >= u'0' && c <= u'9')
        digit = c - u'0';
      else if (hex && c >= u'a' && c <= u'f')
        digit = c - u'a' + 10;
      else if (hex && c >= u'A' && c <= u'F')
        digit = c - u'A' + 10;
      if (digit < 0) break;
      cp = std::min<char32_t>(cp * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
    }
    if (j == digits_start) return 0;
    if (j < text.size() && text[j] == u';') ++j;
    AppendCodePoint(out, cp);
    return j - i;
  }
  size_t end = j;
  while (end < text.size() && IsAsciiAlnum(text[end]) && end - j < 10) ++end;
  const std::u16string_view name = text.substr(j, end - j);
  for (const auto& entity : kEntities) {
    if (entity.name != name) continue;
    const bool semicolon = end < text.size() && text[end] == u';';
    // Without ';' only the four basic names are recognised, as old pages rely on.
    if (!semicolon && entity.name.size() > 4) return 0;
    out += entity.value;
    return end - i + (semicolon ? 1 : 0);
  }
  return 0;
}

// Elements that never have content.
bool IsVoid(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 16> kVoid{
      u"area", u"base", u"br",    u"col",    u"embed", u"hr",  u"img",   u"input",
      u"link", u"meta", u"param", u"source", u"track", u"wbr", u"frame", u"keygen"};
  return std::find(kVoid.begin(), kVoid.end(), name) != kVoid.end();
}

// Elements whose start closes an open <p>.
bool ClosesParagraph(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 26> kBlocks{
      u"address", u"article", u"aside", u"blockquote", u"div",     u"dl",    u"fieldset", u"footer", u"form",
      u"h1",      u"h2",      u"h3",    u"h4",         u"h5",      u"h6",    u"header",   u"hr",     u"menu",
      u"nav",     u"ol",      u"p",     u"pre",        u"section", u"table", u"ul",       u"figure"};
  return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

bool BelongsToHead(std::u16string_view name) {
  return name == u"title" || name == u"meta" || name == u"link" || name == u"style" || name == u"script" ||
         name == u"base" || name == u"noscript";
}

// Elements whose content is read up to their end tag without looking for markup.
bool IsRawText(std::u16string_view name) {
  return name == u"script" || name == u"style" || name == u"title" || name == u"textarea" || name == u"xmp" ||
         name == u"noembed";
}

// A unit of either form as UTF-16 compares it: bytes of UTF-8 past ASCII never equal markup.
template <class Char>
char16_t Unit(Char c) {
  if constexpr (sizeof(Char) == 1)
    return static_cast<unsigned char>(c);
  else
    return c;
}

// ASCII markup ("</", "-->") in the form of the input.
template <class Char>
std::basic_string<Char> InForm(std::u16string_view ascii) {
  std::basic_string<Char> out;
  for (char16_t c : ascii) out += static_cast<Char>(c);
  return out;
}

// Text of the input with its character references decoded, in UTF-16.
template <class Char>
std::u16string Decoded(std::basic_string_view<Char> text) {
  if constexpr (sizeof(Char) == 1)
    return DecodeEntities(ToUtf16(text));
  else
    return DecodeEntities(text);
}

}  // namespace

std::u16string DecodeEntities(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  // The text between references goes over whole: most text has none.
  for (size_t i = 0; i < text.size();) {
    const size_t amp = std::min(text.find(u'&', i), text.size());
    out.append(text.substr(i, amp - i));
    i = amp;
    if (i == text.size()) break;
    if (const size_t used = DecodeReference(text, i, out)) {
      i += used;
    } else {
      out += text[i++];
    }
  }
  return out;
}

HtmlParser::HtmlParser(Document& document) : document_(document) {}

void HtmlParser::Parse(std::shared_ptr<const SourceText> html, const ScriptRunner& run) {
  shared_ = std::move(html);
  owned_.clear();
  input_ = shared_ ? shared_->view() : TextSpan();
  written_.clear();
  lines_before_ = 0;
  counted_pos_ = counted_lines_ = 0;
  pos_ = 0;
  Run(run);
}

void HtmlParser::Parse(std::u16string_view html, const ScriptRunner& run) {
  Parse(std::make_shared<const SourceText>(std::u16string(html)), run);
}

void HtmlParser::OwnInput() {
  if (shared_) {
    // The positions move with the text into UTF-16. Both stand at markup, where runs of
    // UTF-8 decode to what the whole would.
    std::visit(
        [this](auto in) {
          const size_t pos = std::min(pos_, in.size());
          const size_t write = std::clamp(write_pos_, pos, in.size());
          owned_ = ToUtf16(in.substr(0, pos));
          pos_ = owned_.size();
          AppendUtf16(owned_, in.substr(pos, write - pos));
          write_pos_ = owned_.size();
          AppendUtf16(owned_, in.substr(write));
        },
        input_);
    shared_.reset();
    counted_pos_ = counted_lines_ = 0;
  }
  written_.resize(owned_.size(), false);
  input_ = std::u16string_view(owned_);
}

void HtmlParser::Write(std::u16string_view text, const ScriptRunner& run) {
  if (in_script_) {
    OwnInput();
    owned_.insert(write_pos_, text);
    written_.insert(written_.begin() + static_cast<ptrdiff_t>(write_pos_), text.size(), true);
    input_ = std::u16string_view(owned_);
    if (write_pos_ < counted_pos_) counted_pos_ += text.size();  // written text has no lines of the page
    write_pos_ += text.size();
    return;
  }
  if (parsing_) return;  // re-entered from a script's event handler while parsing
  // After the parse everything read is done with: the written text becomes the input,
  // and only the count of the page's lines before it stays.
  lines_before_ = LineAt(InputSize()) - 1;
  counted_pos_ = counted_lines_ = 0;
  shared_.reset();
  owned_.assign(text);
  input_ = std::u16string_view(owned_);
  written_.assign(owned_.size(), true);
  pos_ = 0;
  Run(run);
}

void HtmlParser::Run(const ScriptRunner& run) {
  parsing_ = true;
  // A script may turn the input into UTF-16 as it writes: each step looks at it anew.
  while (pos_ < InputSize()) {
    std::visit(
        [&](auto in) {
          if (in[pos_] != '<' || !ReadTag(in, run)) ReadText(in);
        },
        input_);
  }
  parsing_ = false;
  EnsureBody();  // every document ends with html, head and body
}

size_t HtmlParser::InputSize() const noexcept { return Length(input_); }

// Lines of the page as it arrived: written text does not count.
int HtmlParser::LineAt(size_t pos) {
  pos = std::min(pos, InputSize());
  if (pos < counted_pos_) counted_pos_ = counted_lines_ = 0;
  std::visit(
      [&](auto in) {
        for (size_t i = counted_pos_; i < pos; ++i)
          counted_lines_ += in[i] == '\n' && !(i < written_.size() && written_[i]);
      },
      input_);
  counted_pos_ = pos;
  return 1 + lines_before_ + counted_lines_;
}

template <class Char>
bool HtmlParser::StartsWithAt(std::basic_string_view<Char> in, size_t pos, std::u16string_view what) const {
  if (pos + what.size() > in.size()) return false;
  for (size_t i = 0; i < what.size(); ++i) {
    if (AsciiLower(Unit(in[pos + i])) != what[i]) return false;
  }
  return true;
}

template <class Char>
void HtmlParser::ReadText(std::basic_string_view<Char> in) {
  // Text runs to the next '<' that may start markup; a lone '<' is text.
  size_t end = in.find('<', pos_ + 1);
  if (end == in.npos) end = in.size();
  // A run without references, read from the page's source itself, is kept by its text
  // node where it stands: a page's text is most of the page.
  const auto run = in.substr(pos_, end - pos_);
  pos_ = end;
  if (shared_ && run.find('&') == run.npos) {
    InsertText(run, shared_);
  } else {
    InsertText(Decoded(run));
  }
}

template <class Char>
void HtmlParser::ReadComment(std::basic_string_view<Char> in, size_t skip, std::u16string_view end) {
  const size_t start = pos_ + skip;
  const size_t close = in.find(InForm<Char>(end), start);
  const size_t stop = close == in.npos ? in.size() : close;
  InsertComment(ToUtf16(in.substr(start, stop - start)));
  pos_ = close == in.npos ? in.size() : close + end.size();
}

template <class Char>
void HtmlParser::ReadDeclaration(std::basic_string_view<Char> in) {
  // <!DOCTYPE ...> becomes a doctype node of the document; other declarations vanish.
  const size_t close = in.find('>', pos_);
  const size_t stop = close == in.npos ? in.size() : close;
  if (StartsWithAt(in, pos_, u"<!doctype") && mode_ == Mode::kBeforeHtml) {
    auto node = std::make_unique<Node>(document_, NodeKind::kDoctype, u"html");
    node->set_data(ToUtf16(in.substr(pos_ + 2, stop - pos_ - 2)));
    document_.root().Append(std::move(node));
  }
  pos_ = close == in.npos ? in.size() : close + 1;
}

template <class Char>
std::u16string HtmlParser::ReadRawText(std::basic_string_view<Char> in, std::u16string_view tag) {
  std::u16string end_tag = u"</";
  end_tag += tag;
  const auto open = InForm<Char>(u"</");
  size_t close = pos_;
  for (;; ++close) {
    close = in.find(open, close);
    if (close == in.npos) break;
    const size_t after = close + end_tag.size();
    if (StartsWithAt(in, close, end_tag) &&
        (after >= in.size() || in[after] == '>' || in[after] == '/' || IsSpace(in[after])))
      break;
  }
  const size_t stop = close == in.npos ? in.size() : close;
  std::u16string text = ToUtf16(in.substr(pos_, stop - pos_));
  if (close == in.npos) {
    pos_ = in.size();
  } else {
    const size_t gt = in.find('>', close);
    pos_ = gt == in.npos ? in.size() : gt + 1;
  }
  return text;
}

template <class Char>
bool HtmlParser::ReadTag(std::basic_string_view<Char> in, const ScriptRunner& run) {
  if (StartsWithAt(in, pos_, u"<!--")) {
    ReadComment(in, 4, u"-->");
    return true;
  }
  if (StartsWithAt(in, pos_, u"<!") || StartsWithAt(in, pos_, u"<?")) {
    if (StartsWithAt(in, pos_, u"<!doctype"))
      ReadDeclaration(in);
    else
      ReadComment(in, 2, u">");  // bogus comment
    return true;
  }
  const bool end_tag = StartsWithAt(in, pos_, u"</");
  size_t i = pos_ + (end_tag ? 2 : 1);
  if (i >= in.size() || !IsAsciiAlpha(Unit(in[i]))) {
    if (end_tag && i < in.size() && in[i] == '>') {  // "</>" is dropped
      pos_ = i + 1;
      return true;
    }
    return false;  // a '<' that starts no tag is text
  }
  const size_t name_start = i;
  while (i < in.size() && !IsSpace(in[i]) && in[i] != '/' && in[i] != '>') ++i;
  const std::u16string name = AsciiLower(ToUtf16(in.substr(name_start, i - name_start)));

  std::vector<Attribute> attributes;
  for (;;) {
    while (i < in.size() && (IsSpace(in[i]) || in[i] == '/')) ++i;
    if (i >= in.size() || in[i] == '>') break;
    const size_t attr_start = i;
    while (i < in.size() && !IsSpace(in[i]) && in[i] != '/' && in[i] != '>' &&
           (in[i] != '=' || i == attr_start))
      ++i;
    std::u16string attr = AsciiLower(ToUtf16(in.substr(attr_start, i - attr_start)));
    while (i < in.size() && IsSpace(in[i])) ++i;
    std::u16string value;
    if (i < in.size() && in[i] == '=') {
      ++i;
      while (i < in.size() && IsSpace(in[i])) ++i;
      if (i < in.size() && (in[i] == '"' || in[i] == '\'')) {
        const Char quote = in[i++];
        size_t close = in.find(quote, i);
        if (close == in.npos) close = in.size();
        value = Decoded(in.substr(i, close - i));
        i = std::min(close + 1, in.size());
      } else {
        const size_t start = i;
        while (i < in.size() && !IsSpace(in[i]) && in[i] != '>') ++i;
        value = Decoded(in.substr(start, i - start));
      }
    }
    const bool seen =
        std::any_of(attributes.begin(), attributes.end(), [&](const Attribute& a) { return a.name == attr; });
    if (!seen) attributes.push_back({std::move(attr), std::move(value)});  // the first one wins
  }
  pos_ = std::min(i + 1, in.size());

  if (end_tag) {
    EndElement(name);
    return true;
  }
  Node& element = StartElement(name, std::move(attributes));
  if (IsRawText(name)) {
    const int line = LineAt(pos_);
    std::u16string text = ReadRawText(in, name);
    if (name == u"title" || name == u"textarea") text = DecodeEntities(text);
    if (!text.empty())
      element.Append(std::make_unique<Node>(document_, NodeKind::kText, u"#text")).set_data(std::move(text));
    EndElement(name);
    if (name == u"script" && run) {
      // The script's text as parsed; what it writes goes right after its end tag.
      // (A write may turn the input into UTF-16: `in` is not read past this point.)
      std::u16string code;
      if (element.children().size() == 1) code = element.children().front()->data();
      const bool outer = in_script_;
      const size_t outer_write = write_pos_;
      in_script_ = true;
      write_pos_ = pos_;
      run(code, line);
      in_script_ = outer;
      write_pos_ = outer_write;
    }
  }
  return true;
}

Node& HtmlParser::Current() {
  if (!open_.empty()) return *open_.back();
  if (html_) return *html_;
  return document_.root();
}

void HtmlParser::EnsureHead() {
  if (!html_) StartElement(u"html", {});
  if (!head_) {
    head_ = &html_->Append(std::make_unique<Node>(document_, NodeKind::kElement, u"head"));
    mode_ = Mode::kInHead;
    open_.assign({head_});
  }
}

void HtmlParser::EnsureBody() {
  if (body_) return;
  EnsureHead();
  body_ = &html_->Append(std::make_unique<Node>(document_, NodeKind::kElement, u"body"));
  mode_ = Mode::kInBody;
  open_.assign({body_});
}

void HtmlParser::InsertText(TextSpan text, const std::shared_ptr<const SourceText>& source,
                            std::u16string* whole) {
  // White space is ASCII, one unit in either form: the text is trimmed in its own form.
  const auto drop = [&text](size_t count) { std::visit([count](auto& t) { t.remove_prefix(count); }, text); };
  if (Length(text) == 0) return;
  if (skip_newline_) {
    skip_newline_ = false;
    if (std::visit([](auto t) { return t.front() == '\n'; }, text)) drop(1);
    if (Length(text) == 0) return;
  }
  if (mode_ != Mode::kInBody) {
    // White space before the body belongs nowhere visible; other text opens the body.
    const size_t spaces = std::visit(
        [](auto t) {
          size_t n = 0;
          while (n < t.size() && IsSpace(t[n])) ++n;
          return n;
        },
        text);
    if (spaces == Length(text) && (mode_ != Mode::kInHead || open_.size() <= 1)) return;
    if (mode_ != Mode::kInHead || open_.size() <= 1) {
      drop(spaces);
      EnsureBody();
    }
  }
  Node& parent = Current();
  if (!parent.children().empty() && parent.children().back()->kind() == NodeKind::kText) {
    Node& last = *parent.children().back();
    std::u16string merged = last.data();
    AppendUtf16(merged, text);
    last.set_data(std::move(merged));
    return;
  }
  Node& node = parent.Append(std::make_unique<Node>(document_, NodeKind::kText, u"#text"));
  if (source) {
    node.set_data(source, text);
  } else if (whole && Length(text) == whole->size()) {
    node.set_data(std::move(*whole));
  } else {
    node.set_data(ToUtf16(text));
  }
}

void HtmlParser::InsertComment(std::u16string text) {
  auto node = std::make_unique<Node>(document_, NodeKind::kComment, u"#comment");
  node->set_data(std::move(text));
  (html_ ? Current() : document_.root()).Append(std::move(node));
}

bool HtmlParser::InScope(const std::u16string& name,
                         std::initializer_list<std::u16string_view> barriers) const {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if ((*it)->name() == name) return true;
    if (std::find(barriers.begin(), barriers.end(), (*it)->name()) != barriers.end()) return false;
  }
  return false;
}

void HtmlParser::PopUntil(const std::u16string& name) {
  while (open_.size() > 1) {
    const bool found = open_.back()->name() == name;
    open_.pop_back();
    if (found) return;
  }
}

void HtmlParser::CloseImplied(const std::u16string& name) {
  if (ClosesParagraph(name) && InScope(u"p", {u"table", u"td", u"th", u"button"})) PopUntil(u"p");
  if (name == u"li" && InScope(u"li", {u"ul", u"ol"})) PopUntil(u"li");
  if ((name == u"dt" || name == u"dd") && (InScope(u"dt", {u"dl"}) || InScope(u"dd", {u"dl"}))) {
    while (open_.size() > 1 && open_.back()->name() != u"dt" && open_.back()->name() != u"dd")
      open_.pop_back();
    if (open_.size() > 1) open_.pop_back();
  }
  if (name == u"option" && open_.back()->name() == u"option") open_.pop_back();
  if ((name == u"td" || name == u"th") &&
      (InScope(u"td", {u"table", u"tr"}) || InScope(u"th", {u"table", u"tr"}))) {
    while (open_.size() > 1 && open_.back()->name() != u"td" && open_.back()->name() != u"th")
      open_.pop_back();
    if (open_.size() > 1) open_.pop_back();
  }
  if (name == u"tr" && InScope(u"tr", {u"table"})) PopUntil(u"tr");
  if (name == u"a" && InScope(u"a", {})) PopUntil(u"a");  // anchors do not nest
}

Node& HtmlParser::StartElement(const std::u16string& name, std::vector<Attribute> attributes) {
  auto merge = [&](Node& node) -> Node& {
    for (auto& attribute : attributes)
      if (!node.FindAttribute(attribute.name)) node.SetAttribute(attribute.name, std::move(attribute.value));
    return node;
  };
  if (name == u"html") {
    if (!html_) {
      html_ = &document_.root().Append(std::make_unique<Node>(document_, NodeKind::kElement, u"html"));
      mode_ = Mode::kBeforeHead;
    }
    return merge(*html_);
  }
  if (name == u"head") {
    if (head_ || mode_ == Mode::kInBody) return *(head_ ? head_ : html_);
    EnsureHead();
    return merge(*head_);
  }
  if (name == u"body") {
    if (body_) return merge(*body_);
    EnsureBody();
    return merge(*body_);
  }
  if (mode_ != Mode::kInBody) {
    if (BelongsToHead(name) && mode_ != Mode::kAfterHead)
      EnsureHead();
    else
      EnsureBody();
  }
  if (mode_ == Mode::kInBody) CloseImplied(name);
  auto node = std::make_unique<Node>(document_, NodeKind::kElement, name);
  for (auto& attribute : attributes) node->SetAttribute(attribute.name, std::move(attribute.value));
  Node& element = Current().Append(std::move(node));
  // Past the depth limit elements become siblings, so that walking the tree never
  // exhausts the stack.
  if (!IsVoid(name) && open_.size() < kMaxDepth) open_.push_back(&element);
  if (name == u"pre" || name == u"textarea" || name == u"listing") skip_newline_ = true;
  return element;
}

void HtmlParser::EndElement(const std::u16string& name) {
  skip_newline_ = false;
  if (name == u"html" || name == u"body") return;  // content after them still goes into the body
  if (name == u"head") {
    if (mode_ == Mode::kInHead) {
      mode_ = Mode::kAfterHead;
      open_.clear();
    }
    return;
  }
  if (name == u"br") {  // "</br>" acts as "<br>"
    StartElement(u"br", {});
    return;
  }
  if (name == u"p" && !InScope(u"p", {}) && mode_ == Mode::kInBody) {  // "</p>" alone makes an empty p
    StartElement(u"p", {});
  }
  const auto match = std::find_if(open_.rbegin(), open_.rend(), [&](Node* n) { return n->name() == name; });
  if (match == open_.rend()) return;  // stray end tag
  open_.erase(std::prev(match.base()), open_.end());
  if (open_.empty()) {
    if (mode_ == Mode::kInBody && body_)
      open_.push_back(body_);
    else if (mode_ == Mode::kInHead && head_)
      open_.push_back(head_);
  }
}

void ReplaceChildrenWithMarkup(Node& parent, std::u16string_view html) {
  // Parsed as the body of a document of its own; <body> first keeps head elements in it.
  Document scratch(parent.document().url());
  HtmlParser(scratch).Parse(u"<body>" + std::u16string(html), {});
  parent.ReplaceChildren(scratch.Body()->TakeChildren());
}

}  // namespace cef_engine::dom
