#include "net/schemes.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cef_engine.h"
#include "net/text_util.h"
#include "net/url.h"
#include "objects/immortal.h"
#include "runtime/runtime.h"
#include "strings/text.h"

namespace cef_engine::net {
namespace {

class Registry {
 public:
  void Set(std::u16string scheme, std::u16string host, SharedFactory factory) {
    SharedFactory old;
    std::lock_guard lock(mutex_);
    ArmShutdown();
    auto& slot = factories_[{std::move(scheme), std::move(host)}];
    old = std::exchange(slot, std::move(factory));
  }
  SharedFactory Find(std::u16string_view scheme, std::u16string_view host) {
    std::lock_guard lock(mutex_);
    for (const auto& key :
         {Key{std::u16string(scheme), std::u16string(host)}, Key{std::u16string(scheme), u""}}) {
      if (const auto it = factories_.find(key); it != factories_.end() && it->second) return it->second;
    }
    return nullptr;
  }
  // Lets the factories go outside the lock: a release may call back into the engine.
  void Clear() {
    std::map<Key, SharedFactory> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(factories_);
  }
  bool TakeAskOnce() {
    std::lock_guard lock(mutex_);
    ArmShutdown();
    return !std::exchange(asked_, true);
  }

 private:
  using Key = std::pair<std::u16string, std::u16string>;

  // The engine lets the factories go and forgets the custom schemes at shutdown.
  void ArmShutdown() {
    if (armed_ || !Runtime::Get().Initialized()) return;
    armed_ = true;
    Runtime::Get().AtShutdown([this] {
      Clear();
      ClearCustomSchemes();
      std::lock_guard lock(mutex_);
      armed_ = false;
      asked_ = false;
    });
  }

  std::mutex mutex_;
  std::map<Key, SharedFactory> factories_;
  bool asked_ = false;
  bool armed_ = false;
};

Registry& Factories() {
  static Immortal<Registry> registry;
  return *registry;
}

class SchemeRegistrar final : public EngineObject<cef_scheme_registrar_t> {
 public:
  SchemeRegistrar() { record()->add_custom_scheme = &AddCustomScheme; }

 private:
  static int CEF_CALLBACK AddCustomScheme(cef_scheme_registrar_t*, const cef_string_t* scheme,
                                          int is_standard, int, int) {
    return RegisterCustomScheme(ViewOf(scheme), is_standard != 0) ? 1 : 0;
  }
};

}  // namespace

SharedFactory FindSchemeHandlerFactory(std::u16string_view scheme, std::u16string_view host) {
  return Factories().Find(AsciiLower(scheme), AsciiLower(host));
}

void AskApplicationForCustomSchemes() {
  if (!Factories().TakeAskOnce()) return;
  auto app = Runtime::Get().App();
  if (!app || !app->on_register_custom_schemes) return;
  auto registrar = MakeEngineObject<SchemeRegistrar>();
  app->on_register_custom_schemes(app.get(), registrar->Share());
}

}  // namespace cef_engine::net

using cef_engine::ProgramRef;

extern "C" {

// A null factory removes the registration. The scheme must be a valid scheme name.
int cef_register_scheme_handler_factory(const cef_string_t* scheme_name, const cef_string_t* domain_name,
                                        cef_scheme_handler_factory_t* factory) {
  auto held = ProgramRef<cef_scheme_handler_factory_t>::Adopt(factory);
  const auto scheme = cef_engine::net::AsciiLower(cef_engine::ViewOf(scheme_name));
  if (!cef_engine::net::ParseUrl(scheme + u":x")) return 0;
  cef_engine::net::SharedFactory shared;
  if (held) shared = std::make_shared<ProgramRef<cef_scheme_handler_factory_t>>(std::move(held));
  cef_engine::net::Factories().Set(scheme, cef_engine::net::AsciiLower(cef_engine::ViewOf(domain_name)),
                                   std::move(shared));
  return 1;
}

int cef_clear_scheme_handler_factories() {
  cef_engine::net::Factories().Clear();
  return 1;
}

}  // extern "C"
