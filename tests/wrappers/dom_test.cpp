#include <gtest/gtest.h>

#include "ceflib/bridges/dom_event_listener.h"
#include "ceflib/bridges/dom_visitor.h"
#include "ceflib/wrappers/dom.h"
#include "wrappers/operation_check.h"

using namespace ceflib;

namespace {

using Doc = cef_domdocument_t;
using Node = cef_domnode_t;
using Event = cef_domevent_t;

TEST(DomDocumentWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Doc::get_type, ICefDomDocument::GetType);
  CHECK_OPERATION(Doc::get_document, ICefDomDocument::GetDocument);
  CHECK_OPERATION(Doc::get_body, ICefDomDocument::GetBody);
  CHECK_OPERATION(Doc::get_head, ICefDomDocument::GetHead);
  CHECK_OPERATION(Doc::get_title, ICefDomDocument::GetTitle);
  CHECK_OPERATION(Doc::get_element_by_id, ICefDomDocument::GetElementById);  // second time: no such id
  CHECK_OPERATION(Doc::get_focused_node, ICefDomDocument::GetFocusedNode);
  CHECK_OPERATION(Doc::has_selection, ICefDomDocument::HasSelection);
  CHECK_OPERATION(Doc::get_selection_start_node, ICefDomDocument::GetSelectionStartNode);
  CHECK_OPERATION(Doc::get_selection_start_offset, ICefDomDocument::GetSelectionStartOffset);
  CHECK_OPERATION(Doc::get_selection_end_node, ICefDomDocument::GetSelectionEndNode);
  CHECK_OPERATION(Doc::get_selection_end_offset, ICefDomDocument::GetSelectionEndOffset);
  CHECK_OPERATION(Doc::get_selection_as_markup, ICefDomDocument::GetSelectionAsMarkup);
  CHECK_OPERATION(Doc::get_selection_as_text, ICefDomDocument::GetSelectionAsText);
  CHECK_OPERATION(Doc::get_base_url, ICefDomDocument::GetBaseUrl);
  CHECK_OPERATION(Doc::get_complete_url, ICefDomDocument::GetCompleteUrl);
}

TEST(DomNodeWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Node::get_type, ICefDomNode::GetType);
  CHECK_OPERATION(Node::is_text, ICefDomNode::IsText);
  CHECK_OPERATION(Node::is_element, ICefDomNode::IsElement);
  CHECK_OPERATION(Node::is_form_control_element, ICefDomNode::IsFormControlElement);
  CHECK_OPERATION(Node::get_form_control_element_type, ICefDomNode::GetFormControlElementType);
  CHECK_OPERATION(Node::is_same, ICefDomNode::IsSame);
  CHECK_OPERATION(Node::get_name, ICefDomNode::GetName);
  CHECK_OPERATION(Node::get_value, ICefDomNode::GetValue);
  CHECK_OPERATION(Node::set_value, ICefDomNode::SetValue);
  CHECK_OPERATION(Node::get_as_markup, ICefDomNode::GetAsMarkup);
  CHECK_OPERATION(Node::get_document, ICefDomNode::GetDocument);
  CHECK_OPERATION(Node::get_parent, ICefDomNode::GetParent);
  CHECK_OPERATION(Node::get_previous_sibling, ICefDomNode::GetPreviousSibling);
  CHECK_OPERATION(Node::get_next_sibling, ICefDomNode::GetNextSibling);
  CHECK_OPERATION(Node::has_children, ICefDomNode::HasChildren);
  CHECK_OPERATION(Node::get_first_child, ICefDomNode::GetFirstChild);
  CHECK_OPERATION(Node::get_last_child, ICefDomNode::GetLastChild);
  CHECK_OPERATION(Node::get_element_tag_name, ICefDomNode::GetElementTagName);
  CHECK_OPERATION(Node::has_element_attributes, ICefDomNode::HasElementAttributes);
  CHECK_OPERATION(Node::has_element_attribute, ICefDomNode::HasElementAttribute);
  CHECK_OPERATION(Node::get_element_attribute, ICefDomNode::GetElementAttribute);
  CHECK_OPERATION(Node::get_element_attributes, ICefDomNode::GetElementAttributes);
  CHECK_OPERATION(Node::set_element_attribute, ICefDomNode::SetElementAttribute);
  CHECK_OPERATION(Node::get_element_inner_text, ICefDomNode::GetElementInnerText);
}

