// Browsers and frames of the engine, as the program sees them.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <vector>

#include "ceflib/core/conversions.h"

// windows.h maps LoadString to LoadStringW; the frame's operation keeps its name.
#pragma push_macro("LoadString")
#undef LoadString

namespace ceflib {

class ICefFrame;
class ICefRequest;
class ICefDomVisitor;
class ICefDomDocument;
class ICefv8Context;
class ICefStreamReader;
using TCefFastDomVisitorProc = std::function<void(const RefPtr<ICefDomDocument>& document)>;

class ICefBrowser : public virtual ICefBase {
 public:
  virtual void ParentWindowWillClose() = 0;
  virtual void CloseBrowser() = 0;
  virtual bool CanGoBack() = 0;
  virtual void GoBack() = 0;
  virtual bool CanGoForward() = 0;
  virtual void GoForward() = 0;
  virtual void Reload() = 0;
  virtual void ReloadIgnoreCache() = 0;
  virtual void StopLoad() = 0;
  virtual void SetFocus(bool enable) = 0;
  virtual cef_window_handle_t GetWindowHandle() = 0;
  virtual cef_window_handle_t GetOpenerWindowHandle() = 0;
  virtual int GetIdentifier() = 0;
  virtual bool IsPopup() = 0;
  virtual bool HasDocument() = 0;
  virtual RefPtr<ICefBase> GetClient() = 0;
  virtual RefPtr<ICefFrame> GetMainFrame() = 0;
  virtual RefPtr<ICefFrame> GetFocusedFrame() = 0;
  virtual RefPtr<ICefFrame> GetFrame(const ustring& name) = 0;
  virtual void GetFrameNames(std::vector<ustring>& names) = 0;
  virtual void Find(const ustring& searchText, uint8_t identifier, bool forward, bool matchCase,
                    bool findNext) = 0;
  virtual void StopFinding(bool clearSelection) = 0;
  virtual double GetZoomLevel() = 0;
  virtual void SetZoomLevel(double zoomLevel) = 0;
  virtual void ClearHistory() = 0;
  virtual void ShowDevTools() = 0;
  virtual void CloseDevTools() = 0;
  virtual bool IsWindowRenderingDisabled() = 0;
  virtual bool GetSize(cef_paint_element_type_t type, int& width, int& height) = 0;
  virtual void SetSize(cef_paint_element_type_t type, int width, int height) = 0;
  virtual bool IsPopupVisible() = 0;
  virtual void HidePopup() = 0;
  virtual void Invalidate(const cef_rect_t& dirtyRect) = 0;
  virtual bool GetImage(cef_paint_element_type_t type, int width, int height, void* buffer) = 0;
  virtual void SendKeyEvent(cef_key_type_t type, const cef_key_info_t& keyInfo, int modifiers) = 0;
  virtual void SendMouseClickEvent(int x, int y, cef_mouse_button_type_t type, bool mouseUp,
                                   int clickCount) = 0;
  virtual void SendMouseMoveEvent(int x, int y, bool mouseLeave) = 0;
  virtual void SendMouseWheelEvent(int x, int y, int deltaX, int deltaY) = 0;
  virtual void SendFocusEvent(bool setFocus) = 0;
  virtual void SendCaptureLostEvent() = 0;
};

class ICefFrame : public virtual ICefBase {
 public:
  virtual void Undo() = 0;
  virtual void Redo() = 0;
  virtual void Cut() = 0;
  virtual void Copy() = 0;
  virtual void Paste() = 0;
  virtual void Del() = 0;
  virtual void SelectAll() = 0;
  virtual void Print() = 0;
  virtual void ViewSource() = 0;
  virtual ustring GetSource() = 0;
  virtual ustring GetText() = 0;
  virtual void LoadRequest(const RefPtr<ICefRequest>& request) = 0;
  virtual void LoadUrl(const ustring& url) = 0;
  virtual void LoadString(const ustring& str, const ustring& url) = 0;
  // The program stream: owned (freed with the engine's reader) or borrowed (must
  // outlive the load).
  virtual void LoadStream(std::unique_ptr<std::istream> stream, const ustring& url) = 0;
  virtual void LoadStream(std::istream& stream, const ustring& url) = 0;
  virtual void LoadFile(const ustring& fileName, const ustring& url) = 0;
  virtual void ExecuteJavaScript(const ustring& code, const ustring& scriptUrl, int startLine) = 0;
  virtual bool IsMain() = 0;
  virtual bool IsFocused() = 0;
  virtual ustring GetName() = 0;
  virtual int64_t GetIdentifier() = 0;
  virtual RefPtr<ICefFrame> GetParent() = 0;
  virtual ustring GetUrl() = 0;
  virtual RefPtr<ICefBrowser> GetBrowser() = 0;
  virtual void VisitDom(const RefPtr<ICefDomVisitor>& visitor) = 0;
  virtual void VisitDomProc(const TCefFastDomVisitorProc& proc) = 0;
  virtual RefPtr<ICefv8Context> GetV8Context() = 0;
};

class TCefBrowserRef final : public TCefRef<TCefBrowserRef, ICefBrowser, cef_browser_t> {
 public:
  using TCefRef::TCefRef;

