// The one conversion layer between program values and engine values, shared by every
// wrapper operation and every callback entry.
//
//   kind       program -> engine               engine -> program
//   Boolean    1 / 0                           non-zero is true
//   string     view, borrowed for the call     result: userfree, copied and freed
//                                              argument: copied, the engine keeps it
//   object     CefDataOf (+1 for the engine)   UnWrap (takes over the reference)
//   numbers, enumerations, handles, record addresses pass unchanged
//
// A wrapper operation is one line: `return Call<bool>(&cef_browser_t::can_go_back);`,
// and so is a call of an engine export: `return CefCallExport<RefPtr<ICefRequest>>(
// cef_request_create);`. Both raise "The engine is not loaded" instead of calling into
// an engine that is not (or no longer) there.
// A callback entry is generated from its method: `Bind<&TCefLoadHandlerOwn::OnLoadEnd>(
// record()->on_load_end);`. A method parameter that is a non-const reference is an
// out-argument over the engine's pointer (CefOutArg): text, flags, numbers, objects.
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "ceflib/core/object_bridge.h"
#include "ceflib/core/recycled_blocks.h"
#include "ceflib/core/strings.h"

namespace ceflib {

template <class T>
struct IsRefPtr : std::false_type {};
template <class I>
struct IsRefPtr<RefPtr<I>> : std::true_type {
  using Interface = I;
};

// ---- program -> engine ----------------------------------------------------------------

// A string argument: a view that lives until the end of the full expression that
// makes the engine call.
struct CefStringArg {
  cef_string_t view;
  operator const cef_string_t*() const noexcept { return &view; }
};

// An object argument: the record with one reference for the engine.
struct CefObjectArg {
  cef_base_t* data;
  template <class Record>
  operator Record*() const noexcept {
    return reinterpret_cast<Record*>(data);
  }
};

inline int ToEngine(bool value) noexcept { return value ? 1 : 0; }
inline CefStringArg ToEngine(const ustring& value) noexcept { return {CefStringView(value)}; }
template <class I>
CefObjectArg ToEngine(const RefPtr<I>& value) {
  return {CefDataOf(value)};
}
template <class T>
requires(std::is_arithmetic_v<T> || std::is_enum_v<T> || std::is_pointer_v<T>) T ToEngine(T value)
noexcept { return value; }

// ---- engine -> program ----------------------------------------------------------------

// Wraps an engine object pointer in the Ref class of interface I.
template <class I>
RefPtr<I> CefUnWrapAs(void* data) {
  using Wrapper = typename TCefWrapperOf<I>::type;
  if constexpr (std::is_same_v<Wrapper, TCefBaseRef>) {
    return TCefBaseRef::UnWrap(data);
  } else {
    return Wrapper::UnWrap(static_cast<typename Wrapper::RecordType*>(data));
  }
}

// The result of an engine function, as program type P.
template <class P, class E>
P FromEngineResult(E&& value) {
  if constexpr (std::is_same_v<P, bool>) {
    return value != 0;
  } else if constexpr (std::is_same_v<P, ustring>) {
    return CefStringFreeAndGet(value);
  } else if constexpr (IsRefPtr<P>::value) {
    return CefUnWrapAs<typename IsRefPtr<P>::Interface>(value);
  } else {
    return static_cast<P>(value);
  }
}

// An argument the engine passes to a callback, as program type P. A plain record the
// engine lends by address (a rectangle) arrives as a copy; null gives a zeroed one.
template <class P, class E>
P FromEngineArg(E&& value) {
  if constexpr (std::is_same_v<P, bool>) {
    return value != 0;
  } else if constexpr (std::is_same_v<P, ustring>) {
    return CefStringRead(value);
  } else if constexpr (IsRefPtr<P>::value) {
    return CefUnWrapAs<typename IsRefPtr<P>::Interface>(value);
  } else if constexpr (std::is_pointer_v<std::decay_t<E>> &&
                       std::is_same_v<P, std::remove_cv_t<std::remove_pointer_t<std::decay_t<E>>>>) {
    return value ? *value : P{};
  } else {
    return static_cast<P>(value);
  }
}

// An object the program hands the engine where a record of kind Record is expected.
// An untyped one (ICefBase) could be any program object, so it must be a program object
// of that record kind: anything else would reach the engine as the wrong record. The
// exception ends the entry with the neutral answer (null) and is reported.
template <class Record, class I>
void CefCheckKind(const RefPtr<I>& value) {
  if constexpr (std::is_same_v<I, ICefBase> && !std::is_same_v<Record, cef_base_t>) {
    if (value && !dynamic_cast<TCefOwn<Record>*>(value.get()))
      throw ECefException("The object handed to the engine is not of the kind its slot asks for");
  }
}

// A callback's answer, as the engine type E.
template <class E, class P>
E ToEngineResult(P&& value) {
  if constexpr (IsRefPtr<std::decay_t<P>>::value) {
    CefCheckKind<std::remove_pointer_t<E>>(value);
    return reinterpret_cast<E>(CefDataOf(value));
  } else if constexpr (std::is_same_v<std::decay_t<P>, bool>) {
    return value ? 1 : 0;
  } else {
    return static_cast<E>(value);
  }
}

// ---- wrapper operations ---------------------------------------------------------------

// Calls member `member` of the engine record with the record first and the converted
// arguments, and converts the result to P. A member the engine left null answers the
// neutral value and is not called.
template <class P = void, class Record, class Fn, class... Args>
P CefCall(Record* record, Fn Record::*member, Args&&... args) {
  Fn fn = record->*member;
  if (!fn) return P();
  if constexpr (std::is_void_v<P>) {
    fn(record, ToEngine(std::forward<Args>(args))...);
  } else {
    return FromEngineResult<P>(fn(record, ToEngine(std::forward<Args>(args))...));
  }
}

// Typed base for Ref classes: Self is the class, Iface its interface, Record the
// engine record it wraps.
template <class Self, class Iface, class Record>
class TCefRef : public TCefBaseRef, public virtual Iface {
 public:
  using RecordType = Record;
  explicit TCefRef(Record* data) : TCefBaseRef(data) {}
  cef_base_t* Wrap() override { return TCefBaseRef::Wrap(); }
  // The last reference destroys the wrapper in one piece: Self is final, so its
  // destructor chain is known and inlined here.
  [[gnu::flatten]] int Release() noexcept override {
    static_assert(std::is_final_v<Self>, "a wrapper class is final: UnWrap makes exactly Self");
    return ReleaseAs(static_cast<Self*>(this));
  }
  // Wraps an engine pointer, taking over its reference; null gives null. Every call
  // makes a new wrapper: there is no cache. Built in one piece, out of the caller's way.
  [[gnu::noinline, gnu::flatten]] static RefPtr<Iface> UnWrap(Record* data) {
    if (!data) return nullptr;
    return Make<Self>(data);
  }
  // A wrapper lives for a call or two; its memory is recycled per wrapper class.
  static void* operator new(std::size_t size) { return TCefRecycledBlocks<Self>::Take(size); }
  static void operator delete(void* block, std::size_t size) noexcept {
    TCefRecycledBlocks<Self>::Give(block, size);
  }

