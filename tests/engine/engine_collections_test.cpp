// String lists, maps and multimaps: values copied in and out, order, out-of-range
// indexes, several values per key, and handles that are unknown or already freed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"

namespace {

using engine_test::Filled;
using engine_test::StringBalance;
using engine_test::View;

class EngineCollectionsTest : public testing::Test {
 protected:
  static std::vector<std::u16string> Items(cef_string_list_t list) {
    std::vector<std::u16string> items;
    for (int i = 0; i < cef_string_list_size(list); ++i) {
      Filled<cef_string_t> value;
      EXPECT_EQ(cef_string_list_value(list, i, value.out()), 1);
      items.push_back(value.text());
    }
    return items;
  }

  StringBalance balance_;
};

TEST_F(EngineCollectionsTest, ListCopiesItemsInAndOut) {
  const int before = cef_engine_live_strings();
  cef_string_list_t list = cef_string_list_alloc();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(cef_engine_live_strings(), before + 1) << "a live list counts";

  std::u16string buffer = u"plugins";
  const auto borrowed = View(buffer);
  cef_string_list_append(list, &borrowed);
  buffer.assign(u"XXXXXXX");  // the engine must have taken a copy
  const std::u16string with_zero(u"a\0b", 3);
  const auto zero_view = View(with_zero);
  cef_string_list_append(list, &zero_view);
  cef_string_list_append(list, nullptr);  // a missing record is not an item
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"plugins", with_zero}));

  Filled<cef_string_t> value;
  ASSERT_EQ(cef_string_list_value(list, 0, value.out()), 1);
  EXPECT_NE(value.record.dtor, nullptr) << "values go out as engine-owned copies";
  EXPECT_EQ(cef_string_list_value(list, 0, nullptr), 0);

  Filled<cef_string_t> untouched;
  EXPECT_EQ(cef_string_list_value(list, -1, untouched.out()), 0);
  EXPECT_EQ(cef_string_list_value(list, 2, untouched.out()), 0);
  EXPECT_EQ(untouched.record.str, nullptr);
  EXPECT_EQ(untouched.record.length, 0u);

  cef_string_list_t copy = cef_string_list_copy(list);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, list);
  cef_string_list_free(list);
  EXPECT_EQ(Items(copy), (std::vector<std::u16string>{u"plugins", with_zero})) << "the copy is deep";
  cef_string_list_clear(copy);
  EXPECT_EQ(cef_string_list_size(copy), 0);
  cef_string_list_free(copy);
}

TEST_F(EngineCollectionsTest, MapKeepsOneValuePerKeyInInsertionOrder) {
  cef_string_map_t map = cef_string_map_alloc();
  ASSERT_NE(map, nullptr);
  const auto host = View(u"Host"), accept = View(u"Accept"), missing = View(u"Missing");
  const auto example = View(u"example.org"), html = View(u"text/html"), other = View(u"other");
  EXPECT_EQ(cef_string_map_append(map, &host, &example), 1);
  EXPECT_EQ(cef_string_map_append(map, &accept, &html), 1);
  EXPECT_EQ(cef_string_map_append(map, &host, &other), 0) << "a key already present is refused";
  EXPECT_EQ(cef_string_map_size(map), 2);

  Filled<cef_string_t> found;
  EXPECT_EQ(cef_string_map_find(map, &host, found.out()), 1);
  EXPECT_EQ(found.text(), u"example.org") << "the first value stays";
  Filled<cef_string_t> not_found;
  EXPECT_EQ(cef_string_map_find(map, &missing, not_found.out()), 0);
  EXPECT_EQ(not_found.record.str, nullptr);

  Filled<cef_string_t> key, value;
  EXPECT_EQ(cef_string_map_key(map, 1, key.out()), 1);
  EXPECT_EQ(cef_string_map_value(map, 1, value.out()), 1);
  EXPECT_EQ(key.text(), u"Accept");
  EXPECT_EQ(value.text(), u"text/html");
  Filled<cef_string_t> past_end;
  EXPECT_EQ(cef_string_map_key(map, 2, past_end.out()), 0);
  EXPECT_EQ(cef_string_map_value(map, -1, past_end.out()), 0);
  EXPECT_EQ(past_end.record.str, nullptr);

  cef_string_map_clear(map);
  EXPECT_EQ(cef_string_map_size(map), 0);
  EXPECT_EQ(cef_string_map_find(map, &host, found.out()), 0);
  cef_string_map_free(map);
}