  void ParentWindowWillClose() override;
  void CloseBrowser() override;
  bool CanGoBack() override;
  void GoBack() override;
  bool CanGoForward() override;
  void GoForward() override;
  void Reload() override;
  void ReloadIgnoreCache() override;
  void StopLoad() override;
  void SetFocus(bool enable) override;
  cef_window_handle_t GetWindowHandle() override;
  cef_window_handle_t GetOpenerWindowHandle() override;
  int GetIdentifier() override;
  bool IsPopup() override;
  bool HasDocument() override;
  // A plain base wrapper of the engine's client record: it offers Wrap only.
  RefPtr<ICefBase> GetClient() override;
  RefPtr<ICefFrame> GetMainFrame() override;
  RefPtr<ICefFrame> GetFocusedFrame() override;
  RefPtr<ICefFrame> GetFrame(const ustring& name) override;
  // Appends the frames' names to names.
  void GetFrameNames(std::vector<ustring>& names) override;
  void Find(const ustring& searchText, uint8_t identifier, bool forward, bool matchCase,
            bool findNext) override;
  void StopFinding(bool clearSelection) override;
  double GetZoomLevel() override;
  void SetZoomLevel(double zoomLevel) override;
  void ClearHistory() override;
  void ShowDevTools() override;
  void CloseDevTools() override;
  bool IsWindowRenderingDisabled() override;
  bool GetSize(cef_paint_element_type_t type, int& width, int& height) override;
  void SetSize(cef_paint_element_type_t type, int width, int height) override;
  bool IsPopupVisible() override;
  void HidePopup() override;
  void Invalidate(const cef_rect_t& dirtyRect) override;
  bool GetImage(cef_paint_element_type_t type, int width, int height, void* buffer) override;
  void SendKeyEvent(cef_key_type_t type, const cef_key_info_t& keyInfo, int modifiers) override;
  void SendMouseClickEvent(int x, int y, cef_mouse_button_type_t type, bool mouseUp, int clickCount) override;
  void SendMouseMoveEvent(int x, int y, bool mouseLeave) override;
  void SendMouseWheelEvent(int x, int y, int deltaX, int deltaY) override;
  void SendFocusEvent(bool setFocus) override;
  void SendCaptureLostEvent() override;
};

class TCefFrameRef final : public TCefRef<TCefFrameRef, ICefFrame, cef_frame_t> {
 public:
  using TCefRef::TCefRef;

  void Undo() override;
  void Redo() override;
  void Cut() override;
  void Copy() override;
  void Paste() override;
  void Del() override;
  void SelectAll() override;
  void Print() override;
  void ViewSource() override;
  ustring GetSource() override;
  ustring GetText() override;
  void LoadRequest(const RefPtr<ICefRequest>& request) override;
  void LoadUrl(const ustring& url) override;
  void LoadString(const ustring& str, const ustring& url) override;
  // Nothing is loaded when no reader can be made over the stream.
  void LoadStream(std::unique_ptr<std::istream> stream, const ustring& url) override;
  void LoadStream(std::istream& stream, const ustring& url) override;
  // Nothing is loaded, and nothing raised, when the engine cannot open the file.
  void LoadFile(const ustring& fileName, const ustring& url) override;
  void ExecuteJavaScript(const ustring& code, const ustring& scriptUrl, int startLine) override;
  bool IsMain() override;
  bool IsFocused() override;
  ustring GetName() override;
  int64_t GetIdentifier() override;
  RefPtr<ICefFrame> GetParent() override;
  ustring GetUrl() override;
  RefPtr<ICefBrowser> GetBrowser() override;
  void VisitDom(const RefPtr<ICefDomVisitor>& visitor) override;
  void VisitDomProc(const TCefFastDomVisitorProc& proc) override;
  RefPtr<ICefv8Context> GetV8Context() override;

 private:
  void LoadReader(const RefPtr<ICefStreamReader>& reader, const ustring& url);
};

template <>
struct TCefWrapperOf<ICefBrowser> {
  using type = TCefBrowserRef;
};
template <>
struct TCefWrapperOf<ICefFrame> {
  using type = TCefFrameRef;
};

// Asks the engine to open a browser window as windowInfo describes, with client as its
// client and url as its first page; starts the engine first when it is not running.
// The browser arrives later, through the client's life-span handler. Answers false
// when the engine refuses.
bool CefBrowserCreate(cef_window_info_t& windowInfo, const RefPtr<ICefBase>& client, const ustring& url,
                      const cef_browser_settings_t& settings);
// The same, but the browser is made before the call returns (main thread only); null
// when the engine refuses.
RefPtr<ICefBrowser> CefBrowserCreateSync(cef_window_info_t& windowInfo, const RefPtr<ICefBase>& client,
                                         const ustring& url, const cef_browser_settings_t& settings);

}  // namespace ceflib

#pragma pop_macro("LoadString")
