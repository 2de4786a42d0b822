// The extension registry, the rewrite of native function declarations, and the calls
// from those declarations into the extension's handler.
#include "script/extensions.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "cef_engine.h"
#include "dom/text_util.h"
#include "runtime/runtime.h"
#include "script/context.h"
#include "strings/text.h"

namespace cef_engine::script {
namespace {

constexpr const char* kNativeName = "__cef_native";

struct Extension {
  std::u16string name;
  std::u16string code;  // rewritten
  ProgramRef<cef_v8handler_t> handler;
};

struct Registry {
  std::mutex mutex;
  std::vector<Extension> extensions;
};

Registry& Extensions() {
  static Registry registry;
  return registry;
}

bool IsIdentifierChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
         c == u'$' || c > 0x7F;
}

// Matches `native function NAME(params);` at `pos`; fills the parts and the end.
bool MatchNative(std::u16string_view code, size_t pos, std::u16string& name, std::u16string& params,
                 size_t& end) {
  auto skip_space = [&](size_t i) {
    while (i < code.size() && dom::IsSpace(code[i])) ++i;
    return i;
  };
  auto word = [&](size_t i, std::u16string_view expected) {
    return code.substr(i, expected.size()) == expected &&
           (i + expected.size() >= code.size() || !IsIdentifierChar(code[i + expected.size()]));
  };
  if (!word(pos, u"native")) return false;
  size_t i = skip_space(pos + 6);
  if (i == pos + 6 || !word(i, u"function")) return false;
  const size_t name_start = skip_space(i + 8);
  size_t name_end = name_start;
  while (name_end < code.size() && IsIdentifierChar(code[name_end])) ++name_end;
  if (name_end == name_start) return false;
  i = skip_space(name_end);
  if (i >= code.size() || code[i] != u'(') return false;
  const size_t close = code.find(u')', i);
  if (close == std::u16string_view::npos) return false;
  const size_t semicolon = skip_space(close + 1);
  if (semicolon >= code.size() || code[semicolon] != u';') return false;
  name.assign(code.substr(name_start, name_end - name_start));
  params.assign(code.substr(i + 1, close - i - 1));
  end = semicolon + 1;
  return true;
}

Outcome CallExtension(duk_context* ctx, duk_idx_t count) {
  const duk_int_t index = duk_get_int(ctx, 0);
  const std::u16string name = TextAt(ctx, 1);
  ProgramRef<cef_v8handler_t> handler;
  {
    Registry& registry = Extensions();
    std::lock_guard lock(registry.mutex);
    if (index >= 0 && static_cast<size_t>(index) < registry.extensions.size())
      handler =
          ProgramRef<cef_v8handler_t>::Retain(registry.extensions[static_cast<size_t>(index)].handler.get());
  }
  return CallHandler(ctx, handler.get(), name, 2, 4, count);
}

// __cef_native(extension, name, receiver, arguments). The arguments are spread on the
// stack here, where no C++ object is alive, since reading them may throw.
duk_ret_t NativeEntry(duk_context* ctx) {
  duk_set_top(ctx, 4);
  duk_idx_t count = 0;
  if (duk_is_object(ctx, 3)) {
    count = static_cast<duk_idx_t>(std::min<duk_size_t>(duk_get_length(ctx, 3), 4096));
    duk_require_stack(ctx, count);
    for (duk_idx_t k = 0; k < count; ++k) duk_get_prop_index(ctx, 3, static_cast<duk_uarridx_t>(k));
  }
  if (CallExtension(ctx, count) == Outcome::kThrow) return duk_throw(ctx);
  return 1;
}

std::u16string Decimal(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::u16string RewriteNativeDeclarations(std::u16string_view code, int extension) {
  std::u16string out;
  out.reserve(code.size());
  size_t i = 0;
  while (i < code.size()) {
    const char16_t c = code[i];
    // Strings and comments are copied as they are.
    if (c == u'"' || c == u'\'' || c == u'`') {
      size_t j = i + 1;
      while (j < code.size() && code[j] != c) j += code[j] == u'\\' ? 2 : 1;
      j = std::min(j + 1, code.size());
      out.append(code.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == u'/' && i + 1 < code.size() && (code[i + 1] == u'/' || code[i + 1] == u'*')) {
      const bool line = code[i + 1] == u'/';
      size_t j = code.find(line ? u"\n" : u"*/", i + 2);
      j = j == std::u16string_view::npos ? code.size() : j + (line ? 0 : 2);
      out.append(code.substr(i, j - i));
      i = j;
      continue;
    }
    std::u16string name, params;
    size_t end = 0;
    if ((i == 0 || !IsIdentifierChar(code[i - 1])) && MatchNative(code, i, name, params, end)) {
      out += u"function " + name + u"(" + params + u") { return __cef_native(" + Decimal(extension) +
             u", \"" + name + u"\", this, arguments); }";
      // Line breaks inside the declaration are kept so that line numbers stay right.
      for (size_t k = i; k < end; ++k)
        if (code[k] == u'\n') out += u'\n';
      i = end;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

void RunExtensions(ContextState& context) {
  std::vector<std::pair<std::u16string, std::u16string>> sources;
  {
    Registry& registry = Extensions();
    std::lock_guard lock(registry.mutex);
    for (const auto& extension : registry.extensions) sources.emplace_back(extension.name, extension.code);
  }
  if (sources.empty() || !context.valid()) return;
  duk_context* thread = context.thread();
  duk_push_global_object(thread);
  duk_push_string(thread, kNativeName);
  duk_push_c_function(thread, &NativeEntry, DUK_VARARGS);
  duk_def_prop(thread, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE | DUK_DEFPROP_HAVE_ENUMERABLE |
                   DUK_DEFPROP_HAVE_CONFIGURABLE);  // hidden from enumeration, fixed
  duk_pop(thread);
  for (const auto& [name, code] : sources) {
    if (context.hooks() && !context.hooks()->AllowExtension(name)) continue;
    if (!context.valid()) return;  // the permission handler closed the page
    ScriptError error;
    if (context.Evaluate(code, name, 1, false, &error))
      duk_pop(thread);
    else
      context.ReportError(error);
  }
}

}  // namespace cef_engine::script

extern "C" {

int cef_register_extension(const cef_string_t* extension_name, const cef_string_t* javascript_code,
                           cef_v8handler_t* handler) {
  using namespace cef_engine;
  auto held = ProgramRef<cef_v8handler_t>::Adopt(handler);
  const std::u16string name(ViewOf(extension_name));
  if (name.empty() || !Runtime::Get().Initialized()) return 0;
  auto& registry = script::Extensions();
  std::lock_guard lock(registry.mutex);
  for (const auto& extension : registry.extensions)
    if (extension.name == name) return 0;
  const int index = static_cast<int>(registry.extensions.size());
  registry.extensions.push_back(
      {name, script::RewriteNativeDeclarations(ViewOf(javascript_code), index), std::move(held)});
  if (index == 0) {
    // The engine keeps the handlers until it shuts down.
    Runtime::Get().AtShutdown([] {
      std::vector<script::Extension> released;
      {
        std::lock_guard relock(script::Extensions().mutex);
        released.swap(script::Extensions().extensions);
      }
    });
  }
  return 1;
}

}  // extern "C"
