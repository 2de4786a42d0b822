// The DOM records handed to the program: document, node and event. Each keeps the
// document alive, so a record stays usable after the visit that produced it; the page
// closing the document only stops its events.
#include <algorithm>

#include "cef_engine.h"
#include "dom/document.h"
#include "dom/record_entry.h"
#include "dom/text_util.h"
#include "strings/text.h"

namespace cef_engine::dom {
namespace {

std::u16string Upper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return out;
}

std::u16string Read(const cef_string_t* text) { return std::u16string(ViewOf(text)); }

class NodeObject final : public EngineObject<cef_domnode_t> {
 public:
  using Record = cef_domnode_t;
  NodeObject(std::shared_ptr<Document> document, Node* node) : document_(std::move(document)), node_(node) {
    Record& r = *record();
    r.get_type = Entry<&NodeObject::GetType>;
    r.is_text = Entry<&NodeObject::IsText>;
    r.is_element = Entry<&NodeObject::IsElement>;
    r.is_form_control_element = Entry<&NodeObject::IsFormControlElement>;
    r.get_form_control_element_type = Entry<&NodeObject::GetFormControlElementType>;
    r.is_same = Entry<&NodeObject::IsSame>;
    r.get_name = Entry<&NodeObject::GetName>;
    r.get_value = Entry<&NodeObject::GetValue>;
    r.set_value = Entry<&NodeObject::SetValue>;
    r.get_as_markup = Entry<&NodeObject::GetAsMarkup>;
    r.get_document = Entry<&NodeObject::GetDocument>;
    r.get_parent = Entry<&NodeObject::GetParent>;
    r.get_previous_sibling = Entry<&NodeObject::GetPreviousSibling>;
    r.get_next_sibling = Entry<&NodeObject::GetNextSibling>;
    r.has_children = Entry<&NodeObject::HasChildren>;
    r.get_first_child = Entry<&NodeObject::GetFirstChild>;
    r.get_last_child = Entry<&NodeObject::GetLastChild>;
    r.add_event_listener = Entry<&NodeObject::AddEventListener>;
    r.get_element_tag_name = Entry<&NodeObject::GetElementTagName>;
    r.has_element_attributes = Entry<&NodeObject::HasElementAttributes>;
    r.has_element_attribute = Entry<&NodeObject::HasElementAttribute>;
    r.get_element_attribute = Entry<&NodeObject::GetElementAttribute>;
    r.get_element_attributes = Entry<&NodeObject::GetElementAttributes>;
    r.set_element_attribute = Entry<&NodeObject::SetElementAttribute>;
    r.get_element_inner_text = Entry<&NodeObject::GetElementInnerText>;
  }

 private:
  cef_dom_node_type_t GetType() {
    switch (node_->kind()) {
      case NodeKind::kDocument:
        return DOM_NODE_TYPE_DOCUMENT;
      case NodeKind::kElement:
        return DOM_NODE_TYPE_ELEMENT;
      case NodeKind::kText:
        return DOM_NODE_TYPE_TEXT;
      case NodeKind::kComment:
        return DOM_NODE_TYPE_COMMENT;
      case NodeKind::kDoctype:
        return DOM_NODE_TYPE_DOCUMENT_TYPE;
    }
    return DOM_NODE_TYPE_UNSUPPORTED;
  }
  int IsText() { return node_->kind() == NodeKind::kText; }
  int IsElement() { return node_->IsElement(); }
  int IsFormControlElement() { return node_->IsFormControl(); }
  cef_string_userfree_t GetFormControlElementType() { return NewUserfree(node_->FormControlType()); }
  int IsSame(cef_domnode_t* that) {
    auto held = ProgramRef<cef_domnode_t>::Adopt(that);  // the reference that came with it
    const NodeObject* other = OwnObjectOf<NodeObject>(that);
    return other && other->node_ == node_;
  }
  cef_string_userfree_t GetName() {
    return NewUserfree(node_->IsElement() ? Upper(node_->name()) : node_->name());
  }
  cef_string_userfree_t GetValue() { return NewUserfree(node_->Value()); }
  int SetValue(const cef_string_t* value) { return node_->SetValue(Read(value)); }
  cef_string_userfree_t GetAsMarkup() { return NewUserfree(node_->Markup()); }
  cef_domdocument_t* GetDocument() { return document_->ShareRecord(); }
  cef_domnode_t* GetParent() { return document_->ShareNodeRecord(node_->parent()); }
  cef_domnode_t* GetPreviousSibling() { return document_->ShareNodeRecord(node_->PreviousSibling()); }
  cef_domnode_t* GetNextSibling() { return document_->ShareNodeRecord(node_->NextSibling()); }
  int HasChildren() { return !node_->children().empty(); }
  cef_domnode_t* GetFirstChild() {
    return document_->ShareNodeRecord(node_->children().empty() ? nullptr : node_->children().front().get());
  }
  cef_domnode_t* GetLastChild() {
    return document_->ShareNodeRecord(node_->children().empty() ? nullptr : node_->children().back().get());
  }
  void AddEventListener(const cef_string_t* type, cef_domevent_listener_t* listener, int capture) {
    auto held = ProgramRef<cef_domevent_listener_t>::Adopt(listener);
    if (!held || ViewOf(type).empty()) return;
    document_->AddListener(*node_, Listener{Read(type), capture != 0, std::move(held), {}});
  }
  cef_string_userfree_t GetElementTagName() {
    return NewUserfree(node_->IsElement() ? Upper(node_->name()) : std::u16string());
  }
  int HasElementAttributes() { return node_->IsElement() && !node_->attributes().empty(); }
  int HasElementAttribute(const cef_string_t* name) {
    return node_->IsElement() && node_->FindAttribute(ViewOf(name));
  }
  cef_string_userfree_t GetElementAttribute(const cef_string_t* name) {
    const std::u16string* value = node_->IsElement() ? node_->FindAttribute(ViewOf(name)) : nullptr;
    return NewUserfree(value ? *value : std::u16string());
  }
  void GetElementAttributes(cef_string_map_t map) {
    if (!node_->IsElement()) return;
    for (const auto& attribute : node_->attributes()) {
      const cef_string_t key = View(attribute.name);
      const cef_string_t value = View(attribute.value);
      cef_string_map_append(map, &key, &value);  // refuses unknown handles on its own
    }
  }
  int SetElementAttribute(const cef_string_t* name, const cef_string_t* value) {
    if (!node_->IsElement() || ViewOf(name).empty()) return 0;
    node_->SetAttribute(ViewOf(name), Read(value));
    return 1;
  }
  cef_string_userfree_t GetElementInnerText() { return NewUserfree(node_->InnerText()); }

