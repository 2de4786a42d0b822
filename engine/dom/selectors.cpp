#include "dom/selectors.h"

#include <algorithm>

#include "dom/text_util.h"

namespace cef_engine::dom {

// Reads one selector list; every method answers false with `error` set on the first fault.
class SelectorParser {
 public:
  SelectorParser(std::u16string_view text, std::u16string& error) : text_(text), error_(error) {}

  bool ParseList(std::vector<Selector::Complex>& list) {
    do {
      SkipSpace();
      Selector::Complex complex;
      if (!ParseComplex(complex)) return false;
      list.push_back(std::move(complex));
    } while (Take(u','));
    return true;
  }

 private:
  bool ParseComplex(Selector::Complex& complex) {
    for (;;) {
      Selector::Compound compound;
      if (!ParseCompound(compound)) return false;
      complex.parts.push_back(std::move(compound));
      if (complex.parts.size() > Selector::kMaxCompounds)
        return Unsupported(u"more than 32 compound selectors in a row");
      const bool spaced = SkipSpace();
      if (AtEnd() || Peek() == u',') return true;
      if (Take(u'>')) {
        complex.combinators.push_back(u'>');
        SkipSpace();
      } else if (Peek() == u'+' || Peek() == u'~') {
        return Unsupported(u"sibling combinators");
      } else if (spaced) {
        complex.combinators.push_back(u' ');
      } else {
        return Invalid();
      }
    }
  }

  bool ParseCompound(Selector::Compound& compound) {
    bool any = false;
    if (Take(u'*')) {
      any = true;
    } else if (StartsIdentifier()) {
      compound.tag = AsciiLower(Identifier());
      any = true;
    }
    for (;;) {
      if (AtEnd()) break;
      const char16_t c = Peek();
      if (c == u'#' || c == u'.') {
        ++pos_;
        if (!StartsIdentifier() && !(c == u'#' && !AtEnd() && IsNameChar(Peek()))) return Invalid();
        (c == u'#' ? compound.ids : compound.classes).push_back(Identifier());
      } else if (c == u'[') {
        ++pos_;
        Selector::AttributeTest test;
        if (!ParseAttribute(test)) return false;
        compound.attributes.push_back(std::move(test));
      } else if (c == u':') {
        return Unsupported(u"pseudo-classes and pseudo-elements");
      } else if (c == u'\\') {
        return Unsupported(u"escapes");
      } else if (c == u'|') {
        return Unsupported(u"namespaces");
      } else {
        break;
      }
      any = true;
    }
    return any || Invalid();
  }

  // After '[': name, then nothing or an operator and a value, then ']'.
  bool ParseAttribute(Selector::AttributeTest& test) {
    SkipSpace();
    if (!StartsIdentifier()) return Invalid();
    test.name = AsciiLower(Identifier());
    SkipSpace();
    if (Take(u']')) return true;
    if (AtEnd()) return Invalid();
    const char16_t op = Peek();
    if (op == u'=') {
      ++pos_;
    } else if (std::u16string_view(u"~|^$*").find(op) != std::u16string_view::npos &&
               pos_ + 1 < text_.size() && text_[pos_ + 1] == u'=') {
      pos_ += 2;
    } else {
      return Invalid();
    }
    test.op = op;
    SkipSpace();
    if (AtEnd()) return Invalid();
    if (Peek() == u'"' || Peek() == u'\'') {
      const char16_t quote = text_[pos_++];
      const size_t end = text_.find(quote, pos_);
      if (end == std::u16string_view::npos) return Invalid();
      test.value.assign(text_.substr(pos_, end - pos_));
      pos_ = end + 1;
    } else if (StartsIdentifier()) {
      test.value = Identifier();
    } else {
      return Invalid();
    }
    SkipSpace();
    if (Take(u']')) return true;
    if (StartsIdentifier()) return Unsupported(u"case flags in attribute selectors");
    return Invalid();
  }