TEST(DomEventWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Event::get_type, ICefDomEvent::GetType);
  CHECK_OPERATION(Event::get_category, ICefDomEvent::GetCategory);
  CHECK_OPERATION(Event::get_phase, ICefDomEvent::GetPhase);
  CHECK_OPERATION(Event::can_bubble, ICefDomEvent::CanBubble);
  CHECK_OPERATION(Event::can_cancel, ICefDomEvent::CanCancel);
  CHECK_OPERATION(Event::get_document, ICefDomEvent::GetDocument);
  CHECK_OPERATION(Event::get_target, ICefDomEvent::GetTarget);
  CHECK_OPERATION(Event::get_current_target, ICefDomEvent::GetCurrentTarget);
}

// A node of a small engine tree: it hands out a reference with every pointer.
struct FakeNode : FakeRecord<Node> {
  ustring name;
  FakeNode* next = nullptr;
  FakeNode* firstChild = nullptr;

  explicit FakeNode(ustring n) : name(std::move(n)) {
    refs = 0;
    On<&Node::get_name>([this] { return Userfree(name); });
    On<&Node::get_next_sibling>([this] { return Handed(next); });
    On<&Node::get_first_child>([this] { return Handed(firstChild); });
    On<&Node::is_same>([this](Node* that) {
      bool same = that == get();
      if (that) that->base.release(&that->base);
      return same ? 1 : 0;
    });
  }
  static Node* Handed(FakeNode* node) {
    if (!node) return nullptr;
    node->refs++;
    return node->get();
  }
};

TEST(DomNodeWrapper, WalkingChildrenEndsWithNilAndIdentityGoesThroughIsSame) {
  FakeNode parent(u"ul"), first(u"li 1"), second(u"li 2");
  parent.firstChild = &first;
  first.next = &second;
  RefPtr<ICefDomNode> root = TCefDomNodeRef::UnWrap(FakeNode::Handed(&parent));

  std::vector<ustring> names;
  for (RefPtr<ICefDomNode> child = root->GetFirstChild(); child; child = child->GetNextSibling()) {
    names.push_back(child->GetName());
  }
  EXPECT_EQ(names, (std::vector<ustring>{u"li 1", u"li 2"}));

  RefPtr<ICefDomNode> a = root->GetFirstChild();
  RefPtr<ICefDomNode> b = root->GetFirstChild();
  EXPECT_NE(a.get(), b.get()) << "each step makes a new wrapper";
  EXPECT_TRUE(a->IsSame(b));
  EXPECT_FALSE(a->IsSame(root));
  a.reset();
  b.reset();
  root.reset();
  EXPECT_EQ(parent.refs + first.refs + second.refs, 0) << "every reference handed out came back";
}

TEST(DomNodeWrapper, AddEventListenerPassesTheListenerBeforeTheCaptureFlag) {
  FakeRecord<Node> engine;
  RefPtr<ICefDomEventListener> listener = Make<TCefDomEventListenerOwn>();
  void* record = Cast<TCefBaseOwn>(listener)->Data();
  std::vector<std::pair<ustring, int>> added;
  engine.On<&Node::add_event_listener>(
      [&](const cef_string_t* type, cef_domevent_listener_t* l, int useCapture) {
        EXPECT_EQ(static_cast<void*>(l), record);
        EXPECT_EQ(l->base.get_refct(&l->base), 2) << "one reference for the engine";
        l->base.release(&l->base);
        added.emplace_back(CefStringRead(type), useCapture);
      });
  RefPtr<ICefDomNode> node = TCefDomNodeRef::UnWrap(engine.get());
  node->AddEventListener(u"click", true, listener);
  node->AddEventListener(u"keyup", false, listener);
  EXPECT_EQ(added, (std::vector<std::pair<ustring, int>>{{u"click", 1}, {u"keyup", 0}}));
}

TEST(DomNodeWrapper, AddEventListenerProcLivesByTheEnginesReference) {
  FakeRecord<Node> engine;
  cef_domevent_listener_t* kept = nullptr;
  engine.On<&Node::add_event_listener>(
      [&](const cef_string_t*, cef_domevent_listener_t* l, int) { kept = l; });
  auto token = std::make_shared<int>(0);
  int calls = 0;
  TCefDomNodeRef::UnWrap(engine.get())
      ->AddEventListenerProc(u"click", false, [&, token](const RefPtr<ICefDomEvent>& e) {
        EXPECT_NE(e, nullptr);
        ++calls;
      });
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->base.get_refct(&kept->base), 1) << "only the engine holds the listener";

  FakeEngineObject<Event> event;
  kept->handle_event(kept, event.get());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(event.refs, 0) << "the listener released the event";
  EXPECT_EQ(token.use_count(), 2) << "still alive";
  kept->base.release(&kept->base);
  EXPECT_EQ(token.use_count(), 1) << "gone with the engine's reference";
}