  std::shared_ptr<Document> document_;
  Node* node_;
};

class DocumentObject final : public EngineObject<cef_domdocument_t> {
 public:
  using Record = cef_domdocument_t;
  explicit DocumentObject(std::shared_ptr<Document> document) : document_(std::move(document)) {
    Record& r = *record();
    r.get_type = Entry<&DocumentObject::GetType>;
    r.get_document = Entry<&DocumentObject::GetDocument>;
    r.get_body = Entry<&DocumentObject::GetBody>;
    r.get_head = Entry<&DocumentObject::GetHead>;
    r.get_title = Entry<&DocumentObject::GetTitle>;
    r.get_element_by_id = Entry<&DocumentObject::GetElementById>;
    r.get_focused_node = Entry<&DocumentObject::GetFocusedNode>;
    r.has_selection = Entry<&DocumentObject::HasSelection>;
    r.get_selection_start_node = Entry<&DocumentObject::NoNode>;
    r.get_selection_start_offset = Entry<&DocumentObject::NoSelection>;
    r.get_selection_end_node = Entry<&DocumentObject::NoNode>;
    r.get_selection_end_offset = Entry<&DocumentObject::NoSelection>;
    r.get_selection_as_markup = Entry<&DocumentObject::NoText>;
    r.get_selection_as_text = Entry<&DocumentObject::GetSelectionAsText>;
    r.get_base_url = Entry<&DocumentObject::GetBaseUrl>;
    r.get_complete_url = Entry<&DocumentObject::GetCompleteUrl>;
  }

 private:
  cef_dom_document_type_t GetType() { return DOM_DOCUMENT_TYPE_HTML; }
  cef_domnode_t* GetDocument() { return document_->ShareNodeRecord(&document_->root()); }
  cef_domnode_t* GetBody() { return document_->ShareNodeRecord(document_->Body()); }
  cef_domnode_t* GetFocusedNode() { return document_->ShareNodeRecord(document_->focused()); }
  cef_domnode_t* GetHead() { return document_->ShareNodeRecord(document_->Head()); }
  cef_string_userfree_t GetTitle() { return NewUserfree(document_->Title()); }
  cef_domnode_t* GetElementById(const cef_string_t* id) {
    return document_->ShareNodeRecord(document_->ElementById(ViewOf(id)));
  }
  // A selection is text only (what find selected): no nodes, offsets or markup.
  int HasSelection() { return !document_->selection().empty(); }
  cef_string_userfree_t GetSelectionAsText() { return NewUserfree(document_->selection()); }
  // This engine has no focus.
  cef_domnode_t* NoNode() { return nullptr; }
  int NoSelection() { return 0; }
  cef_string_userfree_t NoText() { return NewUserfree({}); }
  cef_string_userfree_t GetBaseUrl() { return NewUserfree(document_->BaseUrl()); }
  cef_string_userfree_t GetCompleteUrl(const cef_string_t* partial) {
    return NewUserfree(ResolveUrl(document_->BaseUrl(), ViewOf(partial)));
  }

