// The document tree: nodes, what a reader sees of them, addresses and events.
#include "dom/document.h"

#include <algorithm>
#include <array>
#include <utility>

#include "dom/selectors.h"
#include "dom/text_util.h"

namespace cef_engine::dom {
namespace {

template <class Visit>
Node* FindFirst(const Node& from, Visit&& matches) {
  for (const auto& child : from.children()) {
    if (matches(*child)) return child.get();
    if (Node* found = FindFirst(*child, matches)) return found;
  }
  return nullptr;
}

template <class Visit>
void ForEachNode(const Node& from, Visit&& visit) {
  for (const auto& child : from.children()) {
    visit(*child);
    ForEachNode(*child, visit);
  }
}

bool IsBlock(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 36> kBlocks{
      u"address", u"article",  u"aside",  u"blockquote", u"body",  u"center", u"dd",   u"div",     u"dl",
      u"dt",      u"fieldset", u"figure", u"footer",     u"form",  u"h1",     u"h2",   u"h3",      u"h4",
      u"h5",      u"h6",       u"header", u"hr",         u"html",  u"li",     u"main", u"menu",    u"nav",
      u"ol",      u"p",        u"pre",    u"section",    u"table", u"tr",     u"ul",   u"caption", u"option"};
  return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

// Elements whose content a reader never sees.
bool IsHidden(std::u16string_view name) {
  return name == u"head" || name == u"script" || name == u"style" || name == u"title" ||
         name == u"noscript" || name == u"template" || name == u"iframe" || name == u"object";
}

// What the view shows for an image or a text input (see Document::ViewText); false for
// any other node.
bool StandIn(const Node& node, std::u16string& text) {
  if (!node.IsElement()) return false;
  if (node.name() == u"img") {
    const std::u16string* alt = node.FindAttribute(u"alt");
    text = alt ? *alt : u"[image]";
    return true;
  }
  if (!node.IsTextField()) return false;
  text = node.Value();
  if (node.name() == u"textarea" && !text.empty()) return false;  // its text shows as it is
  if (text.empty()) {
    const std::u16string* placeholder = node.FindAttribute(u"placeholder");
    text = placeholder && !CollapseWhitespace(*placeholder).empty() ? *placeholder : u"________";
  } else if (node.FormControlType() == u"password") {
    text.assign(text.size(), u'\u2022');  // what was typed is never shown
  }
  return true;
}

// Builds readable text: collapsed blanks, line breaks at blocks and <br>.
class TextBuilder {
 public:
  // `owners`, when given, receives for each character of the text the node that made it.
  // `view`: images and text inputs show their stand-in text.
  explicit TextBuilder(std::vector<Node*>* owners = nullptr, bool view = false)
      : owners_(owners), view_(view) {}

  // Room for the owner of each character before the text is built: a page's text may be
  // hundreds of megabytes, and growing by doubling would copy it again and again. A run's
  // own length bounds its UTF-16 units and needs no decoding.
  void Reserve(const Node& root) {
    if (!owners_) return;
    size_t units = 0;
    ForEachNode(root, [&](const Node& n) {
      if (n.kind() == NodeKind::kText) units += Length(n.data_span());
    });
    owners_->reserve(units);
  }

  void Add(Node& node, bool pre) {
    switch (node.kind()) {
      case NodeKind::kText:
        Inline(node.data_span(), node.data_source(), node, pre);
        return;
      case NodeKind::kElement:
        break;
      default:
        if (node.kind() == NodeKind::kDocument)
          for (const auto& child : node.children()) Add(*child, pre);
        return;
    }
    const std::u16string& name = node.name();
    if (IsHidden(name)) return;
    if (std::u16string stand_in; view_ && StandIn(node, stand_in)) {
      Inline(stand_in, nullptr, node, false);
      replaced_ = true;
      return;
    }
    if (name == u"br") {
      TrimLine();
      Put(u'\n', node);
      return;
    }
    const bool block = IsBlock(name);
    const bool cell = name == u"td" || name == u"th";
    if (block) Break(node);
    if (cell) space_ = true;
    const bool inner_pre = pre || name == u"pre" || name == u"textarea" || name == u"listing";
    for (const auto& child : node.children()) Add(*child, inner_pre);
    if (block) Break(node);
    if (cell) space_ = true;
  }

  TextRope Finish() {
    TrimLine();
    while (!out_.empty() && out_.back() == u'\n') Pop();
    const size_t first = out_.TrimFront(u'\n');
    if (owners_) owners_->erase(owners_->begin(), owners_->begin() + static_cast<ptrdiff_t>(first));
    return std::move(out_);
  }
  bool replaced() const noexcept { return replaced_; }

 private:
  void Put(char16_t c, Node& owner) {
    out_.Append(c);
    if (owners_) owners_->push_back(&owner);
  }
  void Pop() {
    out_.PopBack();
    if (owners_) owners_->pop_back();
  }
  // `source`, when given, holds `data`: runs of it go into the text without a copy.
  void Inline(TextSpan data, const std::shared_ptr<const SourceText>& source, Node& node, bool pre) {
    if (pre) {
      for (char16_t c : ToUtf16(data)) {
        if (c != u'\r') Put(c == 0x00A0 ? u' ' : c, node);
      }
      return;
    }
    std::visit([&](auto text) { InlineCollapsed(text, source, node); }, data);
  }
  // Runs of spaces collapse to one; the words between them, with the single plain
  // spaces that stay as they are, go over whole. White space is ASCII, so UTF-8 text
  // splits at the same places as its UTF-16.
  template <class Char>
  void InlineCollapsed(std::basic_string_view<Char> data, const std::shared_ptr<const SourceText>& source,
                       Node& node) {
    for (size_t at = 0; at < data.size();) {
      if (IsSpace(data[at])) {
        space_ = true;
        ++at;
        continue;
      }
      size_t end = at;
      while (end < data.size() &&
             (!IsSpace(data[end]) || (data[end] == ' ' && end + 1 < data.size() && !IsSpace(data[end + 1]))))
        ++end;
      if (space_ && !out_.empty() && out_.back() != u'\n') Put(u' ', node);
      space_ = false;
      const auto run = data.substr(at, end - at);
      const size_t before = out_.size();
      if (run.find(NoBreakSpace<Char>()) == std::basic_string_view<Char>::npos) {
        out_.Append(run, source);
      } else {
        std::u16string spaced = ToUtf16(run);  // a no-break space shows as a plain one
        std::replace(spaced.begin(), spaced.end(), char16_t{0x00A0}, u' ');
        out_.Append(spaced);
      }
      if (owners_) owners_->insert(owners_->end(), out_.size() - before, &node);
      at = end;
    }
  }
  template <class Char>
  static std::basic_string_view<Char> NoBreakSpace() {
    if constexpr (sizeof(Char) == 1)
      return "\xC2\xA0";
    else
      return u"\u00A0";
  }
  void TrimLine() {
    while (!out_.empty() && out_.back() == u' ') Pop();
    space_ = false;
  }
  void Break(Node& node) {
    TrimLine();
    if (!out_.empty() && out_.back() != u'\n') Put(u'\n', node);
  }

  TextRope out_;
  std::vector<Node*>* owners_;
  bool view_;
  bool space_ = false;
  bool replaced_ = false;
};

void EscapeInto(std::u16string& out, std::u16string_view text, bool attribute) {
  for (char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += attribute ? u"<" : u"&lt;";
        break;
      case u'>':
        out += attribute ? u">" : u"&gt;";
        break;
      case u'"':
        out += attribute ? u"&quot;" : u"\"";
        break;
      case 0x00A0:
        out += u"&nbsp;";
        break;
      default:
        out += c;
    }
  }
}

bool IsVoidElement(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 14> kVoid{u"area",  u"base",   u"br",    u"col",  u"embed",
                                                             u"hr",    u"img",    u"input", u"link", u"meta",
                                                             u"param", u"source", u"track", u"wbr"};
  return std::find(kVoid.begin(), kVoid.end(), name) != kVoid.end();
}

void MarkupInto(std::u16string& out, const Node& node) {
  switch (node.kind()) {
    case NodeKind::kText: {
      const Node* parent = node.parent();
      if (parent && (parent->name() == u"script" || parent->name() == u"style"))
        AppendUtf16(out, node.data_span());
      else
        EscapeInto(out, node.data(), false);
      return;
    }
    case NodeKind::kComment:
      out.append(u"<!--").append(node.data()).append(u"-->");
      return;
    case NodeKind::kDoctype:
      out += u"<!DOCTYPE html>";
      return;
    case NodeKind::kDocument:
      for (const auto& child : node.children()) MarkupInto(out, *child);
      return;
    case NodeKind::kElement:
      break;
  }
  out += u'<' + node.name();
  for (const auto& attribute : node.attributes()) {
    out += u' ' + attribute.name + u"=\"";
    EscapeInto(out, attribute.value, true);
    out += u'"';
  }
  out += u'>';
  if (IsVoidElement(node.name())) return;
  for (const auto& child : node.children()) MarkupInto(out, *child);
  out += u"</" + node.name() + u'>';
}

std::u16string RemoveDotSegments(std::u16string_view path) {
  std::vector<std::u16string> segments;
  size_t i = 0;
  const bool absolute = !path.empty() && path[0] == u'/';
  bool trailing = false;
  while (i <= path.size()) {
    size_t next = path.find(u'/', i);
    if (next == std::u16string_view::npos) next = path.size();
    const std::u16string_view segment = path.substr(i, next - i);
    trailing = false;
    if (segment == u"..") {
      if (!segments.empty()) segments.pop_back();
      trailing = true;
    } else if (segment == u".") {
      trailing = true;
    } else if (!segment.empty() || next == path.size()) {
      segments.emplace_back(segment);
    }
    i = next + 1;
  }
  std::u16string out = absolute ? u"/" : u"";
  for (size_t k = 0; k < segments.size(); ++k) {
    if (k) out += u'/';
    out += segments[k];
  }
  if (trailing && (out.empty() || out.back() != u'/')) out += u'/';
  return out;
}

}  // namespace

std::u16string CollapseWhitespace(std::u16string_view text) {
  std::u16string out;
  bool space = false;
  for (char16_t c : text) {
    if (IsSpace(c)) {
      space = !out.empty();
      continue;
    }
    if (space) out += u' ';
    space = false;
    out += c;
  }
  return out;
}

std::u16string ResolveUrl(std::u16string_view base, std::u16string_view relative) {
  while (!relative.empty() && IsSpace(relative.front())) relative.remove_prefix(1);
  while (!relative.empty() && IsSpace(relative.back())) relative.remove_suffix(1);
  // An address with its own scheme stands alone.
  const size_t colon = relative.find(u':');
  if (colon != std::u16string_view::npos && colon > 0) {
    const bool scheme =
        std::all_of(relative.begin(), relative.begin() + static_cast<ptrdiff_t>(colon), [](char16_t c) {
          return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                 c == u'+' || c == u'-' || c == u'.';
        });
    if (scheme) return std::u16string(relative);
  }
  const size_t base_colon = base.find(u':');
  if (base_colon == std::u16string_view::npos || base.substr(base_colon + 1, 2) != u"//")
    return std::u16string(relative);  // no hierarchical base to resolve against
  const std::u16string_view scheme = base.substr(0, base_colon + 1);
  const size_t authority_start = base_colon + 3;
  size_t authority_end = base.find_first_of(u"/?#", authority_start);
  if (authority_end == std::u16string_view::npos) authority_end = base.size();
  const std::u16string origin(base.substr(0, authority_end));
  std::u16string_view rest = base.substr(authority_end);
  const std::u16string_view without_fragment = rest.substr(0, rest.find(u'#'));
  const std::u16string_view path = without_fragment.substr(0, without_fragment.find(u'?'));

  if (relative.empty()) return origin + std::u16string(without_fragment);
  if (relative.starts_with(u"//")) return std::u16string(scheme) + std::u16string(relative);
  if (relative.front() == u'#') return origin + std::u16string(without_fragment) + std::u16string(relative);
  if (relative.front() == u'?')
    return origin + std::u16string(path.empty() ? u"/" : path) + std::u16string(relative);

  const size_t tail = relative.find_first_of(u"?#");
  const std::u16string_view rel_path = relative.substr(0, tail);
  const std::u16string_view rel_tail = tail == std::u16string_view::npos ? u"" : relative.substr(tail);
  std::u16string merged;
  if (rel_path.front() == u'/') {
    merged = rel_path;
  } else {
    const size_t slash = path.rfind(u'/');
    merged = slash == std::u16string_view::npos ? u"/" : std::u16string(path.substr(0, slash + 1));
    merged += rel_path;
  }
  return origin + RemoveDotSegments(merged) + std::u16string(rel_tail);
}

// --- Node ------------------------------------------------------------------------------

Node* Node::PreviousSibling() const {
  if (!parent_) return nullptr;
  const auto& siblings = parent_->children_;
  for (size_t i = 1; i < siblings.size(); ++i)
    if (siblings[i].get() == this) return siblings[i - 1].get();
  return nullptr;
}

Node* Node::NextSibling() const {
  if (!parent_) return nullptr;
  const auto& siblings = parent_->children_;
  for (size_t i = 0; i + 1 < siblings.size(); ++i)
    if (siblings[i].get() == this) return siblings[i + 1].get();
  return nullptr;
}

Node& Node::Append(std::unique_ptr<Node> child) { return Insert(children_.size(), std::move(child)); }

TextSpan Node::data_span() const noexcept {
  if (const auto* shared = std::get_if<SharedRun>(&data_)) return shared->run;
  return std::u16string_view(std::get<std::u16string>(data_));
}

const std::shared_ptr<const SourceText>& Node::data_source() const noexcept {
  static const std::shared_ptr<const SourceText> kNone;
  const auto* shared = std::get_if<SharedRun>(&data_);
  return shared ? shared->text : kNone;
}

void Node::set_data(std::u16string data) {
  data_ = std::move(data);
  document_->Changed();
}

void Node::set_data(std::shared_ptr<const SourceText> text, TextSpan run) {
  data_ = SharedRun{std::move(text), run};
  document_->Changed();
}

Node& Node::Insert(size_t index, std::unique_ptr<Node> child) {
  document_->Changed();
  child->parent_ = this;
  index = std::min(index, children_.size());
  return **children_.insert(children_.begin() + static_cast<ptrdiff_t>(index), std::move(child));
}

void Node::RetireChildren() {
  // Detached children stay alive with the document: records the program holds may
  // still point at them.
  for (auto& child : children_) {
    child->parent_ = nullptr;
    document_->Retire(std::move(child));
  }
  children_.clear();
  document_->Changed();
}

void Node::ReplaceChildrenWithText(std::u16string text) {
  RetireChildren();
  if (!text.empty())
    Append(std::make_unique<Node>(*document_, NodeKind::kText, u"#text")).set_data(std::move(text));
}

void Node::ReplaceChildren(std::vector<std::unique_ptr<Node>> nodes) {
  RetireChildren();
  for (auto& node : nodes) {
    node->MoveTo(*document_);
    Append(std::move(node));
  }
}

std::vector<std::unique_ptr<Node>> Node::TakeChildren() {
  document_->Changed();
  for (auto& child : children_) child->parent_ = nullptr;
  return std::exchange(children_, {});
}

void Node::MoveTo(Document& document) {
  document_ = &document;
  for (auto& child : children_) child->MoveTo(document);
}

const std::u16string* Node::FindAttribute(std::u16string_view name) const {
  for (const auto& attribute : attributes_)
    if (EqualsIgnoringAsciiCase(attribute.name, name)) return &attribute.value;
  return nullptr;
}

void Node::SetAttribute(std::u16string_view name, std::u16string value) {
  document_->Changed();
  for (auto& attribute : attributes_) {
    if (EqualsIgnoringAsciiCase(attribute.name, name)) {
      attribute.value = std::move(value);
      return;
    }
  }
  attributes_.push_back({AsciiLower(name), std::move(value)});
}

bool Node::IsFormControl() const {
  return kind_ == NodeKind::kElement &&
         (name_ == u"input" || name_ == u"select" || name_ == u"textarea" || name_ == u"button");
}

std::u16string Node::FormControlType() const {
  if (!IsFormControl()) return {};
  if (name_ == u"input") {
    const std::u16string* type = FindAttribute(u"type");
    return type && !type->empty() ? AsciiLower(*type) : u"text";
  }
  if (name_ == u"select") return FindAttribute(u"multiple") ? u"select-multiple" : u"select-one";
  if (name_ == u"button") {
    const std::u16string* type = FindAttribute(u"type");
    return type && !type->empty() ? AsciiLower(*type) : u"submit";
  }
  return name_;  // textarea
}

bool Node::IsTextField() const {
  if (kind_ != NodeKind::kElement) return false;
  if (name_ == u"textarea") return true;
  if (name_ != u"input") return false;
  static constexpr std::array<std::u16string_view, 12> kNotText{
      u"checkbox", u"radio", u"submit", u"button", u"reset", u"hidden",
      u"image",    u"file",  u"range",  u"color",  u"date",  u"datetime-local"};
  const std::u16string type = FormControlType();
  return std::find(kNotText.begin(), kNotText.end(), type) == kNotText.end();
}

std::u16string Node::Value() const {
  switch (kind_) {
    case NodeKind::kText:
    case NodeKind::kComment:
      return data();
    case NodeKind::kElement:
      if (name_ == u"textarea") return children_.empty() ? std::u16string() : children_.front()->data();
      if (IsFormControl() || name_ == u"option") {
        const std::u16string* value = FindAttribute(u"value");
        return value ? *value : std::u16string();
      }
      return {};
    default:
      return {};
  }
}

bool Node::SetValue(std::u16string value) {
  switch (kind_) {
    case NodeKind::kText:
    case NodeKind::kComment:
      set_data(std::move(value));
      return true;
    case NodeKind::kElement:
      if (name_ == u"textarea") {
        ReplaceChildrenWithText(std::move(value));
        return true;
      }
      if (IsFormControl() || name_ == u"option") {
        SetAttribute(u"value", std::move(value));
        return true;
      }
      return false;
    default:
      return false;
  }
}

std::u16string Node::InnerText() const {
  if (kind_ == NodeKind::kText) return data();
  TextBuilder builder;
  for (const auto& child : children_) builder.Add(*child, name_ == u"pre");
  return builder.Finish().ToString();
}

std::u16string Node::TextContent() const {
  if (kind_ == NodeKind::kText || kind_ == NodeKind::kComment) return data();
  std::u16string text;
  ForEachNode(*this, [&](const Node& n) {
    if (n.kind() == NodeKind::kText) AppendUtf16(text, n.data_span());
  });
  return text;
}

std::u16string Node::Markup() const {
  std::u16string out;
  MarkupInto(out, *this);
  return out;
}

// --- Document --------------------------------------------------------------------------

Document::Document(std::u16string url)
    : url_(std::move(url)), root_(std::make_unique<Node>(*this, NodeKind::kDocument, u"#document")) {}

Document::~Document() = default;

void Document::Retire(std::unique_ptr<Node> node) { retired_.push_back(std::move(node)); }

Node* Document::Html() const {
  return FindFirst(*root_, [](const Node& n) { return n.IsElement() && n.name() == u"html"; });
}

Node* Document::Head() const {
  Node* html = Html();
  return html ? FindFirst(*html, [](const Node& n) { return n.IsElement() && n.name() == u"head"; })
              : nullptr;
}

Node* Document::Body() const {
  Node* html = Html();
  if (!html) return nullptr;
  for (const auto& child : html->children())
    if (child->IsElement() && child->name() == u"body") return child.get();
  return nullptr;
}

Node* Document::ElementById(std::u16string_view id) const {
  if (id.empty()) return nullptr;
  return FindFirst(*root_, [&](const Node& n) {
    const std::u16string* value = n.IsElement() ? n.FindAttribute(u"id") : nullptr;
    return value && *value == id;
  });
}

Node* Document::TitleElement() const {
  return FindFirst(*root_, [](const Node& n) { return n.IsElement() && n.name() == u"title"; });
}

std::u16string Document::Title() const {
  const Node* title = TitleElement();
  if (!title) return {};
  std::u16string text;
  for (const auto& child : title->children())
    if (child->kind() == NodeKind::kText) AppendUtf16(text, child->data_span());
  return CollapseWhitespace(text);
}

void Document::SetTitle(std::u16string_view title) {
  Node* element = TitleElement();
  if (!element) {
    auto node = std::make_unique<Node>(*this, NodeKind::kElement, u"title");
    if (Node* head = Head())
      element = &head->Append(std::move(node));
    else if (Node* html = Html())
      element = &html->Insert(0, std::move(node));
    else
      element = &root_->Append(std::move(node));
  }
  element->ReplaceChildrenWithText(std::u16string(title));
}

namespace {

TextRope BuildText(Node& root, std::vector<Node*>* owners, bool view, bool* replaced) {
  TextBuilder builder(owners, view);
  builder.Reserve(root);
  builder.Add(root, false);
  if (replaced) *replaced = builder.replaced();
  return builder.Finish();
}

}  // namespace

std::u16string Document::Text(std::vector<Node*>* owners) const {
  return BuildText(*root_, owners, false, nullptr).ToString();
}

std::u16string Document::ViewText(std::vector<Node*>* owners, bool* replaced) const {
  return BuildText(*root_, owners, true, replaced).ToString();
}

TextRope Document::TextRuns() const { return BuildText(*root_, nullptr, false, nullptr); }

TextRope Document::ViewTextRuns(bool* replaced) const { return BuildText(*root_, nullptr, true, replaced); }

std::vector<IFrameInfo> Document::IFrames() const {
  std::vector<IFrameInfo> frames;
  ForEachNode(*root_, [&](const Node& n) {
    if (!n.IsElement() || n.name() != u"iframe") return;
    IFrameInfo info;
    if (const std::u16string* name = n.FindAttribute(u"name"))
      info.name = *name;
    else if (const std::u16string* id = n.FindAttribute(u"id"))
      info.name = *id;
    if (const std::u16string* src = n.FindAttribute(u"src")) info.src = *src;
    frames.push_back(std::move(info));
  });
  return frames;
}

std::vector<std::u16string> Document::IconUrls() const {
  std::vector<std::u16string> urls;
  ForEachNode(*root_, [&](const Node& n) {
    if (!n.IsElement() || n.name() != u"link") return;
    const std::u16string* rel = n.FindAttribute(u"rel");
    const std::u16string* href = n.FindAttribute(u"href");
    if (!rel || !href) return;
    std::u16string tokens = u" ";
    tokens += CollapseWhitespace(AsciiLower(*rel));
    tokens += u' ';
    if (tokens.find(u" icon ") != std::u16string::npos) urls.push_back(CompleteUrl(*href));
  });
  return urls;
}

std::vector<std::u16string> Document::ImageUrls() const {
  std::vector<std::u16string> urls;
  ForEachNode(*root_, [&](const Node& n) {
    if (!n.IsElement() || n.name() != u"img") return;
    const std::u16string* src = n.FindAttribute(u"src");
    if (!src || src->empty()) return;
    auto url = CompleteUrl(*src);
    if (std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(std::move(url));
  });
  return urls;
}

std::u16string Document::CompleteUrl(std::u16string_view relative) const {
  return ResolveUrl(BaseUrl(), relative);
}

void Document::Close() {
  closed_ = true;
  focus_listener_ = nullptr;
  std::vector<Listener> dropped;
  ForEachNode(*root_, [&](Node& n) {
    for (auto& listener : n.listeners()) dropped.push_back(std::move(listener));
    n.listeners().clear();
  });
  for (auto& listener : root_->listeners()) dropped.push_back(std::move(listener));
  root_->listeners().clear();
  // Released last: a program listener's release may call back into this document.
}

void Document::SetFocus(Node* node) {
  if (closed_ || node == focused_) return;
  focused_ = node;
  if (focus_listener_) focus_listener_(node);
}

std::vector<Node*> Document::Focusable() const {
  return ElementsBelow(*root_, [](const Node& n) {
    if (n.FindAttribute(u"disabled")) return false;
    if (const std::u16string* index = n.FindAttribute(u"tabindex"))
      return !index->empty() && (*index)[0] != u'-';
    const std::u16string& tag = n.name();
    if (tag == u"a" || tag == u"area") return n.FindAttribute(u"href") != nullptr;
    if (tag == u"input") return n.FormControlType() != u"hidden";
    return tag == u"select" || tag == u"textarea" || tag == u"button";
  });
}

void Document::AddListener(Node& node, Listener listener) {
  if (closed_) return;
  if (!EverListened(listener.type)) listened_.push_back(listener.type);
  node.listeners().push_back(std::move(listener));
}

bool Document::EverListened(std::u16string_view type) const {
  return std::find(listened_.begin(), listened_.end(), type) != listened_.end();
}

}  // namespace cef_engine::dom
