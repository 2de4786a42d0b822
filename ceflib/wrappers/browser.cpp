#include "ceflib/wrappers/browser.h"

#include "ceflib/bridges/dom_visitor.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/v8.h"

namespace ceflib {

// ---- browser --------------------------------------------------------------------------

using Browser = cef_browser_t;

void TCefBrowserRef::ParentWindowWillClose() { Call(&Browser::parent_window_will_close); }
void TCefBrowserRef::CloseBrowser() { Call(&Browser::close_browser); }
bool TCefBrowserRef::CanGoBack() { return Call<bool>(&Browser::can_go_back); }
void TCefBrowserRef::GoBack() { Call(&Browser::go_back); }
bool TCefBrowserRef::CanGoForward() { return Call<bool>(&Browser::can_go_forward); }
void TCefBrowserRef::GoForward() { Call(&Browser::go_forward); }
void TCefBrowserRef::Reload() { Call(&Browser::reload); }
void TCefBrowserRef::ReloadIgnoreCache() { Call(&Browser::reload_ignore_cache); }
void TCefBrowserRef::StopLoad() { Call(&Browser::stop_load); }
void TCefBrowserRef::SetFocus(bool enable) { Call(&Browser::set_focus, enable); }
cef_window_handle_t TCefBrowserRef::GetWindowHandle() {
  return Call<cef_window_handle_t>(&Browser::get_window_handle);
}
cef_window_handle_t TCefBrowserRef::GetOpenerWindowHandle() {
  return Call<cef_window_handle_t>(&Browser::get_opener_window_handle);
}
int TCefBrowserRef::GetIdentifier() { return Call<int>(&Browser::get_identifier); }
bool TCefBrowserRef::IsPopup() { return Call<bool>(&Browser::is_popup); }
bool TCefBrowserRef::HasDocument() { return Call<bool>(&Browser::has_document); }
RefPtr<ICefBase> TCefBrowserRef::GetClient() { return Call<RefPtr<ICefBase>>(&Browser::get_client); }
RefPtr<ICefFrame> TCefBrowserRef::GetMainFrame() { return Call<RefPtr<ICefFrame>>(&Browser::get_main_frame); }
RefPtr<ICefFrame> TCefBrowserRef::GetFocusedFrame() {
  return Call<RefPtr<ICefFrame>>(&Browser::get_focused_frame);
}
RefPtr<ICefFrame> TCefBrowserRef::GetFrame(const ustring& name) {
  return Call<RefPtr<ICefFrame>>(&Browser::get_frame, name);
}

void TCefBrowserRef::GetFrameNames(std::vector<ustring>& names) {
  CefOwnedStringList list;  // freed also when reading raises
  Call(&Browser::get_frame_names, list.Handle());
  list.ReadInto(names);
}

// The engine takes the identifier first, widened to its integer.
void TCefBrowserRef::Find(const ustring& searchText, uint8_t identifier, bool forward, bool matchCase,
                          bool findNext) {
  Call(&Browser::find, int{identifier}, searchText, forward, matchCase, findNext);
}

void TCefBrowserRef::StopFinding(bool clearSelection) { Call(&Browser::stop_finding, clearSelection); }
double TCefBrowserRef::GetZoomLevel() { return Call<double>(&Browser::get_zoom_level); }
void TCefBrowserRef::SetZoomLevel(double zoomLevel) { Call(&Browser::set_zoom_level, zoomLevel); }
void TCefBrowserRef::ClearHistory() { Call(&Browser::clear_history); }
void TCefBrowserRef::ShowDevTools() { Call(&Browser::show_dev_tools); }
void TCefBrowserRef::CloseDevTools() { Call(&Browser::close_dev_tools); }
bool TCefBrowserRef::IsWindowRenderingDisabled() {
  return Call<bool>(&Browser::is_window_rendering_disabled);
}
bool TCefBrowserRef::GetSize(cef_paint_element_type_t type, int& width, int& height) {
  return Call<bool>(&Browser::get_size, type, &width, &height);
}
void TCefBrowserRef::SetSize(cef_paint_element_type_t type, int width, int height) {
  Call(&Browser::set_size, type, width, height);
}
bool TCefBrowserRef::IsPopupVisible() { return Call<bool>(&Browser::is_popup_visible); }
void TCefBrowserRef::HidePopup() { Call(&Browser::hide_popup); }
void TCefBrowserRef::Invalidate(const cef_rect_t& dirtyRect) { Call(&Browser::invalidate, &dirtyRect); }
bool TCefBrowserRef::GetImage(cef_paint_element_type_t type, int width, int height, void* buffer) {
  return Call<bool>(&Browser::get_image, type, width, height, buffer);
}
void TCefBrowserRef::SendKeyEvent(cef_key_type_t type, const cef_key_info_t& keyInfo, int modifiers) {
  Call(&Browser::send_key_event, type, &keyInfo, modifiers);
}
void TCefBrowserRef::SendMouseClickEvent(int x, int y, cef_mouse_button_type_t type, bool mouseUp,
                                         int clickCount) {
  Call(&Browser::send_mouse_click_event, x, y, type, mouseUp, clickCount);
}
void TCefBrowserRef::SendMouseMoveEvent(int x, int y, bool mouseLeave) {
  Call(&Browser::send_mouse_move_event, x, y, mouseLeave);
}
void TCefBrowserRef::SendMouseWheelEvent(int x, int y, int deltaX, int deltaY) {
  Call(&Browser::send_mouse_wheel_event, x, y, deltaX, deltaY);
}
void TCefBrowserRef::SendFocusEvent(bool setFocus) { Call(&Browser::send_focus_event, setFocus); }
void TCefBrowserRef::SendCaptureLostEvent() { Call(&Browser::send_capture_lost_event); }

// ---- frame ----------------------------------------------------------------------------

using Frame = cef_frame_t;

void TCefFrameRef::Undo() { Call(&Frame::undo); }
void TCefFrameRef::Redo() { Call(&Frame::redo); }
void TCefFrameRef::Cut() { Call(&Frame::cut); }
void TCefFrameRef::Copy() { Call(&Frame::copy); }
void TCefFrameRef::Paste() { Call(&Frame::paste); }
void TCefFrameRef::Del() { Call(&Frame::del); }
void TCefFrameRef::SelectAll() { Call(&Frame::select_all); }
void TCefFrameRef::Print() { Call(&Frame::print); }
void TCefFrameRef::ViewSource() { Call(&Frame::view_source); }
ustring TCefFrameRef::GetSource() { return Call<ustring>(&Frame::get_source); }
ustring TCefFrameRef::GetText() { return Call<ustring>(&Frame::get_text); }
void TCefFrameRef::LoadRequest(const RefPtr<ICefRequest>& request) { Call(&Frame::load_request, request); }
void TCefFrameRef::LoadUrl(const ustring& url) { Call(&Frame::load_url, url); }
void TCefFrameRef::LoadString(const ustring& str, const ustring& url) { Call(&Frame::load_string, str, url); }

// The engine's reference to the reader keeps it, and an owned stream, alive after the
// call returns.
void TCefFrameRef::LoadReader(const RefPtr<ICefStreamReader>& reader, const ustring& url) {
  if (reader) Call(&Frame::load_stream, reader, url);
}
void TCefFrameRef::LoadStream(std::unique_ptr<std::istream> stream, const ustring& url) {
  LoadReader(TCefStreamReaderRef::CreateForStream(std::move(stream)), url);
}
void TCefFrameRef::LoadStream(std::istream& stream, const ustring& url) {
  LoadReader(TCefStreamReaderRef::CreateForStream(stream), url);
}
void TCefFrameRef::LoadFile(const ustring& fileName, const ustring& url) {
  LoadReader(TCefStreamReaderRef::CreateForFile(fileName), url);
}

void TCefFrameRef::ExecuteJavaScript(const ustring& code, const ustring& scriptUrl, int startLine) {
  Call(&Frame::execute_java_script, code, scriptUrl, startLine);
}
bool TCefFrameRef::IsMain() { return Call<bool>(&Frame::is_main); }
bool TCefFrameRef::IsFocused() { return Call<bool>(&Frame::is_focused); }
ustring TCefFrameRef::GetName() { return Call<ustring>(&Frame::get_name); }
int64_t TCefFrameRef::GetIdentifier() { return Call<int64_t>(&Frame::get_identifier); }
RefPtr<ICefFrame> TCefFrameRef::GetParent() { return Call<RefPtr<ICefFrame>>(&Frame::get_parent); }
ustring TCefFrameRef::GetUrl() { return Call<ustring>(&Frame::get_url); }
RefPtr<ICefBrowser> TCefFrameRef::GetBrowser() { return Call<RefPtr<ICefBrowser>>(&Frame::get_browser); }
void TCefFrameRef::VisitDom(const RefPtr<ICefDomVisitor>& visitor) { Call(&Frame::visit_dom, visitor); }
void TCefFrameRef::VisitDomProc(const TCefFastDomVisitorProc& proc) {
  VisitDom(Make<TCefFastDomVisitor>(proc));
}
RefPtr<ICefv8Context> TCefFrameRef::GetV8Context() {
  return Call<RefPtr<ICefv8Context>>(&Frame::get_v8context);
}

// ---- browser creation -----------------------------------------------------------------

bool CefBrowserCreate(cef_window_info_t& windowInfo, const RefPtr<ICefBase>& client, const ustring& url,
                      const cef_browser_settings_t& settings) {
  CefEnsureEngine();
  // The client goes with one reference for the engine, taken only now that the engine
  // runs, so a failed start leaves none behind.
  return CefCallExport<bool>(cef_browser_create, &windowInfo, client, url, &settings);
}

RefPtr<ICefBrowser> CefBrowserCreateSync(cef_window_info_t& windowInfo, const RefPtr<ICefBase>& client,
                                         const ustring& url, const cef_browser_settings_t& settings) {
  CefEnsureEngine();
  return CefCallExport<RefPtr<ICefBrowser>>(cef_browser_create_sync, &windowInfo, client, url, &settings);
}

}  // namespace ceflib
