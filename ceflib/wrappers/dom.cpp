#include "ceflib/wrappers/dom.h"

#include "ceflib/bridges/dom_event_listener.h"

namespace ceflib {

// ---- document -------------------------------------------------------------------------

using Doc = cef_domdocument_t;

int TCefDomDocumentRef::GetType() { return Call<int>(&Doc::get_type); }
RefPtr<ICefDomNode> TCefDomDocumentRef::GetDocument() {
  return Call<RefPtr<ICefDomNode>>(&Doc::get_document);
}
RefPtr<ICefDomNode> TCefDomDocumentRef::GetBody() { return Call<RefPtr<ICefDomNode>>(&Doc::get_body); }
RefPtr<ICefDomNode> TCefDomDocumentRef::GetHead() { return Call<RefPtr<ICefDomNode>>(&Doc::get_head); }
ustring TCefDomDocumentRef::GetTitle() { return Call<ustring>(&Doc::get_title); }
RefPtr<ICefDomNode> TCefDomDocumentRef::GetElementById(const ustring& id) {
  return Call<RefPtr<ICefDomNode>>(&Doc::get_element_by_id, id);
}
RefPtr<ICefDomNode> TCefDomDocumentRef::GetFocusedNode() {
  return Call<RefPtr<ICefDomNode>>(&Doc::get_focused_node);
}
bool TCefDomDocumentRef::HasSelection() { return Call<bool>(&Doc::has_selection); }
RefPtr<ICefDomNode> TCefDomDocumentRef::GetSelectionStartNode() {
  return Call<RefPtr<ICefDomNode>>(&Doc::get_selection_start_node);
}
int TCefDomDocumentRef::GetSelectionStartOffset() { return Call<int>(&Doc::get_selection_start_offset); }
RefPtr<ICefDomNode> TCefDomDocumentRef::GetSelectionEndNode() {
  return Call<RefPtr<ICefDomNode>>(&Doc::get_selection_end_node);
}
int TCefDomDocumentRef::GetSelectionEndOffset() { return Call<int>(&Doc::get_selection_end_offset); }
ustring TCefDomDocumentRef::GetSelectionAsMarkup() { return Call<ustring>(&Doc::get_selection_as_markup); }
ustring TCefDomDocumentRef::GetSelectionAsText() { return Call<ustring>(&Doc::get_selection_as_text); }
ustring TCefDomDocumentRef::GetBaseUrl() { return Call<ustring>(&Doc::get_base_url); }
ustring TCefDomDocumentRef::GetCompleteUrl(const ustring& partialURL) {
  return Call<ustring>(&Doc::get_complete_url, partialURL);
}

// ---- node -----------------------------------------------------------------------------

using Node = cef_domnode_t;

int TCefDomNodeRef::GetType() { return Call<int>(&Node::get_type); }
bool TCefDomNodeRef::IsText() { return Call<bool>(&Node::is_text); }
bool TCefDomNodeRef::IsElement() { return Call<bool>(&Node::is_element); }
bool TCefDomNodeRef::IsFormControlElement() { return Call<bool>(&Node::is_form_control_element); }
ustring TCefDomNodeRef::GetFormControlElementType() {
  return Call<ustring>(&Node::get_form_control_element_type);
}
bool TCefDomNodeRef::IsSame(const RefPtr<ICefDomNode>& that) { return Call<bool>(&Node::is_same, that); }
ustring TCefDomNodeRef::GetName() { return Call<ustring>(&Node::get_name); }
ustring TCefDomNodeRef::GetValue() { return Call<ustring>(&Node::get_value); }
bool TCefDomNodeRef::SetValue(const ustring& value) { return Call<bool>(&Node::set_value, value); }
ustring TCefDomNodeRef::GetAsMarkup() { return Call<ustring>(&Node::get_as_markup); }
RefPtr<ICefDomDocument> TCefDomNodeRef::GetDocument() {
  return Call<RefPtr<ICefDomDocument>>(&Node::get_document);
}
RefPtr<ICefDomNode> TCefDomNodeRef::GetParent() { return Call<RefPtr<ICefDomNode>>(&Node::get_parent); }
RefPtr<ICefDomNode> TCefDomNodeRef::GetPreviousSibling() {
  return Call<RefPtr<ICefDomNode>>(&Node::get_previous_sibling);
}
RefPtr<ICefDomNode> TCefDomNodeRef::GetNextSibling() {
  return Call<RefPtr<ICefDomNode>>(&Node::get_next_sibling);
}
bool TCefDomNodeRef::HasChildren() { return Call<bool>(&Node::has_children); }
RefPtr<ICefDomNode> TCefDomNodeRef::GetFirstChild() {
  return Call<RefPtr<ICefDomNode>>(&Node::get_first_child);
}
RefPtr<ICefDomNode> TCefDomNodeRef::GetLastChild() {
  return Call<RefPtr<ICefDomNode>>(&Node::get_last_child);
}

// The engine takes the listener before the capture flag.
void TCefDomNodeRef::AddEventListener(const ustring& eventType, bool useCapture,
                                      const RefPtr<ICefDomEventListener>& listener) {
  Call(&Node::add_event_listener, eventType, listener, useCapture);
}

void TCefDomNodeRef::AddEventListenerProc(const ustring& eventType, bool useCapture,
                                          const TCefFastDomEventListenerProc& proc) {
  AddEventListener(eventType, useCapture, Make<TCefFastDomEventListener>(proc));
}

ustring TCefDomNodeRef::GetElementTagName() { return Call<ustring>(&Node::get_element_tag_name); }
bool TCefDomNodeRef::HasElementAttributes() { return Call<bool>(&Node::has_element_attributes); }
bool TCefDomNodeRef::HasElementAttribute(const ustring& attrName) {
  return Call<bool>(&Node::has_element_attribute, attrName);
}
ustring TCefDomNodeRef::GetElementAttribute(const ustring& attrName) {
  return Call<ustring>(&Node::get_element_attribute, attrName);
}
void TCefDomNodeRef::GetElementAttributes(ICefStringMap& attrMap) {
  Call(&Node::get_element_attributes, attrMap.GetHandle());
}
bool TCefDomNodeRef::SetElementAttribute(const ustring& attrName, const ustring& value) {
  return Call<bool>(&Node::set_element_attribute, attrName, value);
}
ustring TCefDomNodeRef::GetElementInnerText() { return Call<ustring>(&Node::get_element_inner_text); }

// ---- event ----------------------------------------------------------------------------

using Event = cef_domevent_t;

ustring TCefDomEventRef::GetType() { return Call<ustring>(&Event::get_type); }
int TCefDomEventRef::GetCategory() { return Call<int>(&Event::get_category); }
int TCefDomEventRef::GetPhase() { return Call<int>(&Event::get_phase); }
bool TCefDomEventRef::CanBubble() { return Call<bool>(&Event::can_bubble); }
bool TCefDomEventRef::CanCancel() { return Call<bool>(&Event::can_cancel); }
RefPtr<ICefDomDocument> TCefDomEventRef::GetDocument() {
  return Call<RefPtr<ICefDomDocument>>(&Event::get_document);
}
RefPtr<ICefDomNode> TCefDomEventRef::GetTarget() { return Call<RefPtr<ICefDomNode>>(&Event::get_target); }
RefPtr<ICefDomNode> TCefDomEventRef::GetCurrentTarget() {
  return Call<RefPtr<ICefDomNode>>(&Event::get_current_target);
}

}  // namespace ceflib
