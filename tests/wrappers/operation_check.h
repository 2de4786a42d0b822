// Checks one wrapper operation against its engine member, as the engine sees it: the
// member is called once, each argument arrives converted (Booleans as 1/0, strings as
// views of the program's own characters, objects with one reference added for the
// engine, numbers, handles and addresses unchanged, maps as their handles), and the
// result comes back converted (non-zero is true, userfree text copied and freed, nil
// as nil, objects wrapped without an added reference). Runs twice with different
// values: the second time Booleans flip, objects are nil and results are false, empty
// or negative.
//
//   CHECK_OPERATION(cef_browser_t::set_focus, ICefBrowser::SetFocus);
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ceflib/core/conversions.h"
#include "ceflib/core/string_map.h"
#include "support/engine_probe.h"
#include "wrappers/fake_record.h"

namespace operation_check {

using ceflib::RefPtr;
using ceflib::ustring;

struct Seed {
  int index;  // position of the argument
  int pass;   // 0 or 1
};

// A value of T that differs between positions and passes.
template <class T>
T Distinct(Seed s) {
  if constexpr (std::is_same_v<T, bool>) {
    return (s.index + s.pass) % 2 == 0;
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<T>((s.index + s.pass) % 2);  // inside every enumeration's range
  } else if constexpr (std::is_integral_v<T>) {
    return static_cast<T>(sizeof(T) >= 8 ? 0x123456789ALL + s.index * 2 + s.pass
                                         : 17 + s.index * 2 + s.pass * 20);
  } else if constexpr (std::is_floating_point_v<T>) {
    return 1.5 + s.index + s.pass * 10;
  } else if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(0x1000 + s.index * 16 + s.pass * 256));
  } else {
    return T{};
  }
}

// ---- arguments: the program's value and what the engine must receive --------------------

// Numbers, enumerations, handles and addresses pass unchanged.
template <class P, class E>
struct Arg {
  P v;
  explicit Arg(Seed s) : v(Distinct<P>(s)) {}
  P value() const { return v; }
  void Check(E e) const { EXPECT_EQ(e, static_cast<E>(v)); }
  void Finish() {}
};

template <>
struct Arg<bool, int> {
  bool v;
  explicit Arg(Seed s) : v(Distinct<bool>(s)) {}
  bool value() const { return v; }
  void Check(int e) const { EXPECT_EQ(e, v ? 1 : 0) << "Booleans cross as 1 or 0"; }
  void Finish() {}
};

template <>
struct Arg<ustring, const cef_string_t*> {
  ustring v;
  explicit Arg(Seed s) : v(u"text \u00e9" + ustring{char16_t(u'0' + s.index), char16_t(u'a' + s.pass)}) {}
  const ustring& value() const { return v; }
  void Check(const cef_string_t* e) const {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->str, v.data()) << "a view of the program's own characters";
    EXPECT_EQ(ustring(e->str, e->length), v);
    EXPECT_EQ(e->dtor, nullptr) << "the engine must not free a view";
  }
  void Finish() {}
};

// An engine object handed over: the engine receives the record with one reference of
// its own, which it drops after the call; nil stays nil.
template <class I, class Rec>
struct Arg<RefPtr<I>, Rec*> {
  FakeEngineObject<Rec> object;
  RefPtr<I> v;
  explicit Arg(Seed s) {
    if (s.pass == 0) {
      v = ceflib::CefUnWrapAs<I>(object.get());
    } else {
      object.refs = 0;
    }
  }
  const RefPtr<I>& value() const { return v; }
  void Check(Rec* e) {
    if (!v) {
      EXPECT_EQ(e, nullptr) << "nil goes as nil";
      return;
    }
    EXPECT_EQ(e, object.get());
    EXPECT_EQ(object.refs, 2) << "one reference added for the engine";
    object.refs--;  // the engine is done with it
  }
  void Finish() {
    v.reset();
    EXPECT_EQ(object.refs, 0);
  }
};

// A record or a variable passed by address.
template <class T>
struct Arg<T&, T*> {
  std::remove_const_t<T> v{};
  explicit Arg(Seed) {}
  T& value() { return v; }
  void Check(T* e) const { EXPECT_EQ(e, &v) << "passed by address"; }
  void Finish() {}
};

// A program map: the engine receives its handle.
template <class Map, class Own>
struct MapArg {
  RefPtr<Own> map = ceflib::Make<Own>();
  explicit MapArg(Seed) {}
  Map& value() { return *map; }
  void Check(void* e) const { EXPECT_EQ(e, map->GetHandle()); }
  void Finish() {}
};
template <>
struct Arg<ceflib::ICefStringMultimap&, cef_string_multimap_t>
    : MapArg<ceflib::ICefStringMultimap, ceflib::TCefStringMultimapOwn> {
  using MapArg::MapArg;
};
template <>
struct Arg<ceflib::ICefStringMap&, cef_string_map_t>
    : MapArg<ceflib::ICefStringMap, ceflib::TCefStringMapOwn> {
  using MapArg::MapArg;
};

// ---- results: what the engine returns and what the program must get --------------------

