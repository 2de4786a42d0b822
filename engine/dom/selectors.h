// CSS selectors as page script uses them (querySelector, querySelectorAll): type and
// universal selectors, #id, .class, attribute selectors ([a], [a=v], [a~=v], [a|=v],
// [a^=v], [a$=v], [a*=v]), descendant and child combinators, comma lists. What this
// engine does not support (pseudo-classes and -elements, sibling combinators, escapes,
// namespaces, case flags) is refused like bad syntax, with a message that says so.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "dom/document.h"

namespace cef_engine::dom {

class Selector {
 public:
  // The parsed selector list; nullopt with `error` set when it is invalid or unsupported.
  static std::optional<Selector> Parse(std::u16string_view text, std::u16string& error);

  // Meant for one query over a tree that does not change meanwhile: what failed to match
  // is remembered between calls.
  bool Matches(const Node& element) const;

  // Longer chains of compound selectors are refused: matching recurses once per compound.
  static constexpr size_t kMaxCompounds = 32;

 private:
  struct AttributeTest {
    std::u16string name;  // lower case
    char16_t op = 0;      // 0: present; '=', '~', '|', '^', '$', '*'
    std::u16string value;
  };
  struct Compound {
    std::u16string tag;  // lower case; empty for any element
    std::vector<std::u16string> ids, classes;
    std::vector<AttributeTest> attributes;
  };
  // Compounds left to right; combinators[i] joins parts[i] to parts[i - 1]: ' ' or '>'.
  struct Complex {
    std::vector<Compound> parts;
    std::vector<char16_t> combinators;
  };

  static bool MatchesCompound(const Compound& compound, const Node& element);
  bool MatchesAt(const Complex& complex, size_t part, const Node& element) const;

  std::vector<Complex> list_;
  // (selector, compound, element) found not to match, so that long chains of descendant
  // combinators in a deep tree are not tried again for every element.
  mutable std::set<std::tuple<const Complex*, size_t, const Node*>> failed_;
  friend class SelectorParser;
};

// The elements below `scope`, in document order, that `keep` accepts.
std::vector<Node*> ElementsBelow(const Node& scope, const std::function<bool(const Node&)>& keep);
// Whether the element's class attribute lists `name` (classes are separated by white space).
bool HasClass(const Node& element, std::u16string_view name);

}  // namespace cef_engine::dom
