#include <gtest/gtest.h>

#include <sstream>
#include <typeinfo>

#include "ceflib/bridges/dom_visitor.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/v8.h"
#include "wrappers/operation_check.h"

#undef LoadString  // windows.h's name for LoadStringW; here the frame's operation

using namespace ceflib;

namespace {

using Browser = cef_browser_t;
using Frame = cef_frame_t;

TEST(BrowserWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Browser::parent_window_will_close, ICefBrowser::ParentWindowWillClose);
  CHECK_OPERATION(Browser::close_browser, ICefBrowser::CloseBrowser);
  CHECK_OPERATION(Browser::can_go_back, ICefBrowser::CanGoBack);
  CHECK_OPERATION(Browser::go_back, ICefBrowser::GoBack);
  CHECK_OPERATION(Browser::can_go_forward, ICefBrowser::CanGoForward);
  CHECK_OPERATION(Browser::go_forward, ICefBrowser::GoForward);
  CHECK_OPERATION(Browser::reload, ICefBrowser::Reload);
  CHECK_OPERATION(Browser::reload_ignore_cache, ICefBrowser::ReloadIgnoreCache);
  CHECK_OPERATION(Browser::stop_load, ICefBrowser::StopLoad);
  CHECK_OPERATION(Browser::set_focus, ICefBrowser::SetFocus);
  CHECK_OPERATION(Browser::get_window_handle, ICefBrowser::GetWindowHandle);
  CHECK_OPERATION(Browser::get_opener_window_handle, ICefBrowser::GetOpenerWindowHandle);
  CHECK_OPERATION(Browser::get_identifier, ICefBrowser::GetIdentifier);
  CHECK_OPERATION(Browser::is_popup, ICefBrowser::IsPopup);
  CHECK_OPERATION(Browser::has_document, ICefBrowser::HasDocument);
  CHECK_OPERATION(Browser::get_client, ICefBrowser::GetClient);
  CHECK_OPERATION(Browser::get_main_frame, ICefBrowser::GetMainFrame);
  CHECK_OPERATION(Browser::get_focused_frame, ICefBrowser::GetFocusedFrame);
  CHECK_OPERATION(Browser::get_frame, ICefBrowser::GetFrame);
  CHECK_OPERATION(Browser::stop_finding, ICefBrowser::StopFinding);
  CHECK_OPERATION(Browser::get_zoom_level, ICefBrowser::GetZoomLevel);
  CHECK_OPERATION(Browser::set_zoom_level, ICefBrowser::SetZoomLevel);
  CHECK_OPERATION(Browser::clear_history, ICefBrowser::ClearHistory);
  CHECK_OPERATION(Browser::show_dev_tools, ICefBrowser::ShowDevTools);
  CHECK_OPERATION(Browser::close_dev_tools, ICefBrowser::CloseDevTools);
  CHECK_OPERATION(Browser::is_window_rendering_disabled, ICefBrowser::IsWindowRenderingDisabled);
  CHECK_OPERATION(Browser::get_size, ICefBrowser::GetSize);
  CHECK_OPERATION(Browser::set_size, ICefBrowser::SetSize);
  CHECK_OPERATION(Browser::is_popup_visible, ICefBrowser::IsPopupVisible);
  CHECK_OPERATION(Browser::hide_popup, ICefBrowser::HidePopup);
  CHECK_OPERATION(Browser::invalidate, ICefBrowser::Invalidate);
  CHECK_OPERATION(Browser::get_image, ICefBrowser::GetImage);
  CHECK_OPERATION(Browser::send_key_event, ICefBrowser::SendKeyEvent);
  CHECK_OPERATION(Browser::send_mouse_click_event, ICefBrowser::SendMouseClickEvent);
  CHECK_OPERATION(Browser::send_mouse_move_event, ICefBrowser::SendMouseMoveEvent);
  CHECK_OPERATION(Browser::send_mouse_wheel_event, ICefBrowser::SendMouseWheelEvent);
  CHECK_OPERATION(Browser::send_focus_event, ICefBrowser::SendFocusEvent);
  CHECK_OPERATION(Browser::send_capture_lost_event, ICefBrowser::SendCaptureLostEvent);
}

