// Helpers for the page tests: a frame that records what its page asks of it, program
// records (handlers, accessors, listeners, visitors) the engine calls, and holders that
// release engine records as the program would.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cef/cef_records.h"
#include "cef_engine.h"
#include "engine/engine_test_support.h"
#include "script/script_host.h"
#include "strings/utf.h"

namespace page_test {

using engine_test::FakeRecord;
using engine_test::View;

// Releases an engine record the test received.
struct Releaser {
  template <class Record>
  void operator()(Record* record) const {
    auto* base = reinterpret_cast<cef_base_t*>(record);
    base->release(base);
  }
};
template <class Record>
using Ref = std::unique_ptr<Record, Releaser>;
template <class Record>
Ref<Record> Adopt(Record* record) {
  return Ref<Record>(record);
}
// One more reference to hand to the engine with a call.
template <class Record>
Record* AddRef(Record* record) {
  auto* base = reinterpret_cast<cef_base_t*>(record);
  base->add_ref(base);
  return record;
}

// A userfree result read and freed.
inline std::u16string Take(cef_string_userfree_t text) {
  if (!text) return {};
  std::u16string out = engine_test::Text(*text);
  cef_string_userfree_utf16_free(text);
  return out;
}

struct ConsoleLine {
  std::u16string message, source;
  int line;
};

class RecordingFrame : public cef_engine::script::FrameHooks {
 public:
  void TitleChanged(const std::u16string& title) override { titles.push_back(title); }
  void OpenWindow(const std::u16string& url, const std::u16string& features) override {
    opened.push_back(url);
    features_given.push_back(features);
  }
  void ConsoleMessage(const std::u16string& message, const std::u16string& source, int line) override {
    console.push_back({message, source, line});
  }
  cef_browser_t* ShareBrowser() override { return nullptr; }
  cef_frame_t* ShareFrame() override { return nullptr; }
  std::u16string Url() override { return u"http://test.example/dir/page.html"; }

  std::vector<std::u16string> titles, opened, features_given;
  std::vector<ConsoleLine> console;
};

// A native function handler run by `body`; arguments arrive as held references.
class Handler {
 public:
  using Body = std::function<int(const std::u16string& name, cef_v8value_t* object,
                                 const std::vector<cef_v8value_t*>& args, cef_v8value_t** retval,
                                 cef_string_t* exception)>;
  explicit Handler(Body body) : body_(std::move(body)) { object_.record()->execute = &Execute; }
  cef_v8handler_t* HandOver() { return object_.HandOver(); }
  cef_v8handler_t* record() { return object_.record(); }
  int refs() const { return object_.refs(); }
  bool balanced() const { return object_.refs() == 0 && !object_.went_negative(); }
  int calls = 0;

 private:
  static int CEF_CALLBACK Execute(cef_v8handler_t* self, const cef_string_t* name, cef_v8value_t* object,
                                  size_t count, const cef_v8value_t* const* arguments, cef_v8value_t** retval,
                                  cef_string_t* exception) {
    auto* handler = FakeRecord<cef_v8handler_t>::OwnerOf<Handler>(self);
    ++handler->calls;
    // Like the binding, the handler owns the references that come with the call.
    Ref<cef_v8value_t> held_object(object);
    std::vector<Ref<cef_v8value_t>> held;
    std::vector<cef_v8value_t*> args;
    for (size_t i = 0; i < count; ++i) {
      held.emplace_back(const_cast<cef_v8value_t*>(arguments[i]));
      args.push_back(const_cast<cef_v8value_t*>(arguments[i]));
    }
    return handler->body_(engine_test::Text(*name), object, args, retval, exception);
  }

  Body body_;
  FakeRecord<cef_v8handler_t> object_{this};
};

// A string value's text, or "<not a string>".
inline std::u16string StringOf(cef_v8value_t* value) {
  if (!value || !value->is_string(value)) return u"<not a string>";
  return Take(value->get_string_value(value));
}

// Sets `*retval` to a new string value.
inline void ReturnString(cef_v8value_t** retval, std::u16string_view text) {
  const cef_string_t view = View(text);
  *retval = cef_v8value_create_string(&view);
}

// Starts the engine for a test and checks that the test left no engine object alive.
class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cef_settings_t settings{};
    settings.size = sizeof(settings);
    ASSERT_EQ(cef_initialize(&settings, nullptr), 1);
    objects_before_ = cef_engine_live_objects();
  }
  void TearDown() override {
    cef_shutdown();
    EXPECT_EQ(cef_engine_live_objects(), objects_before_) << "engine objects left alive";
  }
  // The page as a site sends it: UTF-8 bytes.
  std::unique_ptr<cef_engine::script::Page> Load(
      std::u16string_view html, const std::u16string& url = u"http://test.example/dir/page.html") {
    std::string bytes;
    cef_engine::utf::Transcode(html, bytes);
    return cef_engine::script::Page::Load(cef_engine::dom::SourceText::Utf8(std::move(bytes)), url, frame);
  }

  RecordingFrame frame;
  engine_test::StringBalance strings_;

 private:
  int objects_before_ = 0;
};

}  // namespace page_test