TEST(DomNodeWrapper, GetElementAttributesFillsTheProgramsMap) {
  FakeRecord<Node> engine;
  engine.On<&Node::get_element_attributes>([](cef_string_map_t map) {
    for (const auto& [key, value] :
         {std::pair<ustring, ustring>{u"id", u"login"}, {u"class", u"button wide"}}) {
      cef_string_t k = CefStringView(key), v = CefStringView(value);
      cef_string_map_append(map, &k, &v);
    }
  });
  RefPtr<TCefStringMapOwn> attributes = Make<TCefStringMapOwn>();
  TCefDomNodeRef::UnWrap(engine.get())->GetElementAttributes(*attributes);
  ASSERT_EQ(attributes->GetSize(), 2);
  EXPECT_EQ(attributes->GetKey(0), u"id");
  EXPECT_EQ(attributes->GetValue(0), u"login");
  EXPECT_EQ(attributes->Find(u"class"), u"button wide");
  EXPECT_EQ(attributes->Find(u"style"), u"");
  EXPECT_EQ(attributes->Append(u"style", u"x"), 1);
  EXPECT_EQ(attributes->GetSize(), 3);
  attributes->Clear();
  EXPECT_EQ(attributes->GetSize(), 0);
}

// ---- the visitor and listener bridges, called as the engine calls them ------------------

class DomBridges : public testing::Test {
 protected:
  void SetUp() override {
    CefOnEntryException = [this](std::exception_ptr e) { reported.push_back(CefExceptionMessage(e)); };
  }
  void TearDown() override { CefOnEntryException = nullptr; }
  std::vector<std::string> reported;
};

// The engine record behind a wrapper, leaving its count as it was.
void* EngineRecord(const RefPtr<ICefBase>& wrapper) {
  if (!wrapper) return nullptr;
  cef_base_t* base = wrapper->Wrap();
  base->release(base);
  return base;
}

template <class Record>
Record* RecordOf(const RefPtr<ICefBase>& object) {
  return reinterpret_cast<Record*>(Cast<TCefBaseOwn>(object)->Data());
}

TEST_F(DomBridges, VisitorsReleaseTheDocumentWhateverHappens) {
  RefPtr<ICefBase> plain = Make<TCefDomVisitorOwn>();
  FakeEngineObject<Doc> ignored;
  RecordOf<cef_domvisitor_t>(plain)->visit(RecordOf<cef_domvisitor_t>(plain), ignored.get());
  EXPECT_EQ(ignored.refs, 0) << "the default visitor does nothing and releases the document";

  std::vector<void*> seen;
  bool fail = false;
  RefPtr<ICefBase> visitor = Make<TCefFastDomVisitor>([&](const RefPtr<ICefDomDocument>& document) {
    seen.push_back(EngineRecord(document));
    if (fail) throw std::runtime_error("visit failed");
  });
  cef_domvisitor_t* record = RecordOf<cef_domvisitor_t>(visitor);
  FakeEngineObject<Doc> document;
  record->visit(record, document.get());  // a fast visitor passes the document on
  document.refs = 1;
  fail = true;
  record->visit(record, document.get());
  record->visit(record, nullptr);
  EXPECT_EQ(seen, (std::vector<void*>{document.get(), document.get(), nullptr}));
  EXPECT_EQ(document.refs, 0) << "released also when the procedure raised";
  EXPECT_EQ(reported, (std::vector<std::string>{"visit failed", "visit failed"}));
}

TEST_F(DomBridges, AFastListenerCallsItsProcedureOncePerEvent) {
  FakeEngineObject<Event> events[3];
  std::vector<void*> seen;
  RefPtr<ICefBase> listener = Make<TCefFastDomEventListener>(
      [&](const RefPtr<ICefDomEvent>& event) { seen.push_back(EngineRecord(event)); });
  cef_domevent_listener_t* record = RecordOf<cef_domevent_listener_t>(listener);
  for (auto& event : events) record->handle_event(record, event.get());
  EXPECT_EQ(seen, (std::vector<void*>{events[0].get(), events[1].get(), events[2].get()}));
  for (auto& event : events) EXPECT_EQ(event.refs, 0);

  RefPtr<ICefBase> plain = Make<TCefDomEventListenerOwn>();
  FakeEngineObject<Event> ignored;
  RecordOf<cef_domevent_listener_t>(plain)->handle_event(RecordOf<cef_domevent_listener_t>(plain),
                                                         ignored.get());
  EXPECT_EQ(ignored.refs, 0) << "the default listener does nothing and releases the event";
}

}  // namespace