TEST(BrowserWrapper, FindPassesTheIdentifierFirstWidenedWithoutSign) {
  FakeRecord<Browser> engine;
  ustring text = u"needle";
  std::vector<std::vector<int>> calls;
  engine.On<&Browser::find>(
      [&](int identifier, const cef_string_t* searchText, int forward, int matchCase, int findNext) {
        EXPECT_EQ(searchText->str, text.data());
        calls.push_back({identifier, forward, matchCase, findNext});
      });
  RefPtr<ICefBrowser> browser = TCefBrowserRef::UnWrap(engine.get());
  browser->Find(text, 200, true, false, true);
  browser->Find(text, 7, false, true, false);
  EXPECT_EQ(calls, (std::vector<std::vector<int>>{{200, 1, 0, 1}, {7, 0, 1, 0}}));
}

TEST(BrowserWrapper, EachGetterCallMakesItsOwnWrapperOfTheSameFrame) {
  FakeRecord<Browser> engine;
  FakeEngineObject<Frame> frame;
  frame.refs = 0;
  engine.On<&Browser::get_main_frame>([&] {
    ++frame.refs;  // the engine hands over one reference per call
    return frame.get();
  });
  RefPtr<ICefBrowser> browser = TCefBrowserRef::UnWrap(engine.get());
  RefPtr<ICefFrame> first = browser->GetMainFrame();
  RefPtr<ICefFrame> second = browser->GetMainFrame();
  EXPECT_NE(first.get(), second.get()) << "wrappers are not cached";
  EXPECT_EQ(static_cast<void*>(first->Wrap()), static_cast<void*>(second->Wrap()));
  frame.refs -= 2;  // the two references Wrap added
  EXPECT_EQ(frame.refs, 2);
  first.reset();
  second.reset();
  EXPECT_EQ(frame.refs, 0) << "each wrapper released its own reference";
}

TEST(BrowserWrapper, GetClientGivesAPlainBaseWrapper) {
  FakeRecord<Browser> engine;
  FakeEngineObject<cef_client_t> client;
  engine.On<&Browser::get_client>([&] { return client.get(); });
  RefPtr<ICefBase> wrapper = TCefBrowserRef::UnWrap(engine.get())->GetClient();
  ASSERT_NE(wrapper, nullptr);
  EXPECT_EQ(typeid(*wrapper), typeid(TCefBaseRef)) << "offers Wrap only";
  EXPECT_EQ(dynamic_cast<TCefBaseOwn*>(wrapper.get()), nullptr) << "not the program's own client object";
  EXPECT_EQ(Cast<ICefBrowser>(wrapper), nullptr);
  wrapper.reset();
  EXPECT_EQ(client.refs, 0);
}

TEST(BrowserWrapper, GetFrameNamesAppendsTheEnginesNames) {
  FakeRecord<Browser> engine;
  std::vector<ustring> engineNames;
  engine.On<&Browser::get_frame_names>([&](cef_string_list_t list) {
    for (const ustring& name : engineNames) {
      cef_string_t view = CefStringView(name);
      cef_string_list_append(list, &view);
    }
  });
  RefPtr<ICefBrowser> browser = TCefBrowserRef::UnWrap(engine.get());
  int strings = engine_probe::LiveStrings();

  std::vector<ustring> names{u"kept"};
  browser->GetFrameNames(names);
  EXPECT_EQ(names, std::vector<ustring>{u"kept"}) << "no names leave the list unchanged";

  engineNames = {u"main", u"", u"side \u00e9"};
  browser->GetFrameNames(names);
  EXPECT_EQ(names, (std::vector<ustring>{u"kept", u"main", u"", u"side \u00e9"}));
  EXPECT_EQ(engine_probe::LiveStrings(), strings) << "the engine list and its texts are freed";
}

