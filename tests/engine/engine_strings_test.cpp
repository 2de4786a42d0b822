// The engine's string records: copy versus borrow, release, comparison, userfree
// records, and conversions between UTF-8, UTF-16 and wide text, malformed input included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"

namespace {

using engine_test::Filled;
using engine_test::StringBalance;
using engine_test::Text;

template <class R, auto Set, auto Clear, auto Cmp, auto Alloc, auto Free>
struct Api {
  using Record = R;
  static constexpr auto set = Set, clear = Clear, cmp = Cmp, alloc = Alloc, free = Free;
};
using WideApi = Api<cef_string_wide_t, &cef_string_wide_set, &cef_string_wide_clear, &cef_string_wide_cmp,
                    &cef_string_userfree_wide_alloc, &cef_string_userfree_wide_free>;
using Utf8Api = Api<cef_string_utf8_t, &cef_string_utf8_set, &cef_string_utf8_clear, &cef_string_utf8_cmp,
                    &cef_string_userfree_utf8_alloc, &cef_string_userfree_utf8_free>;
using Utf16Api =
    Api<cef_string_utf16_t, &cef_string_utf16_set, &cef_string_utf16_clear, &cef_string_utf16_cmp,
        &cef_string_userfree_utf16_alloc, &cef_string_userfree_utf16_free>;

template <class A>
class EngineStringRecordTest : public testing::Test {
 protected:
  using Record = typename A::Record;
  using Char = engine_test::CharOf<Record>;
  using String = std::basic_string<Char>;

  static String Str(std::initializer_list<unsigned> units) {
    String text;
    for (unsigned unit : units) text.push_back(static_cast<Char>(unit));
    return text;
  }
  static int Cmp(const String& x, const String& y) {
    const Record rx{const_cast<Char*>(x.data()), x.size(), nullptr};
    const Record ry{const_cast<Char*>(y.data()), y.size(), nullptr};
    return A::cmp(&rx, &ry);
  }

