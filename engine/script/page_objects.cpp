// What page script sees of its page: document (write, writeln, title, getElementById,
// the element queries and collections, body, addEventListener, URL), window (open,
// addEventListener, onload, setTimeout, clearTimeout, location.href), console.log and
// element objects (click, listeners, queries, attributes, id, tagName, children, text,
// markup, value, the resolved src and href).
#include <algorithm>
#include <utility>

#include "dom/html_parser.h"
#include "dom/selectors.h"
#include "dom/text_util.h"
#include "runtime/runtime.h"
#include "script/context.h"

namespace cef_engine::script {
namespace {

constexpr const char* kContextId = DUK_HIDDEN_SYMBOL("context");
constexpr const char* kNode = DUK_HIDDEN_SYMBOL("node");
constexpr const char* kElementPrototype = DUK_HIDDEN_SYMBOL("elementPrototype");
constexpr const char* kDocument = DUK_HIDDEN_SYMBOL("document");
// What a listener asked of its event, read back when it returns.
constexpr const char* kCancelable = DUK_HIDDEN_SYMBOL("cancelable");
constexpr const char* kPrevented = DUK_HIDDEN_SYMBOL("prevented");
constexpr const char* kStopped = DUK_HIDDEN_SYMBOL("stopped");

enum Op : int {
  kWrite,
  kWriteln,
  kGetElementById,
  kTitleGet,
  kTitleSet,
  kCookieGet,
  kCookieSet,
  kConsoleLog,
  kWindowOpen,
  kClick,
  kAddEventListener,
  kGetAttribute,
  kSetAttribute,
  kIdGet,
  kTagNameGet,
  kInnerTextGet,
  kValueGet,
  kValueSet,
  kBodyGet,
  kSetTimeout,
  kClearTimeout,
  kGetElementsByTagName,
  kGetElementsByClassName,
  kQuerySelector,
  kQuerySelectorAll,
  kRemoveEventListener,
  kLinksGet,
  kFormsGet,
  kImagesGet,
  kDocumentElementGet,
  kHeadGet,
  kChildrenGet,
  kTextContentGet,
  kTextSet,
  kInnerHtmlGet,
  kInnerHtmlSet,
  kAlert,
  kConfirm,
  kPrompt,
  kFocus,
  kBlur,
  kActiveElementGet,
  kSrcGet,
  kHrefGet,
};

duk_ret_t PageEntry(duk_context* ctx) {
  Outcome outcome = Outcome::kReturn;
  {
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kContextId);
    const int id = duk_get_int(ctx, -1);
    duk_pop_2(ctx);
    const std::shared_ptr<ContextState> state = ContextState::FromId(id);
    if (state && state->valid() && state->document())
      outcome = state->PageCall(ctx, duk_get_current_magic(ctx));
    else
      duk_push_undefined(ctx);
  }
  if (outcome == Outcome::kThrow) return duk_throw(ctx);
  return 1;
}

// The argument as text, as String(value) would give (errors give "Error").
std::u16string ArgText(duk_context* ctx, duk_idx_t index) {
  if (index >= duk_get_top(ctx) || duk_is_undefined(ctx, index)) return u"undefined";
  duk_dup(ctx, index);
  duk_safe_to_string(ctx, -1);
  std::u16string text = TextAt(ctx, -1);
  duk_pop(ctx);
  return text;
}

std::u16string JoinArgs(duk_context* ctx, std::u16string_view separator) {
  std::u16string text;
  const duk_idx_t count = duk_get_top(ctx);
  for (duk_idx_t k = 0; k < count; ++k) {
    if (k) text += separator;
    text += ArgText(ctx, k);
  }
  return text;
}

// The argument as text; null and undefined give empty text (textContent = null).
std::u16string ArgTextOrEmpty(duk_context* ctx, duk_idx_t index) {
  return duk_is_null_or_undefined(ctx, index) ? std::u16string() : ArgText(ctx, index);
}

// addEventListener's third argument: a flag, or options with `capture`.
bool CaptureOption(duk_context* ctx, duk_idx_t index) {
  if (index >= duk_get_top(ctx)) return false;
  if (!duk_is_object(ctx, index)) return duk_to_boolean(ctx, index);
  duk_dup(ctx, index);
  const bool read = Protected(ctx, 1, 1, [](duk_context* c, duk_idx_t options) -> duk_ret_t {
    duk_get_prop_string(c, options, "capture");  // may run a getter that throws
    return 1;
  });
  const bool capture = read && duk_to_boolean(ctx, -1);
  duk_pop(ctx);
  return capture;
}

duk_ret_t PreventDefault(duk_context* ctx) {
  duk_push_this(ctx);
  if (!duk_is_object(ctx, -1)) return 0;
  duk_get_prop_string(ctx, -1, kCancelable);
  const bool cancelable = duk_to_boolean(ctx, -1);
  duk_pop(ctx);
  if (!cancelable) return 0;
  duk_push_true(ctx);
  duk_put_prop_string(ctx, -2, kPrevented);
  duk_push_true(ctx);
  duk_put_prop_string(ctx, -2, "defaultPrevented");
  return 0;
}

duk_ret_t StopPropagation(duk_context* ctx) {
  duk_push_this(ctx);
  if (!duk_is_object(ctx, -1)) return 0;
  duk_push_true(ctx);
  duk_put_prop_string(ctx, -2, kStopped);
  return 0;
}

bool HiddenFlag(duk_context* ctx, duk_idx_t object, const char* key) {
  duk_get_prop_string(ctx, object, key);
  const bool set = duk_to_boolean(ctx, -1);
  duk_pop(ctx);
  return set;
}

std::u16string Upper(std::u16string text) {
  for (auto& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return text;
}

struct Method {
  const char* name;
  Op op;
};
struct Property {
  const char* name;
  Op get;
  int set;  // an Op, or -1 for read-only
};

// Adds native methods and accessors to the object on top of the stack.
void Define(duk_context* ctx, int id, std::initializer_list<Method> methods,
            std::initializer_list<Property> properties) {
  auto push_function = [&](int op, duk_idx_t nargs) {
    duk_push_c_function(ctx, &PageEntry, nargs);
    duk_set_magic(ctx, -1, op);
    duk_push_int(ctx, id);
    duk_put_prop_string(ctx, -2, kContextId);
  };
  for (const auto& method : methods) {
    push_function(method.op, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, method.name);
  }
  for (const auto& property : properties) {
    duk_push_string(ctx, property.name);
    push_function(property.get, 0);
    duk_uint_t flags = DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE;
    if (property.set >= 0) {
      push_function(property.set, 1);
      flags |= DUK_DEFPROP_HAVE_SETTER;
    }
    duk_def_prop(ctx, property.set >= 0 ? -4 : -3, flags);  // [object key getter setter?]
  }
}

void SetNode(duk_context* ctx, duk_idx_t object, dom::Node* node, int id) {
  object = duk_normalize_index(ctx, object);
  duk_push_pointer(ctx, node);
  duk_put_prop_string(ctx, object, kNode);
  duk_push_int(ctx, id);
  duk_put_prop_string(ctx, object, kContextId);
}

}  // namespace

void ContextState::InstallPageObjects() {
  duk_context* ctx = thread_;
  dom::Node* root = &document_->root();
  duk_push_global_object(ctx);
  const duk_idx_t global = duk_get_top_index(ctx);
  SetNode(ctx, global, root, id_);
  duk_dup(ctx, global);
  duk_put_prop_string(ctx, global, "window");
  duk_dup(ctx, global);
  duk_put_prop_string(ctx, global, "self");
  Define(ctx, id_,
         {{"open", kWindowOpen},
          {"addEventListener", kAddEventListener},
          {"setTimeout", kSetTimeout},
          {"clearTimeout", kClearTimeout},
          {"alert", kAlert},
          {"confirm", kConfirm},
          {"prompt", kPrompt}},
         {});
  // The page's address, as script reads it (location.href, document.URL).
  duk_push_object(ctx);
  PushText(ctx, document_->url());
  duk_put_prop_string(ctx, -2, "href");
  duk_put_prop_string(ctx, global, "location");

  duk_push_object(ctx);
  SetNode(ctx, -1, root, id_);
  Define(ctx, id_,
         {{"write", kWrite},
          {"writeln", kWriteln},
          {"getElementById", kGetElementById},
          {"getElementsByTagName", kGetElementsByTagName},
          {"getElementsByClassName", kGetElementsByClassName},
          {"querySelector", kQuerySelector},
          {"querySelectorAll", kQuerySelectorAll},
          {"addEventListener", kAddEventListener},
          {"removeEventListener", kRemoveEventListener}},
         {{"title", kTitleGet, kTitleSet},
          {"cookie", kCookieGet, kCookieSet},
          {"body", kBodyGet, -1},
          {"head", kHeadGet, -1},
          {"documentElement", kDocumentElementGet, -1},
          {"activeElement", kActiveElementGet, -1},
          {"links", kLinksGet, -1},
          {"forms", kFormsGet, -1},
          {"images", kImagesGet, -1}});
  PushText(ctx, document_->url());
  duk_put_prop_string(ctx, -2, "URL");
  duk_dup_top(ctx);
  duk_put_prop_string(ctx, global, kDocument);  // what script cannot replace
  duk_put_prop_string(ctx, global, "document");

  duk_push_object(ctx);
  Define(ctx, id_,
         {{"log", kConsoleLog}, {"info", kConsoleLog}, {"warn", kConsoleLog}, {"error", kConsoleLog}}, {});
  duk_put_prop_string(ctx, global, "console");

  duk_push_object(ctx);
  Define(ctx, id_,
         {{"click", kClick},
          {"focus", kFocus},
          {"blur", kBlur},
          {"addEventListener", kAddEventListener},
          {"removeEventListener", kRemoveEventListener},
          {"getAttribute", kGetAttribute},
          {"setAttribute", kSetAttribute},
          {"getElementsByTagName", kGetElementsByTagName},
          {"getElementsByClassName", kGetElementsByClassName},
          {"querySelector", kQuerySelector},
          {"querySelectorAll", kQuerySelectorAll}},
         {{"id", kIdGet, -1},
          {"tagName", kTagNameGet, -1},
          {"children", kChildrenGet, -1},
          {"innerText", kInnerTextGet, kTextSet},
          {"textContent", kTextContentGet, kTextSet},
          {"innerHTML", kInnerHtmlGet, kInnerHtmlSet},
          {"value", kValueGet, kValueSet},
          {"src", kSrcGet, -1},
          {"href", kHrefGet, -1}});
  duk_put_prop_string(ctx, global, kElementPrototype);
  InstallGeolocation(ctx, global);
  InstallScreen(ctx, global);
  duk_pop(ctx);
}

void ContextState::PushElement(duk_context* ctx, dom::Node* node) {
  if (!node) {
    duk_push_null(ctx);
    return;
  }
  if (node == &document_->root()) {
    PushGlobal(ctx, thread_);
    duk_get_prop_string(ctx, -1, kDocument);
    duk_remove(ctx, -2);
    return;
  }
  if (const auto found = elements_.find(node); found != elements_.end()) {
    heap_->Push(ctx, found->second);
    return;
  }
  duk_push_object(ctx);
  PushGlobal(ctx, thread_);
  duk_get_prop_string(ctx, -1, kElementPrototype);
  duk_remove(ctx, -2);
  duk_set_prototype(ctx, -2);
  SetNode(ctx, -1, node, id_);
  elements_[node] = heap_->Pin(ctx, -1);
}

void ContextState::PushElements(duk_context* ctx, const std::vector<dom::Node*>& nodes) {
  duk_push_array(ctx);
  for (size_t i = 0; i < nodes.size(); ++i) {
    PushElement(ctx, nodes[i]);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
}

dom::Node* ContextState::NodeOfThis(duk_context* ctx) {
  duk_push_this(ctx);
  if (duk_is_undefined(ctx, -1)) {  // a plain call: the window's
    duk_pop(ctx);
    PushGlobal(ctx, thread_);
  }
  dom::Node* node = nullptr;
  if (duk_is_object(ctx, -1)) {
    // Only objects this context made for its own document carry a node it may follow.
    duk_get_prop_string(ctx, -1, kContextId);
    const bool ours = duk_get_int_default(ctx, -1, 0) == id_;
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, kNode);
    if (ours) node = static_cast<dom::Node*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
  }
  duk_pop(ctx);
  return node;
}

// alert(message), confirm(message), prompt(message, default): the frame answers while
// the script waits. The time that takes, the texts' way to the program and back
// included (a prompt may carry megabytes), is not the script's.
Outcome ContextState::Dialog(duk_context* ctx, int op) {
  ScriptClockPause pause;
  const std::u16string message = duk_get_top(ctx) > 0 ? ArgText(ctx, 0) : std::u16string();
  const std::u16string default_text =
      op == kPrompt && duk_get_top(ctx) > 1 ? ArgText(ctx, 1) : std::u16string();
  bool accepted = false;
  std::optional<std::u16string> entered;
  if (hooks_) {
    if (op == kAlert) hooks_->Alert(message);
    if (op == kConfirm) accepted = hooks_->Confirm(message);
    if (op == kPrompt) entered = hooks_->Prompt(message, default_text);
  }
  if (op == kAlert) {
    duk_push_undefined(ctx);
  } else if (op == kConfirm) {
    duk_push_boolean(ctx, accepted);
  } else if (!entered) {
    duk_push_null(ctx);
  } else {
    // Text that does not fit into the script heap becomes the error script gets.
    const std::string bytes = ToDuk(*entered);
    duk_push_pointer(ctx, const_cast<std::string*>(&bytes));
    const bool pushed = Protected(ctx, 1, 1, [](duk_context* c, duk_idx_t base) -> duk_ret_t {
      const auto* text = static_cast<const std::string*>(duk_get_pointer(c, base));
      duk_push_lstring(c, text->data(), text->size());
      return 1;
    });
    if (!pushed) return Outcome::kThrow;
  }
  return Outcome::kReturn;
}

Outcome ContextState::PageCall(duk_context* ctx, int op) {
  const std::shared_ptr<ContextState> keep = shared_from_this();
  dom::Document& document = *document_;
  switch (op) {
    case kWrite:
    case kWriteln: {
      std::u16string text = JoinArgs(ctx, u"");
      if (op == kWriteln) text += u'\n';
      if (write_) write_(text);
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    }
    case kGetElementById:
      PushElement(ctx, document.ElementById(ArgText(ctx, 0)));
      return Outcome::kReturn;
    case kTitleGet:
      PushText(ctx, document.Title());
      return Outcome::kReturn;
    case kTitleSet:
      document.SetTitle(ArgText(ctx, 0));
      if (hooks_) hooks_->TitleChanged(document.Title());
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kCookieGet:
      PushText(ctx, hooks_ ? hooks_->Cookies() : std::u16string());
      return Outcome::kReturn;
    case kCookieSet:
      if (hooks_) hooks_->SetCookie(ArgText(ctx, 0));
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kConsoleLog: {
      const std::u16string message = JoinArgs(ctx, u" ");
      duk_inspect_callstack_entry(ctx, -2);  // the script line that called
      int line = 0;
      if (duk_is_object(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "lineNumber");
        line = duk_get_int_default(ctx, -1, 0);
        duk_pop(ctx);
      }
      duk_pop(ctx);
      if (hooks_) hooks_->ConsoleMessage(message, document.url(), line);
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    }
    case kAlert:
    case kConfirm:
    case kPrompt:
      return Dialog(ctx, op);
    case kWindowOpen:
      if (duk_get_top(ctx) > 0 && hooks_)
        hooks_->OpenWindow(document.CompleteUrl(ArgText(ctx, 0)),
                           duk_get_top(ctx) > 2 ? ArgText(ctx, 2) : u"");
      duk_push_null(ctx);
      return Outcome::kReturn;
    case kBodyGet:
      PushElement(ctx, document.Body());
      return Outcome::kReturn;
    case kHeadGet:
      PushElement(ctx, document.Head());
      return Outcome::kReturn;
    case kDocumentElementGet:
      PushElement(ctx, document.Html());
      return Outcome::kReturn;
    case kActiveElementGet:  // the body when no element has the focus, as in browsers
      PushElement(ctx, document.focused() ? document.focused() : document.Body());
      return Outcome::kReturn;
    case kLinksGet:  // <a> and <area> with an address
      PushElements(ctx, dom::ElementsBelow(document.root(), [](const dom::Node& n) {
                     return (n.name() == u"a" || n.name() == u"area") && n.FindAttribute(u"href");
                   }));
      return Outcome::kReturn;
    case kFormsGet:
    case kImagesGet: {
      const std::u16string_view tag = op == kFormsGet ? u"form" : u"img";
      PushElements(ctx,
                   dom::ElementsBelow(document.root(), [&](const dom::Node& n) { return n.name() == tag; }));
      return Outcome::kReturn;
    }
    case kSetTimeout:
      duk_push_int(ctx, duk_is_function(ctx, 0) ? SetTimer(ctx, 0, duk_get_int_default(ctx, 1, 0)) : 0);
      return Outcome::kReturn;
    case kClearTimeout:
      if (const auto timer = timers_.find(duk_get_int_default(ctx, 0, 0)); timer != timers_.end()) {
        heap_->Unpin(timer->second);
        timers_.erase(timer);
      }
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    default:
      break;
  }

  // Element methods: `this` must be an element (or the document, or window).
  dom::Node* node = NodeOfThis(ctx);
  if (!node) {
    PushError(ctx, u"TypeError: not a node of this document");
    return Outcome::kThrow;
  }
  switch (op) {
    case kClick:
      Click(*node);
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kFocus:  // only what Tab could reach takes the focus
      if (const auto focusable = document.Focusable();
          std::find(focusable.begin(), focusable.end(), node) != focusable.end())
        document.SetFocus(node);
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kBlur:
      if (document.focused() == node) document.SetFocus(nullptr);
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kAddEventListener:
    case kRemoveEventListener:
      if (duk_get_top(ctx) >= 2 && duk_is_function(ctx, 1)) {
        const std::u16string type = ArgText(ctx, 0);
        const bool capture = CaptureOption(ctx, 2);
        // The same function, type and phase make the same listener, added once.
        auto same = [&](const dom::Listener& listener) {
          if (!listener.script_key || listener.type != type || listener.capture != capture) return false;
          heap_->Push(ctx, listener.script_key);
          const bool equal = duk_strict_equals(ctx, -1, 1);
          duk_pop(ctx);
          return equal;
        };
        auto& listeners = node->listeners();
        if (op == kRemoveEventListener) {
          std::erase_if(listeners, same);
        } else if (std::none_of(listeners.begin(), listeners.end(), same)) {
          const uint32_t slot = PinListener(ctx, 1);
          std::weak_ptr<ContextState> weak = weak_from_this();
          document.AddListener(*node, dom::Listener{type,
                                                    capture,
                                                    {},
                                                    [weak, slot](dom::Event& event) {
                                                      if (auto state = weak.lock(); state && state->valid())
                                                        state->CallListener(slot, event);
                                                    },
                                                    slot});
        }
      }
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kGetElementsByTagName: {
      const std::u16string tag = dom::AsciiLower(ArgText(ctx, 0));
      PushElements(
          ctx, dom::ElementsBelow(*node, [&](const dom::Node& n) { return tag == u"*" || n.name() == tag; }));
      return Outcome::kReturn;
    }
    case kGetElementsByClassName: {
      std::vector<std::u16string> names;
      const std::u16string list = ArgText(ctx, 0);
      for (size_t pos = 0; pos < list.size();) {
        const size_t end =
            std::find_if(list.begin() + static_cast<ptrdiff_t>(pos), list.end(), dom::IsSpace<char16_t>) -
            list.begin();
        if (end > pos) names.push_back(list.substr(pos, end - pos));
        pos = end + 1;
      }
      PushElements(ctx, dom::ElementsBelow(*node, [&](const dom::Node& n) {
                     return !names.empty() && std::all_of(names.begin(), names.end(), [&](const auto& name) {
                       return dom::HasClass(n, name);
                     });
                   }));
      return Outcome::kReturn;
    }
    case kQuerySelector:
    case kQuerySelectorAll: {
      std::u16string error;
      const auto selector = dom::Selector::Parse(ArgText(ctx, 0), error);
      if (!selector) {
        PushError(ctx, error, DUK_ERR_SYNTAX_ERROR);
        return Outcome::kThrow;
      }
      auto found = dom::ElementsBelow(*node, [&](const dom::Node& n) { return selector->Matches(n); });
      if (op == kQuerySelectorAll)
        PushElements(ctx, found);
      else
        PushElement(ctx, found.empty() ? nullptr : found.front());
      return Outcome::kReturn;
    }
    case kChildrenGet: {
      std::vector<dom::Node*> elements;
      for (const auto& child : node->children())
        if (child->IsElement()) elements.push_back(child.get());
      PushElements(ctx, elements);
      return Outcome::kReturn;
    }
    case kTextContentGet:
      PushText(ctx, node->TextContent());
      return Outcome::kReturn;
    case kTextSet:
      if (node->IsElement()) node->ReplaceChildrenWithText(ArgTextOrEmpty(ctx, 0));
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kInnerHtmlGet: {
      std::u16string markup;
      for (const auto& child : node->children()) markup += child->Markup();
      PushText(ctx, markup);
      return Outcome::kReturn;
    }
    case kInnerHtmlSet:
      if (node->IsElement()) dom::ReplaceChildrenWithMarkup(*node, ArgTextOrEmpty(ctx, 0));
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kGetAttribute: {
      const std::u16string* value = node->FindAttribute(ArgText(ctx, 0));
      if (value)
        PushText(ctx, *value);
      else
        duk_push_null(ctx);
      return Outcome::kReturn;
    }
    case kSetAttribute:
      if (node->IsElement()) node->SetAttribute(ArgText(ctx, 0), ArgText(ctx, 1));
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kIdGet: {
      const std::u16string* id = node->FindAttribute(u"id");
      PushText(ctx, id ? *id : std::u16string());
      return Outcome::kReturn;
    }
    case kTagNameGet:
      PushText(ctx, Upper(node->name()));
      return Outcome::kReturn;
    case kInnerTextGet:
      PushText(ctx, node->InnerText());
      return Outcome::kReturn;
    case kValueGet:
      PushText(ctx, node->Value());
      return Outcome::kReturn;
    case kValueSet:
      node->SetValue(ArgText(ctx, 0));
      duk_push_undefined(ctx);
      return Outcome::kReturn;
    case kSrcGet:
    case kHrefGet: {
      // The address an element loads or links to, resolved as browsers reflect it ("" when
      // the attribute is missing); elements that have no such address read undefined.
      const std::u16string& tag = node->name();
      const bool reflects = op == kSrcGet ? tag == u"img" || tag == u"script" || tag == u"iframe"
                                          : tag == u"a" || tag == u"area" || tag == u"link";
      const std::u16string* url = reflects ? node->FindAttribute(op == kSrcGet ? u"src" : u"href") : nullptr;
      if (!reflects)
        duk_push_undefined(ctx);
      else
        PushText(ctx, url ? document_->CompleteUrl(*url) : std::u16string());
      return Outcome::kReturn;
    }
    default:
      duk_push_undefined(ctx);
      return Outcome::kReturn;
  }
}

void ContextState::Click(dom::Node& node) {
  const std::shared_ptr<dom::Document> document = document_;
  const bool go_on = document->Dispatch(node, u"click", DOM_EVENT_CATEGORY_MOUSE, true, true);
  // Default action, unless a listener prevented it: a link to a new window opens it.
  if (!go_on || !valid_ || !node.IsElement() || node.name() != u"a") return;
  const std::u16string* href = node.FindAttribute(u"href");
  const std::u16string* target = node.FindAttribute(u"target");
  if (href && target && dom::EqualsIgnoringAsciiCase(*target, u"_blank") && hooks_)
    hooks_->OpenWindow(document->CompleteUrl(*href), u"");
}

void ContextState::PushEvent(duk_context* ctx, const dom::Event& event) {
  duk_push_object(ctx);
  PushText(ctx, event.type);
  duk_put_prop_string(ctx, -2, "type");
  PushElement(ctx, event.target);
  duk_put_prop_string(ctx, -2, "target");
  PushElement(ctx, event.current);
  duk_put_prop_string(ctx, -2, "currentTarget");
  duk_push_int(ctx, event.phase);
  duk_put_prop_string(ctx, -2, "eventPhase");
  duk_push_boolean(ctx, event.bubbles);
  duk_put_prop_string(ctx, -2, "bubbles");
  duk_push_boolean(ctx, event.cancelable);
  duk_put_prop_string(ctx, -2, "cancelable");
  duk_push_boolean(ctx, event.cancelable);
  duk_put_prop_string(ctx, -2, kCancelable);
  duk_push_boolean(ctx, event.default_prevented);
  duk_put_prop_string(ctx, -2, "defaultPrevented");
  if (event.category == DOM_EVENT_CATEGORY_KEYBOARD) {
    duk_push_int(ctx, event.key_code ? event.key_code : event.char_code);
    duk_put_prop_string(ctx, -2, "keyCode");
    duk_push_int(ctx, event.key_code ? event.key_code : event.char_code);
    duk_put_prop_string(ctx, -2, "which");
    duk_push_int(ctx, event.char_code);
    duk_put_prop_string(ctx, -2, "charCode");
    for (const auto& [name, bit] : {std::pair{"shiftKey", KEY_SHIFT}, std::pair{"ctrlKey", KEY_CTRL},
                                    std::pair{"altKey", KEY_ALT}, std::pair{"metaKey", KEY_META}}) {
      duk_push_boolean(ctx, (event.modifiers & bit) != 0);
      duk_put_prop_string(ctx, -2, name);
    }
  }
  if (event.category == DOM_EVENT_CATEGORY_MOUSE) {
    // The page does not scroll: its coordinates are the view's.
    for (const auto& [name, value] :
         {std::pair{"clientX", event.client_x}, std::pair{"clientY", event.client_y},
          std::pair{"pageX", event.client_x}, std::pair{"pageY", event.client_y},
          std::pair{"button", event.button}, std::pair{"buttons", event.buttons},
          std::pair{"detail", event.detail}}) {
      duk_push_int(ctx, value);
      duk_put_prop_string(ctx, -2, name);
    }
    if (event.type == u"wheel") {
      for (const auto& [name, value] :
           {std::pair{"deltaX", event.delta_x}, std::pair{"deltaY", event.delta_y}, std::pair{"deltaZ", 0},
            std::pair{"deltaMode", 0}}) {
        duk_push_int(ctx, value);
        duk_put_prop_string(ctx, -2, name);
      }
    }
  }
  duk_push_c_function(ctx, &PreventDefault, 0);
  duk_put_prop_string(ctx, -2, "preventDefault");
  duk_push_c_function(ctx, &StopPropagation, 0);
  duk_put_prop_string(ctx, -2, "stopPropagation");
}

void ContextState::CallListener(uint32_t slot, dom::Event& event) {
  const std::shared_ptr<ContextState> keep = shared_from_this();
  duk_context* ctx = WorkThread(thread_);
  const duk_idx_t top = duk_get_top(ctx);
  PushEvent(ctx, event);  // kept below the call, to read back what the listener asked for
  heap_->Push(ctx, slot);
  PushElement(ctx, event.current);
  duk_dup(ctx, top);
  CallPushedMethod(ctx, 1);
  event.default_prevented = event.default_prevented || HiddenFlag(ctx, top, kPrevented);
  event.stopped = event.stopped || HiddenFlag(ctx, top, kStopped);
  duk_set_top(ctx, top);
}

namespace {
// How many timer callbacks are running, one inside the other's script.
int& TimerNesting() {
  static int nesting = 0;
  return nesting;
}
// A timer set from a timer's callback waits at least this long, as browsers clamp nested
// timers: a callback that sets itself again with no delay would otherwise always be due,
// and the loop would never get to a quit request or (on Windows) to input.
constexpr int kNestedTimerMinimumMs = 4;
}  // namespace

int ContextState::SetTimer(duk_context* ctx, duk_idx_t function, int delay_ms) {
  const int id = ++last_timer_;
  const uint32_t slot = heap_->Pin(ctx, function);
  std::weak_ptr<ContextState> weak = weak_from_this();
  if (TimerNesting() > 0) delay_ms = std::max(delay_ms, kNestedTimerMinimumMs);
  // Owned by the context: when its page goes, its timers leave the queue with it.
  const bool posted = Runtime::Get().PostWork(
      TID_UI,
      [weak, id] {
        if (auto state = weak.lock(); state && state->valid()) state->RunTimer(id);
      },
      std::chrono::milliseconds(std::max(0, delay_ms)), static_cast<uintptr_t>(id_));
  if (!posted) {
    heap_->Unpin(slot);
    return 0;
  }
  timers_[id] = slot;
  return id;
}

void ContextState::RunTimer(int id) {
  const auto timer = timers_.find(id);
  if (timer == timers_.end()) return;  // cleared
  const uint32_t slot = timer->second;
  timers_.erase(timer);
  const std::shared_ptr<ContextState> keep = shared_from_this();
  duk_context* ctx = WorkThread(thread_);
  const duk_idx_t top = duk_get_top(ctx);
  heap_->Push(ctx, slot);
  heap_->Unpin(slot);
  PushGlobal(ctx, thread_);
  Enter();
  int rc;
  {
    RunningScope running(ctx);
    ++TimerNesting();
    rc = duk_pcall_method(ctx, 0);
    --TimerNesting();
  }
  Exit();
  if (rc != DUK_EXEC_SUCCESS) ReportError(DescribeError(ctx, -1));
  duk_set_top(ctx, top);
}

void ContextState::FireWindowLoad() {
  if (!valid_) return;
  const std::shared_ptr<ContextState> keep = shared_from_this();
  duk_context* ctx = WorkThread(thread_);
  const duk_idx_t top = duk_get_top(ctx);
  PushGlobal(ctx, thread_);
  // window.onload may be anything, an accessor that throws too.
  const bool read = Protected(ctx, 1, 2, [](duk_context* c, duk_idx_t window) -> duk_ret_t {
    duk_get_prop_string(c, window, "onload");
    duk_swap_top(c, -2);
    return 2;  // [onload window]
  });
  if (read && duk_is_function(ctx, -2)) {
    PushEvent(ctx, dom::Event{u"load", DOM_EVENT_CATEGORY_UNKNOWN, DOM_EVENT_PHASE_AT_TARGET, false, false,
                              &document_->root(), &document_->root()});
    CallPushedMethod(ctx, 1);
  }
  duk_set_top(ctx, top);
}

}  // namespace cef_engine::script
