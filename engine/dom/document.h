// The document tree of one page: nodes built by the tolerant HTML parser (html_parser.h),
// what a reader sees of it (title, text), the DOM records handed to the program, and
// events with their listeners. Everything here lives on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "cef/cef_records.h"
#include "dom/source_text.h"
#include "dom/text_rope.h"
#include "objects/engine_object.h"

namespace cef_engine::dom {

class Document;
class Node;
struct Event;

// `relative` resolved against `base` (an absolute address); addresses with a scheme
// stand alone, and bases without "//" (about:, data:) leave `relative` as it is.
std::u16string ResolveUrl(std::u16string_view base, std::u16string_view relative);

enum class NodeKind { kDocument, kElement, kText, kComment, kDoctype };

struct Attribute {
  std::u16string name;  // lower case
  std::u16string value;
};

// A listener on a node: the program's record (kept with its reference) or a page
// script function (called through `script`).
struct Listener {
  std::u16string type;
  bool capture = false;
  ProgramRef<cef_domevent_listener_t> program;
  std::function<void(Event&)> script;
  uint32_t script_key = 0;  // which page script function it calls, for its removal
};

class Node {
 public:
  Node(Document& document, NodeKind kind, std::u16string name)
      : document_(&document), kind_(kind), name_(std::move(name)) {}

  NodeKind kind() const noexcept { return kind_; }
  bool IsElement() const noexcept { return kind_ == NodeKind::kElement; }
  // Tag name in lower case for elements; "#text", "#comment", "#document" otherwise.
  const std::u16string& name() const noexcept { return name_; }
  // Character data of text and comment nodes.
  std::u16string data() const { return ToUtf16(data_span()); }
  // The same where it stands, without a copy: for text parsed from a page, a run of its
  // source, in the source's form.
  TextSpan data_span() const noexcept;
  void set_data(std::u16string data);
  // Character data that is a run of `text` as it stands (of a page's source, which may be
  // hundreds of megabytes): the node keeps the text alive instead of a copy of the run.
  void set_data(std::shared_ptr<const SourceText> text, TextSpan run);
  // The text that data_span() is a run of; null when the node has data of its own.
  const std::shared_ptr<const SourceText>& data_source() const noexcept;
  Document& document() const noexcept { return *document_; }

  Node* parent() const noexcept { return parent_; }
  const std::vector<std::unique_ptr<Node>>& children() const noexcept { return children_; }
  Node* PreviousSibling() const;
  Node* NextSibling() const;
  Node& Append(std::unique_ptr<Node> child);
  Node& Insert(size_t index, std::unique_ptr<Node> child);
  // Replaces the children with one text node (none for empty text).
  void ReplaceChildrenWithText(std::u16string text);
  // Replaces the children with `nodes` (which may come from another document).
  void ReplaceChildren(std::vector<std::unique_ptr<Node>> nodes);
  std::vector<std::unique_ptr<Node>> TakeChildren();

  const std::vector<Attribute>& attributes() const noexcept { return attributes_; }
  const std::u16string* FindAttribute(std::u16string_view name) const;
  // Names are compared without regard to ASCII case and stored in lower case.
  void SetAttribute(std::u16string_view name, std::u16string value);

  // Form controls: input, select, textarea, button. Their value is the "value"
  // attribute (textarea: its text).
  bool IsFormControl() const;
  std::u16string FormControlType() const;
  // A field that takes typed text: a textarea, or an input of a text-like type (text,
  // password, search, email, number and the like; any type browsers do not know).
  bool IsTextField() const;
  std::u16string Value() const;
  bool SetValue(std::u16string value);

  // Text of this node and its descendants as a reader sees it (no script or style).
  std::u16string InnerText() const;
  // The character data of every text node below, in document order (script text too).
  std::u16string TextContent() const;
  // The node written back as HTML.
  std::u16string Markup() const;

  std::vector<Listener>& listeners() noexcept { return listeners_; }

 private:
  void RetireChildren();
  void MoveTo(Document& document);

  Document* document_;
  NodeKind kind_;
  std::u16string name_;
  struct SharedRun {
    std::shared_ptr<const SourceText> text;
    TextSpan run;
  };
  std::variant<std::u16string, SharedRun> data_;
  std::vector<Attribute> attributes_;
  Node* parent_ = nullptr;
  std::vector<std::unique_ptr<Node>> children_;
  std::vector<Listener> listeners_;
};

// One dispatch of an event: what the listeners see through cef_domevent_t.
struct Event {
  std::u16string type;
  cef_dom_event_category_t category = DOM_EVENT_CATEGORY_UNKNOWN;
  cef_dom_event_phase_t phase = DOM_EVENT_PHASE_UNKNOWN;
  bool bubbles = false;
  bool cancelable = false;
  Node* target = nullptr;
  Node* current = nullptr;
  bool stopped = false;  // stopPropagation: no node after the current one
  bool default_prevented = false;
  // Key events: the key's code (keydown, keyup), the character's (keypress), KEY_... bits.
  int key_code = 0;
  int char_code = 0;
  int modifiers = 0;
  // Mouse events: the point in CSS pixels of the view, the button that changed (0 left,
  // 1 middle, 2 right), the buttons held afterwards (bits: 1 left, 2 right, 4 middle),
  // the click count.
  int client_x = 0, client_y = 0;
  int button = 0, buttons = 0, detail = 0;
  // Wheel events: how far the page would scroll, in pixels (positive: right and down).
  int delta_x = 0, delta_y = 0;
};

// An <iframe> of the page, in document order.
struct IFrameInfo {
  std::u16string name;  // its name attribute, else its id
  std::u16string src;   // as written (not resolved)
};

// The document. Made by Page (script_host.h) through a shared pointer, because the
// DOM records handed to the program keep it alive; Close() drops the listeners' program
// references so that records a listener keeps cannot hold the document in a cycle.
class Document : public std::enable_shared_from_this<Document> {
 public:
  explicit Document(std::u16string url);
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  Node& root() noexcept { return *root_; }
  const Node& root() const noexcept { return *root_; }
  const std::u16string& url() const noexcept { return url_; }
  // The page's text as it arrived.
  // Shared, never changed once set: readers on other threads keep it without a copy.
  const std::shared_ptr<const SourceText>& source() const noexcept { return source_; }
  void set_source(SourceText source) { source_ = std::make_shared<const SourceText>(std::move(source)); }

