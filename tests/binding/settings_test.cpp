#include <gtest/gtest.h>

#include "ceflib/core/engine_library.h"

using namespace ceflib;

namespace {

void ExpectView(const cef_string_t& record, const ustring& expected) {
  ASSERT_NE(record.str, nullptr) << "empty strings still point at an empty text";
  EXPECT_EQ(ustring(record.str, record.length), expected);
  EXPECT_EQ(record.dtor, nullptr) << "settings strings are borrowed views";
}

TEST(SettingsRecord, InitialGlobals) {
  TCefSettingsRecord record({CefCachePath, CefUserAgent, CefProductVersion, CefLocale, CefLogFile,
                             CefExtraPluginPaths, CefLogSeverity, CefReleaseDcheckEnabled,
                             CefGraphicsImplementation, CefLocalStorageQuota, CefSessionStorageQuota,
                             CefAutoDetectProxySettings, CefJavaScriptFlags, CefResourcesDirPath,
                             CefLocalesDirPath, CefPackLoadingDisabled, CefUncaughtExceptionStackSize,
                             CefContextSafetyImplementation});
  const cef_settings_t& s = *record.get();
  EXPECT_EQ(s.size, sizeof(cef_settings_t));
  EXPECT_FALSE(s.multi_threaded_message_loop);
  for (const cef_string_t* str : {&s.cache_path, &s.user_agent, &s.product_version, &s.locale, &s.log_file,
                                  &s.javascript_flags, &s.resources_dir_path, &s.locales_dir_path}) {
    ExpectView(*str, u"");
  }
  EXPECT_EQ(s.extra_plugin_paths, nullptr) << "no list for an empty plugin path setting";
  EXPECT_EQ(s.log_severity, 99);
  EXPECT_FALSE(s.release_dcheck_enabled);
  EXPECT_EQ(s.graphics_implementation, 0);
  EXPECT_EQ(s.local_storage_quota, 0u);
  EXPECT_EQ(s.session_storage_quota, 0u);
  EXPECT_FALSE(s.auto_detect_proxy_settings_enabled);
  EXPECT_FALSE(s.pack_loading_disabled);
  EXPECT_EQ(s.uncaught_exception_stack_size, 0);
  EXPECT_EQ(s.context_safety_implementation, 0);
}

TEST(SettingsRecord, EveryValueSetLandsInItsField) {
  ustring cache = u"cache", agent = u"agent", product = u"Tessaril/1.0", locale = u"vi", log = u"log.txt",
          plugins = u"C:\\A; \"C:\\My Plugins\"", flags = u"--expose-gc", resources = u"res",
          locales = u"loc";
  TCefSettingsRecord record({cache, agent, product, locale, log, plugins, 2, true, 3, 5000000, 6000000, true,
                             flags, resources, locales, true, 10, -1});
  const cef_settings_t& s = *record.get();
  ExpectView(s.cache_path, cache);
  EXPECT_EQ(s.cache_path.str, cache.data()) << "a view, not a copy";
  ExpectView(s.user_agent, agent);
  ExpectView(s.product_version, product);
  ExpectView(s.locale, locale);
  ExpectView(s.log_file, log);
  ExpectView(s.javascript_flags, flags);
  ExpectView(s.resources_dir_path, resources);
  ExpectView(s.locales_dir_path, locales);
  EXPECT_EQ(s.log_severity, 2);
  EXPECT_TRUE(s.release_dcheck_enabled);
  EXPECT_EQ(s.graphics_implementation, 3);
  EXPECT_EQ(s.local_storage_quota, 5000000u);
  EXPECT_EQ(s.session_storage_quota, 6000000u);
  EXPECT_TRUE(s.auto_detect_proxy_settings_enabled);
  EXPECT_TRUE(s.pack_loading_disabled);
  EXPECT_EQ(s.uncaught_exception_stack_size, 10);
  EXPECT_EQ(s.context_safety_implementation, -1);
  ASSERT_NE(s.extra_plugin_paths, nullptr);
  std::vector<ustring> items;
  CefStringListRead(s.extra_plugin_paths, items);
  EXPECT_EQ(items, (std::vector<ustring>{u"C:\\A", u"C:\\My Plugins"}));
}

TEST(SettingsRecord, BooleansOccupyOneByteOfAZeroedSlot) {
  ustring empty;
  TCefSettingsRecord record(
      {empty, empty, empty, empty, empty, empty, 99, true, 0, 0, 0, true, empty, empty, empty, true, 0, 0});
  auto bytes = reinterpret_cast<const unsigned char*>(record.get());
  for (size_t offset : {offsetof(cef_settings_t, release_dcheck_enabled),
                        offsetof(cef_settings_t, auto_detect_proxy_settings_enabled),
                        offsetof(cef_settings_t, pack_loading_disabled)}) {
    EXPECT_EQ(bytes[offset], 1);
    EXPECT_EQ(bytes[offset + 1] | bytes[offset + 2] | bytes[offset + 3], 0) << "padding stays zero";
  }
}

using Items = std::vector<ustring>;

TEST(PluginPaths, SplitsLikeTheRunTime) {
  EXPECT_EQ(CefSplitPluginPaths(u"C:\\One;C:\\Two"), (Items{u"C:\\One", u"C:\\Two"}));
  EXPECT_EQ(CefSplitPluginPaths(u"C:\\One; C:\\Two"), (Items{u"C:\\One", u"C:\\Two"}))
      << "blank after separator";
  EXPECT_EQ(CefSplitPluginPaths(u"C:\\My Plugins"), (Items{u"C:\\My", u"Plugins"})) << "a blank ends an item";
  EXPECT_EQ(CefSplitPluginPaths(u"\"C:\\My Plugins\""), (Items{u"C:\\My Plugins"}));
  EXPECT_EQ(CefSplitPluginPaths(u"C:\\One;"), (Items{u"C:\\One", u""})) << "trailing separator";
  EXPECT_EQ(CefSplitPluginPaths(u";"), (Items{u"", u""}));
  EXPECT_EQ(CefSplitPluginPaths(u""), Items{});
  EXPECT_EQ(CefSplitPluginPaths(u"  \t"), Items{});
}

TEST(PluginPaths, QuotesAndControlCharacters) {
  EXPECT_EQ(CefSplitPluginPaths(u"\"say \"\"hi\"\"\";x"), (Items{u"say \"hi\"", u"x"})) << "doubled quote";
  EXPECT_EQ(CefSplitPluginPaths(u"\"unterminated; still"), (Items{u"unterminated; still"}));
  EXPECT_EQ(CefSplitPluginPaths(u"\t\r\na;\nb \t"), (Items{u"a", u"b"}));
  EXPECT_EQ(CefSplitPluginPaths(u"a;;b"), (Items{u"a", u"", u"b"}));
  EXPECT_EQ(CefSplitPluginPaths(u"\u00e9t\u00e9;\U0001F600"), (Items{u"\u00e9t\u00e9", u"\U0001F600"}));
}

}  // namespace
