// The document as the program sees it: a visit, a walk through the node records,
// attribute and value changes read back by page script, and events with their phases.
#include "page_test_support.h"

namespace {

using namespace page_test;

// A visitor that runs `body` with the document it is given.
class Visitor {
 public:
  explicit Visitor(std::function<void(cef_domdocument_t*)> body) : body_(std::move(body)) {
    object_.record()->visit = &Visit;
  }
  Ref<cef_domvisitor_t> HandOverHeld() { return Ref<cef_domvisitor_t>(object_.HandOver()); }
  cef_domvisitor_t* HandOver() { return object_.HandOver(); }
  bool balanced() const { return object_.refs() == 0 && !object_.went_negative(); }
  int visits = 0;

 private:
  static void CEF_CALLBACK Visit(cef_domvisitor_t* self, cef_domdocument_t* document) {
    auto& visitor = *FakeRecord<cef_domvisitor_t>::OwnerOf<Visitor>(self);
    ++visitor.visits;
    Ref<cef_domdocument_t> held(document);
    visitor.body_(document);
  }
  std::function<void(cef_domdocument_t*)> body_;
  FakeRecord<cef_domvisitor_t> object_{this};
};

std::u16string Id(cef_domnode_t* node) {
  if (!node) return u"<none>";
  const cef_string_t id = View(u"id");
  const std::u16string value = Take(node->get_element_attribute(node, &id));
  return value.empty() ? Take(node->get_name(node)) : value;
}

void VisitPage(cef_engine::script::Page& page, std::function<void(cef_domdocument_t*)> body) {
  Visitor visitor(std::move(body));
  page.VisitDom(cef_engine::ProgramRef<cef_domvisitor_t>::Adopt(visitor.HandOver()));
  EXPECT_EQ(visitor.visits, 1);
  EXPECT_TRUE(visitor.balanced());
}

class DomTest : public PageTest {};

TEST_F(DomTest, WalkTheTreeThroughNodeRecords) {
  auto page = Load(
      u"<!DOCTYPE html><html><head><title>Walk</title><base href=\"http://base.example/b/\"></head>"
      u"<body><p id=p1 class=c>one</p><!-- note --><input id=i type=checkbox value=v></body></html>");
  Ref<cef_domnode_t> kept;
  VisitPage(*page, [&](cef_domdocument_t* document) {
    EXPECT_EQ(document->get_type(document), DOM_DOCUMENT_TYPE_HTML);
    EXPECT_EQ(Take(document->get_title(document)), u"Walk");
    EXPECT_EQ(Take(document->get_base_url(document)), u"http://base.example/b/");
    const cef_string_t partial = View(u"img/x.png");
    EXPECT_EQ(Take(document->get_complete_url(document, &partial)), u"http://base.example/b/img/x.png");
    const cef_string_t missing = View(u"missing");
    EXPECT_EQ(document->get_element_by_id(document, &missing), nullptr);
    EXPECT_EQ(document->get_focused_node(document), nullptr);
    EXPECT_EQ(document->has_selection(document), 0);
    EXPECT_EQ(document->get_selection_start_node(document), nullptr);
    EXPECT_EQ(document->get_selection_end_offset(document), 0);
    EXPECT_EQ(Take(document->get_selection_as_text(document)), u"");

    // Depth first through first child and next sibling; every child knows its parent.
    std::vector<std::u16string> names;
    std::function<void(cef_domnode_t*, int)> walk = [&](cef_domnode_t* node, int depth) {
      names.push_back(std::u16string(static_cast<size_t>(depth), u' ') + Take(node->get_name(node)));
      Ref<cef_domnode_t> child(node->get_first_child(node));
      EXPECT_EQ(node->has_children(node), child ? 1 : 0);
      while (child) {
        Ref<cef_domnode_t> parent(child->get_parent(child.get()));
        EXPECT_EQ(parent->is_same(parent.get(), AddRef(node)), 1);
        walk(child.get(), depth + 1);
        child.reset(child->get_next_sibling(child.get()));
      }
    };
    Ref<cef_domnode_t> root(document->get_document(document));
    EXPECT_EQ(root->get_type(root.get()), DOM_NODE_TYPE_DOCUMENT);
    walk(root.get(), 0);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"#document", u" html", u" HTML", u"  HEAD", u"   TITLE",
                                                  u"    #text", u"   BASE", u"  BODY", u"   P", u"    #text",
                                                  u"   #comment", u"   INPUT"}));