  Node* Html() const;
  Node* Head() const;
  Node* Body() const;
  Node* ElementById(std::u16string_view id) const;
  // document.title: the text of the first <title>, whitespace collapsed and trimmed.
  std::u16string Title() const;
  // Replaces the text of <title> (adding one to <head> when there is none).
  void SetTitle(std::u16string_view title);
  // What a reader sees: text outside script, style and head; block elements and <br>
  // start new lines; runs of white space collapse except inside <pre>. `owners`, when
  // given, receives for each character the node it came from (hit testing).
  std::u16string Text(std::vector<Node*>* owners = nullptr) const;
  // What the view shows (painting, find, hit testing): the reader's text, with each image
  // standing as its alt text ("[image]" without one, nothing for an empty one) and each
  // text input as its value, else its placeholder, else a blank "________" (a password as
  // bullets); an empty textarea as its placeholder or the blank. The characters of such a stand-in belong to
  // its element. `replaced` tells whether the page had any, i.e. whether this differs from Text().
  std::u16string ViewText(std::vector<Node*>* owners = nullptr, bool* replaced = nullptr) const;
  // Both as runs of the page's source where they stand, for keeping: a copy of a page's
  // text could be hundreds of megabytes.
  TextRope TextRuns() const;
  TextRope ViewTextRuns(bool* replaced = nullptr) const;
  std::vector<IFrameInfo> IFrames() const;
  // href of every <link rel="icon"> / <link rel="shortcut icon">, resolved.
  std::vector<std::u16string> IconUrls() const;
  // src of every <img> that has one, resolved, each address once, in document order.
  std::vector<std::u16string> ImageUrls() const;
  // The document's address, or its <base href> resolved against it.
  std::u16string BaseUrl() const;
  // `relative` resolved against the document's address.
  std::u16string CompleteUrl(std::u16string_view relative) const;

  // The selected text (a match that find selected); empty when nothing is selected.
  const std::u16string& selection() const noexcept { return selection_; }
  void set_selection(std::u16string text) { selection_ = std::move(text); }

  // The element with the focus; null when none has it.
  Node* focused() const noexcept { return focused_; }
  // Moves the focus (null: none); the focus listener hears of every change.
  void SetFocus(Node* node);
  void OnFocusChange(std::function<void(Node*)> listener) { focus_listener_ = std::move(listener); }
  // What the Tab key moves through, in document order: links with an address, form
  // controls (not hidden ones), elements with a tabindex of 0 or more; none disabled.
  std::vector<Node*> Focusable() const;

  // Dispatches an event along the path root..target: capturing, at target, bubbling
  // (when `bubbles`). Program listeners get an event record valid for the call. Answers
  // false when a listener cancelled the event's default action.
  bool Dispatch(Node& target, const std::u16string& type, cef_dom_event_category_t category, bool bubbles,
                bool cancelable);
  // The same for an event with more to tell (key events); its target is `target`.
  bool Dispatch(Node& target, Event event);
  // Ignored once the document is closed.
  void AddListener(Node& node, Listener listener);
  // Whether a listener for `type` was ever added (removed ones still count): events as
  // frequent as mouse moves are worked out only for a page that listens to them.
  bool EverListened(std::u16string_view type) const;
  // Records the program can hold; each carries the one reference for the receiver.
  cef_domdocument_t* ShareRecord();
  cef_domnode_t* ShareNodeRecord(Node* node);  // null for null

  // Calls visitor->visit(document record) and releases the visitor.
  void Visit(ProgramRef<cef_domvisitor_t> visitor);
  // Drops every listener; the records still work on the tree.
  void Close();
  // Keeps a node taken out of the tree alive for records that may still point at it.
  void Retire(std::unique_ptr<Node> node);
  // Counts the changes of the tree (nodes added or taken, attributes, character data):
  // what was made of the document, such as its text, is still right while it stays.
  uint64_t changes() const noexcept { return changes_; }
  void Changed() noexcept { ++changes_; }

 private:
  Node* TitleElement() const;

  std::u16string url_;
  std::shared_ptr<const SourceText> source_ = std::make_shared<const SourceText>();
  std::u16string selection_;
  Node* focused_ = nullptr;
  std::function<void(Node*)> focus_listener_;
  std::unique_ptr<Node> root_;
  std::vector<std::unique_ptr<Node>> retired_;
  std::vector<std::u16string> listened_;  // the types of every listener added
  bool closed_ = false;
  uint64_t changes_ = 0;
};

}  // namespace cef_engine::dom
