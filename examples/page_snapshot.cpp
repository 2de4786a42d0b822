// Page snapshot: a script-context handler puts a C++ object, `app`, into every page before
// the page's scripts run, and a browser without a window writes its first paint of the
// loaded page to a PPM image. Prints what the page made of the object and what was painted.
// Usage: page_snapshot [IMAGE]   (default page.ppm)
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/render_handler.h"
#include "ceflib/bridges/script_handlers.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/core/engine_services.h"

using namespace ceflib;

// app.greet(name), answered in C++.
class TApp : public TCefv8HandlerOwn {
 public:
  bool Execute(const ustring& name, const RefPtr<ICefV8Value>&, const TCefv8ValueArray& arguments,
               RefPtr<ICefV8Value>& retval, ustring& exception) override {
    if (name != u"greet") return false;
    if (arguments.size() != 1 || !arguments[0]->IsString())
      exception = u"greet needs a name";
    else
      retval = TCefv8ValueRef::CreateString(u"Hello, " + arguments[0]->GetStringValue() + u", from C++");
    return true;
  }
};

// Every page's `window.app`: a version and the native function greet.
class TContexts : public TCefV8ContextHandlerOwn {
 public:
  void OnContextCreated(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                        const RefPtr<ICefv8Context>& context) override {
    auto app = TCefv8ValueRef::CreateObject(nullptr);
    app->SetValueByKey(u"version", TCefv8ValueRef::CreateString(u"1.0"), V8_PROPERTY_ATTRIBUTE_READONLY);
    app->SetValueByKey(u"greet", TCefv8ValueRef::CreateFunction(u"greet", FApp),
                       V8_PROPERTY_ATTRIBUTE_READONLY);
    context->GetGlobal()->SetValueByKey(u"app", app, V8_PROPERTY_ATTRIBUTE_READONLY);
    std::printf("context created for the %s frame\n", frame->IsMain() ? "main" : "child");
  }

 private:
  RefPtr<ICefv8Handler> FApp = Make<TApp>();
};

// The page, loaded: prints its title, which its own script made from `app`, and asks for
// a paint of the whole view.
class TLoad : public TCefLoadHandlerOwn {
 public:
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, int) override {
    if (!frame || !frame->IsMain()) return;
    RefPtr<ICefV8Value> title;
    RefPtr<ICefV8Exception> exception;
    if (frame->GetV8Context()->Eval(u"document.title", title, exception))
      std::printf("page title: %s\n", CefToUtf8(title->GetStringValue()).c_str());
    loaded = true;
    browser->Invalidate({0, 0, kWidth, kHeight});
  }
  static constexpr int kWidth = 480, kHeight = 240;
  bool loaded = false;
};

// Writes the first paint after the load as a binary PPM, then closes the browser.
class TRender : public TCefRenderHandlerOwn {
 public:
  TRender(std::string path, const RefPtr<TLoad>& load) : FPath(std::move(path)), FLoad(load) {}
  bool GetViewRect(const RefPtr<ICefBrowser>&, cef_rect_t& rect) override {
    rect = {0, 0, TLoad::kWidth, TLoad::kHeight};
    return true;
  }
  void OnPaint(const RefPtr<ICefBrowser>& browser, TCefPaintElementType, std::span<const cef_rect_t>,
               const void* buffer) override {
    int width = 0, height = 0;
    if (written || !FLoad->loaded || !browser->GetSize(PET_VIEW, width, height)) return;
    written = true;
    // The buffer is the engine's and lent for this call: everything is copied now.
    const auto* pixels = static_cast<const unsigned char*>(buffer);
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    FILE* out = std::fopen(FPath.c_str(), "wb");
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", FPath.c_str());
    } else {
      std::fprintf(out, "P6 %d %d 255\n", width, height);
      for (size_t i = 0; i < count; ++i) {
        const unsigned char rgb[3] = {pixels[4 * i + 2], pixels[4 * i + 1], pixels[4 * i]};  // from BGRA
        std::fwrite(rgb, 1, 3, out);
      }
      written = std::fclose(out) == 0;
    }
    // A blank view would mean nothing was drawn: some pixel differs from the first one.
    bool drawn = false;
    for (size_t i = 1; i < count && !drawn; ++i) drawn = std::memcmp(pixels + 4 * i, pixels, 4) != 0;
    std::printf("first paint: %d x %d, %s, written to %s\n", width, height,
                drawn ? "the page drawn" : "blank", FPath.c_str());
    browser->CloseBrowser();
  }
  bool written = false;

 private:
  std::string FPath;
  RefPtr<TLoad> FLoad;
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnAfterCreated(const RefPtr<ICefBrowser>& browser) override {
    browser->GetMainFrame()->LoadString(
        u"<html><head><title>-</title><script>"
        u"document.title = app.greet('page') + ' (app ' + app.version + ')';"
        u"</script></head><body><h1>Snapshot</h1><p>Painted without a window.</p></body></html>",
        u"http://example.test/");
  }
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { CefQuitMessageLoop(); }
};

class TClient : public TCefClientOwn {
 public:
  explicit TClient(const std::string& path) : render(Make<TRender>(path, load)) {}
  RefPtr<ICefBase> GetV8contextHandler() override { return contexts; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetRenderHandler() override { return render; }
  RefPtr<ICefBase> GetLifeSpanHandler() override { return life_span; }

  RefPtr<TContexts> contexts = Make<TContexts>();
  RefPtr<TLoad> load = Make<TLoad>();
  RefPtr<TRender> render;
  RefPtr<TLifeSpan> life_span = Make<TLifeSpan>();
};

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "page.ppm";
  CefEnsureEngine();
  bool written = false;
  {
    auto client = Make<TClient>(path);
    cef_window_info_t info{};
    info.m_bWindowRenderingDisabled = 1;  // no window: the page comes to the render handler
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    if (CefBrowserCreate(info, client, u"", settings)) CefRunMessageLoop();  // until OnBeforeClose
    written = client->render->written;
  }
  CefShutdownEngine();
  return written ? 0 : 1;
}
