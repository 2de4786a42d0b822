// Cookie manager records over cookie stores, and the two exports that make them. Each
// record holds its store; the engine's shared store outlives its records until shutdown.
#include <memory>
#include <utility>
#include <vector>

#include "cef_engine.h"
#include "net/cookies.h"
#include "net/text_util.h"
#include "runtime/runtime.h"
#include "runtime/time_record.h"
#include "strings/text.h"

namespace cef_engine::net {
namespace {

std::u16string Text(const cef_string_t* text) { return std::u16string(ViewOf(text)); }

class CookieManager final : public EngineObject<cef_cookie_manager_t> {
 public:
  explicit CookieManager(std::shared_ptr<CookieStore> store) : store_(std::move(store)) {
    record()->set_supported_schemes = &SetSupportedSchemes;
    record()->visit_all_cookies = &VisitAll;
    record()->visit_url_cookies = &VisitUrl;
    record()->set_cookie = &SetCookie;
    record()->delete_cookies = &DeleteCookies;
    record()->set_storage_path = &SetStoragePath;
  }
  const std::shared_ptr<CookieStore>& store() const { return store_; }

 private:
  static CookieStore& StoreOf(cef_cookie_manager_t* self) {
    return *static_cast<CookieManager*>(FromRecord(self))->store_;
  }

  static void CEF_CALLBACK SetSupportedSchemes(cef_cookie_manager_t* self, cef_string_list_t schemes) {
    std::vector<std::u16string> list;
    const int size = cef_string_list_size(schemes);
    for (int i = 0; i < size; ++i) {
      cef_string_t item{};
      cef_string_list_value(schemes, i, &item);
      list.push_back(Text(&item));
      ClearRecord(&item);
    }
    StoreOf(self).SetSupportedSchemes(std::move(list));
  }

  // The visitor runs on the IO thread: at once when called there, else from a task.
  template <class Pick>
  static int Visit(cef_cookie_manager_t* self, cef_cookie_visitor_t* visitor, Pick pick) {
    auto held =
        std::make_shared<ProgramRef<cef_cookie_visitor_t>>(ProgramRef<cef_cookie_visitor_t>::Adopt(visitor));
    if (!*held || !(*held)->visit) return 0;
    auto run = [store = static_cast<CookieManager*>(FromRecord(self))->store_, held, pick] {
      const std::vector<Cookie> cookies = pick(*store);
      const int total = static_cast<int>(cookies.size());
      for (int i = 0; i < total; ++i) {
        const Cookie& cookie = cookies[i];
        const std::u16string domain = cookie.host_only ? cookie.domain : u"." + cookie.domain;
        cef_cookie_t record{
            View(cookie.name),
            View(cookie.value),
            View(domain),
            View(cookie.path),
            cookie.secure,
            cookie.httponly,
            TimeFromMs(static_cast<double>(cookie.creation)),
            TimeFromMs(static_cast<double>(cookie.last_access)),
            cookie.has_expires,
            cookie.has_expires ? TimeFromMs(static_cast<double>(cookie.expires)) : cef_time_t{}};
        int remove = 0;
        const int go_on = (*held)->visit(held->get(), &record, i, total, &remove);
        if (remove) store->Remove(cookie);
        if (!go_on) break;
      }
      held->Reset();
    };
    auto& runtime = Runtime::Get();
    if (runtime.CurrentlyOn(TID_IO)) {
      run();
      return 1;
    }
    return runtime.PostWork(TID_IO, std::move(run)) ? 1 : 0;
  }
  static int CEF_CALLBACK VisitAll(cef_cookie_manager_t* self, cef_cookie_visitor_t* visitor) {
    return Visit(self, visitor, [](CookieStore& store) { return store.All(); });
  }
  static int CEF_CALLBACK VisitUrl(cef_cookie_manager_t* self, const cef_string_t* url, int include_httponly,
                                   cef_cookie_visitor_t* visitor) {
    const auto parsed = ParseUrl(ViewOf(url));
    if (!parsed) {
      DropHandedOver(visitor);
      return 0;
    }
    return Visit(self, visitor, [url = *parsed, include_httponly](CookieStore& store) {
      return store.ForUrl(url, include_httponly != 0);
    });
  }

  // Changes come on the IO thread only, as the interface says; elsewhere they are refused.
  static int CEF_CALLBACK SetCookie(cef_cookie_manager_t* self, const cef_string_t* url,
                                    const cef_cookie_t* cookie) {
    if (!cookie || !Runtime::Get().CurrentlyOn(TID_IO)) return 0;
    const auto parsed = ParseUrl(ViewOf(url));
    if (!parsed || parsed->host.empty()) return 0;
    Cookie fields;
    fields.name = Text(&cookie->name);
    fields.value = Text(&cookie->value);
    fields.domain = Text(&cookie->domain);
    fields.path = Text(&cookie->path);
    fields.secure = cookie->secure;
    fields.httponly = cookie->httponly;
    fields.has_expires = cookie->has_expires;
    if (fields.has_expires) fields.expires = static_cast<int64_t>(MsFromTime(cookie->expires));
    return StoreOf(self).SetFromFields(*parsed, std::move(fields)) ? 1 : 0;
  }
  static int CEF_CALLBACK DeleteCookies(cef_cookie_manager_t* self, const cef_string_t* url,
                                        const cef_string_t* name) {
    if (!Runtime::Get().CurrentlyOn(TID_IO)) return 0;
    if (ViewOf(url).empty()) {
      StoreOf(self).DeleteAll();
      return 1;
    }
    const auto parsed = ParseUrl(ViewOf(url));
    if (!parsed || parsed->host.empty()) return 0;
    StoreOf(self).Delete(*parsed, ViewOf(name));
    return 1;
  }
  static int CEF_CALLBACK SetStoragePath(cef_cookie_manager_t* self, const cef_string_t* path) {
    return StoreOf(self).SetFolder(Text(path)) ? 1 : 0;
  }

  std::shared_ptr<CookieStore> store_;
};

}  // namespace

std::shared_ptr<CookieStore> CookieStoreOf(cef_cookie_manager_t* manager) {
  if (!EngineObject<cef_cookie_manager_t>::IsOurs(manager)) return nullptr;
  return static_cast<CookieManager*>(EngineObject<cef_cookie_manager_t>::FromRecord(manager))->store();
}

}  // namespace cef_engine::net

extern "C" {

cef_cookie_manager_t* cef_cookie_manager_get_global_manager() {
  auto store = cef_engine::net::GlobalCookieStore();
  return store ? cef_engine::NewEngineRecord<cef_engine::net::CookieManager>(std::move(store)) : nullptr;
}

cef_cookie_manager_t* cef_cookie_manager_create_manager(const cef_string_t* path) {
  if (!cef_engine::Runtime::Get().Initialized()) return nullptr;
  auto store = cef_engine::net::MakeCookieStore(std::u16string(cef_engine::ViewOf(path)));
  return store ? cef_engine::NewEngineRecord<cef_engine::net::CookieManager>(std::move(store)) : nullptr;
}

}  // extern "C"
