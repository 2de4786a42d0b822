// The zip reader against our engine, over archives that make_archives.py writes before
// the tests run: what zipfile writes, traditional encryption, and directories that lie.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/zip_reader.h"
#include "support/engine_probe.h"

namespace {

using namespace ceflib;
using namespace std::chrono;

class ZipReader : public testing::Test {
 protected:
  static void SetUpTestSuite() { CefEnsureEngine(); }
  static void TearDownTestSuite() { CefShutdownEngine(); }
  void TearDown() override { EXPECT_EQ(engine_probe::LiveObjects(), 0) << "engine objects left alive"; }

  static RefPtr<ICefZipReader> Open(const char* name) {
    const std::string path = std::string(CEFLIB_TEST_ARCHIVES) + "/" + name;
    return TCefZipReaderRef::New(TCefStreamReaderRef::CreateForFile(ustring(path.begin(), path.end())));
  }
  // Reads the current file in pieces of `piece` bytes: its bytes, or "error" after the
  // bytes read before an error. Checks position and end on the way.
  static std::string ReadAll(ICefZipReader& zip, size_t piece, int64_t* largest = nullptr) {
    std::string data, buffer(piece, '\0');
    for (int read; (read = zip.ReadFile(buffer.data(), piece)) != 0;) {
      if (read < 0) return data + "error";
      EXPECT_LE(static_cast<size_t>(read), piece);
      if (largest) *largest = std::max<int64_t>(*largest, read);
      data.append(buffer.data(), static_cast<size_t>(read));
      EXPECT_EQ(zip.Tell(), static_cast<int64_t>(data.size()));
    }
    EXPECT_TRUE(zip.Eof());
    return data;
  }
};

const std::string kStored = [] {
  std::string s;
  for (int i = 0; i < 10; ++i) s += "stored text\n";
  return s;
}();
const std::string kDeflated = [] {
  std::string s;
  for (int i = 0; i < 20000; ++i) s += "line " + std::to_string(i) + "\n";
  return s;
}();

sys_seconds At(int y, unsigned m, unsigned d, int h, int min, int s) {
  return sys_days(year(y) / month(m) / day(d)) + hours(h) + minutes(min) + seconds(s);
}

TEST_F(ZipReader, ListsAndReadsStoredDeflatedEmptyAndUnicodeEntriesInPieces) {
  struct File {
    ustring name;
    std::string data;
    sys_seconds modified;
  };
  const File files[] = {
      {u"folder/", "", At(2020, 5, 17, 13, 45, 30)},
      {u"folder/stored.txt", kStored, At(2020, 5, 17, 13, 45, 30)},
      {u"deflated.txt", kDeflated, At(2021, 1, 2, 3, 4, 6)},
      {u"empty.txt", "", At(2020, 5, 17, 13, 45, 30)},
      {u"\u00dcn\u00efc\u00f8d\u00e9 \u2603.txt", "snow", At(2020, 5, 17, 13, 45, 30)},
  };
  RefPtr<ICefZipReader> zip = Open("plain.zip");
  ASSERT_NE(zip, nullptr);
  bool on = zip->MoveToFirstFile();
  for (const File& file : files) {
    SCOPED_TRACE(CefToUtf8(file.name));
    ASSERT_TRUE(on);
    EXPECT_EQ(zip->GetFileName(), file.name);
    EXPECT_EQ(zip->GetFileSize(), static_cast<int64_t>(file.data.size()));
    EXPECT_EQ(zip->GetFileLastModified(), file.modified);
    ASSERT_TRUE(zip->OpenFile(u""));
    EXPECT_EQ(ReadAll(*zip, 4093), file.data);
    EXPECT_TRUE(zip->CloseFile());
    on = zip->MoveToNextFile();
  }
  EXPECT_FALSE(on) << "no file after the last";
  EXPECT_TRUE(zip->MoveToFile(u"DEFLATED.TXT", false));
  EXPECT_EQ(zip->GetFileName(), u"deflated.txt");
  EXPECT_FALSE(zip->MoveToFile(u"DEFLATED.TXT", true));
  EXPECT_TRUE(zip->Close());
  EXPECT_FALSE(zip->MoveToFirstFile()) << "nothing after Close";
}

TEST_F(ZipReader, TraditionalEncryptionNeedsTheRightPassword) {
  RefPtr<ICefZipReader> zip = Open("encrypted.zip");
  ASSERT_NE(zip, nullptr);
  for (const auto& [name, data] :
       {std::pair{u"secret.txt", kStored}, std::pair{u"deflated.txt", kDeflated}}) {
    SCOPED_TRACE(CefToUtf8(name));
    ASSERT_TRUE(zip->MoveToFile(name, true));
    EXPECT_FALSE(zip->OpenFile(u"")) << "no password";
    EXPECT_FALSE(zip->OpenFile(u"password")) << "a wrong one";
    ASSERT_TRUE(zip->OpenFile(u"p\u00e4ssword"));
    EXPECT_EQ(ReadAll(*zip, 1000), data);
  }
}

TEST_F(ZipReader, DirectoriesThatLieAndNamesThatEscapeAreRefused) {
  EXPECT_EQ(Open("directory_past_end.zip"), nullptr);
  EXPECT_EQ(TCefZipReaderRef::New(nullptr), nullptr);

  RefPtr<ICefZipReader> zip = Open("local_header_past_end.zip");
  ASSERT_TRUE(zip && zip->MoveToFirstFile());
  EXPECT_FALSE(zip->OpenFile(u""));

  // Data longer or shorter than the directory says ends in an error, never in more bytes.
  zip = Open("fewer_bytes_claimed.zip");
  ASSERT_TRUE(zip && zip->MoveToFirstFile() && zip->OpenFile(u""));
  EXPECT_EQ(ReadAll(*zip, 300), kDeflated.substr(0, 900) + "error");
  zip = Open("four_gigabytes_claimed.zip");
  ASSERT_TRUE(zip && zip->MoveToFirstFile() && zip->OpenFile(u""));
  EXPECT_EQ(zip->GetFileSize(), 0xFFFFFFF0LL);
  EXPECT_EQ(ReadAll(*zip, 1 << 16), kDeflated.substr(0, 3 << 16) + "error") << "the data ends early";

  zip = Open("escaping.zip");
  ASSERT_TRUE(zip && zip->MoveToFirstFile());
  EXPECT_EQ(zip->GetFileName(), u"ok.txt") << "the only name that stays inside its folder";
  EXPECT_FALSE(zip->MoveToNextFile());
}

TEST_F(ZipReader, ABombReadInPiecesStaysInPieces) {
  RefPtr<ICefZipReader> zip = Open("bomb.zip");
  ASSERT_TRUE(zip && zip->MoveToFirstFile() && zip->OpenFile(u""));
  int64_t largest = 0;
  const std::string data = ReadAll(*zip, 1 << 16, &largest);
  EXPECT_EQ(data.size(), size_t{64} << 20);
  EXPECT_EQ(data.find_first_not_of('\0'), std::string::npos);
  EXPECT_EQ(largest, 1 << 16);
}

}  // namespace
