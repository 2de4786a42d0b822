// Documents, nodes and events of a page, as the engine hands them to the program
// while it visits a frame's document.
#pragma once

#include <functional>

#include "ceflib/core/conversions.h"
#include "ceflib/core/string_map.h"

namespace ceflib {

class ICefDomDocument;
class ICefDomNode;
class ICefDomEvent;
class ICefDomEventListener;
using TCefFastDomEventListenerProc = std::function<void(const RefPtr<ICefDomEvent>& event)>;

class ICefDomDocument : public virtual ICefBase {
 public:
  virtual int GetType() = 0;
  virtual RefPtr<ICefDomNode> GetDocument() = 0;
  virtual RefPtr<ICefDomNode> GetBody() = 0;
  virtual RefPtr<ICefDomNode> GetHead() = 0;
  virtual ustring GetTitle() = 0;
  virtual RefPtr<ICefDomNode> GetElementById(const ustring& id) = 0;
  virtual RefPtr<ICefDomNode> GetFocusedNode() = 0;
  virtual bool HasSelection() = 0;
  virtual RefPtr<ICefDomNode> GetSelectionStartNode() = 0;
  virtual int GetSelectionStartOffset() = 0;
  virtual RefPtr<ICefDomNode> GetSelectionEndNode() = 0;
  virtual int GetSelectionEndOffset() = 0;
  virtual ustring GetSelectionAsMarkup() = 0;
  virtual ustring GetSelectionAsText() = 0;
  virtual ustring GetBaseUrl() = 0;
  virtual ustring GetCompleteUrl(const ustring& partialURL) = 0;
};

class ICefDomNode : public virtual ICefBase {
 public:
  virtual int GetType() = 0;
  virtual bool IsText() = 0;
  virtual bool IsElement() = 0;
  virtual bool IsFormControlElement() = 0;
  virtual ustring GetFormControlElementType() = 0;
  virtual bool IsSame(const RefPtr<ICefDomNode>& that) = 0;
  virtual ustring GetName() = 0;
  virtual ustring GetValue() = 0;
  virtual bool SetValue(const ustring& value) = 0;
  virtual ustring GetAsMarkup() = 0;
  virtual RefPtr<ICefDomDocument> GetDocument() = 0;
  virtual RefPtr<ICefDomNode> GetParent() = 0;
  virtual RefPtr<ICefDomNode> GetPreviousSibling() = 0;
  virtual RefPtr<ICefDomNode> GetNextSibling() = 0;
  virtual bool HasChildren() = 0;
  virtual RefPtr<ICefDomNode> GetFirstChild() = 0;
  virtual RefPtr<ICefDomNode> GetLastChild() = 0;
  virtual void AddEventListener(const ustring& eventType, bool useCapture,
                                const RefPtr<ICefDomEventListener>& listener) = 0;
  // The listener lives by the engine's reference once the call returns.
  virtual void AddEventListenerProc(const ustring& eventType, bool useCapture,
                                    const TCefFastDomEventListenerProc& proc) = 0;
  virtual ustring GetElementTagName() = 0;
  virtual bool HasElementAttributes() = 0;
  virtual bool HasElementAttribute(const ustring& attrName) = 0;
  virtual ustring GetElementAttribute(const ustring& attrName) = 0;
  // The engine fills attrMap with the element's attributes.
  virtual void GetElementAttributes(ICefStringMap& attrMap) = 0;
  virtual bool SetElementAttribute(const ustring& attrName, const ustring& value) = 0;
  virtual ustring GetElementInnerText() = 0;
};

class ICefDomEvent : public virtual ICefBase {
 public:
  virtual ustring GetType() = 0;
  virtual int GetCategory() = 0;
  virtual int GetPhase() = 0;
  virtual bool CanBubble() = 0;
  virtual bool CanCancel() = 0;
  virtual RefPtr<ICefDomDocument> GetDocument() = 0;
  virtual RefPtr<ICefDomNode> GetTarget() = 0;
  virtual RefPtr<ICefDomNode> GetCurrentTarget() = 0;
};

class TCefDomDocumentRef final : public TCefRef<TCefDomDocumentRef, ICefDomDocument, cef_domdocument_t> {
 public:
  using TCefRef::TCefRef;

  int GetType() override;
  RefPtr<ICefDomNode> GetDocument() override;
  RefPtr<ICefDomNode> GetBody() override;
  RefPtr<ICefDomNode> GetHead() override;
  ustring GetTitle() override;
  RefPtr<ICefDomNode> GetElementById(const ustring& id) override;
  RefPtr<ICefDomNode> GetFocusedNode() override;
  bool HasSelection() override;
  RefPtr<ICefDomNode> GetSelectionStartNode() override;
  int GetSelectionStartOffset() override;
  RefPtr<ICefDomNode> GetSelectionEndNode() override;
  int GetSelectionEndOffset() override;
  ustring GetSelectionAsMarkup() override;
  ustring GetSelectionAsText() override;
  ustring GetBaseUrl() override;
  ustring GetCompleteUrl(const ustring& partialURL) override;
};

class TCefDomNodeRef final : public TCefRef<TCefDomNodeRef, ICefDomNode, cef_domnode_t> {
 public:
  using TCefRef::TCefRef;

  int GetType() override;
  bool IsText() override;
  bool IsElement() override;
  bool IsFormControlElement() override;
  ustring GetFormControlElementType() override;
  bool IsSame(const RefPtr<ICefDomNode>& that) override;
  ustring GetName() override;
  ustring GetValue() override;
  bool SetValue(const ustring& value) override;
  ustring GetAsMarkup() override;
  RefPtr<ICefDomDocument> GetDocument() override;
  RefPtr<ICefDomNode> GetParent() override;
  RefPtr<ICefDomNode> GetPreviousSibling() override;
  RefPtr<ICefDomNode> GetNextSibling() override;
  bool HasChildren() override;
  RefPtr<ICefDomNode> GetFirstChild() override;
  RefPtr<ICefDomNode> GetLastChild() override;
  void AddEventListener(const ustring& eventType, bool useCapture,
                        const RefPtr<ICefDomEventListener>& listener) override;
  void AddEventListenerProc(const ustring& eventType, bool useCapture,
                            const TCefFastDomEventListenerProc& proc) override;
  ustring GetElementTagName() override;
  bool HasElementAttributes() override;
  bool HasElementAttribute(const ustring& attrName) override;
  ustring GetElementAttribute(const ustring& attrName) override;
  void GetElementAttributes(ICefStringMap& attrMap) override;
  bool SetElementAttribute(const ustring& attrName, const ustring& value) override;
  ustring GetElementInnerText() override;
};

class TCefDomEventRef final : public TCefRef<TCefDomEventRef, ICefDomEvent, cef_domevent_t> {
 public:
  using TCefRef::TCefRef;

  ustring GetType() override;
  int GetCategory() override;
  int GetPhase() override;
  bool CanBubble() override;
  bool CanCancel() override;
  RefPtr<ICefDomDocument> GetDocument() override;
  RefPtr<ICefDomNode> GetTarget() override;
  RefPtr<ICefDomNode> GetCurrentTarget() override;
};

template <>
struct TCefWrapperOf<ICefDomDocument> {
  using type = TCefDomDocumentRef;
};
template <>
struct TCefWrapperOf<ICefDomNode> {
  using type = TCefDomNodeRef;
};
template <>
struct TCefWrapperOf<ICefDomEvent> {
  using type = TCefDomEventRef;
};

}  // namespace ceflib