  static bool IsNameChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
           c == u'-' || c >= 0x80;
  }
  // A name starts with a letter, '_', a non-ASCII character, or '-' not followed by a digit.
  bool StartsIdentifier() const {
    if (AtEnd()) return false;
    const char16_t c = Peek();
    if (c == u'-') {
      const char16_t next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : u'\0';
      return next == u'-' || (IsNameChar(next) && !(next >= u'0' && next <= u'9'));
    }
    return IsNameChar(c) && !(c >= u'0' && c <= u'9');
  }
  std::u16string Identifier() {
    const size_t start = pos_;
    while (!AtEnd() && IsNameChar(Peek())) ++pos_;
    return std::u16string(text_.substr(start, pos_ - start));
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek() const { return text_[pos_]; }
  bool Take(char16_t c) {
    if (AtEnd() || Peek() != c) return false;
    ++pos_;
    return true;
  }
  bool SkipSpace() {
    const size_t start = pos_;
    while (!AtEnd() && IsSpace(Peek())) ++pos_;
    return pos_ != start;
  }
  bool Invalid() {
    error_ = u"'" + std::u16string(text_) + u"' is not a valid selector";
    return false;
  }
  bool Unsupported(std::u16string_view what) {
    error_ = u"'" + std::u16string(text_) + u"': this engine does not support " + std::u16string(what);
    return false;
  }

  std::u16string_view text_;
  std::u16string& error_;
  size_t pos_ = 0;
};

std::optional<Selector> Selector::Parse(std::u16string_view text, std::u16string& error) {
  Selector selector;
  if (!SelectorParser(text, error).ParseList(selector.list_)) return std::nullopt;
  return selector;
}

namespace {

// Whether the white-space separated `list` holds `word`.
bool ContainsWord(std::u16string_view list, std::u16string_view word) {
  if (word.empty() || std::any_of(word.begin(), word.end(), IsSpace<char16_t>)) return false;
  for (size_t pos = 0; pos < list.size();) {
    while (pos < list.size() && IsSpace(list[pos])) ++pos;
    size_t end = pos;
    while (end < list.size() && !IsSpace(list[end])) ++end;
    if (list.substr(pos, end - pos) == word) return true;
    pos = end;
  }
  return false;
}

}  // namespace

bool HasClass(const Node& element, std::u16string_view name) {
  const std::u16string* classes = element.FindAttribute(u"class");
  return classes && ContainsWord(*classes, name);
}

namespace {

bool AttributeMatches(std::u16string_view actual, char16_t op, std::u16string_view wanted) {
  switch (op) {
    case 0:
      return true;
    case u'=':
      return actual == wanted;
    case u'~':
      return ContainsWord(actual, wanted);
    case u'|':
      return actual == wanted ||
             (actual.starts_with(wanted) && actual.size() > wanted.size() && actual[wanted.size()] == u'-');
    case u'^':
      return !wanted.empty() && actual.starts_with(wanted);
    case u'$':
      return !wanted.empty() && actual.ends_with(wanted);
    case u'*':
      return !wanted.empty() && actual.find(wanted) != std::u16string_view::npos;
    default:
      return false;
  }
}

}  // namespace

bool Selector::MatchesCompound(const Compound& compound, const Node& element) {
  if (!element.IsElement()) return false;
  if (!compound.tag.empty() && element.name() != compound.tag) return false;
  for (const auto& id : compound.ids) {
    const std::u16string* value = element.FindAttribute(u"id");
    if (!value || *value != id) return false;
  }
  for (const auto& name : compound.classes)
    if (!HasClass(element, name)) return false;
  for (const auto& test : compound.attributes) {
    const std::u16string* value = element.FindAttribute(test.name);
    if (!value || !AttributeMatches(*value, test.op, test.value)) return false;
  }
  return true;
}

// Right to left, from the element up through its ancestors.
bool Selector::MatchesAt(const Complex& complex, size_t part, const Node& element) const {
  if (!MatchesCompound(complex.parts[part], element)) return false;
  if (part == 0) return true;
  const auto key = std::make_tuple(&complex, part, &element);
  if (failed_.contains(key)) return false;
  bool found = false;
  if (complex.combinators[part - 1] == u'>') {
    const Node* parent = element.parent();
    found = parent && parent->IsElement() && MatchesAt(complex, part - 1, *parent);
  } else {
    for (const Node* up = element.parent(); up && up->IsElement() && !found; up = up->parent())
      found = MatchesAt(complex, part - 1, *up);
  }
  if (!found) failed_.insert(key);
  return found;
}

bool Selector::Matches(const Node& element) const {
  for (const auto& complex : list_) {
    if (MatchesAt(complex, complex.parts.size() - 1, element)) return true;
  }
  return false;
}

std::vector<Node*> ElementsBelow(const Node& scope, const std::function<bool(const Node&)>& keep) {
  std::vector<Node*> found;
  std::vector<const Node*> pending{&scope};  // depth first, in document order
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    const auto& children = node->children();
    for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(child->get());
    if (node != &scope && node->IsElement() && keep(*node)) found.push_back(const_cast<Node*>(node));
  }
  return found;
}

}  // namespace cef_engine::dom
