// The cookie store inside the engine: which Set-Cookie lines are taken and which Cookie
// header goes where, hostile lines, cookie dates, the per-site limit and a damaged file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "net/cookies.h"
#include "net/text_util.h"

namespace {

using cef_engine::net::CookieStore;
using cef_engine::net::ParseUrl;
using cef_engine::net::ToUtf16;
using cef_engine::net::ToUtf8;

std::string HeaderFor(CookieStore& store, const char* url, bool http = true) {
  return ToUtf8(store.HeaderFor(*ParseUrl(ToUtf16(url)), http));
}

TEST(CookieStore, SetCookieLinesAreTakenOrRefusedAndSentWhereTheyMatch) {
  struct Case {
    std::string line;
    bool taken;
    const char* sent_to;      // an address that gets the cookie ("" when taken is false)
    const char* not_sent_to;  // one that does not (or "")
  };
  const std::string big(100 * 1024, 'v');
  const Case cases[] = {
      {"host=1", true, "http://shop.example.test/account/x", "http://sub.shop.example.test/account/x"},
      {"dom=1; Domain=.Example.TEST", true, "http://sub.example.test/account/x",
       "http://example.org/account/x"},
      {"other=1; Domain=other.test", false, "", ""},
      {"tld=1; Domain=test", false, "", ""},
      {"big=" + big, false, "", ""},
      {"ctl=a\x01"
       "b",
       false, "", ""},
      {"nul=a" + std::string(1, '\0') + "b", false, "", ""},
      {"secure=1; Secure", false, "", ""},  // set by a page that is not secure
      {"deep=1; Path=/account/deep", true, "http://shop.example.test/account/deep/x",
       "http://shop.example.test/account/deeper"},
      {"default=1", true, "http://shop.example.test/account", "http://shop.example.test/"},
      {"script=1; HttpOnly", true, "http://shop.example.test/account/x", ""},
      {"gone=1; Max-Age=0", false, "", ""},
      {"y1=1; Expires=Mon, 01 Jan 0001 00:00:00 GMT", false, "", ""},  // year 1 reads as 2001: past
      {"y99999=1; Expires=Fri, 01 Jan 99999 00:00:00 GMT", true, "http://shop.example.test/account/x", ""},
      {"huge=1; Max-Age=99999999999999999999999", true, "http://shop.example.test/account/x", ""},
      {"=bare", true, "http://shop.example.test/account/x", ""},
  };
  for (const auto& c : cases) {
    CookieStore store;
    const auto from = *ParseUrl(u"http://shop.example.test/account/login");
    const bool taken = store.SetFromLine(from, ToUtf16(c.line), true);
    const std::string name = c.line.substr(0, std::min<size_t>(c.line.find_first_of("=;"), 20));
    EXPECT_EQ(taken && !store.All().empty(), c.taken) << c.line.substr(0, 60);
    if (*c.sent_to) {
      EXPECT_NE(HeaderFor(store, c.sent_to).find(name.empty() ? "bare" : name), std::string::npos) << name;
    }
    if (*c.not_sent_to) {
      EXPECT_EQ(HeaderFor(store, c.not_sent_to), "") << name;
    }
  }

  // Page script sees neither HttpOnly cookies nor replaces them; longer paths come first.
  CookieStore store;
  const auto page = *ParseUrl(u"http://shop.example.test/account/login");
  EXPECT_TRUE(store.SetFromLine(page, u"a=1; Path=/", true));
  EXPECT_TRUE(store.SetFromLine(page, u"b=2; Path=/account", true));
  EXPECT_TRUE(store.SetFromLine(page, u"h=3; Path=/; HttpOnly", true));
  EXPECT_FALSE(store.SetFromLine(page, u"h=4; Path=/", false));
  EXPECT_EQ(HeaderFor(store, "http://shop.example.test/account/x"), "b=2; a=1; h=3");
  EXPECT_EQ(HeaderFor(store, "http://shop.example.test/account/x", false), "b=2; a=1");
  EXPECT_TRUE(store.SetFromLine(page, u"a=5; Path=/", true));
  EXPECT_EQ(HeaderFor(store, "http://shop.example.test/"), "a=5; h=3") << "replaced, kept its place";
}

TEST(CookieStore, CookieDates) {
  const struct {
    const char16_t* text;
    int64_t ms;  // -1: not a date
  } cases[] = {
      {u"Sun, 06 Nov 1994 08:49:37 GMT", 784111777000},
      {u"Sunday, 06-Nov-94 08:49:37 GMT", 784111777000},
      {u"Sun Nov  6 08:49:37 1994", 784111777000},
      {u"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {u"Mon, 30 Feb 2020 00:00:00 GMT", -1},
      {u"Mon, 01 Jan 1600 00:00:00 GMT", -1},
      {u"Fri, 01 Jan 99999 00:00:00 GMT", -1},
      {u"01 Jan 2020 24:00:00", -1},
      {u"", -1},
  };
  for (const auto& c : cases) {
    int64_t ms = -1;
    const bool parsed = cef_engine::net::ParseCookieDate(c.text, ms);
    EXPECT_EQ(parsed ? ms : -1, c.ms) << ToUtf8(c.text);
  }
}

TEST(CookieStore, TenThousandCookiesOfOneSiteKeepTheNewestAndADamagedFileIsSetAside) {
  CookieStore store;
  const auto page = *ParseUrl(u"http://many.test/");
  for (int i = 0; i < 10000; ++i) store.SetFromLine(page, ToUtf16("c" + std::to_string(i) + "=1"), true);
  const auto all = store.All();
  ASSERT_EQ(all.size(), cef_engine::net::kMaxCookiesPerDomain);
  EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const auto& c) { return c.name == u"c9999"; }));
  EXPECT_FALSE(std::any_of(all.begin(), all.end(), [](const auto& c) { return c.name == u"c0"; }));

  const auto folder = std::filesystem::temp_directory_path() / "engine-cookie-store-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Cookies", std::ios::binary) << "tessaril-cookies 1\nmany.test\t1\t/\t0\t0\t99";
  {
    testing::internal::CaptureStderr();
    auto damaged = cef_engine::net::MakeCookieStore(folder.u16string());
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(damaged);
    EXPECT_TRUE(damaged->All().empty());
    EXPECT_NE(said.find("damaged"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  EXPECT_TRUE(std::filesystem::exists(folder / "Cookies.damaged"));
  std::filesystem::remove_all(folder);
}

}  // namespace
