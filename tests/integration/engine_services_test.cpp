// The binding's unit-level services and their classes driving our engine: tasks on
// every thread, stream writers, addresses, the engine's text functions and the loop
// services. Each test loads the engine and leaves nothing of it alive.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "ceflib/bridges/task.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/core/engine_services.h"
#include "ceflib/core/engine_text.h"
#include "ceflib/core/url_parts.h"
#include "ceflib/wrappers/stream_writer.h"
#include "ceflib/wrappers/web_plugin.h"
#include "support/engine_probe.h"

namespace {

using namespace ceflib;

class Services : public testing::Test {
 protected:
  void SetUp() override {
    CefEnsureEngine();
    strings_ = engine_probe::LiveStrings();
  }
  void TearDown() override {
    if (!CefLibraryHandle) return;
    EXPECT_EQ(engine_probe::LiveStrings(), strings_) << "engine text left allocated";
    EXPECT_EQ(engine_probe::LiveObjects(), 0) << "engine objects left alive";
  }
  int strings_ = 0;
};

// Notes where it ran; the engine holds it until then.
class TNoteTask : public TCefTaskOwn {
 public:
  void Execute(TCefThreadId threadId) override { ran = CefCurrentlyOn(threadId) ? threadId : -2; }
  std::atomic<int> ran{-1};
};

TEST_F(Services, TasksRunOnTheirThreadsAndAYearLongWaitEndsUnrunAtShutdown) {
  const TCefThreadId threads[] = {TID_UI, TID_IO, TID_FILE};
  std::vector<RefPtr<TNoteTask>> tasks;
  for (TCefThreadId thread : threads) {
    for (int64_t delay : {int64_t{0}, int64_t{-1}}) {
      tasks.push_back(Make<TNoteTask>());
      EXPECT_TRUE(delay == 0 ? CefPostTask(thread, tasks.back())
                             : CefPostDelayedTask(thread, tasks.back(), delay));
    }
  }
  RefPtr<TNoteTask> year = Make<TNoteTask>();
  EXPECT_TRUE(CefPostDelayedTask(TID_IO, year, int64_t{365} * 24 * 3600 * 1000));
  // The last task posted to each thread answers on the UI thread; the third ends the loop.
  std::atomic<int> answered{0};
  for (TCefThreadId thread : threads) {
    EXPECT_TRUE(CefPostTask(thread, [&](TCefThreadId) {
      CefPostTask(TID_UI, [&](TCefThreadId) {
        if (++answered == 3) CefQuitMessageLoop();
      });
    }));
  }
  CefRunMessageLoop();
  for (size_t i = 0; i < tasks.size(); ++i) {
    EXPECT_EQ(tasks[i]->ran, threads[i / 2]) << "task " << i << " ran on the thread it was posted to";
    EXPECT_EQ(tasks[i]->RefCount(), 1) << "the engine released task " << i << " once";
  }
  EXPECT_EQ(year->RefCount(), 2) << "the engine holds the year-long task";
  CefShutdownEngine();
  EXPECT_EQ(year->ran, -1);
  EXPECT_EQ(year->RefCount(), 1) << "dropped unrun at shutdown";
  try {
    CefPostTask(TID_UI, year);
    ADD_FAILURE() << "posted without an engine";
  } catch (const ECefException& e) {
    EXPECT_STREQ(e.what(), "The engine is not loaded");
  }
  EXPECT_EQ(year->RefCount(), 1) << "a refused task is not kept";
}

TEST_F(Services, StreamWritersWriteSeekAndFlushIntoFilesAndProgramStreams) {
  const auto path = std::filesystem::temp_directory_path() / "ceflib_stream_writer_test.bin";
  std::ostringstream program;
  {
    const RefPtr<ICefStreamWriter> writers[] = {TCefStreamWriterRef::CreateForFile(path.u16string()),
                                                TCefStreamWriterRef::CreateForStream(program)};
    for (const auto& writer : writers) {
      ASSERT_NE(writer, nullptr);
      EXPECT_EQ(writer->Write("hello world!", 4, 3), 3u) << "whole items";
      EXPECT_EQ(writer->Tell(), 12);
      EXPECT_EQ(writer->Seek(0, 0), 0);
      EXPECT_EQ(writer->Write("J", 1, 1), 1u);
      EXPECT_EQ(writer->Seek(0, 2), 0);
      EXPECT_EQ(writer->Write(nullptr, 1, 5), 0u) << "no buffer, nothing written";
      EXPECT_EQ(writer->Seek(1, 7), -1) << "an unknown origin is refused";
      EXPECT_EQ(writer->Flush(), 0);
      EXPECT_EQ(writer->Tell(), 12);
    }
  }  // the file writer closes its file: Windows does not remove an open file
  std::ifstream file(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "Jello world!");
  EXPECT_EQ(program.str(), "Jello world!");
  EXPECT_EQ(TCefStreamWriterRef::CreateForFile(u""), nullptr);
  EXPECT_EQ(TCefStreamWriterRef::CreateForStream(std::unique_ptr<std::ostream>()), nullptr);
  file.close();
  std::filesystem::remove(path);
}

TEST_F(Services, AddressesAreParsedAndWrittenByTheEnginesRules) {
  struct Row {
    ustring url;
    bool parses;
    TCefUrlParts parts;
  };
  const Row rows[] = {
      {u"HTTP://User:Pw@Example.COM:8080/a/../b?q=1",
       true,
       {u"http://User:Pw@example.com:8080/b?q=1", u"http", u"User", u"Pw", u"example.com", u"8080", u"/b",
        u"q=1"}},
      {u"https://example.com:443",
       true,
       {u"https://example.com/", u"https", {}, {}, u"example.com", {}, u"/", {}}},
      {u"mailto:someone@example.com",
       true,
       {u"mailto:someone@example.com", u"mailto", {}, {}, {}, {}, u"someone@example.com", {}}},
      {u"http://", false, {}},
      {u"http://host:99999/", false, {}},
      {u"no address", false, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(CefToUtf8(row.url));
    TCefUrlParts parts;
    parts.spec = u"untouched";
    ASSERT_EQ(CefParseUrl(row.url, parts), row.parses);
    if (!row.parses) {
      EXPECT_EQ(parts.spec, u"untouched");
      continue;
    }
    EXPECT_EQ(parts, row.parts);
    ustring url;
    EXPECT_TRUE(CefCreateUrl(parts, url));
    EXPECT_EQ(url, row.parts.spec);
    parts.spec.clear();
    EXPECT_TRUE(CefCreateUrl(parts, url)) << "from the parts alone";
    EXPECT_EQ(url, row.parts.spec);
  }
  ustring url = u"untouched";
  TCefUrlParts hostOnly;
  hostOnly.host = u"example.com";
  EXPECT_FALSE(CefCreateUrl(hostOnly, url)) << "no scheme";
  EXPECT_EQ(url, u"untouched");
}

TEST_F(Services, EngineTextConvertsComparesAndOwnsRecords) {
  bool exact = false;
  EXPECT_EQ(CefEngineToUtf8(u"\u00e9\U0001F600", &exact), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_TRUE(exact);
  EXPECT_EQ(CefEngineFromUtf8("a\xFFz", &exact), u"a\uFFFDz");
  EXPECT_FALSE(exact) << "a replaced byte is reported";
  EXPECT_EQ(CefEngineFromWide(CefEngineToWide(u"\u00e9\U0001F600")), u"\u00e9\U0001F600");
  EXPECT_EQ(CefEngineUtf8ToWide(CefEngineWideToUtf8(L"\u00e9x")), L"\u00e9x");
  EXPECT_EQ(CefEngineFromAscii("ab\x80", &exact), u"ab\uFFFD");
  EXPECT_FALSE(exact);
  EXPECT_EQ(CefEngineAsciiToWide("ab"), L"ab");
  EXPECT_EQ(CefEngineToUtf8(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3)) << "NULs kept";
  EXPECT_LT(CefEngineCompare(u"a", u"\u00e9"), 0);
  EXPECT_GT(CefEngineCompare("b", "ab"), 0);
  EXPECT_EQ(CefEngineCompare(L"same", L"same"), 0);

  TCefEngineUtf8String utf8("first");
  EXPECT_EQ(utf8.View(), "first");
  utf8.Assign("second");
  EXPECT_EQ(std::string_view(utf8.Get()->str, utf8.Get()->length), "second");
  utf8.Clear();
  EXPECT_EQ(utf8.View(), "");
  TCefEngineWideString wide(L"wide");
  TCefEngineUtf16String utf16(u"utf16");
  EXPECT_EQ(wide.View(), L"wide");
  EXPECT_EQ(utf16.View(), u"utf16");
}

TEST_F(Services, LoopRegistryAndPluginServicesAnswerAsOurEngineDoes) {
  bool ran = false;
  ASSERT_TRUE(CefPostTask(TID_UI, [&](TCefThreadId) { ran = true; }));
  CefDoMessageLoopWork();
  EXPECT_TRUE(ran) << "the due task ran in the program's own loop";
  CefSetOsModalLoop(true);
  CefSetOsModalLoop(false);
  EXPECT_TRUE(CefClearSchemeHandlerFactories());
  EXPECT_EQ(CefBuildRevision(), 1);
  // Our engine has no cross-origin requests from page script, so no whitelist.
  EXPECT_FALSE(CefAddCrossOriginWhitelistEntry(u"http://a.test", u"http", u"b.test", true));
  EXPECT_FALSE(CefRemoveCrossOriginWhitelistEntry(u"http://a.test", u"http", u"b.test", true));
  EXPECT_FALSE(CefClearCrossOriginWhitelist());
  // Nor plugins.
  EXPECT_EQ(CefGetWebPluginCount(), 0u);
  EXPECT_EQ(CefGetWebPluginInfo(0), nullptr);
  EXPECT_EQ(CefGetWebPluginInfoByName(u"Shockwave Flash"), nullptr);
}

}  // namespace
