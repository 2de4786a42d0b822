// Native script: registers the extension "example/math", whose script functions call
// C++ lambdas, then evaluates script that calls them in a page and prints each result
// or the exception it raised.
#include <cstdio>
#include <functional>
#include <map>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/core/engine_library.h"

using namespace ceflib;

// A native function as a lambda: arguments in, the result out, or the text of the
// script exception it raises.
using TNativeFunction =
    std::function<RefPtr<ICefV8Value>(const TCefv8ValueArray& arguments, ustring& exception)>;

class TLambdaHandler : public TCefv8HandlerOwn {
 public:
  std::map<ustring, TNativeFunction> functions;
  bool Execute(const ustring& name, const RefPtr<ICefV8Value>&, const TCefv8ValueArray& arguments,
               RefPtr<ICefV8Value>& retval, ustring& exception) override {
    auto function = functions.find(name);
    if (function == functions.end()) return false;
    retval = function->second(arguments, exception);
    return true;
  }
};

// Script of the extension: `native function NAME();` declares a function of the handler.
const ustring kExtension =
    u"var example = {};"
    u"example.add = function(a, b) { native function Add(); return Add(a, b); };"
    u"example.greet = function(name) { native function Greet(); return Greet(name); };";

const ustring kScripts[] = {u"example.add(2, 3)", u"example.greet('script')", u"example.add('two', 3)",
                            u"example.add(example.add(1, 2), 4) * 10"};

// When the page has loaded, evaluates each script in its context and closes the browser.
class TLoad : public TCefLoadHandlerOwn {
 public:
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, int) override {
    if (!frame || !frame->IsMain()) return;
    RefPtr<ICefv8Context> context = frame->GetV8Context();
    for (const ustring& script : kScripts) {
      RefPtr<ICefV8Value> result;
      RefPtr<ICefV8Exception> exception;
      if (context->Eval(script, result, exception)) {
        if (result->IsString())
          std::printf("%s = %s\n", CefToUtf8(script).c_str(), CefToUtf8(result->GetStringValue()).c_str());
        else
          std::printf("%s = %d\n", CefToUtf8(script).c_str(), result->GetIntValue());
      } else {
        std::printf("%s threw %s\n", CefToUtf8(script).c_str(), CefToUtf8(exception->GetMessage()).c_str());
      }
    }
    browser->CloseBrowser();
  }
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { cef_quit_message_loop(); }
};

class TClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetLoadHandler() override { return FLoad; }
  RefPtr<ICefBase> GetLifeSpanHandler() override { return FLifeSpan; }

 private:
  RefPtr<ICefBase> FLoad = Make<TLoad>();
  RefPtr<ICefBase> FLifeSpan = Make<TLifeSpan>();
};

int main() {
  {
    auto handler = Make<TLambdaHandler>();
    handler->functions[u"Add"] = [](const TCefv8ValueArray& arguments, ustring& exception) {
      if (arguments.size() != 2 || !arguments[0]->IsInt() || !arguments[1]->IsInt()) {
        exception = u"Add needs two whole numbers";
        return RefPtr<ICefV8Value>();
      }
      return TCefv8ValueRef::CreateInt(arguments[0]->GetIntValue() + arguments[1]->GetIntValue());
    };
    handler->functions[u"Greet"] = [](const TCefv8ValueArray& arguments, ustring&) {
      return TCefv8ValueRef::CreateString(u"Hello, " + arguments.at(0)->GetStringValue() + u"!");
    };
    // Starts the engine; the extension is part of every page's script from now on.
    if (!CefRegisterExtension(u"example/math", kExtension, handler)) {
      std::fprintf(stderr, "the engine refused the extension\n");
      return 1;
    }
    auto client = Make<TClient>();
    cef_window_info_t window{};
#if defined(_WIN32)
    window.m_dwStyle = 0x80000000;  // WS_POPUP without WS_VISIBLE: it stays hidden
#endif
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    CefBrowserCreate(window, client, u"about:blank", settings);
    CefRunMessageLoop();  // until OnBeforeClose quits it
  }
  CefShutdownEngine();
  return 0;
}
