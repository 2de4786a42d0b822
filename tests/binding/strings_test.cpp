#include <gtest/gtest.h>

#include "ceflib/core/strings.h"
#include "support/engine_probe.h"

using namespace ceflib;

namespace {

class StringsTest : public testing::Test {
 protected:
  void SetUp() override { baseline_ = engine_probe::LiveStrings(); }
  void TearDown() override { EXPECT_EQ(engine_probe::LiveStrings(), baseline_) << "engine text leaked"; }
  int baseline_ = 0;
};

TEST_F(StringsTest, ViewBorrowsTheProgramString) {
  ustring text = u"h\u00e9llo \U0001F600";
  cef_string_t view = CefStringView(text);
  EXPECT_EQ(view.str, text.data());
  EXPECT_EQ(view.length, 8u);  // the emoji crosses as two code units
  EXPECT_EQ(view.dtor, nullptr);

  ustring nothing;
  cef_string_t empty = CefStringView(nothing);
  EXPECT_NE(empty.str, nullptr);
  EXPECT_EQ(empty.str[0], u'\0');
  EXPECT_EQ(empty.length, 0u);
  EXPECT_EQ(empty.dtor, nullptr);
}

TEST_F(StringsTest, AllocMakesAnEngineOwnedCopy) {
  cef_string_t none = CefStringAlloc(ustring());
  EXPECT_EQ(none.str, nullptr);
  EXPECT_EQ(none.length, 0u);
  EXPECT_EQ(none.dtor, nullptr);

  cef_string_t copy;
  {
    ustring text = u"copy \U00010348";
    copy = CefStringAlloc(text);
    EXPECT_NE(copy.str, text.data());
  }
  EXPECT_NE(copy.dtor, nullptr);
  EXPECT_EQ(engine_probe::LiveStrings(), baseline_ + 1);
  EXPECT_EQ(CefStringClearAndGet(&copy), u"copy \U00010348");
  EXPECT_EQ(copy.str, nullptr);
}

TEST_F(StringsTest, AssignCopiesIntoTheEngineRecordAndIgnoresNull) {
  cef_string_t target{};
  {
    ustring text = u"localized";
    CefStringAssign(&target, text);
  }
  // The program string is gone; the engine's record still holds its own copy.
  EXPECT_EQ(CefStringRead(&target), u"localized");
  EXPECT_NE(target.dtor, nullptr);
  CefStringAssign(&target, u"replaced");  // the old copy is released, not leaked
  EXPECT_EQ(CefStringClearAndGet(&target), u"replaced");

  CefStringAssign(nullptr, u"ignored");
}

TEST_F(StringsTest, ReadingNullGivesEmptyAndCallsNothing) {
  EXPECT_EQ(CefStringRead(nullptr), u"");
  EXPECT_EQ(CefStringFreeAndGet(nullptr), u"");
  cef_string_t zero{};
  EXPECT_EQ(CefStringClearAndGet(&zero), u"");
}

TEST_F(StringsTest, UserfreeResultIsCopiedAndFreed) {
  cef_string_userfree_t u = cef_string_userfree_alloc();
  const char16 text[] = u"a\0b";  // embedded NUL survives: the length counts
  cef_string_set(text, 3, u, 1);
  EXPECT_EQ(CefStringFreeAndGet(u), ustring(u"a\0b", 3));
}

TEST_F(StringsTest, GenericEntriesUseUtf16) {
  cef_string_t out{};
  const char16 text[] = u"\U0001F600";
  ASSERT_NE(cef_string_from_utf16(text, 2, &out), 0);
  EXPECT_EQ(CefStringClearAndGet(&out), u"\U0001F600");

  cef_string_utf8_t utf8{};
  ustring text16 = u"\u00e9\U0001F600";
  cef_string_t source = CefStringView(text16);
  cef_string_to_utf8(source.str, source.length, &utf8);
  EXPECT_EQ(std::string(utf8.str, utf8.length), "\xC3\xA9\xF0\x9F\x98\x80");
  cef_string_utf8_clear(&utf8);

  // The binding's own conversions give what the engine's give, bad sequences included.
  const std::pair<std::string, ustring> rows[] = {
      {"\xC3\xA9\xF0\x9F\x98\x80", u"\u00e9\U0001F600"},
      {std::string("a\0b", 3), ustring(u"a\0b", 3)},
      {"\xC0\xAF\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},          // overlong, surrogate
      {"\xF0\x9F\x98\xF0\x9F\x98\x80\xE2\x82", u"\uFFFD\U0001F600\uFFFD"},  // cut off
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},                    // past U+10FFFF
  };
  for (const auto& [bytes, text] : rows) {
    EXPECT_EQ(CefFromUtf8(bytes), text) << testing::PrintToString(bytes);
    cef_string_t engine{};
    cef_string_from_utf8(bytes.data(), bytes.size(), &engine);
    EXPECT_EQ(CefStringClearAndGet(&engine), text) << testing::PrintToString(bytes);
  }
  EXPECT_EQ(CefToUtf8(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(CefToUtf8(ustring(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST_F(StringsTest, StringListsReadInOrderAndAppend) {
  CefOwnedStringList list;
  list.Append(u"first");
  list.Append(u"");
  list.Append(u"th\U0001F600ird");
  std::vector<ustring> out{u"kept"};
  list.ReadInto(out);
  EXPECT_EQ(out, (std::vector<ustring>{u"kept", u"first", u"", u"th\U0001F600ird"}));
  CefOwnedStringList copy = list.Copy();
  list.Clear();
  std::vector<ustring> copied, cleared;
  copy.ReadInto(copied);
  list.ReadInto(cleared);
  EXPECT_EQ(copied, (std::vector<ustring>{u"first", u"", u"th\U0001F600ird"}))
      << "the copy is the engine's own";
  EXPECT_EQ(cleared, std::vector<ustring>{});
}

TEST_F(StringsTest, MultimapOperations) {
  RefPtr<ICefStringMultimap> map = Make<TCefStringMultimapOwn>();
  EXPECT_NE(map->GetHandle(), nullptr);
  EXPECT_EQ(map->GetSize(), 0);
  EXPECT_NE(map->Append(u"Accept", u"text/html"), 0);
  map->Append(u"X-CEF-Version", u"1.0.0.3");
  map->Append(u"Accept", u"image/png");
  EXPECT_EQ(map->GetSize(), 3);
  EXPECT_EQ(map->FindCount(u"Accept"), 2);
  EXPECT_EQ(map->FindCount(u"Missing"), 0);
  EXPECT_EQ(map->Enumerate(u"Accept", 1), u"image/png");
  EXPECT_EQ(map->GetKey(1), u"X-CEF-Version");
  EXPECT_EQ(map->GetValue(1), u"1.0.0.3");
  // Past the end, the engine fills nothing and the zeroed record reads as empty.
  EXPECT_EQ(map->GetKey(3), u"");
  EXPECT_EQ(map->GetValue(-1), u"");
  EXPECT_EQ(map->Enumerate(u"Accept", 2), u"");
  map->Clear();
  EXPECT_EQ(map->GetSize(), 0);
  map->Append(u"left", u"for the destructor to free");
}

}  // namespace