TEST(FrameWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Frame::undo, ICefFrame::Undo);
  CHECK_OPERATION(Frame::redo, ICefFrame::Redo);
  CHECK_OPERATION(Frame::cut, ICefFrame::Cut);
  CHECK_OPERATION(Frame::copy, ICefFrame::Copy);
  CHECK_OPERATION(Frame::paste, ICefFrame::Paste);
  CHECK_OPERATION(Frame::del, ICefFrame::Del);
  CHECK_OPERATION(Frame::select_all, ICefFrame::SelectAll);
  CHECK_OPERATION(Frame::print, ICefFrame::Print);
  CHECK_OPERATION(Frame::view_source, ICefFrame::ViewSource);
  CHECK_OPERATION(Frame::get_source, ICefFrame::GetSource);
  CHECK_OPERATION(Frame::get_text, ICefFrame::GetText);
  CHECK_OPERATION(Frame::load_request, ICefFrame::LoadRequest);
  CHECK_OPERATION(Frame::load_url, ICefFrame::LoadUrl);
  CHECK_OPERATION(Frame::load_string, ICefFrame::LoadString);
  CHECK_OPERATION(Frame::execute_java_script, ICefFrame::ExecuteJavaScript);
  CHECK_OPERATION(Frame::is_main, ICefFrame::IsMain);
  CHECK_OPERATION(Frame::is_focused, ICefFrame::IsFocused);
  CHECK_OPERATION(Frame::get_name, ICefFrame::GetName);
  CHECK_OPERATION(Frame::get_identifier, ICefFrame::GetIdentifier);
  CHECK_OPERATION(Frame::get_parent, ICefFrame::GetParent);
  CHECK_OPERATION(Frame::get_url, ICefFrame::GetUrl);
  CHECK_OPERATION(Frame::get_browser, ICefFrame::GetBrowser);
  CHECK_OPERATION(Frame::get_v8context, ICefFrame::GetV8Context);
}

// The engine's stream reader factories, played by the tests below.
FakeRecord<cef_stream_reader_t>* gReader = nullptr;
cef_read_handler_t* gHandler = nullptr;
ustring gFileName;

cef_stream_reader_t* ReaderForHandler(cef_read_handler_t* handler) {
  gHandler = handler;  // the engine keeps the reference that came with it
  return gReader->get();
}
cef_stream_reader_t* ReaderForFile(const cef_string_t* fileName) {
  gFileName = CefStringRead(fileName);
  return gReader ? gReader->get() : nullptr;
}

class FrameLoading : public testing::Test {
 protected:
  FrameLoading() {
    gReader = &reader;
    gHandler = nullptr;
    frame.On<&Frame::load_stream>([this](cef_stream_reader_t* stream, const cef_string_t* url) {
      loaded.push_back(CefStringRead(url));
      EXPECT_EQ(stream, reader.get());
      EXPECT_EQ(reader.refs, 2) << "the engine got a reference of its own";
      reader.refs--;
    });
  }
  ~FrameLoading() override { gReader = nullptr; }

  RefPtr<ICefFrame> Wrapped() { return TCefFrameRef::UnWrap(frame.get()); }
  // Reads what the engine would read through the program's reader.
  std::string ReadThroughHandler() {
    char buffer[64] = {};
    size_t n = gHandler->read(gHandler, buffer, 1, sizeof buffer);
    return std::string(buffer, n);
  }

  FakeRecord<Frame> frame;
  FakeRecord<cef_stream_reader_t> reader;
  std::vector<ustring> loaded;
};

// A stream that notes its destruction.
struct TrackedStream : std::istringstream {
  TrackedStream(const std::string& text, bool* destroyed) : std::istringstream(text), destroyed(destroyed) {}
  ~TrackedStream() override { *destroyed = true; }
  bool* destroyed;
};

TEST_F(FrameLoading, LoadStreamHandsTheEngineAReaderThatKeepsAnOwnedStreamAlive) {
  ScopedExport entry(cef_stream_reader_create_for_handler, &ReaderForHandler);
  bool destroyed = false;
  Wrapped()->LoadStream(std::make_unique<TrackedStream>("page text", &destroyed), u"http://x/");
  EXPECT_EQ(loaded, std::vector<ustring>{u"http://x/"});
  ASSERT_NE(gHandler, nullptr);
  EXPECT_EQ(gHandler->base.get_refct(&gHandler->base), 1) << "only the engine holds the program's reader";
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(ReadThroughHandler(), "page text");
  gHandler->base.release(&gHandler->base);
  EXPECT_TRUE(destroyed) << "the owned stream goes with the reader";
}