  StringBalance balance_;
};
using RecordApis = testing::Types<WideApi, Utf8Api, Utf16Api>;
TYPED_TEST_SUITE(EngineStringRecordTest, RecordApis);

TYPED_TEST(EngineStringRecordTest, CopyOwnsItsTextAndBorrowDoesNot) {
  using A = TypeParam;
  const auto source = this->Str({'a', 0, 'b'});
  const int before = cef_engine_live_strings();

  typename A::Record copy{}, borrow{};
  ASSERT_EQ(A::set(source.data(), source.size(), &copy, 1), 1);
  EXPECT_NE(copy.str, source.data());
  EXPECT_NE(copy.dtor, nullptr);
  EXPECT_EQ(Text(copy), source) << "embedded zero kept by length";
  EXPECT_EQ(copy.str[copy.length], 0) << "engine text is zero-terminated";
  ASSERT_EQ(A::set(source.data(), source.size(), &borrow, 0), 1);
  EXPECT_EQ(borrow.str, source.data());
  EXPECT_EQ(borrow.length, 3u);
  EXPECT_EQ(borrow.dtor, nullptr);
  EXPECT_EQ(cef_engine_live_strings(), before + 1) << "only the copy allocates";

  A::clear(&borrow);
  EXPECT_EQ(source, this->Str({'a', 0, 'b'})) << "clearing a borrowed record leaves the text alone";
  A::clear(&copy);
  EXPECT_TRUE(copy.str == nullptr && copy.length == 0 && copy.dtor == nullptr);
  EXPECT_EQ(cef_engine_live_strings(), before);

  // Empty text allocates nothing; a length without text is refused.
  ASSERT_EQ(A::set(source.data(), 0, &copy, 1), 1);
  EXPECT_TRUE(copy.str == nullptr && copy.length == 0 && copy.dtor == nullptr);
  EXPECT_EQ(A::set(nullptr, 4, &copy, 1), 0);
  EXPECT_EQ(A::set(source.data(), 1, nullptr, 1), 0);
  EXPECT_EQ(cef_engine_live_strings(), before);
}

TYPED_TEST(EngineStringRecordTest, SetReleasesWhatTheRecordOwnedBefore) {
  using A = TypeParam;
  const int before = cef_engine_live_strings();
  const auto first = this->Str({'f', 'i', 'r', 's', 't'});
  typename A::Record record{};
  ASSERT_EQ(A::set(first.data(), first.size(), &record, 1), 1);
  // A part of the record's own text: the source dies only after the copy.
  ASSERT_EQ(A::set(record.str + 1, 3, &record, 1), 1);
  EXPECT_EQ(Text(record), this->Str({'i', 'r', 's'}));
  EXPECT_EQ(cef_engine_live_strings(), before + 1);
  ASSERT_EQ(A::set(first.data(), first.size(), &record, 0), 1);
  EXPECT_EQ(cef_engine_live_strings(), before);
}

TYPED_TEST(EngineStringRecordTest, CompareOrdersByUnsignedCodeUnits) {
  using A = TypeParam;
  const auto Str = [this](std::initializer_list<unsigned> units) { return this->Str(units); };
  EXPECT_LT(this->Cmp(Str({'a', 'b', 'c'}), Str({'a', 'b', 'd'})), 0);
  EXPECT_GT(this->Cmp(Str({'a', 'b', 'd'}), Str({'a', 'b', 'c'})), 0);
  EXPECT_EQ(this->Cmp(Str({'a', 'b'}), Str({'a', 'b'})), 0);
  EXPECT_LT(this->Cmp(Str({'a', 'b'}), Str({'a', 'b', 'c'})), 0) << "a prefix sorts first";
  EXPECT_LT(this->Cmp(Str({'a', 0, 'b'}), Str({'a', 0, 'c'})), 0) << "past an embedded zero";
  EXPECT_GT(this->Cmp(Str({0xC3}), Str({'z'})), 0) << "0xC3 is negative as a signed char";
  const typename A::Record empty{};
  EXPECT_EQ(A::cmp(nullptr, &empty), 0) << "a missing record equals an empty one";
}

TYPED_TEST(EngineStringRecordTest, UserfreeRecordsStartZeroAndFreeTheirText) {
  using A = TypeParam;
  const int before = cef_engine_live_strings();
  auto* userfree = A::alloc();
  ASSERT_NE(userfree, nullptr);
  EXPECT_TRUE(userfree->str == nullptr && userfree->length == 0 && userfree->dtor == nullptr);
  const auto text = this->Str({'x', 'y'});
  ASSERT_EQ(A::set(text.data(), text.size(), userfree, 1), 1);
  EXPECT_EQ(cef_engine_live_strings(), before + 2) << "the record and its text";
  A::free(userfree);
  EXPECT_EQ(cef_engine_live_strings(), before);
  A::free(nullptr);
}

// An answer's record and its text come in one allocation; a program may still take the
// text over (copy the record, zero it, free the record, release the text later) or set a
// text of its own into the record, and nothing is freed early or leaks.
TEST(EngineUserfreeAnswerTest, TextOutlivesItsRecordAndReplacementsAreReleased) {
  StringBalance balance;
  cef_request_t* request = cef_request_create();
  ASSERT_NE(request, nullptr);
  const std::u16string url = u"http://example.test/text/of/the/address";
  const cef_string_t url_view{const_cast<char16*>(url.data()), url.size(), nullptr};
  request->set_url(request, &url_view);

  cef_string_userfree_t answer = request->get_url(request);
  ASSERT_NE(answer, nullptr);
  cef_string_utf16_t taken = *answer;
  *answer = {};
  cef_string_userfree_utf16_free(answer);
  EXPECT_EQ(Text(taken), url) << "the text outlives the record it came in";
  ASSERT_NE(taken.dtor, nullptr);
  taken.dtor(taken.str);

  answer = request->get_url(request);
  const std::u16string own = u"the program's own text";
  ASSERT_EQ(cef_string_utf16_set(own.data(), own.size(), answer, 1), 1);
  EXPECT_EQ(Text(*answer), own);
  cef_string_userfree_utf16_free(answer);
  request->base.release(&request->base);
}

// --- conversions -------------------------------------------------------------------

class EngineStringConversionTest : public testing::Test {
 protected:
  template <class Out, class In, class Fn>
  static auto Convert(Fn fn, const In& in, int* result = nullptr) {
    Filled<Out> out;
    const int r = fn(in.data(), in.size(), out.out());
    if (result) *result = r;
    return out.text();
  }
  static std::u16string ToUtf16(const std::string& s, int* r = nullptr) {
    return Convert<cef_string_utf16_t>(cef_string_utf8_to_utf16, s, r);
  }
  static std::string ToUtf8(const std::u16string& s, int* r = nullptr) {
    return Convert<cef_string_utf8_t>(cef_string_utf16_to_utf8, s, r);
  }
  static std::wstring ToWide(const std::u16string& s) {
    return Convert<cef_string_wide_t>(cef_string_utf16_to_wide, s);
  }