    Ref<cef_domnode_t> body(document->get_body(document));
    Ref<cef_domnode_t> last(body->get_last_child(body.get()));
    Ref<cef_domnode_t> comment(last->get_previous_sibling(last.get()));
    EXPECT_EQ(comment->get_type(comment.get()), DOM_NODE_TYPE_COMMENT);
    EXPECT_EQ(Take(comment->get_value(comment.get())), u" note ");
    EXPECT_EQ(last->get_next_sibling(last.get()), nullptr);
    EXPECT_EQ(last->is_form_control_element(last.get()), 1);
    EXPECT_EQ(Take(last->get_form_control_element_type(last.get())), u"checkbox");
    EXPECT_EQ(Take(last->get_element_tag_name(last.get())), u"INPUT");
    Ref<cef_domnode_t> head(document->get_head(document));
    EXPECT_EQ(head->is_same(head.get(), AddRef(body.get())), 0);
    const cef_string_t p1 = View(u"p1");
    kept.reset(document->get_element_by_id(document, &p1));
  });
  // Records outlive the visit, and the page too.
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(Take(kept->get_element_inner_text(kept.get())), u"one");
  page.reset();
  EXPECT_EQ(Take(kept->get_as_markup(kept.get())), u"<p id=\"p1\" class=\"c\">one</p>");
}

TEST_F(DomTest, ChangesMadeThroughRecordsAreSeenByThePage) {
  auto page = Load(u"<p id=p1 class=c>one</p><input id=i value=old><textarea id=t>area</textarea>");
  VisitPage(*page, [&](cef_domdocument_t* document) {
    const cef_string_t p1 = View(u"p1"), input_id = View(u"i"), cls = View(u"class"), d = View(u"d"),
                       empty = View(u""), fresh = View(u"new"), t = View(u"t");
    Ref<cef_domnode_t> p(document->get_element_by_id(document, &p1));
    EXPECT_EQ(p->has_element_attributes(p.get()), 1);
    EXPECT_EQ(p->has_element_attribute(p.get(), &cls), 1);
    EXPECT_EQ(Take(p->get_element_attribute(p.get(), &cls)), u"c");
    EXPECT_EQ(p->set_element_attribute(p.get(), &cls, &d), 1);
    EXPECT_EQ(p->set_element_attribute(p.get(), &empty, &d), 0) << "an attribute needs a name";
    cef_string_map_t map = cef_string_map_alloc();
    p->get_element_attributes(p.get(), map);
    ASSERT_EQ(cef_string_map_size(map), 2);
    engine_test::Filled<cef_string_t> value;
    EXPECT_EQ(cef_string_map_find(map, &cls, value.out()), 1);
    EXPECT_EQ(value.text(), u"d");
    cef_string_map_free(map);

    Ref<cef_domnode_t> text(p->get_first_child(p.get()));
    EXPECT_EQ(text->is_text(text.get()), 1);
    EXPECT_EQ(text->set_value(text.get(), &fresh), 1);
    EXPECT_EQ(p->set_value(p.get(), &fresh), 0) << "a paragraph has no value";

    Ref<cef_domnode_t> input(document->get_element_by_id(document, &input_id));
    EXPECT_EQ(Take(input->get_value(input.get())), u"old");
    EXPECT_EQ(input->set_value(input.get(), &fresh), 1);
    Ref<cef_domnode_t> area(document->get_element_by_id(document, &t));
    EXPECT_EQ(Take(area->get_value(area.get())), u"area");
    EXPECT_EQ(area->set_value(area.get(), &d), 1);
  });
  page->ExecuteJavaScript(
      u"var p = document.getElementById('p1');"
      u"document.title = [p.getAttribute('class'), p.innerText, document.getElementById('i').value,"
      u" document.getElementById('t').value, p === document.getElementById('p1')].join(',');",
      u"", 1);
  EXPECT_EQ(page->Title(), u"d,new,new,d,true");
  EXPECT_EQ(page->Text(), u"new\nd");
}