template <class R>
R EngineValue(int pass) {
  if constexpr (std::is_enum_v<R>) {
    return static_cast<R>(2 - pass);
  } else if constexpr (std::is_integral_v<R>) {
    if (pass == 1) return static_cast<R>(-7);  // negative results pass unchanged
    return static_cast<R>(sizeof(R) >= 8 ? 0x123456789ABLL : 0x12345678);
  } else if constexpr (std::is_floating_point_v<R>) {
    return pass == 0 ? 2.25 : -0.5;
  } else {
    return reinterpret_cast<R>(static_cast<uintptr_t>(0x5000 + 16 * pass));
  }
}

template <class Q, class R>
struct Result {
  R Make(int pass) { return EngineValue<R>(pass); }
  void Check(Q got, int pass) { EXPECT_EQ(got, static_cast<Q>(EngineValue<R>(pass))) << "passed unchanged"; }
};

template <class R>
struct Result<bool, R> {
  R Make(int pass) { return pass == 0 ? 2 : 0; }
  void Check(bool got, int pass) { EXPECT_EQ(got, pass == 0) << "any non-zero result is true"; }
};

template <>
struct Result<ustring, cef_string_userfree_t> {
  cef_string_userfree_t Make(int pass) { return pass == 0 ? Userfree(u"result \u00e9") : nullptr; }
  void Check(const ustring& got, int pass) {
    EXPECT_EQ(got, pass == 0 ? u"result \u00e9" : u"") << "nil is empty";
  }
};

// An engine object returned: wrapped by the interface's wrapper class, which takes
// over the reference that came with it; nil gives nil.
template <class I, class Rec>
struct Result<RefPtr<I>, Rec*> {
  FakeEngineObject<Rec> object;
  Rec* Make(int pass) {
    if (pass == 1) object.refs = 0;
    return pass == 0 ? object.get() : nullptr;
  }
  void Check(RefPtr<I> got, int pass) {
    if (pass == 1) {
      EXPECT_EQ(got, nullptr) << "nil gives nil";
      return;
    }
    ASSERT_NE(got, nullptr);
    EXPECT_NE(dynamic_cast<typename ceflib::TCefWrapperOf<I>::type*>(got.get()), nullptr);
    EXPECT_EQ(object.refs, 1) << "the wrapper takes over the engine's reference";
    EXPECT_EQ(static_cast<void*>(got->Wrap()), static_cast<void*>(object.get()));
    object.refs--;  // the reference Wrap added
    got.reset();
    EXPECT_EQ(object.refs, 0);
  }
};

// ---- one operation ----------------------------------------------------------------------

template <class P>
struct Normal {
  using type = P;
};
template <>
struct Normal<const ustring&> {
  using type = ustring;
};
template <class I>
struct Normal<const RefPtr<I>&> {
  using type = RefPtr<I>;
};

template <class T>
struct MemberOf;
template <class T, class C>
struct MemberOf<T C::*> {
  using type = T;
};

template <auto Member, auto Method, class Slot = typename MemberOf<decltype(Member)>::type,
          class Operation = decltype(Method)>
struct Check;

template <auto Member, auto Method, class Record, class R, class... E, class Iface, class Q, class... P>
struct Check<Member, Method, R(CEF_CALLBACK*)(Record*, E...), Q (Iface::*)(P...)> {
  static_assert(sizeof...(E) == sizeof...(P), "the engine takes the operation's arguments in order");

  template <size_t... I>
  static void Run(int pass, std::index_sequence<I...>) {
    FakeRecord<Record> engine;
    std::tuple<Arg<typename Normal<P>::type, E>...> args{Seed{static_cast<int>(I), pass}...};
    [[maybe_unused]] std::conditional_t<std::is_void_v<Q>, int, Result<std::decay_t<Q>, R>> result{};
    int calls = 0;
    engine.template On<Member>([&](E... e) -> R {
      ++calls;
      (std::get<I>(args).Check(e), ...);
      if constexpr (!std::is_void_v<R>) return result.Make(pass);
    });
    RefPtr<Iface> wrapper = ceflib::CefUnWrapAs<Iface>(engine.get());
    if constexpr (std::is_void_v<Q>) {
      (wrapper.get()->*Method)(std::get<I>(args).value()...);
    } else {
      result.Check((wrapper.get()->*Method)(std::get<I>(args).value()...), pass);
    }
    EXPECT_EQ(calls, 1) << "the operation calls its own member once";
    (std::get<I>(args).Finish(), ...);
    wrapper.reset();
    EXPECT_EQ(engine.refs, 0) << "the wrapper released its reference once";
  }

  static void Run() {
    for (int pass = 0; pass < 2; ++pass) {
      SCOPED_TRACE(pass == 0 ? "first values" : "second values (flipped, nil, negative)");
      int strings = engine_probe::LiveStrings();
      Run(pass, std::index_sequence_for<P...>{});
      EXPECT_EQ(engine_probe::LiveStrings(), strings) << "engine text leaked or freed twice";
    }
  }
};

}  // namespace operation_check

#define CHECK_OPERATION(member, operation)              \
  do {                                                  \
    SCOPED_TRACE(#operation);                           \
    operation_check::Check<&member, &operation>::Run(); \
  } while (0)