  StringBalance balance_;
};

TEST_F(EngineStringConversionTest, EveryEncodingLengthRoundTripsBetweenUtf8AndUtf16) {
  const std::vector<std::pair<std::string, std::u16string>> cases = {
      {"A", u"A"},
      {"\xC2\x80", u"\u0080"},
      {"\xDF\xBF", u"\u07FF"},
      {"\xE0\xA0\x80", u"\u0800"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x90\x80\x80", {0xD800, 0xDC00}},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"V\xC3\xA0o game \xF0\x9F\x8E\xAE!", u"V\u00E0o game \U0001F3AE!"},
  };
  for (const auto& [utf8, utf16] : cases) {
    int to16 = -1, to8 = -1;
    EXPECT_EQ(ToUtf16(utf8, &to16), utf16) << utf8;
    EXPECT_EQ(ToUtf8(utf16, &to8), utf8) << utf8;
    EXPECT_EQ(to16 + to8, 2) << "clean input reports success both ways";
  }
}

TEST_F(EngineStringConversionTest, WideTextHasThePlatformsWidth) {
  const std::string utf8 = "x\xF0\x9F\x98\x80";
  const std::wstring wide = Convert<cef_string_wide_t>(cef_string_utf8_to_wide, utf8);
  if constexpr (sizeof(wchar_t) == 2) {
    EXPECT_EQ(wide, std::wstring({L'x', wchar_t(0xD83D), wchar_t(0xDE00)})) << "UTF-16 on Windows";
  } else {
    EXPECT_EQ(wide, std::wstring({L'x', wchar_t(0x1F600)})) << "UTF-32 elsewhere";
  }
  EXPECT_EQ(Convert<cef_string_utf16_t>(cef_string_wide_to_utf16, wide), u"x\U0001F600");
  EXPECT_EQ(Convert<cef_string_utf8_t>(cef_string_wide_to_utf8, wide), utf8);
  EXPECT_EQ(ToWide(u"x\U0001F600"), wide);
}

TEST_F(EngineStringConversionTest, MalformedUtf8BecomesOneReplacementPerBadSequence) {
  const std::vector<std::pair<std::string, std::u16string>> cases = {
      {"\x80", u"\uFFFD"},                                          // stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                                // overlong '/'
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},                      // overlong, three bytes
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                      // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},            // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // five-byte form
      {"a\xE2\x82", u"a\uFFFD"},                                    // cut off at the end
      {"\xE2\x82z", u"\uFFFDz"},                                    // cut off before ASCII
      {"\xF0\x9F\x98\xF0\x9F\x98\x80", u"\uFFFD\U0001F600"},        // cut off before a good one
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
  };
  for (const auto& [utf8, expected] : cases) {
    int result = -1;
    EXPECT_EQ(ToUtf16(utf8, &result), expected) << testing::PrintToString(utf8);
    EXPECT_EQ(result, 0) << "malformed input is reported";
    EXPECT_EQ(Convert<cef_string_wide_t>(cef_string_utf8_to_wide, utf8), ToWide(expected));
  }
}

TEST_F(EngineStringConversionTest, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {{0xD800}, fffd},
      {{0xDC00}, fffd},
      {{0xD800, u'a'}, fffd + "a"},
      {{0xDC00, 0xD800}, fffd + fffd},
      {{u'x', 0xD83D}, "x" + fffd},
  };
  for (const auto& [utf16, utf8] : cases) {
    int result = -1;
    EXPECT_EQ(ToUtf8(utf16, &result), utf8);
    EXPECT_EQ(result, 0);
  }
  EXPECT_EQ(ToWide({0xD800, u'a'}), std::wstring({wchar_t(0xFFFD), L'a'}));
  EXPECT_EQ(Convert<cef_string_utf8_t>(cef_string_wide_to_utf8, std::wstring{wchar_t(0xDFFF)}), fffd);
}

TEST_F(EngineStringConversionTest, EmbeddedZerosSurviveEveryConversion) {
  const std::string utf8("a\0\xC3\xA9\0", 5);
  const std::u16string utf16(u"a\0\u00E9\0", 4);
  const std::wstring wide(L"a\0\u00E9\0", 4);
  EXPECT_EQ(ToUtf16(utf8), utf16);
  EXPECT_EQ(ToUtf8(utf16), utf8);
  EXPECT_EQ(ToWide(utf16), wide);
  EXPECT_EQ(Convert<cef_string_utf16_t>(cef_string_wide_to_utf16, wide), utf16);
  EXPECT_EQ(Convert<cef_string_utf16_t>(cef_string_ascii_to_utf16, std::string("H\0i", 3)),
            std::u16string(u"H\0i", 3));
}

TEST_F(EngineStringConversionTest, AsciiWidensBytesAndReplacesTheRest) {
  int result = -1;
  EXPECT_EQ(Convert<cef_string_utf16_t>(cef_string_ascii_to_utf16, std::string("Hi!"), &result), u"Hi!");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Convert<cef_string_utf16_t>(cef_string_ascii_to_utf16, std::string("\xE9t\xE9"), &result),
            u"\uFFFDt\uFFFD");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Convert<cef_string_wide_t>(cef_string_ascii_to_wide, std::string("ok")), L"ok");
}

TEST_F(EngineStringConversionTest, OutputsReplaceTheTextTheyOwnedBefore) {
  const int before = cef_engine_live_strings();
  cef_string_utf16_t out{};
  ASSERT_EQ(cef_string_utf8_to_utf16("one", 3, &out), 1);
  ASSERT_EQ(cef_string_utf8_to_utf16("two", 3, &out), 1);
  EXPECT_EQ(Text(out), u"two");
  EXPECT_NE(out.dtor, nullptr);
  EXPECT_EQ(cef_engine_live_strings(), before + 1) << "the first text was released";
  ASSERT_EQ(cef_string_utf8_to_utf16("", 0, &out), 1);
  EXPECT_EQ(out.str, nullptr);
  EXPECT_EQ(cef_engine_live_strings(), before);
  EXPECT_EQ(cef_string_utf8_to_utf16("x", 1, nullptr), 0);
}

}  // namespace