TEST_F(FrameLoading, LoadStreamOfABorrowedStreamLeavesItToItsOwner) {
  ScopedExport entry(cef_stream_reader_create_for_handler, &ReaderForHandler);
  bool destroyed = false;
  {
    TrackedStream stream("borrowed", &destroyed);
    Wrapped()->LoadStream(stream, u"about:blank");
    EXPECT_EQ(ReadThroughHandler(), "borrowed");
    gHandler->base.release(&gHandler->base);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(stream.tellg(), 8) << "the stream stays usable";
  }
  EXPECT_TRUE(destroyed);
}

TEST_F(FrameLoading, LoadFileLoadsWhatTheEngineOpensAndNothingElse) {
  ScopedExport entry(cef_stream_reader_create_for_file, &ReaderForFile);
  Wrapped()->LoadFile(u"page.html", u"http://x/page");
  EXPECT_EQ(gFileName, u"page.html");
  EXPECT_EQ(loaded, std::vector<ustring>{u"http://x/page"});

  gReader = nullptr;  // the engine cannot open the file
  loaded.clear();
  EXPECT_NO_THROW(Wrapped()->LoadFile(u"missing.html", u"http://x/missing"));
  EXPECT_EQ(gFileName, u"missing.html");
  EXPECT_TRUE(loaded.empty()) << "no loading member is called";
}

TEST(FrameWrapper, VisitDomProcGivesTheProcTheDocumentWhileTheEngineVisits) {
  FakeRecord<Frame> frame;
  FakeEngineObject<cef_domdocument_t> document;
  auto token = std::make_shared<int>(0);  // held by the procedure, so by the visitor
  std::vector<void*> seen;
  frame.On<&Frame::visit_dom>([&](cef_domvisitor_t* visitor) {
    EXPECT_EQ(visitor->base.get_refct(&visitor->base), 2) << "the call's own reference and the engine's";
    visitor->visit(visitor, document.get());  // hands over the document's reference
    visitor->base.release(&visitor->base);
  });
  TCefFrameRef::UnWrap(frame.get())->VisitDomProc([&, token](const RefPtr<ICefDomDocument>& doc) {
    seen.push_back(doc->Wrap());
    document.refs--;
  });
  EXPECT_EQ(seen, std::vector<void*>{document.get()});
  EXPECT_EQ(document.refs, 0) << "the visitor released the document";
  EXPECT_EQ(token.use_count(), 1) << "the visitor went with the engine's reference";
}

// ---- browser creation -----------------------------------------------------------------

struct CreateCall {
  cef_window_info_t* windowInfo;
  cef_client_t* client;
  ustring url;
  const cef_browser_settings_t* settings;
};
std::vector<CreateCall> gCreated;
int gCreateAnswer = 0;

int FakeBrowserCreate(cef_window_info_t* windowInfo, cef_client_t* client, const cef_string_t* url,
                      const cef_browser_settings_t* settings) {
  gCreated.push_back({windowInfo, client, CefStringRead(url), settings});
  if (client) client->base.release(&client->base);  // the engine is done with it
  return gCreateAnswer;
}

TEST(BrowserCreation, PassesTheRecordsThroughAndTheClientWithOneReference) {
  ScopedExport entry(cef_browser_create, &FakeBrowserCreate);
  gCreated.clear();
  cef_window_info_t windowInfo{};
  cef_browser_settings_t settings{};
  settings.size = sizeof settings;
  RefPtr<ICefBase> client = Make<TCefDomVisitorOwn>();  // any program object
  cef_base_t* clientRecord = Cast<TCefBaseOwn>(client)->Data();

  gCreateAnswer = 2;
  EXPECT_TRUE(CefBrowserCreate(windowInfo, client, u"http://x/login.php", settings));
  gCreateAnswer = 0;
  EXPECT_FALSE(CefBrowserCreate(windowInfo, client, u"", settings));

  ASSERT_EQ(gCreated.size(), 2u);
  EXPECT_EQ(gCreated[0].windowInfo, &windowInfo);
  EXPECT_EQ(gCreated[0].settings, &settings);
  EXPECT_EQ(static_cast<void*>(gCreated[0].client), static_cast<void*>(clientRecord));
  EXPECT_EQ(gCreated[0].url, u"http://x/login.php");
  EXPECT_EQ(clientRecord->get_refct(clientRecord), 1) << "the engine's references were its own";
}

}  // namespace