  std::shared_ptr<Document> document_;
};

class EventObject final : public EngineObject<cef_domevent_t> {
 public:
  using Record = cef_domevent_t;
  EventObject(std::shared_ptr<Document> document, const Event& event)
      : document_(std::move(document)), event_(event) {
    Record& r = *record();
    r.get_type = Entry<&EventObject::GetType>;
    r.get_category = Entry<&EventObject::GetCategory>;
    r.get_phase = Entry<&EventObject::GetPhase>;
    r.can_bubble = Entry<&EventObject::CanBubble>;
    r.can_cancel = Entry<&EventObject::CanCancel>;
    r.get_document = Entry<&EventObject::GetDocument>;
    r.get_target = Entry<&EventObject::GetTarget>;
    r.get_current_target = Entry<&EventObject::GetCurrentTarget>;
  }

 private:
  cef_string_userfree_t GetType() { return NewUserfree(event_.type); }
  cef_dom_event_category_t GetCategory() { return event_.category; }
  cef_dom_event_phase_t GetPhase() { return event_.phase; }
  int CanBubble() { return event_.bubbles; }
  int CanCancel() { return event_.cancelable; }
  cef_domdocument_t* GetDocument() { return document_->ShareRecord(); }
  cef_domnode_t* GetTarget() { return document_->ShareNodeRecord(event_.target); }
  cef_domnode_t* GetCurrentTarget() { return document_->ShareNodeRecord(event_.current); }

  std::shared_ptr<Document> document_;
  Event event_;
};

// A listener to call for one phase: the program's record with its own reference, or
// the page script's function.
struct PendingCall {
  ProgramRef<cef_domevent_listener_t> program;
  std::function<void(Event&)> script;
};

}  // namespace

cef_domdocument_t* Document::ShareRecord() { return NewEngineRecord<DocumentObject>(shared_from_this()); }

cef_domnode_t* Document::ShareNodeRecord(Node* node) {
  if (!node) return nullptr;
  return NewEngineRecord<NodeObject>(shared_from_this(), node);
}

std::u16string Document::BaseUrl() const {
  const Node* base = nullptr;
  if (const Node* head = Head()) {
    for (const auto& child : head->children())
      if (child->IsElement() && child->name() == u"base" && child->FindAttribute(u"href")) base = child.get();
  }
  return base ? ResolveUrl(url_, *base->FindAttribute(u"href")) : url_;
}

void Document::Visit(ProgramRef<cef_domvisitor_t> visitor) {
  if (!visitor || !visitor->visit) return;
  visitor->visit(visitor.get(), ShareRecord());
}

bool Document::Dispatch(Node& target, const std::u16string& type, cef_dom_event_category_t category,
                        bool bubbles, bool cancelable) {
  return Dispatch(target,
                  Event{type, category, DOM_EVENT_PHASE_UNKNOWN, bubbles, cancelable, &target, nullptr});
}

bool Document::Dispatch(Node& target, Event event) {
  const std::shared_ptr<Document> keep = shared_from_this();
  if (closed_) return true;
  std::vector<Node*> path;  // root first, target last
  for (Node* n = &target; n; n = n->parent()) path.push_back(n);
  std::reverse(path.begin(), path.end());

  const std::u16string type = event.type;
  const bool bubbles = event.bubbles;
  event.target = &target;
  auto invoke = [&](Node& node, cef_dom_event_phase_t phase) {
    // Snapshot first: a listener may add listeners or close the document.
    std::vector<PendingCall> calls;
    for (const auto& listener : node.listeners()) {
      if (listener.type != type) continue;
      if (phase == DOM_EVENT_PHASE_CAPTURING && !listener.capture) continue;
      if (phase == DOM_EVENT_PHASE_BUBBLING && listener.capture) continue;
      calls.push_back({ProgramRef<cef_domevent_listener_t>::Retain(listener.program.get()), listener.script});
    }
    event.phase = phase;
    event.current = &node;
    for (auto& call : calls) {
      if (closed_) return;
      if (call.program && call.program->handle_event)
        call.program->handle_event(call.program.get(), NewEngineRecord<EventObject>(keep, event));
      else if (call.script)
        call.script(event);
    }
  };
  for (size_t i = 0; i + 1 < path.size() && !event.stopped; ++i) invoke(*path[i], DOM_EVENT_PHASE_CAPTURING);
  if (!event.stopped) invoke(target, DOM_EVENT_PHASE_AT_TARGET);
  if (bubbles)
    for (size_t i = path.size() - 1; i-- > 0 && !event.stopped;) invoke(*path[i], DOM_EVENT_PHASE_BUBBLING);
  return !event.default_prevented;
}

}  // namespace cef_engine::dom