 protected:
  Record* record() const noexcept { return reinterpret_cast<Record*>(Data()); }
  // One wrapper operation: the member, the program's arguments, the program's result.
  template <class P = void, class Fn, class... Args>
  P Call(Fn Record::*member, Args&&... args) const {
    CheckEngine();
    return CefCall<P>(record(), member, std::forward<Args>(args)...);
  }
};

// Calls an engine export with the converted arguments and converts its result to P.
// Raises "The engine is not loaded" when no engine is loaded.
template <class P = void, class R, class... E, class... Args>
P CefCallExport(R (*entry)(E...), Args&&... args) {
  auto fn = CefEntry(entry);
  if constexpr (std::is_void_v<P>) {
    fn(ToEngine(std::forward<Args>(args))...);
  } else {
    return FromEngineResult<P>(fn(ToEngine(std::forward<Args>(args))...));
  }
}

// ---- callback entries -----------------------------------------------------------------

// A parameter the method writes to (a non-const lvalue reference) over the engine's
// out-pointer E: the method gets a program variable that starts from the engine's value;
// it goes back into the engine's variable when the method returns normally (after an
// exception the engine's variable stays as it was). Check runs for every out-argument
// before any Store.
template <class P, class E>
struct CefOutArg;

// Text: read from the engine's record and written back as a copy.
template <>
struct CefOutArg<ustring, cef_string_t*> {
  explicit CefOutArg(cef_string_t* e) : engine(e), value(CefStringRead(e)) {}
  void Check() const noexcept {}
  void Store() {
    if (engine) CefStringAssign(engine, value);
  }
  cef_string_t* engine;
  ustring value;
};

// A flag or a number travelling as int.
template <class N>
requires(std::is_same_v<N, bool> || std::is_same_v<N, int>) struct CefOutArg<N, int*> {
  explicit CefOutArg(int* e) : engine(e), value(e ? static_cast<N>(*e) : N()) {}
  void Check() const noexcept {}
  void Store() noexcept {
    if (engine) *engine = static_cast<int>(value);
  }
  int* engine;
  N value;
};

// A plain record the engine lends for filling in (a rectangle, print options), or a real
// number (a zoom level): starts as the engine's value and is copied back.
template <class R>
requires((std::is_class_v<R> ||
          std::is_floating_point_v<R>)&&std::is_trivially_copyable_v<R>) struct CefOutArg<R, R*> {
  explicit CefOutArg(R* e) : engine(e), value(e ? *e : R{}) {}
  void Check() const noexcept {}
  void Store() noexcept {
    if (engine) *engine = value;
  }
  R* engine;
  R value;
};

// An object: starts empty; a non-null answer goes to the engine with one reference.
template <class I, class Record>
struct CefOutArg<RefPtr<I>, Record**> {
  explicit CefOutArg(Record** e) : engine(e) {}
  void Check() const { CefCheckKind<Record>(value); }
  void Store() {
    if (engine && value) *engine = reinterpret_cast<Record*>(CefDataOf(value));
  }
  Record** engine;
  RefPtr<I> value;
};

namespace detail {

template <class P>
inline constexpr bool IsOutParam =
    std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;

template <class P, class E>
struct InArg {
  explicit InArg(E e) : value(FromEngineArg<std::decay_t<P>>(e)) {}
  void Check() const noexcept {}
  void Store() const noexcept {}
  std::decay_t<P> value;
};

template <class P, class E>
using ArgOf = std::conditional_t<IsOutParam<P>, CefOutArg<std::remove_reference_t<P>, E>, InArg<P, E>>;

template <class Obj, class R, class... P, class... E>
R InvokeMethod(Obj* object, R (Obj::*method)(P...), E... args) {
  if constexpr ((IsOutParam<P> || ...)) {
    std::tuple<ArgOf<P, E>...> held{ArgOf<P, E>(args)...};
    auto call = [&] { return std::apply([&](auto&... a) { return (object->*method)(a.value...); }, held); };
    auto store = [&] {
      std::apply([](auto&... a) { (a.Check(), ...); }, held);
      std::apply([](auto&... a) { (a.Store(), ...); }, held);
    };
    if constexpr (std::is_void_v<R>) {
      call();
      store();
    } else {
      R result = call();
      store();
      return result;
    }
  } else {
    return (object->*method)(FromEngineArg<std::decay_t<P>>(args)...);
  }
}

template <class M>
struct MethodClass;
template <class C, class R, class... P>
struct MethodClass<R (C::*)(P...)> {
  using type = C;
};

template <auto Method, class Fn>
struct Entry;

// One entry per (method, engine function type): finds the object behind the record,
// converts the engine's arguments to the method's parameter types, calls the method
// and converts its answer; an exception becomes the neutral answer.
template <auto Method, class R, class Record, class... E>
struct Entry<Method, R(CEF_CALLBACK*)(Record*, E...)> {
  using Obj = typename MethodClass<decltype(Method)>::type;

  static R CEF_CALLBACK Call(Record* self, E... args) noexcept {
    return CefGuarded([&]() -> R {
      Obj* object = CefObjectOf<Obj>(self);
      if constexpr (std::is_void_v<R>) {
        InvokeMethod(object, Method, args...);
      } else {
        return ToEngineResult<R>(InvokeMethod(object, Method, args...));
      }
    });
  }
};

}  // namespace detail

// Stores into `slot` the entry generated for Method, with the slot's own signature.
template <auto Method, class Fn>
void Bind(Fn& slot) noexcept {
  slot = &detail::Entry<Method, Fn>::Call;
}

}  // namespace ceflib