// Records each event a listener gets.
class Listener {
 public:
  Listener() { object_.record()->handle_event = &Handle; }
  cef_domevent_listener_t* HandOver() { return object_.HandOver(); }
  bool balanced() const { return object_.refs() == 0 && !object_.went_negative(); }
  std::vector<std::u16string> seen;

 private:
  static void CEF_CALLBACK Handle(cef_domevent_listener_t* self, cef_domevent_t* event) {
    Ref<cef_domevent_t> held(event);
    Ref<cef_domnode_t> target(event->get_target(event)), current(event->get_current_target(event));
    Ref<cef_domdocument_t> document(event->get_document(event));
    static const char16_t* const kPhases[] = {u"unknown", u"capturing", u"at-target", u"bubbling"};
    FakeRecord<cef_domevent_listener_t>::OwnerOf<Listener>(self)->seen.push_back(
        Take(event->get_type(event)) + u" " + kPhases[event->get_phase(event)] + u" " + Id(current.get()) +
        u" target=" + Id(target.get()) + (event->can_bubble(event) ? u" bubbles" : u"") +
        (event->can_cancel(event) ? u" cancels" : u"") +
        (event->get_category(event) == DOM_EVENT_CATEGORY_MOUSE ? u" mouse" : u"") +
        (document ? u"" : u" no-document"));
  }
  FakeRecord<cef_domevent_listener_t> object_{this};
};

TEST_F(DomTest, EventsReachListenersInTheirPhases) {
  Listener listener;
  {
    auto page = Load(
        u"<body id=body><div id=outer><button id=b>Press</button></div>"
        u"<a id=link href=\"next.html\" target=\"_blank\">go</a>"
        u"<script>"
        u"document.addEventListener('DOMContentLoaded', function(e) {"
        u"  console.log('ready ' + e.type + ' ' + document.getElementById('b').tagName); });"
        u"document.getElementById('outer').addEventListener('click', function(e) {"
        u"  console.log('outer ' + e.eventPhase + ' ' + e.target.id + ' ' + this.id); });"
        u"window.onload = function() { console.log('onload'); };"
        u"</script></body>");
    VisitPage(*page, [&](cef_domdocument_t* document) {
      const cef_string_t click = View(u"click"), load = View(u"load"), b = View(u"b");
      Ref<cef_domnode_t> body(document->get_body(document));
      Ref<cef_domnode_t> button(document->get_element_by_id(document, &b));
      Ref<cef_domnode_t> root(document->get_document(document));
      body->add_event_listener(body.get(), &click, listener.HandOver(), 1);
      body->add_event_listener(body.get(), &click, listener.HandOver(), 0);
      button->add_event_listener(button.get(), &click, listener.HandOver(), 0);
      root->add_event_listener(root.get(), &load, listener.HandOver(), 0);
      button->add_event_listener(button.get(), &click, nullptr, 0);  // ignored
    });
    page->ExecuteJavaScript(u"document.getElementById('b').click()", u"", 1);
    EXPECT_EQ(listener.seen, (std::vector<std::u16string>{
                                 u"click capturing body target=b bubbles cancels mouse",
                                 u"click at-target b target=b bubbles cancels mouse",
                                 u"click bubbling body target=b bubbles cancels mouse",
                             }));
    listener.seen.clear();
    page->FireLoad();
    EXPECT_EQ(listener.seen, std::vector<std::u16string>{u"load at-target #document target=#document"});
    page->ExecuteJavaScript(u"document.getElementById('link').click()", u"", 1);
    EXPECT_EQ(frame.opened, std::vector<std::u16string>{u"http://test.example/dir/next.html"});

    std::vector<std::u16string> console;
    for (const auto& line : frame.console) console.push_back(line.message);
    EXPECT_EQ(console,
              (std::vector<std::u16string>{u"ready DOMContentLoaded BUTTON", u"outer 3 b outer", u"onload"}));
  }
  EXPECT_TRUE(listener.balanced()) << "the engine lets go of its listeners with the page";
}

}  // namespace