TEST_F(EngineCollectionsTest, MultimapEnumeratesSeveralValuesPerKeyInOrder) {
  cef_string_multimap_t map = cef_string_multimap_alloc();
  ASSERT_NE(map, nullptr);
  const auto cookie = View(u"Set-Cookie"), version = View(u"X-CEF-Version"), absent = View(u"Absent");
  const auto a = View(u"a=1"), b = View(u"b=2"), c = View(u"c=3"), v = View(u"1.0.0.3");
  EXPECT_EQ(cef_string_multimap_append(map, &cookie, &a), 1);
  EXPECT_EQ(cef_string_multimap_append(map, &version, &v), 1);
  EXPECT_EQ(cef_string_multimap_append(map, &cookie, &b), 1);
  EXPECT_EQ(cef_string_multimap_append(map, &cookie, &c), 1);
  EXPECT_EQ(cef_string_multimap_size(map), 4);
  EXPECT_EQ(cef_string_multimap_find_count(map, &cookie), 3);
  EXPECT_EQ(cef_string_multimap_find_count(map, &version), 1);
  EXPECT_EQ(cef_string_multimap_find_count(map, &absent), 0);

  std::vector<std::u16string> cookies;
  for (int i = 0; i < 3; ++i) {
    Filled<cef_string_t> value;
    EXPECT_EQ(cef_string_multimap_enumerate(map, &cookie, i, value.out()), 1);
    cookies.push_back(value.text());
  }
  EXPECT_EQ(cookies, (std::vector<std::u16string>{u"a=1", u"b=2", u"c=3"}));
  Filled<cef_string_t> none;
  EXPECT_EQ(cef_string_multimap_enumerate(map, &cookie, 3, none.out()), 0);
  EXPECT_EQ(cef_string_multimap_enumerate(map, &cookie, -1, none.out()), 0);
  EXPECT_EQ(cef_string_multimap_enumerate(map, &absent, 0, none.out()), 0);
  EXPECT_EQ(none.record.str, nullptr);

  std::vector<std::u16string> entries;
  for (int i = 0; i < cef_string_multimap_size(map); ++i) {
    Filled<cef_string_t> key, value;
    EXPECT_EQ(cef_string_multimap_key(map, i, key.out()), 1);
    EXPECT_EQ(cef_string_multimap_value(map, i, value.out()), 1);
    entries.push_back(key.text() + u": " + value.text());
  }
  EXPECT_EQ(entries, (std::vector<std::u16string>{u"Set-Cookie: a=1", u"X-CEF-Version: 1.0.0.3",
                                                  u"Set-Cookie: b=2", u"Set-Cookie: c=3"}));
  EXPECT_EQ(cef_string_multimap_key(map, 4, none.out()), 0);

  cef_string_multimap_clear(map);
  EXPECT_EQ(cef_string_multimap_size(map), 0);
  cef_string_multimap_free(map);
}

TEST_F(EngineCollectionsTest, UnknownAndFreedHandlesAreRefused) {
  cef_string_list_t list = cef_string_list_alloc();
  cef_string_map_t map = cef_string_map_alloc();
  const auto key = View(u"k"), value = View(u"v");
  Filled<cef_string_t> out;

  // A handle of another kind is not followed.
  EXPECT_EQ(cef_string_map_append(list, &key, &value), 0);
  EXPECT_EQ(cef_string_multimap_append(map, &key, &value), 0);
  EXPECT_EQ(cef_string_multimap_size(list), 0);
  cef_string_list_append(map, &value);
  EXPECT_EQ(cef_string_map_size(map), 0);
  EXPECT_EQ(cef_string_list_copy(map), nullptr);

  cef_string_list_append(list, &value);
  cef_string_list_free(list);
  EXPECT_EQ(cef_string_list_size(list), 0);
  EXPECT_EQ(cef_string_list_value(list, 0, out.out()), 0);
  cef_string_list_free(list);  // a second free does nothing
  cef_string_map_free(map);

  EXPECT_EQ(cef_string_list_size(nullptr), 0);
  EXPECT_EQ(cef_string_multimap_find_count(nullptr, &key), 0);
  EXPECT_EQ(out.record.str, nullptr);
}

}  // namespace
