#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "bridge_test_support.h"
#include "ceflib/bridges/script_handlers.h"

using namespace ceflib;
using namespace bridge_test;

namespace {

// What the handlers below heard, and how they answer.
struct Script {
  std::string log;
  bool throws = false;
  void Heard(const std::string& line, bool objects) {
    log = line + (objects ? "" : " (an object missing)");
    if (throws) throw std::runtime_error("handler failed");
  }
};

std::string Narrow(const ustring& text) { return std::string(text.begin(), text.end()); }

class TContexts : public TCefV8ContextHandlerOwn {
 public:
  explicit TContexts(Script& s) : s_(s) {}
  void OnContextCreated(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f,
                        const RefPtr<ICefv8Context>& c) override {
    s_.Heard("created", b && f && c);
  }
  void OnContextReleased(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f,
                         const RefPtr<ICefv8Context>& c) override {
    s_.Heard("released", b && f && c);
  }
  void OnUncaughtException(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f,
                           const RefPtr<ICefv8Context>& c, const RefPtr<ICefV8Exception>& e,
                           const RefPtr<ICefV8StackTrace>& t) override {
    s_.Heard("uncaught", b && f && c && e && t);
  }
  Script& s_;
};

class TDialogs : public TCefJsDialogHandlerOwn {
 public:
  explicit TDialogs(Script& s) : s_(s) {}
  bool OnJsAlert(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f, const ustring& message) override {
    s_.Heard("alert " + Narrow(message), b && f);
    return true;
  }
  bool OnJsConfirm(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f, const ustring& message,
                   bool& retval) override {
    retval = true;
    s_.Heard("confirm " + Narrow(message), b && f);
    return true;
  }
  bool OnJsPrompt(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f, const ustring& message,
                  const ustring& defaultValue, bool& retval, ustring& result) override {
    retval = true;
    result = u"typed " + defaultValue;
    s_.Heard("prompt " + Narrow(message), b && f);
    return true;
  }
  Script& s_;
};

class TPermissions : public TCefPermissionHandlerOwn {
 public:
  explicit TPermissions(Script& s) : s_(s) {}
  bool OnBeforeScriptExtensionLoad(const RefPtr<ICefBrowser>& b, const RefPtr<ICefFrame>& f,
                                   const ustring& name) override {
    s_.Heard("extension " + Narrow(name), b && f);
    return true;
  }
  Script& s_;
};

class ScriptHandlerEntries : public testing::Test {
 protected:
  void TearDown() override {
    for (auto* record : {contexts, dialogs, permissions}) ReleaseRecord(record);
    EXPECT_EQ(browser.refs + frame.refs + context.refs + exception.refs + trace.refs, 5) << "all handed back";
  }
  Script script;
  cef_v8context_handler_t* c = EngineRecord<cef_v8context_handler_t>(Make<TContexts>(script));
  cef_jsdialog_handler_t* d = EngineRecord<cef_jsdialog_handler_t>(Make<TDialogs>(script));
  cef_permission_handler_t* p = EngineRecord<cef_permission_handler_t>(Make<TPermissions>(script));
  cef_base_t *contexts = &c->base, *dialogs = &d->base, *permissions = &p->base;
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  FakeEngineObject<cef_v8context_t> context;
  FakeEngineObject<cef_v8exception_t> exception;
  FakeEngineObject<cef_v8stack_trace_t> trace;
};

// Each row calls one entry as the engine would and describes what the engine got back.
TEST_F(ScriptHandlerEntries, EachReachesItsMethodAndAThrowingHandlerGivesTheNeutralAnswer) {
  const ustring message = u"Sure?", name = u"v8/tessaril";
  const cef_string_t text = CefStringView(message), extension = CefStringView(name);
  struct Row {
    std::string heard, answered, answeredWhenThrowing;
    std::function<std::string()> call;
  };
  const Row rows[] = {
      {"created", "", "",
       [&] {
         c->on_context_created(c, HandOver(browser), HandOver(frame), HandOver(context));
         return std::string();
       }},
      {"released", "", "",
       [&] {
         c->on_context_released(c, HandOver(browser), HandOver(frame), HandOver(context));
         return std::string();
       }},
      {"uncaught", "", "",
       [&] {
         c->on_uncaught_exception(c, HandOver(browser), HandOver(frame), HandOver(context),
                                  HandOver(exception), HandOver(trace));
         return std::string();
       }},
      {"alert Sure?", "1", "0",
       [&] { return std::to_string(d->on_jsalert(d, HandOver(browser), HandOver(frame), &text)); }},
      {"confirm Sure?", "1 retval 1", "0 retval 7",
       [&] {
         int retval = 7;
         const int answer = d->on_jsconfirm(d, HandOver(browser), HandOver(frame), &text, &retval);
         return std::to_string(answer) + " retval " + std::to_string(retval);
       }},
      {"prompt Sure?", "1 retval 1 typed Sure?", "0 retval 7 as it was",
       [&] {
         int retval = 7;
         EngineString result(u"as it was");
         const int answer =
             d->on_jsprompt(d, HandOver(browser), HandOver(frame), &text, &text, &retval, result.get());
         return std::to_string(answer) + " retval " + std::to_string(retval) + " " + Narrow(result.Text());
       }},
      {"extension v8/tessaril", "1", "0",
       [&] {
         return std::to_string(
             p->on_before_script_extension_load(p, HandOver(browser), HandOver(frame), &extension));
       }},
  };
  for (const bool throws : {false, true}) {
    EntryExceptions reported;
    script.throws = throws;
    for (const Row& row : rows) {
      script.log.clear();
      EXPECT_EQ(row.call(), throws ? row.answeredWhenThrowing : row.answered) << row.heard;
      EXPECT_EQ(script.log, row.heard);
    }
    EXPECT_EQ(reported.messages.size(), throws ? std::size(rows) : 0u);
  }
}

TEST_F(ScriptHandlerEntries, DefaultsLetTheEngineShowItsOwnDialogsAndLoadEveryExtension) {
  auto* plainDialogs = EngineRecord<cef_jsdialog_handler_t>(Make<TCefJsDialogHandlerOwn>());
  auto* plainPermissions = EngineRecord<cef_permission_handler_t>(Make<TCefPermissionHandlerOwn>());
  const ustring message = u"m";
  const cef_string_t text = CefStringView(message);
  int retval = 7;
  EngineString result(u"kept");
  EXPECT_EQ(plainDialogs->on_jsalert(plainDialogs, nullptr, nullptr, &text), 0);
  EXPECT_EQ(plainDialogs->on_jsconfirm(plainDialogs, nullptr, nullptr, &text, &retval), 0);
  EXPECT_EQ(plainDialogs->on_jsprompt(plainDialogs, nullptr, nullptr, &text, &text, &retval, result.get()),
            0);
  EXPECT_EQ(plainPermissions->on_before_script_extension_load(plainPermissions, nullptr, nullptr, &text), 0);
  EXPECT_EQ(result.Text(), u"kept");
  ReleaseRecord(plainDialogs);
  ReleaseRecord(plainPermissions);
}

}  // namespace
